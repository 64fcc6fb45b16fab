#include "exporter/metrics_text.h"

#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

namespace vorl::exporter {
namespace {

prometheus::Family<prometheus::Gauge>& gauge(prometheus::Registry& registry, const char* name,
                                             const char* help) {
    return prometheus::BuildGauge().Name(name).Help(help).Register(registry);
}

void addCollectorResults(prometheus::Registry& registry, const CardReading& reading) {
    auto& up = gauge(registry, "vorl_up", "1 when the collector read the card, else 0.");
    auto& duration =
        gauge(registry, "vorl_scrape_duration_seconds", "Time the collector's card commands took.");
    for (const auto& result : reading.results) {
        const prometheus::Labels labels{{"collector", collectorName(result.collector)}};
        up.Add(labels).Set(result.ok ? 1 : 0);
        duration.Add(labels).Set(result.seconds);
    }
}

void addHealthAndSensors(prometheus::Registry& registry, const CardReading& reading) {
    if (!reading.voltages.empty()) {
        auto& volts =
            gauge(registry, "vorl_voltage_volts", "Voltage from the card's health table.");
        auto& normal = gauge(registry, "vorl_voltage_normal",
                             "1 when the card reports the voltage's status as \"Normal\", else 0.");
        for (const auto& voltage : reading.voltages) {
            volts.Add({{"name", voltage.name}}).Set(voltage.volts);
            normal.Add({{"name", voltage.name}}).Set(voltage.status == "Normal" ? 1 : 0);
        }
    }
    if (!reading.sensors.empty()) {
        auto& value = gauge(registry, "vorl_sensor_value",
                            "Sensor reading in its base unit (a failed reading has none).");
        auto& ok = gauge(registry, "vorl_sensor_reading_ok",
                         "1 when the card could read the sensor, else 0.");
        for (const auto& sensor : reading.sensors) {
            ok.Add({{"group", sensor.group}, {"sensor", sensor.sensor}}).Set(sensor.ok ? 1 : 0);
            if (sensor.ok)
                value
                    .Add(
                        {{"group", sensor.group}, {"sensor", sensor.sensor}, {"unit", sensor.unit}})
                    .Set(sensor.value);
        }
    }
}

void addSettings(prometheus::Registry& registry, const CardReading& reading) {
    auto ran = [&](unsigned bit) {
        for (const auto& r : reading.results)
            if (r.collector == bit) return r.ok;
        return false;
    };
    if (ran(kSel)) {
        gauge(registry, "vorl_sel_entries", "Records in the card's event log.")
            .Add({})
            .Set(reading.selEntries);
        gauge(registry, "vorl_sel_free_bytes", "Free space in the card's event log.")
            .Add({})
            .Set(reading.selFreeBytes);
    }
    if (ran(kFirmware)) {
        auto& info = gauge(registry, "vorl_firmware_info",
                           "Firmware versions: the running firmware and each flash section.");
        info.Add({{"module", "firmware"}, {"version", reading.firmwareVersion}}).Set(1);
        for (const auto& [module, version] : reading.sectionVersions)
            info.Add({{"module", module}, {"version", version}}).Set(1);
    }
    if (ran(kNetwork))
        gauge(registry, "vorl_network_info", "The card's network settings.")
            .Add({{"address", reading.networkAddress},
                  {"mac", reading.networkMac},
                  {"method", reading.networkMethod}})
            .Set(1);
    if (ran(kClock))
        gauge(registry, "vorl_clock_offset_seconds", "The card's clock minus the exporter's clock.")
            .Add({})
            .Set(reading.clockOffsetSeconds);
    if (ran(kHeartbeat))
        gauge(registry, "vorl_heartbeat_interval_seconds", "The card's heartbeat interval.")
            .Add({})
            .Set(reading.heartbeatSeconds);
}

}  // namespace

std::string cardMetricsText(const CardReading& reading) {
    prometheus::Registry registry;
    addCollectorResults(registry, reading);
    addHealthAndSensors(registry, reading);
    addSettings(registry, reading);
    return prometheus::TextSerializer().Serialize(registry.Collect());
}

}  // namespace vorl::exporter
