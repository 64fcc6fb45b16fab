#include "cardread/card_reading.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>

#include "cardread/sensor_units.h"
#include "firmware/firmware_image.h"
#include "firmware/flash_records.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/general_records.h"
#include "protocol/network_records.h"
#include "protocol/sensor_tree.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cardread {
namespace {

std::string fieldText(const char* field, size_t width) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), width);
}

int readHealth(CardSession& session, CardReading& out) {
    CardHealth health;
    if (const int status = session.getCardHealth(health); status != 0) return status;
    for (const auto& entry : health.entries) {
        const std::string name = fieldText(entry.name, CardHealthEntry::kNameSize);
        if (name.empty()) continue;
        out.voltages.push_back({name, entry.millivolts / 1000.0,
                                fieldText(entry.status, CardHealthEntry::kStatusSize)});
    }
    return 0;
}

int readSensorValues(CardSession& session, CardReading& out) {
    auto buffer = std::make_unique<uint8_t[]>(CardSession::MaxPayload);
    SensorTree tree;
    if (const int status = session.readSensors(buffer.get(), CardSession::MaxPayload, tree);
        status != 0)
        return status;
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
    return 0;
}

int readSel(CardSession& session, CardReading& out) {
    SelInfo info;
    if (const int status = session.getSelInfo(info); status != 0) return status;
    out.selEntries = info.recordCount;
    out.selFreeBytes = info.freeSpace;
    return 0;
}

int readFirmware(CardSession& session, CardReading& out) {
    FirmwareInfo info;
    if (const int status = session.getFirmwareInfo(info); status != 0) return status;
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
        if (const int status = session.getSectionInfo(section); status != 0) return status;
        out.sectionVersions.emplace_back(name, FirmwareImage::versionText(section.version));
    }
    return 0;
}

int readNetwork(CardSession& session, CardReading& out) {
    NetworkConfig config;
    if (const int status = session.getNetworkConfig(config); status != 0) return status;
    out.networkAddress = config.ipAddress;
    out.networkMac = config.macAddress;
    out.networkMethod = config.method;
    out.networkInterface = config.interfaceName;
    out.networkNetmask = config.netmask;
    out.networkGateway = config.gateway;
    return 0;
}

int readClock(CardSession& session, CardReading& out) {
    CardTime time;
    const auto before = std::chrono::system_clock::now();
    if (const int status = session.getCardTime(time); status != 0) return status;
    const auto after = std::chrono::system_clock::now();
    // The card read its clock somewhere within the exchange: compare with its middle.
    const double host =
        std::chrono::duration<double>((before + (after - before) / 2).time_since_epoch()).count();
    out.clockOffsetSeconds = static_cast<double>(time.seconds) - host;
    out.clockSeconds = time.seconds;
    return 0;
}

int readHeartbeat(CardSession& session, CardReading& out) {
    int32_t seconds = 0;
    if (const int status = session.getHeartbeatInterval(seconds); status != 0) return status;
    out.heartbeatSeconds = seconds;
    return 0;
}

// Each reader returns the status of its first failed command, 0 when it read everything.
using Reader = int (*)(CardSession&, CardReading&);
constexpr const char* kCollectorNames[] = {"health",  "sensors", "sel",      "firmware",
                                           "network", "clock",   "heartbeat"};
constexpr Reader kReaders[] = {readHealth,  readSensorValues, readSel,      readFirmware,
                               readNetwork, readClock,        readHeartbeat};

}  // namespace

const char* collectorName(unsigned bit) {
    for (unsigned i = 0; i < std::size(kCollectorNames); ++i)
        if (bit == 1u << i) return kCollectorNames[i];
    return nullptr;
}

unsigned collectorBit(const std::string& name) {
    for (unsigned i = 0; i < std::size(kCollectorNames); ++i)
        if (name == kCollectorNames[i]) return 1u << i;
    return 0;
}

CardReading readCard(CardSession& session, unsigned collectors) {
    CardReading reading;
    for (unsigned i = 0; i < std::size(kReaders); ++i) {
        const unsigned bit = 1u << i;
        if (!(collectors & bit)) continue;
        const auto start = std::chrono::steady_clock::now();
        const int status = kReaders[i](session, reading);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        reading.results.push_back({bit, status == 0, seconds, status});
        if (status != 0 && reading.failedStep.empty()) {
            reading.failedStep = kCollectorNames[i];
            std::string message = statusMessage(status);
            while (!message.empty() && message.back() == ' ') message.pop_back();
            reading.failureReason = "status " + std::to_string(status) + " (" + message + ")";
        }
        if (status == kStatusConnectError) reading.connectionLost = true;
    }
    return reading;
}

CardReading failedReading(unsigned collectors, std::string step, std::string reason) {
    CardReading reading;
    for (unsigned i = 0; i < std::size(kReaders); ++i)
        if (collectors & (1u << i))
            reading.results.push_back({1u << i, false, 0, kStatusConnectError});
    reading.connectionLost = true;
    reading.failedStep = std::move(step);
    reading.failureReason = std::move(reason);
    return reading;
}

}  // namespace vorl::cardread
