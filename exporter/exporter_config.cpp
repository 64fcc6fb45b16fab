#include "exporter/exporter_config.h"

#include <yaml-cpp/yaml.h>

#include <fstream>
#include <set>
#include <sstream>

#include "web/secret_file.h"

namespace vorl::exporter {
namespace {

// The line a message names: an empty file's null node has no position of its own.
int lineOf(const YAML::Mark& mark) {
    return mark.line < 0 ? 1 : mark.line + 1;
}

// A reason tied to the node it is about.
struct ConfigError {
    YAML::Mark mark;
    std::string reason;
};

[[noreturn]] void fail(const YAML::Node& node, const std::string& reason) {
    throw ConfigError{node.Mark(), reason};
}

std::string scalar(const YAML::Node& node, const std::string& key) {
    if (!node.IsScalar()) fail(node, key + " must be a single value");
    return node.Scalar();
}

// "10s", "500ms", "1m" or a plain number of seconds, above 0 and at most an hour.
std::chrono::milliseconds parseDuration(const YAML::Node& node) {
    const std::string text = scalar(node, "timeout");
    size_t digits = 0;
    while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    const std::string unit = text.substr(digits);
    long long value = digits == 0 ? -1 : std::stoll(text.substr(0, digits));
    long long ms = -1;
    if (value >= 0 && (unit.empty() || unit == "s")) ms = value * 1000;
    if (value >= 0 && unit == "ms") ms = value;
    if (value >= 0 && unit == "m") ms = value * 60000;
    if (ms <= 0 || ms > 3600000)
        fail(node, "timeout '" + text + "' is not a duration from 1ms to 1h (e.g. 10s, 500ms)");
    return std::chrono::milliseconds(ms);
}

unsigned parseCollectors(const YAML::Node& node) {
    if (!node.IsSequence() || node.size() == 0) fail(node, "collectors must be a non-empty list");
    unsigned set = 0;
    for (const auto& item : node) {
        const std::string name = scalar(item, "a collector");
        const unsigned bit = cardread::collectorBit(name);
        if (bit == 0)
            fail(item, "unknown collector '" + name +
                           "' (health, sensors, sel, firmware, network, clock, heartbeat)");
        set |= bit;
    }
    return set;
}

// Where the configuration's notes go while it is read: warnings need the file's line too.
struct Reading {
    std::string name;
    std::string baseDir;
    std::vector<std::string> warnings;
};

std::string readPasswordFile(const YAML::Node& node, Reading& reading) {
    std::string path = scalar(node, "password_file");
    if (!path.empty() && path[0] != '/' && !reading.baseDir.empty())
        path = reading.baseDir + "/" + path;
    std::string password, error, warning;
    if (!web::readSecretFile(path, password, error, warning))
        fail(node, "cannot read password_file " + path + ": " + error);
    if (!warning.empty())
        reading.warnings.push_back(reading.name + ":" + std::to_string(lineOf(node.Mark())) +
                                   ": password_file " + path + " " + warning);
    return password;
}

// A key given twice in one mapping: YAML readers differ on which one wins, so neither does.
void refuseRepeat(std::set<std::string>& seen, const YAML::Node& keyNode, const std::string& key,
                  const std::string& where) {
    if (!seen.insert(key).second) fail(keyNode, "key '" + key + "' appears twice" + where);
}

Module parseModule(const YAML::Node& nameNode, const YAML::Node& node, const std::string& name,
                   Reading& reading) {
    if (!node.IsMap()) fail(node, "module " + name + " must be a mapping");
    Module module;
    bool haveUser = false, havePassword = false;
    std::set<std::string> seen;
    for (const auto& entry : node) {
        const std::string key = scalar(entry.first, "a key");
        refuseRepeat(seen, entry.first, key, " in module " + name);
        const YAML::Node& value = entry.second;
        if (key == "user") {
            module.user = scalar(value, key);
            haveUser = true;
        } else if (key == "password" || key == "password_file") {
            if (havePassword) fail(entry.first, "give password or password_file, not both");
            module.password =
                key == "password" ? scalar(value, key) : readPasswordFile(value, reading);
            havePassword = true;
        } else if (key == "timeout") {
            module.timeout = parseDuration(value);
        } else if (key == "collectors") {
            module.collectors = parseCollectors(value);
        } else {
            fail(entry.first, "unknown key '" + key + "' in module " + name);
        }
    }
    // The card's login record holds 31 characters of each.
    if (!haveUser || module.user.empty() || module.user.size() > 31)
        fail(nameNode, "module " + name + " needs a user of 1 to 31 characters");
    if (!havePassword || module.password.size() > 31)
        fail(nameNode,
             "module " + name + " needs a password or password_file of up to 31 characters");
    return module;
}

void parseAllowedTargets(const YAML::Node& node, ExporterConfig& config) {
    if (!node.IsSequence()) fail(node, "allowed_targets must be a list");
    // An empty list must not read as "no restriction".
    if (node.size() == 0)
        fail(node,
             "allowed_targets is empty: list the cards' addresses or ranges, or leave the key out "
             "(any address, port 6577)");
    for (const auto& item : node) {
        AddressRange range;
        std::string reason;
        if (!parseRange(scalar(item, "a target"), range, reason))
            fail(item, "'" + item.Scalar() + "' is not an IPv4 address or CIDR range: " + reason);
        config.allowedTargets.push_back(range);
    }
}

void parseRoot(const YAML::Node& root, Reading& reading, ExporterConfig& config) {
    if (!root.IsMap()) fail(root, "the file must be a mapping with a modules: key");
    std::set<std::string> seen;
    for (const auto& entry : root) {
        const std::string key = scalar(entry.first, "a key");
        refuseRepeat(seen, entry.first, key, "");
        if (key == "modules") {
            if (!entry.second.IsMap() || entry.second.size() == 0)
                fail(entry.second, "modules must map module names to modules");
            for (const auto& module : entry.second) {
                const std::string name = scalar(module.first, "a module name");
                // YAML readers differ on a repeated key; one module must not replace another.
                if (config.modules.count(name))
                    fail(module.first, "module " + name + " appears twice");
                config.modules[name] = parseModule(module.first, module.second, name, reading);
            }
        } else if (key == "allowed_targets") {
            parseAllowedTargets(entry.second, config);
        } else {
            fail(entry.first, "unknown key '" + key + "'");
        }
    }
    if (config.modules.empty()) fail(root, "no modules: at least a default module is needed");
    if (config.allowedTargets.empty()) config.allowedTargets.push_back(AddressRange{});
    config.warnings = std::move(reading.warnings);
}

}  // namespace

bool parseRange(const std::string& text, AddressRange& range, std::string& reason) {
    std::string_view rest = text;
    AddressRange parsed;
    if (const size_t colon = rest.find(':'); colon != std::string_view::npos) {
        const std::string_view ports = rest.substr(colon + 1);
        rest = rest.substr(0, colon);
        const size_t dash = ports.find('-');
        uint32_t first = 0, last = 0;
        if (ports == "*") {
            first = 1;
            last = 65535;
        } else if (dash == std::string_view::npos) {
            if (parseDecimalNumber(ports, 1, 65535, first)) last = first;
        } else if (parseDecimalNumber(ports.substr(0, dash), 1, 65535, first) &&
                   !parseDecimalNumber(ports.substr(dash + 1), first, 65535, last)) {
            first = 0;
        }
        if (first == 0) {
            reason = "the ports must be a port, a range LOW-HIGH or * (from 1 to 65535)";
            return false;
        }
        parsed.firstPort = static_cast<uint16_t>(first);
        parsed.lastPort = static_cast<uint16_t>(last);
    }
    uint32_t prefix = 32;
    if (const size_t slash = rest.find('/'); slash != std::string_view::npos) {
        if (!parseDecimalNumber(rest.substr(slash + 1), 0, 32, prefix)) {
            reason = "the prefix after '/' must be a number from 0 to 32";
            return false;
        }
        rest = rest.substr(0, slash);
    }
    uint32_t address = 0;
    if (!parseDottedQuad(rest, address, reason)) return false;
    parsed.mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    parsed.address = address & parsed.mask;
    range = parsed;
    return true;
}

bool ExporterConfig::allows(const CardAddress& card) const {
    for (const auto& range : allowedTargets)
        if (range.contains(card)) return true;
    return false;
}

bool parseConfig(const std::string& text, const std::string& name, const std::string& baseDir,
                 ExporterConfig& config, std::string& error) {
    ExporterConfig fresh;
    Reading reading{name, baseDir, {}};
    try {
        parseRoot(YAML::Load(text), reading, fresh);
    } catch (const ConfigError& e) {
        error = name + ":" + std::to_string(lineOf(e.mark)) + ": " + e.reason;
        return false;
    } catch (const YAML::Exception& e) {
        error = name + ":" + std::to_string(lineOf(e.mark)) + ": " + e.msg;
        return false;
    }
    config = std::move(fresh);
    return true;
}

bool loadConfigFile(const std::string& path, ExporterConfig& config, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = path.rfind('/');
    return parseConfig(text.str(), path, slash == std::string::npos ? "." : path.substr(0, slash),
                       config, error);
}

}  // namespace vorl::exporter
