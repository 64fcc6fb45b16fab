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

// An IPv4 network: `address` in host order with the low (32 - prefix) bits zero.
struct AddressRange {
    uint32_t address = 0;
    uint32_t mask = 0;
    bool contains(uint32_t hostOrder) const { return (hostOrder & mask) == address; }
};

struct ExporterConfig {
    std::map<std::string, Module> modules;
    std::vector<AddressRange> allowedTargets;  // empty: every target may be probed
    // True when `target` (a dotted IPv4 address) may be probed.
    bool allows(const std::string& target) const;
};

// Reads `path`. On failure returns false and sets `error` to "PATH:LINE: reason".
bool loadConfigFile(const std::string& path, ExporterConfig& config, std::string& error);
// Reads the YAML `text`; `name` stands for the file in messages and `baseDir` resolves relative
// password files.
bool parseConfig(const std::string& text, const std::string& name, const std::string& baseDir,
                 ExporterConfig& config, std::string& error);

// A dotted IPv4 address as a number, first octet highest; false for anything else.
bool parseAddress(const std::string& text, uint32_t& hostOrder);
// "A.B.C.D" or "A.B.C.D/N".
// Follows an address with `separator` and a decimal number from 0 to `max` (e.g. "/24", ":6577"):
// the address part in `address`, the number (if present) in `number`. False for anything else.
bool parseAddressWithNumber(const std::string& text, char separator, unsigned max,
                            uint32_t& address, unsigned& number);
bool parseRange(const std::string& text, AddressRange& range);

}  // namespace vorl::exporter
