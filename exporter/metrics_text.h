#pragma once
// Turns what a probe read into the Prometheus text exposition: a registry built for the one
// probe, then serialised. The exporter's own metrics live in ExporterMetrics.
#include <string>

#include "exporter/card_reading.h"

namespace vorl::exporter {

std::string cardMetricsText(const CardReading& reading);

}  // namespace vorl::exporter
