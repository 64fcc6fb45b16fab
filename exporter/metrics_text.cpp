#include "exporter/metrics_text.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <map>
#include <stdexcept>

#include "exporter/exporter_config.h"

namespace vorl::exporter {
namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using Families = std::vector<MetricFamily>;

// A probe's families are built directly, not through a registry: a reading is exposed once and
// thrown away, so the registry's bookkeeping would be spent for nothing on every probe.
// Callers hold the returned reference while adding further families: cardMetricsText reserves
// room for every family, so none moves.
constexpr size_t kMostFamilies = 24;

MetricFamily& gauge(Families& families, const char* name, const char* help) {
    if (families.size() == kMostFamilies) throw std::logic_error("more metric families than room");
    families.push_back({name, help, prometheus::MetricType::Gauge, {}});
    return families.back();
}

// Label values come from the card: whatever bytes it sends must leave as valid UTF-8.
void add(MetricFamily& family, std::vector<ClientMetric::Label> labels, double value) {
    ClientMetric metric;
    for (auto& label : labels) label.value = labelText(label.value);
    metric.label = std::move(labels);
    metric.gauge.value = value;
    family.metric.push_back(std::move(metric));
}

// Two readings with the same labels (two sensors of one name, or names that differ only in
// bytes escaped alike) would be one series twice, which Prometheus refuses: each of them gets
// an "index" label, its place among them in the card's order.
void separateDuplicates(MetricFamily& family) {
    std::map<std::vector<std::pair<std::string, std::string>>, int> seen;
    auto key = [](const ClientMetric& metric) {
        std::vector<std::pair<std::string, std::string>> labels;
        for (const auto& label : metric.label) labels.emplace_back(label.name, label.value);
        return labels;
    };
    for (const auto& metric : family.metric) ++seen[key(metric)];
    std::map<std::vector<std::pair<std::string, std::string>>, int> numbered;
    for (auto& metric : family.metric) {
        const auto labels = key(metric);
        if (seen[labels] < 2) continue;
        metric.label.push_back({"index", std::to_string(++numbered[labels])});
    }
}

void addCollectorResults(Families& families, const CardReading& reading) {
    auto& up = gauge(families, "vorl_up", "1 when the collector read the card, else 0.");
    auto& duration =
        gauge(families, "vorl_scrape_duration_seconds", "Time the collector's card commands took.");
    for (const auto& result : reading.results) {
        add(up, {{"collector", collectorName(result.collector)}}, result.ok ? 1 : 0);
        add(duration, {{"collector", collectorName(result.collector)}}, result.seconds);
    }
}

// Sensor readings whose base unit has a metric of its own, as Prometheus's conventions ask
// (one unit per metric name); any other unit goes to vorl_sensor_value{unit}.
struct SensorKind {
    const char* unit;  // the base unit of sensorBaseValue
    const char* name;
    const char* help;
    double offset;  // added to the value (kelvin to celsius)
};
constexpr SensorKind kSensorKinds[] = {
    {"celsius", "vorl_temperature_celsius", "Temperature sensor reading.", 0},
    {"kelvin", "vorl_temperature_celsius", "Temperature sensor reading.", -273.15},
    {"rpm", "vorl_fan_speed_rpm", "Fan speed sensor reading.", 0},
    {"volts", "vorl_sensor_voltage_volts", "Voltage sensor reading.", 0},
    {"amperes", "vorl_current_amperes", "Current sensor reading.", 0},
    {"watts", "vorl_power_watts", "Power sensor reading.", 0},
    {"hertz", "vorl_frequency_hertz", "Frequency sensor reading.", 0},
    {"seconds", "vorl_sensor_duration_seconds", "Time sensor reading.", 0},
};

void addSensors(Families& families, const CardReading& reading) {
    auto& ok =
        gauge(families, "vorl_sensor_reading_ok", "1 when the card could read the sensor, else 0.");
    std::map<std::string, MetricFamily*> byName;
    MetricFamily* other = nullptr;
    for (const auto& sensor : reading.sensors) {
        add(ok, {{"group", sensor.group}, {"sensor", sensor.sensor}}, sensor.ok ? 1 : 0);
        if (!sensor.ok) continue;
        const SensorKind* kind = nullptr;
        for (const SensorKind& candidate : kSensorKinds)
            if (sensor.unit == candidate.unit) kind = &candidate;
        if (kind == nullptr) {
            if (other == nullptr)
                other = &gauge(families, "vorl_sensor_value",
                               "Sensor reading of a unit without a metric of its own.");
            add(*other, {{"group", sensor.group}, {"sensor", sensor.sensor}, {"unit", sensor.unit}},
                sensor.value);
            continue;
        }
        MetricFamily*& family = byName[kind->name];
        if (family == nullptr) family = &gauge(families, kind->name, kind->help);
        add(*family, {{"group", sensor.group}, {"sensor", sensor.sensor}},
            sensor.value + kind->offset);
    }
}

void addHealthAndSensors(Families& families, const CardReading& reading) {
    if (!reading.voltages.empty()) {
        auto& volts =
            gauge(families, "vorl_voltage_volts", "Voltage from the card's health table.");
        auto& normal = gauge(families, "vorl_voltage_normal",
                             "1 when the card reports the voltage's status as \"Normal\", else 0.");
        for (const auto& voltage : reading.voltages) {
            add(volts, {{"name", voltage.name}}, voltage.volts);
            add(normal, {{"name", voltage.name}}, voltage.status == "Normal" ? 1 : 0);
        }
    }
    if (!reading.sensors.empty()) addSensors(families, reading);
}

void addSettings(Families& families, const CardReading& reading) {
    auto ran = [&](unsigned bit) {
        for (const auto& r : reading.results)
            if (r.collector == bit) return r.ok;
        return false;
    };
    if (ran(kSel)) {
        add(gauge(families, "vorl_sel_entries", "Records in the card's event log."), {},
            reading.selEntries);
        add(gauge(families, "vorl_sel_free_bytes", "Free space in the card's event log."), {},
            reading.selFreeBytes);
    }
    if (ran(kFirmware)) {
        auto& info = gauge(families, "vorl_firmware_info",
                           "Firmware versions: the running firmware and each flash section.");
        add(info, {{"module", "firmware"}, {"version", reading.firmwareVersion}}, 1);
        for (const auto& [module, version] : reading.sectionVersions)
            add(info, {{"module", module}, {"version", version}}, 1);
    }
    if (ran(kNetwork))
        add(gauge(families, "vorl_network_info", "The card's network settings."),
            {{"address", reading.networkAddress},
             {"mac", reading.networkMac},
             {"method", reading.networkMethod}},
            1);
    if (ran(kClock))
        add(gauge(families, "vorl_clock_offset_seconds",
                  "The card's clock minus the exporter's clock."),
            {}, reading.clockOffsetSeconds);
    if (ran(kHeartbeat))
        add(gauge(families, "vorl_heartbeat_interval_seconds", "The card's heartbeat interval."),
            {}, reading.heartbeatSeconds);
}

}  // namespace

