#pragma once
// What an operator sees of a probe beyond its metrics: the reason a probe failed, as logfmt
// fields for a debug log line, and the probe debug page (`/probe?...&debug=true`, as the
// blackbox exporter has): the exchanges with the card (commands, statuses, sizes, times), the
// metrics the probe would have answered and the module's settings, credentials masked.
#include <string>

#include "exporter/card_probe.h"

namespace vorl::exporter {

// "target=A.B.C.D:PORT module=NAME collector=C reason=\"...\"" for a reading that is not whole
// (collector: the first collector that failed, or the step before any could run: "connect",
// "login", or "slot" when the probe got no slot in time); empty for a whole reading.
std::string probeFailureFields(const Target& target, const std::string& moduleName,
                               const CardReading& reading);

// The page (text/plain). `shared` is true when the reading came from a probe that another
// request had started (the exchanges were then not this request's to record).
std::string probeDebugPage(const Target& target, const std::string& moduleName,
                           const Module& module, const ProbeLog& log, const CardReading& reading,
                           bool shared, const std::string& metricsText);

// A logfmt value: bare when it is a plain word, else quoted with '"' and '\' escaped.
std::string logfmtValue(const std::string& value);

}  // namespace vorl::exporter
