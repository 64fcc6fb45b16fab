#pragma once
// Turns what a probe read into the Prometheus text exposition (prometheus-cpp's metric families
// and text serializer). The exporter's own metrics live in ExporterMetrics.
#include <string>

#include "cardread/card_reading.h"

namespace vorl::exporter {

using cardread::CardReading;

std::string cardMetricsText(const CardReading& reading);

// A label value as valid UTF-8: bytes that are not part of a valid sequence, and control
// characters, become "\xHH" (so "Temp\xE9rature" for a Latin-1 "é").
std::string labelText(const std::string& text);

}  // namespace vorl::exporter
