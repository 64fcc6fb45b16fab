#include "exporter/exporter_config.h"

#include <yaml-cpp/yaml.h>

#include <fstream>
#include <sstream>

namespace vorl::exporter {
namespace {

constexpr size_t kMaxPasswordFile = 4096;

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

std::string readPasswordFile(const YAML::Node& node, const std::string& baseDir) {
    std::string path = scalar(node, "password_file");
    if (!path.empty() && path[0] != '/' && !baseDir.empty()) path = baseDir + "/" + path;
    std::ifstream in(path, std::ios::binary);
    if (!in) fail(node, "cannot read password_file " + path);
    std::string text(kMaxPasswordFile + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (text.size() > kMaxPasswordFile) fail(node, "password_file " + path + " is too long");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

Module parseModule(const YAML::Node& nameNode, const YAML::Node& node, const std::string& name,
                   const std::string& baseDir) {
    if (!node.IsMap()) fail(node, "module " + name + " must be a mapping");
    Module module;
    bool haveUser = false, havePassword = false;
    for (const auto& entry : node) {
        const std::string key = scalar(entry.first, "a key");
        const YAML::Node& value = entry.second;
        if (key == "user") {
            module.user = scalar(value, key);
            haveUser = true;
        } else if (key == "password" || key == "password_file") {
            if (havePassword) fail(entry.first, "give password or password_file, not both");
            module.password =
                key == "password" ? scalar(value, key) : readPasswordFile(value, baseDir);
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

void parseRoot(const YAML::Node& root, const std::string& baseDir, ExporterConfig& config) {
    if (!root.IsMap()) fail(root, "the file must be a mapping with a modules: key");
    for (const auto& entry : root) {
        const std::string key = scalar(entry.first, "a key");
        if (key == "modules") {
            if (!entry.second.IsMap() || entry.second.size() == 0)
                fail(entry.second, "modules must map module names to modules");
            for (const auto& module : entry.second) {
                const std::string name = scalar(module.first, "a module name");
                // YAML readers differ on a repeated key; one module must not replace another.
                if (config.modules.count(name))
                    fail(module.first, "module " + name + " appears twice");
                config.modules[name] = parseModule(module.first, module.second, name, baseDir);
            }
        } else if (key == "allowed_targets") {
            if (!entry.second.IsSequence()) fail(entry.second, "allowed_targets must be a list");
            for (const auto& item : entry.second) {
                AddressRange range;
                if (!parseRange(scalar(item, "a target"), range))
                    fail(item, "'" + item.Scalar() + "' is not an IPv4 address or CIDR range");
                config.allowedTargets.push_back(range);
            }
        } else {
            fail(entry.first, "unknown key '" + key + "'");
        }
    }
    if (config.modules.empty()) fail(root, "no modules: at least a default module is needed");
}

}  // namespace

bool parseAddress(const std::string& text, uint32_t& hostOrder) {
    uint32_t result = 0;
    size_t i = 0;
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0 && (i >= text.size() || text[i++] != '.')) return false;
        unsigned value = 0, digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 3) {
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) return false;
        result = result << 8 | value;
    }
    if (i != text.size()) return false;
    hostOrder = result;
    return true;
}

bool parseAddressWithNumber(const std::string& text, char separator, unsigned max,
                            uint32_t& address, unsigned& number) {
    const size_t at = text.find(separator);
    if (!parseAddress(text.substr(0, at), address)) return false;
    if (at == std::string::npos) return true;
    const std::string digits = text.substr(at + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != digits.npos)
        return false;
    const unsigned long value = std::stoul(digits);
    if (value > max) return false;
    number = static_cast<unsigned>(value);
    return true;
}

bool parseRange(const std::string& text, AddressRange& range) {
    uint32_t address = 0;
    unsigned prefix = 32;
    if (!parseAddressWithNumber(text, '/', 32, address, prefix)) return false;
    range.mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    range.address = address & range.mask;
    return true;
}

bool ExporterConfig::allows(const std::string& target) const {
    uint32_t address = 0;
    if (!parseAddress(target, address)) return false;
    if (allowedTargets.empty()) return true;
    for (const auto& range : allowedTargets)
        if (range.contains(address)) return true;
    return false;
}

bool parseConfig(const std::string& text, const std::string& name, const std::string& baseDir,
                 ExporterConfig& config, std::string& error) {
    ExporterConfig fresh;
    try {
        parseRoot(YAML::Load(text), baseDir, fresh);
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
