#pragma once
// Turns what a probe read into the Prometheus text exposition (prometheus-cpp's metric families
// and text serializer). The exporter's own metrics live in ExporterMetrics.
#include <string>

#include "cardread/card_reading.h"

namespace vorl::exporter {

using cardread::CardReading;

std::string cardMetricsText(const CardReading& reading);

}  // namespace vorl::exporter
