#pragma once
// One probe of one card: a session of its own (connect, login, the collectors' commands,
// close), bounded by the probe's deadline.
#include <chrono>

#include "cardread/card_reading.h"
#include "exporter/exporter_config.h"
#include "exporter/query_string.h"

namespace vorl::exporter {

using cardread::CardReading;

CardReading probeCard(const Target& target, const Module& module,
                      std::chrono::steady_clock::time_point deadline);

// The card in this server, over the host interface: no login.
CardReading probeLocalCard(unsigned collectors);

}  // namespace vorl::exporter
