#pragma once
// The sensor listing of -SDK -readsensors: the readings as data, and as the console text.
#include <cstdint>
#include <string>

#include "cli/report.h"

namespace vorl {
struct SensorTree;
}

namespace vorl::cli {

// One sensor's line: four blanks, the name and ":", blanks up to 40 characters of name and
// blanks, then "access failed" or the reading and its unit text (cut to 29 characters).
std::string sensorLine(const std::string& name, int32_t reading, uint8_t unit);

// The groups in order, each with its sensors: name, value in its base unit (null when the card
// could not read it) and that unit, the reading and unit code as the card gave them.
Json sensorGroupsData(const SensorTree& tree);

// Every group's name line followed by its sensors' lines, from sensorGroupsData.
std::string sensorListing(const Json& groups);

}  // namespace vorl::cli
