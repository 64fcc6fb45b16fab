#include "redfish/sensor_views.h"

#include <set>

namespace vorl::redfish {
namespace {

std::string slug(const std::string& text) {
    std::string out;
    for (char c : text) {
        const bool keep =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (keep)
            out += c;
        else if (!out.empty() && out.back() != '_')
            out += '_';
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? "Sensor" : out;
}

// Readings in cardread's base units, as Redfish wants them.
void setUnits(SensorView& view, const std::string& unit, double value, bool ok) {
    struct Mapping {
        const char* unit;
        const char* type;
        const char* ucum;
        double offset;
    };
    static constexpr Mapping kMappings[] = {
        {"celsius", "Temperature", "Cel", 0}, {"kelvin", "Temperature", "Cel", -273.15},
        {"volts", "Voltage", "V", 0},         {"amperes", "Current", "A", 0},
        {"watts", "Power", "W", 0},           {"rpm", "Rotational", "{rev}/min", 0},
        {"hertz", "Frequency", "Hz", 0},      {"seconds", nullptr, "s", 0},
    };
    view.units = unit;
    double reading = value;
    for (const Mapping& mapping : kMappings) {
        if (unit != mapping.unit) continue;
        if (mapping.type) view.readingType = mapping.type;
        view.units = mapping.ucum;
        reading = value + mapping.offset;
    }
    if (ok) view.reading = reading;
}

bool isNormal(const std::string& status) {
    std::string lower;
    for (char c : status) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower == "normal" || lower == "ok";
}

}  // namespace

std::vector<SensorView> sensorViews(const cardread::CardReading& reading) {
    std::vector<SensorView> views;
    std::set<std::string> taken;
    auto uniqueId = [&](std::string id) {
        const std::string base = id;
        for (int n = 2; !taken.insert(id).second; ++n) id = base + "_" + std::to_string(n);
        return id;
    };
    for (const cardread::Voltage& voltage : reading.voltages) {
        SensorView view;
        view.id = uniqueId("Health_" + slug(voltage.name));
        view.name = voltage.name;
        view.group = "Health";
        view.readingType = "Voltage";
        view.units = "V";
        view.reading = voltage.volts;
        view.healthy = isNormal(voltage.status);
        view.cardStatus = voltage.status;
        views.push_back(std::move(view));
    }
    for (const cardread::SensorValue& sensor : reading.sensors) {
        SensorView view;
        view.id = uniqueId(slug(sensor.group) + "_" + slug(sensor.sensor));
        view.name = sensor.sensor;
        view.group = sensor.group;
        setUnits(view, sensor.unit, sensor.value, sensor.ok);
        views.push_back(std::move(view));
    }
    return views;
}

const char* healthOf(const std::vector<SensorView>& sensors) {
    for (const SensorView& sensor : sensors)
        if (!sensor.reading || !sensor.healthy) return "Warning";
    return "OK";
}

}  // namespace vorl::redfish
