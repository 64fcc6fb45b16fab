#pragma once
// A sensor's reading in its base unit (volts, celsius, seconds, ...), whatever unit the card
// reports it in: one table for every program that shows readings as numbers for machines.
#include <cstdint>
#include <string>

namespace vorl::cardread {

// Converts a reading of unit `code` to its base unit; `unit` receives the unit's name. A code
// without a base unit keeps its value and gets the card's unit text.
double sensorBaseValue(int32_t reading, uint8_t code, std::string& unit);

}  // namespace vorl::cardread
