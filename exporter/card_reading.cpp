#include "exporter/card_reading.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "firmware/flash_records.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/general_records.h"
#include "protocol/network_records.h"
#include "protocol/sensor_tree.h"
#include "protocol/text_field.h"

namespace vorl::exporter {
namespace {

std::string fieldText(const char* field, size_t width) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), width);
}

bool readHealth(CardSession& session, CardReading& out) {
    CardHealth health;
    if (session.getCardHealth(health) != 0) return false;
    for (const auto& entry : health.entries) {
        const std::string name = fieldText(entry.name, CardHealthEntry::kNameSize);
        if (name.empty()) continue;
        out.voltages.push_back({name, entry.millivolts / 1000.0,
                                fieldText(entry.status, CardHealthEntry::kStatusSize)});
    }
    return true;
}

bool readSensorValues(CardSession& session, CardReading& out) {
    auto buffer = std::make_unique<uint8_t[]>(CardSession::MaxPayload);
    SensorTree tree;
    if (session.readSensors(buffer.get(), CardSession::MaxPayload, tree) != 0) return false;
    for (const SensorGroup& group : tree.groups) {
        const std::string groupName = fieldText(group.name, SensorGroup::kNameSize);
        for (const Sensor& sensor : group.sensors) {
            SensorValue value;
            value.group = groupName;
            value.sensor = fieldText(sensor.name, Sensor::kNameSize);
            value.ok = sensor.reading != kSensorReadingFailed;
            value.value = sensorBaseValue(value.ok ? sensor.reading : 0, sensor.unit, value.unit);
            out.sensors.push_back(std::move(value));
        }
    }
    return true;
}

bool readSel(CardSession& session, CardReading& out) {
    SelInfo info;
    if (session.getSelInfo(info) != 0) return false;
    out.selEntries = info.recordCount;
    out.selFreeBytes = info.freeSpace;
    return true;
}

bool readFirmware(CardSession& session, CardReading& out) {
    FirmwareInfo info;
    if (session.getFirmwareInfo(info) != 0) return false;
    std::string version = info.version;
    // The card ends the version text with a line break.
    while (!version.empty() && (version.back() == '\n' || version.back() == '\r'))
        version.pop_back();
    out.firmwareVersion = version;
    static constexpr const char* kSections[][2] = {
        {"BOOT", "$$BOOT$$"}, {"DIAG", "$$DIAG$$"},   {"OS", "$$$OS$$$"}, {"WEB", "$$WEBP$$"},
        {"FPGA", "$$FPGA$$"}, {"CONFIG", "$$CONF$$"}, {"SDK", "$$SDKS$$"}};
    for (const auto& [name, signature] : kSections) {
        SectionInfo section;
        std::memcpy(section.signature, signature, sizeof section.signature);
        if (session.getSectionInfo(section) != 0) return false;
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d", section.version >> 12,
                      (section.version >> 8) & 0xF, section.version & 0xFF);
        out.sectionVersions.emplace_back(name, text);
    }
    return true;
}

bool readNetwork(CardSession& session, CardReading& out) {
    NetworkConfig config;
    if (session.getNetworkConfig(config) != 0) return false;
    out.networkAddress = config.ipAddress;
    out.networkMac = config.macAddress;
    out.networkMethod = config.method;
    return true;
}

bool readClock(CardSession& session, CardReading& out) {
    CardTime time;
    const auto before = std::chrono::system_clock::now();
    if (session.getCardTime(time) != 0) return false;
    const auto after = std::chrono::system_clock::now();
    // The card read its clock somewhere within the exchange: compare with its middle.
    const double host =
        std::chrono::duration<double>((before + (after - before) / 2).time_since_epoch()).count();
    out.clockOffsetSeconds = static_cast<double>(time.seconds) - host;
    return true;
}

bool readHeartbeat(CardSession& session, CardReading& out) {
    int32_t seconds = 0;
    if (session.getHeartbeatInterval(seconds) != 0) return false;
    out.heartbeatSeconds = seconds;
    return true;
}

using Reader = bool (*)(CardSession&, CardReading&);
constexpr Reader kReaders[] = {readHealth,  readSensorValues, readSel,      readFirmware,
                               readNetwork, readClock,        readHeartbeat};

}  // namespace

double sensorBaseValue(int32_t reading, uint8_t code, std::string& unit) {
    const double v = reading;
    switch (code) {
        case 1:
            unit = "celsius";
            return v / 1000.0;
        case 2:
            unit = "celsius";
            return (v / 1000.0 - 32.0) * 5.0 / 9.0;
        case 3:
            unit = "kelvin";
            return v;
        case 4:
            unit = "volts";
            return v / 1000.0;
        case 5:
            unit = "amperes";
            return v;
        case 6:
            unit = "watts";
            return v;
        case 18:
            unit = "rpm";
            return v;
        case 19:
            unit = "hertz";
            return v;
        case 20:
            unit = "seconds";
            return v / 1e6;
        case 21:
            unit = "seconds";
            return v / 1e3;
        case 22:
            unit = "seconds";
            return v;
        case 23:
            unit = "seconds";
            return v * 60;
        case 24:
            unit = "seconds";
            return v * 3600;
        case 25:
            unit = "seconds";
            return v * 86400;
        case 26:
            unit = "seconds";
            return v * 604800;
        default:
            unit = sensorUnitText(code);
            return v;
    }
}

CardReading readCard(CardSession& session, unsigned collectors) {
    CardReading reading;
    for (unsigned i = 0; i < std::size(kReaders); ++i) {
        const unsigned bit = 1u << i;
        if (!(collectors & bit)) continue;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = kReaders[i](session, reading);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reading.results.push_back({bit, ok, seconds});
    }
    return reading;
}

CardReading failedReading(unsigned collectors) {
    CardReading reading;
    for (unsigned i = 0; i < std::size(kReaders); ++i)
        if (collectors & (1u << i)) reading.results.push_back({1u << i, false, 0});
    return reading;
}

}  // namespace vorl::exporter
