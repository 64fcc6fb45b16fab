#pragma once
// One probe of one card: a session of its own (connect, login, the collectors' commands,
// close), bounded by the probe's deadline. A reading that is not whole says which step failed
// first and why (failedStep, failureReason), for the log and the probe debug page.
#include <chrono>

#include "cardread/card_reading.h"
#include "exporter/exporter_config.h"
#include "exporter/query_string.h"
#include "exporter/recording_transport.h"

namespace vorl::exporter {

using cardread::CardReading;

// `log` (may be null) receives every exchange, for the probe debug page.
CardReading probeCard(const Target& target, const Module& module,
                      std::chrono::steady_clock::time_point deadline, ProbeLog* log = nullptr);

// The card in this server, over the host interface: no login.
CardReading probeLocalCard(unsigned collectors);

}  // namespace vorl::exporter
