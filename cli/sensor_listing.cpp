#include "cli/sensor_listing.h"

#include <cstdio>

#include "protocol/sensor_tree.h"
#include "protocol/text_field.h"

namespace vorl::cli {
namespace {
constexpr size_t kNameColumn = 40;
}  // namespace

std::string sensorLine(const std::string& name, int32_t reading, uint8_t unit) {
    std::string line = "    " + name + ":";
    if (name.size() < kNameColumn) line.append(kNameColumn - name.size(), ' ');
    if (reading == kSensorReadingFailed) return line + "access failed\n";
    char value[64];
    std::snprintf(value, sizeof value, "%d %.29s\n", reading, sensorUnitText(unit));
    return line + value;
}

std::string sensorListing(const SensorTree& tree) {
    std::string out;
    for (const SensorGroup& group : tree.groups) {
        out += getTextField(reinterpret_cast<const uint8_t*>(group.name), SensorGroup::kNameSize);
        out += "\n";
        for (const Sensor& sensor : group.sensors) {
            const std::string name =
                getTextField(reinterpret_cast<const uint8_t*>(sensor.name), Sensor::kNameSize);
            out += sensorLine(name, sensor.reading, sensor.unit);
        }
    }
    return out;
}

}  // namespace vorl::cli