std::string labelText(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char byte) {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    };
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    for (size_t i = 0; i < size;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x20 || lead == 0x7F) {
            escape(lead);
            ++i;
            continue;
        }
        if (lead < 0x80) {
            out += static_cast<char>(lead);
            ++i;
            continue;
        }
        // A sequence's length and the range its second byte must fall in (RFC 3629: no
        // overlong forms, no surrogates, nothing above U+10FFFF).
        size_t length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) length = 2;
        if (lead >= 0xE0 && lead <= 0xEF) length = 3;
        if (lead >= 0xF0 && lead <= 0xF4) length = 4;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
        bool valid =
            length != 0 && size - i >= length && bytes[i + 1] >= low && bytes[i + 1] <= high;
        for (size_t k = 2; valid && k < length; ++k)
            valid = bytes[i + k] >= 0x80 && bytes[i + k] <= 0xBF;
        if (!valid) {
            escape(lead);
            ++i;
            continue;
        }
        out.append(text, i, length);
        i += length;
    }
    return out;
}

std::string cardMetricsText(const CardReading& reading) {
    Families families;
    families.reserve(kMostFamilies);
    addCollectorResults(families, reading);
    addHealthAndSensors(families, reading);
    addSettings(families, reading);
    for (auto& family : families) separateDuplicates(family);
    return prometheus::TextSerializer().Serialize(families);
}

}  // namespace vorl::exporter
