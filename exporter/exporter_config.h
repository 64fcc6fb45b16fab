#pragma once
// The exporter's configuration file: modules (card credentials, a time limit and the collectors
// to run) and the targets that may be probed. Read once at start and again on reload; a file
// that does not check out is refused whole, with its name, line and reason.
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cardread/card_reading.h"
#include "protocol/card_address.h"

namespace vorl::exporter {

// The card reading the modules choose from.
using cardread::collectorName;
using cardread::kAllCollectors;
using enum cardread::Collector;

struct Module {
    std::string user;
    std::string password;  // never shown: not in a page, a log line or a metric
    std::chrono::milliseconds timeout{10000};
    unsigned collectors = kAllCollectors;
};

// An allowed_targets entry, "ADDRESS[/PREFIX][:PORTS]": an IPv4 network (`address` with the
// low 32 - PREFIX bits zero) and the ports a probe may reach in it. PORTS is one port, a range
// "LOW-HIGH" or "*" for any; without it only the card port 6577.
struct AddressRange {
    uint32_t address = 0;
    uint32_t mask = 0;
    uint16_t firstPort = kCardPort;
    uint16_t lastPort = kCardPort;
    bool contains(const CardAddress& card) const {
        return (card.address & mask) == address && card.port >= firstPort && card.port <= lastPort;
    }
};

struct ExporterConfig {
    std::map<std::string, Module> modules;
    // Without the key in the file: any address, port 6577 only. Never empty.
    std::vector<AddressRange> allowedTargets;
    // Things worth an operator's look that do not stop the start (a password file others may
    // read), each "FILE:LINE: text".
    std::vector<std::string> warnings;
    // True when `card` may be probed.
    bool allows(const CardAddress& card) const;
};

// Reads `path`. On failure returns false and sets `error` to "PATH:LINE: reason".
bool loadConfigFile(const std::string& path, ExporterConfig& config, std::string& error);
// Reads the YAML `text`; `name` stands for the file in messages and `baseDir` resolves relative
// password files.
bool parseConfig(const std::string& text, const std::string& name, const std::string& baseDir,
                 ExporterConfig& config, std::string& error);

// An allowed_targets entry (see AddressRange); false with `reason`.
bool parseRange(const std::string& text, AddressRange& range, std::string& reason);

}  // namespace vorl::exporter
