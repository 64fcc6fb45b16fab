#include "cardsim/sim_sensor_description.h"

#include <cstring>
#include <sstream>

#include "cardsim/sim_settings_file.h"
#include "protocol/text_field.h"

namespace vorl::sim {
namespace {

constexpr const char* kMagic = "VORL-SDK 1";

template <size_t N>
void setName(char (&field)[N], const std::string& name) {
    putTextField(reinterpret_cast<uint8_t*>(field), N, name);
}

bool parseSensor(const std::string& rest, Sensor& sensor) {
    const size_t first = rest.find(';');
    const size_t second = first == std::string::npos ? first : rest.find(';', first + 1);
    if (second == std::string::npos) return false;
    setName(sensor.name, rest.substr(0, first));
    const std::string reading = rest.substr(first + 1, second - first - 1);
    int64_t value = 0;
    if (reading == "failed") {
        sensor.reading = kSensorReadingFailed;
    } else if (parseDecimal(reading, value) && value > INT32_MIN && value <= INT32_MAX) {
        sensor.reading = static_cast<int32_t>(value);
    } else {
        return false;
    }
    if (!parseDecimal(rest.substr(second + 1), value) || value < 0 || value > 255) return false;
    sensor.unit = static_cast<uint8_t>(value);
    return true;
}

}  // namespace

bool parseSensorDescription(const std::vector<uint8_t>& file, SensorTree& tree) {
    tree = SensorTree{};
    std::istringstream in(std::string(file.begin(), file.end()));
    std::string line;
    if (!std::getline(in, line) || line.rfind(kMagic, 0) != 0) return false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const size_t blank = line.find(' ');
        const std::string keyword = line.substr(0, blank);
        const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
        if (keyword == "group") {
            tree.groups.emplace_back();
            tree.groups.back().number0 = static_cast<uint16_t>(tree.groups.size());
            setName(tree.groups.back().name, rest);
        } else if (keyword == "sensor" && !tree.groups.empty()) {
            Sensor sensor;
            if (!parseSensor(rest, sensor)) return false;
            auto& sensors = tree.groups.back().sensors;
            sensor.number0 = static_cast<uint16_t>(sensors.size() + 1);
            sensors.push_back(sensor);
        } else {
            return false;
        }
    }
    return true;
}

std::string factorySensorDescription() {
    return "VORL-SDK 1\n"
           "# The sensors of the simulated server.\n"
           "group Voltages\n"
           "sensor CPU Core;1250;4\n"
           "sensor +3.3V;3312;4\n"
           "sensor +12V;12048;4\n"
           "group Temperatures\n"
           "sensor CPU;47000;1\n"
           "sensor Chassis intake;failed;1\n"
           "group Fans\n"
           "sensor Fan 1;5400;18\n"
           "sensor Fan 2;5250;18\n";
}

}  // namespace vorl::sim
