#include "cli/sensor_listing.h"

#include <cstdio>

#include "cardread/sensor_units.h"
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

Json sensorGroupsData(const SensorTree& tree) {
    Json groups = Json::array();
    for (const SensorGroup& group : tree.groups) {
        Json sensors = Json::array();
        for (const Sensor& sensor : group.sensors) {
            const bool failed = sensor.reading == kSensorReadingFailed;
            std::string unit;
            const double value = cardread::sensorBaseValue(sensor.reading, sensor.unit, unit);
            sensors.push_back({{"index", sensors.size() + 1},
                               {"name", getTextField(reinterpret_cast<const uint8_t*>(sensor.name),
                                                     Sensor::kNameSize)},
                               {"value", failed ? Json() : Json(value)},
                               {"unit", enumerationWord(unit)},
                               {"reading_as_received", sensor.reading},
                               {"unit_code", sensor.unit},
                               {"access_failed", failed}});
        }
        groups.push_back({{"index", groups.size() + 1},
                          {"name", getTextField(reinterpret_cast<const uint8_t*>(group.name),
                                                SensorGroup::kNameSize)},
                          {"sensors", std::move(sensors)}});
    }
    return groups;
}

std::string sensorListing(const Json& groups) {
    std::string out;
    for (const Json& group : groups) {
        out += group["name"].get<std::string>();
        out += "\n";
        for (const Json& sensor : group["sensors"]) {
            out += sensorLine(sensor["name"].get<std::string>(),
                              sensor["reading_as_received"].get<int32_t>(),
                              sensor["unit_code"].get<uint8_t>());
        }
    }
    return out;
}

}  // namespace vorl::cli
