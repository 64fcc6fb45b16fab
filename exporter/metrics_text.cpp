#include "exporter/metrics_text.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

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
constexpr size_t kMostFamilies = 12;

MetricFamily& gauge(Families& families, const char* name, const char* help) {
    if (families.size() == kMostFamilies) throw std::logic_error("more metric families than room");
    families.push_back({name, help, prometheus::MetricType::Gauge, {}});
    return families.back();
}

void add(MetricFamily& family, std::vector<ClientMetric::Label> labels, double value) {
    ClientMetric metric;
    metric.label = std::move(labels);
    metric.gauge.value = value;
    family.metric.push_back(std::move(metric));
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
    if (!reading.sensors.empty()) {
        auto& value = gauge(families, "vorl_sensor_value",
                            "Sensor reading in its base unit (a failed reading has none).");
        auto& ok = gauge(families, "vorl_sensor_reading_ok",
                         "1 when the card could read the sensor, else 0.");
        for (const auto& sensor : reading.sensors) {
            add(ok, {{"group", sensor.group}, {"sensor", sensor.sensor}}, sensor.ok ? 1 : 0);
            if (sensor.ok)
                add(value,
                    {{"group", sensor.group}, {"sensor", sensor.sensor}, {"unit", sensor.unit}},
                    sensor.value);
        }
    }
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

std::string cardMetricsText(const CardReading& reading) {
    Families families;
    families.reserve(kMostFamilies);
    addCollectorResults(families, reading);
    addHealthAndSensors(families, reading);
    addSettings(families, reading);
    return prometheus::TextSerializer().Serialize(families);
}

}  // namespace vorl::exporter
