#pragma once
// The sensor listing of -SDK -readsensors.
#include <cstdint>
#include <string>

namespace vorl {
struct SensorTree;
}

namespace vorl::cli {

// One sensor's line: four blanks, the name and ":", blanks up to 40 characters of name and
// blanks, then "access failed" or the reading and its unit text (cut to 29 characters).
std::string sensorLine(const std::string& name, int32_t reading, uint8_t unit);

// Every group's name line followed by its sensors' lines.
std::string sensorListing(const SensorTree& tree);

}  // namespace vorl::cli
