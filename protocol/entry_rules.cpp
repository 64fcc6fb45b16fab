#include "protocol/entry_rules.h"

#include <cstdio>
#include <cstring>

#include "protocol/advanced_records.h"
#include "protocol/network_records.h"

namespace vorl {
namespace {

constexpr size_t kMaxCardName = 32;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool isLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

}  // namespace

bool equalsIgnoringCase(std::string_view word, std::string_view keyword) {
    if (word.size() != keyword.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
        if (lower(word[i]) != lower(keyword[i])) return false;
    }
    return true;
}

bool isValidIpText(std::string_view text) {
    if (text.size() > StaticNetworkSettings::kMaxText) return false;
    // sscanf needs a terminated copy; the length check above bounds it.
    char copy[StaticNetworkSettings::kMaxText + 1] = {};
    std::memcpy(copy, text.data(), text.size());
    int parts[4];
    if (std::sscanf(copy, "%03d.%03d.%03d.%03d", &parts[0], &parts[1], &parts[2], &parts[3]) != 4)
        return false;
    for (int part : parts) {
        if (part < 0 || part > 255) return false;
    }
    return true;
}

bool isValidAccountText(std::string_view text) {
    for (const char c : text) {
        if (!isLetterOrDigit(c) && c != '-' && c != '_') return false;
    }
    return true;
}

bool isValidCardName(std::string_view name) {
    if (name.size() > kMaxCardName) return false;
    for (const char c : name) {
        if (!isLetterOrDigit(c) && c != '*' && c != '-' && c != '_') return false;
    }
    return true;
}

bool isExactMacText(std::string_view text) {
    if (text.size() != kMacTextLength) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool separator = i % 3 == 2;
        if (separator ? text[i] != ':' : !isHexDigit(text[i])) return false;
    }
    return true;
}

bool isModemPort(std::string_view word) {
    for (std::string_view port : kModemPorts) {
        if (word == port) return true;
    }
    return false;
}

bool isModemSpeed(std::string_view word) {
    for (std::string_view speed : kModemSpeeds) {
        if (word == speed) return true;
    }
    return false;
}

bool readAsrState(std::string_view word, uint8_t& value) {
    if (equalsIgnoringCase(word, "ENABLED")) {
        value = kAsrEnabled;
    } else if (equalsIgnoringCase(word, "DISABLED")) {
        value = kAsrDisabled;
    } else {
        return false;
    }
    return true;
}

bool readAsrMethod(std::string_view word, uint8_t& value) {
    if (equalsIgnoringCase(word, "POWERCYCLE")) {
        value = kAsrPowerCycle;
    } else if (equalsIgnoringCase(word, "RESET")) {
        value = kAsrReset;
    } else {
        return false;
    }
    return true;
}

}  // namespace vorl
