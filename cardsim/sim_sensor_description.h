#pragma once
// The sensor description ("SDK") the simulated card's sensor service reads from
// /k8sdk/k8sdk.dat. A text file:
//   VORL-SDK 1
//   group <name>
//   sensor <name>;<reading or "failed">;<unit code>
// Blank lines and lines starting with "#" are ignored; a sensor belongs to the group above it.
// Names longer than their 32-byte fields are cut.
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/sensor_tree.h"

namespace vorl::sim {

// Builds the sensor tree of a description. False when the text is not a description (first
// line, unknown keyword, a sensor before any group, a bad reading or unit).
bool parseSensorDescription(const std::vector<uint8_t>& file, SensorTree& tree);

// The description a new card ships with.
std::string factorySensorDescription();

}  // namespace vorl::sim
