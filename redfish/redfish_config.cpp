#include "redfish/redfish_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <yaml-cpp/yaml.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "protocol/card_address.h"
#include "web/secret_file.h"
#include "web/web_config.h"

namespace vorl::redfish {
namespace {

// The card's login record holds 31 characters of a user name and of a password.
constexpr size_t kMaxCardText = 31;

int lineOf(const YAML::Mark& mark) {
    return mark.line < 0 ? 1 : mark.line + 1;
}

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

// "10s", "500ms", "30m", "1h" or a plain number of seconds, from `min` to `max`.
std::chrono::milliseconds parseDuration(const YAML::Node& node, const std::string& key,
                                        std::chrono::milliseconds min,
                                        std::chrono::milliseconds max) {
    const std::string text = scalar(node, key);
    size_t digits = 0;
    while (digits < text.size() && digits < 9 && text[digits] >= '0' && text[digits] <= '9')
        ++digits;
    const std::string unit = text.substr(digits);
    const long long value = digits == 0 ? -1 : std::stoll(text.substr(0, digits));
    long long ms = -1;
    if (value >= 0 && (unit.empty() || unit == "s")) ms = value * 1000;
    if (value >= 0 && unit == "ms") ms = value;
    if (value >= 0 && unit == "m") ms = value * 60000;
    if (value >= 0 && unit == "h") ms = value * 3600000;
    if (ms < min.count() || ms > max.count() || ms < 0)
        fail(node, key + " '" + text + "' is not a duration from " + std::to_string(min.count()) +
                       "ms to " + std::to_string(max.count() / 1000) + "s (e.g. 10s, 500ms, 30m)");
    return std::chrono::milliseconds(ms);
}

std::string besideFile(const std::string& baseDir, const std::string& path) {
    if (path.empty() || path[0] == '/' || baseDir.empty()) return path;
    return baseDir + "/" + path;
}

CardConfig parseCard(const YAML::Node& node, const std::string& baseDir,
                     std::vector<std::string>& warnings) {
    if (!node.IsMap()) fail(node, "a card must be a mapping (id, address, user, password_file)");
    CardConfig card;
    bool havePassword = false;
    for (const auto& entry : node) {
        const std::string key = scalar(entry.first, "a key");
        const YAML::Node& value = entry.second;
        if (key == "id") {
            card.id = scalar(value, key);
            if (!isValidCardId(card.id))
                fail(value, "card id '" + card.id + "' must be 1 to 64 letters, digits, - or _");
        } else if (key == "address") {
            card.address = scalar(value, key);
            CardAddress parsed;
            std::string reason;
            if (card.address.find(':') != std::string::npos)
                fail(value, "address '" + card.address + "': give the address alone (port 6577)");
            if (!parseCardAddress(card.address, parsed, reason))
                fail(value, "address '" + card.address + "' refused: " + reason);
        } else if (key == "user") {
            card.user = scalar(value, key);
            if (card.user.empty() || card.user.size() > kMaxCardText)
                fail(value, "user must be 1 to 31 characters");
        } else if (key == "password_file") {
            const std::string path = besideFile(baseDir, scalar(value, key));
            std::string error, warning;
            if (!web::readSecretFile(path, card.password, error, warning))
                fail(value, "password_file " + path + " " + error);
            if (!warning.empty())
                warnings.push_back("line " + std::to_string(lineOf(value.Mark())) +
                                   ": password_file " + path + " " + warning);
            if (card.password.size() > kMaxCardText)
                fail(value, "the password in " + path + " is longer than 31 characters");
            havePassword = true;
        } else {
            fail(entry.first, "unknown key '" + key +
                                  "' in a card (id, address, user, "
                                  "password_file)");
        }
    }
    if (card.id.empty()) fail(node, "a card needs an id");
    if (card.address.empty()) fail(node, "card " + card.id + " needs an address");
    if (card.user.empty()) fail(node, "card " + card.id + " needs a user");
    if (!havePassword) fail(node, "card " + card.id + " needs a password_file");
    return card;
}

AccountConfig parseAccount(const YAML::Node& node) {
    if (!node.IsMap()) fail(node, "an account must be a mapping (name, password_hash, role)");
    AccountConfig account;
    bool haveRole = false;
    for (const auto& entry : node) {
        const std::string key = scalar(entry.first, "a key");
        const YAML::Node& value = entry.second;
        if (key == "name") {
            account.name = scalar(value, key);
            if (!isValidAccountName(account.name))
                fail(value, "account name '" + account.name +
                                "' must be 1 to 64 letters, digits, ., - or _");
        } else if (key == "password_hash") {
            account.passwordHash = scalar(value, key);
            if (std::string reason; !web::isBcryptHash(account.passwordHash, reason))
                fail(value, "password_hash of " + account.name + " " + reason);
        } else if (key == "role") {
            const auto role = parseRole(scalar(value, key));
            if (!role) fail(value, "role must be Administrator, Operator or ReadOnly");
            account.role = *role;
            haveRole = true;
        } else {
            fail(entry.first, "unknown key '" + key +
                                  "' in an account (name, password_hash, "
                                  "role)");
        }
    }
    if (account.name.empty()) fail(node, "an account needs a name");
    if (account.passwordHash.empty())
        fail(node, "account " + account.name + " needs a password_hash");
    if (!haveRole) fail(node, "account " + account.name + " needs a role");
    return account;
}

size_t parseCount(const YAML::Node& node, const std::string& key, size_t min, size_t max) {
    const std::string text = scalar(node, key);
    if (text.empty() || text.size() > 6 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoul(text) < min ||
        std::stoul(text) > max)
        fail(node,
             key + " must be a number from " + std::to_string(min) + " to " + std::to_string(max));
    return std::stoul(text);
}

bool parseBoolean(const YAML::Node& node, const std::string& key) {
    const std::string text = scalar(node, key);
    if (text != "true" && text != "false") fail(node, key + " must be true or false");
    return text == "true";
}

void parseEvents(const YAML::Node& node, EventConfig& events) {
    if (!node.IsMap()) fail(node, "events must be a mapping");
    using std::chrono::milliseconds;
    for (const auto& entry : node) {
        const std::string key = scalar(entry.first, "a key");
        const YAML::Node& value = entry.second;
        if (key == "poll_interval") {
            // 0: cards are not watched (no log, sensor or reachability events).
            events.pollInterval = parseDuration(value, key, milliseconds(0), milliseconds(3600000));
            if (events.pollInterval.count() != 0 && events.pollInterval < milliseconds(100))
                fail(value, "poll_interval must be 0 (off) or at least 100ms");
        } else if (key == "delivery_retry_attempts")
            events.retryAttempts = static_cast<int>(parseCount(value, key, 0, 100));
        else if (key == "delivery_retry_interval")
            events.retryInterval =
                parseDuration(value, key, milliseconds(100), milliseconds(3600000));
        else if (key == "delivery_timeout")
            events.deliveryTimeout =
                parseDuration(value, key, milliseconds(100), milliseconds(120000));
        else if (key == "max_subscriptions")
            events.maxSubscriptions = parseCount(value, key, 0, 1000);
        else if (key == "max_sse_clients")
            events.maxStreams = parseCount(value, key, 0, 1000);
        else if (key == "verify_certificates")
            events.verifyCertificates = parseBoolean(value, key);
        else
            fail(entry.first, "unknown key '" + key +
                                  "' in events (poll_interval, delivery_retry_attempts, "
                                  "delivery_retry_interval, delivery_timeout, max_subscriptions, "
                                  "max_sse_clients, verify_certificates)");
    }
}

void parseRoot(const YAML::Node& root, const std::string& baseDir, RedfishConfig& config) {
    if (!root.IsMap()) fail(root, "the file must be a mapping with cards: and accounts:");
    bool haveAccounts = false;
    std::set<std::string> ids, addresses, names;
    for (const auto& entry : root) {
        const std::string key = scalar(entry.first, "a key");
        const YAML::Node& value = entry.second;
        if (key == "state_dir") {
            config.stateDir = scalar(value, key);
            if (config.stateDir.empty() || config.stateDir[0] != '/')
                fail(value, "state_dir must be an absolute path");
        } else if (key == "cards") {
            if (value.IsNull()) continue;  // none: only --local-card's
            if (!value.IsSequence()) fail(value, "cards must be a list");
            for (const auto& item : value) {
                CardConfig card = parseCard(item, baseDir, config.warnings);
                if (!ids.insert(card.id).second)
                    fail(item, "card id " + card.id + " appears twice");
                // Two entries for one card would mean two sessions to it.
                if (!addresses.insert(card.address).second)
                    fail(item, "address " + card.address + " appears twice");
                config.cards.push_back(std::move(card));
            }
        } else if (key == "accounts") {
            if (!value.IsSequence()) fail(value, "accounts must be a list");
            for (const auto& item : value) {
                AccountConfig account = parseAccount(item);
                if (!names.insert(account.name).second)
                    fail(item, "account " + account.name + " appears twice");
                config.accounts.push_back(std::move(account));
            }
            haveAccounts = true;
        } else if (key == "card_timeout") {
            config.cardTimeout = parseDuration(value, key, std::chrono::milliseconds(100),
                                               std::chrono::milliseconds(600000));
        } else if (key == "cache_time") {
            config.cacheTime = parseDuration(value, key, std::chrono::milliseconds(0),
                                             std::chrono::milliseconds(3600000));
        } else if (key == "session_timeout") {
            config.sessionTimeout = std::chrono::duration_cast<std::chrono::seconds>(parseDuration(
                value, key, std::chrono::milliseconds(30000), std::chrono::milliseconds(86400000)));
        } else if (key == "parallel_updates") {
            const std::string text = scalar(value, key);
            const bool digits = !text.empty() && text.size() <= 2 &&
                                text.find_first_not_of("0123456789") == text.npos;
            const int count = digits ? std::stoi(text) : 0;
            if (count < 1 || count > 64) fail(value, key + " '" + text + "' is not from 1 to 64");
            config.parallelUpdates = count;
        } else if (key == "update_file_dir") {
            config.updateFileDir = scalar(value, key);
            if (config.updateFileDir.size() < 2 || config.updateFileDir[0] != '/')
                fail(value, "update_file_dir must be an absolute path other than /");
        } else if (key == "update_download_timeout") {
            config.downloadTimeout = parseDuration(value, key, std::chrono::milliseconds(1000),
                                                   std::chrono::milliseconds(3600000));
        } else if (key == "events") {
            parseEvents(value, config.events);
        } else {
            fail(entry.first, "unknown key '" + key +
                                  "' (state_dir, cards, accounts, card_timeout, cache_time, "
                                  "session_timeout, parallel_updates, update_file_dir, "
                                  "update_download_timeout, events)");
        }
    }
    if (!haveAccounts || config.accounts.empty())
        fail(root, "accounts: at least one account is needed to log in to the service");
}

}  // namespace

bool isStrictCardAddress(const std::string& text) {
    uint32_t address = 0;
    std::string reason;
    return parseDottedQuad(text, address, reason);
}

bool isValidCardId(const std::string& id) {
    if (id.empty() || id.size() > 64) return false;
    for (char c : id) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool isValidAccountName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name == "." || name == "..") return false;
    for (char c : name)
        if (c != '.' && !isValidCardId(std::string(1, c))) return false;
    return true;
}

bool parseRedfishConfig(const std::string& text, const std::string& name,
                        const std::string& baseDir, RedfishConfig& config, std::string& error) {
    RedfishConfig fresh;
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

bool loadRedfishConfig(const std::string& path, RedfishConfig& config, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot be read";
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    const size_t slash = path.rfind('/');
    return parseRedfishConfig(
        text.str(), path, slash == std::string::npos ? "." : path.substr(0, slash), config, error);
}

}  // namespace vorl::redfish
