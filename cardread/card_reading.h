#pragma once
// What a daemon reads from a card, as plain data: the collectors' commands over one
// CardSession, each collector's success and duration, and the values. Knows nothing of
// Prometheus or Redfish (each daemon turns a reading into its own answer).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorl {
class CardSession;
}

namespace vorl::cardread {

// What can be read, one bit each; a set of them is an `unsigned`.
enum Collector : unsigned {
    kHealth = 1u << 0,
    kSensors = 1u << 1,
    kSel = 1u << 2,
    kFirmware = 1u << 3,
    kNetwork = 1u << 4,
    kClock = 1u << 5,
    kHeartbeat = 1u << 6,
};
constexpr unsigned kAllCollectors = (1u << 7) - 1;

// The collector's name ("health", "sensors", ...); nullptr for anything but one known bit.
const char* collectorName(unsigned bit);
// The bit of a collector's name; 0 for an unknown name.
unsigned collectorBit(const std::string& name);

struct CollectorResult {
    unsigned collector = 0;  // one Collector bit
    bool ok = false;
    double seconds = 0;
    int status = 0;  // the failed command's status (33: no answer, or the connection is lost)
};

struct Voltage {
    std::string name;
    double volts = 0;
    std::string status;  // the card's text, "Normal" when all is well
};

struct SensorValue {
    std::string group;
    std::string sensor;
    std::string unit;  // base unit (volts, celsius, seconds, ...) or the card's unit text
    double value = 0;
    bool ok = false;  // false: the card could not read the sensor, `value` means nothing
};

struct CardReading {
    std::vector<CollectorResult> results;  // one per collector asked for, in bit order
    bool connectionLost = false;           // a command failed below the card's answer (status 33)
    std::vector<Voltage> voltages;
    std::vector<SensorValue> sensors;
    double selEntries = 0;
    double selFreeBytes = 0;
    std::string firmwareVersion;  // the running firmware's version text
    // Flash sections as booted: module name ("OS", "BOOT", ...) and version "major.minor.build".
    std::vector<std::pair<std::string, std::string>> sectionVersions;
    std::string networkAddress, networkMac, networkMethod;
    std::string networkInterface;  // empty: the interface is not up
    std::string networkNetmask, networkGateway;
    double clockOffsetSeconds = 0;  // card clock minus the exporter's clock
    int64_t clockSeconds = 0;       // the card's clock as read, seconds since 1970-01-01 UTC
    double heartbeatSeconds = 0;
    // Why the reading is not whole, for a log line: the step that failed first ("connect",
    // "login" or a collector's name) and the reason. Both empty when every collector read.
    std::string failedStep;
    std::string failureReason;
};

// Runs the `collectors` over a session that is connected (and logged in where needed). A
// collector whose command fails is reported as not ok with the command's status and leaves its
// values empty; the first such failure is named in failedStep and failureReason. Once the
// connection is lost the rest fail at once.
CardReading readCard(CardSession& session, unsigned collectors);

// A collector that could not run at all (no connection, refused login): every one not ok, with
// `step` and `reason` saying why (may be empty).
CardReading failedReading(unsigned collectors, std::string step = {}, std::string reason = {});

}  // namespace vorl::cardread
