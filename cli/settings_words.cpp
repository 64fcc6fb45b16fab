#include "cli/settings_words.h"

#include <cstdio>

#include "protocol/network_records.h"

namespace vorl::cli {
namespace {
constexpr size_t kMaxCardName = 32;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool isValidIpText(const std::string& text) {
    if (text.size() > StaticNetworkSettings::kMaxText) return false;
    int parts[4];
    if (std::sscanf(text.c_str(), "%03d.%03d.%03d.%03d", &parts[0], &parts[1], &parts[2],
                    &parts[3]) != 4)
        return false;
    for (int part : parts) {
        if (part < 0 || part > 255) return false;
    }
    return true;
}

bool readDecimalWord(const std::string& word, int32_t& value) {
    size_t i = 0;
    while (i < word.size() && isBlank(word[i])) ++i;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
    int64_t magnitude = 0;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (word[i] - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) return false;
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX || result < INT32_MIN) return false;
    value = static_cast<int32_t>(result);
    return true;
}

bool isValidCardName(const std::string& name) {
    if (name.size() > kMaxCardName) return false;
    for (char c : name) {
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        const bool digit = c >= '0' && c <= '9';
        if (!letter && !digit && c != '*' && c != '-' && c != '_') return false;
    }
    return true;
}

bool equalsIgnoringCase(const std::string& word, const char* keyword) {
    size_t i = 0;
    for (; keyword[i] != '\0'; ++i) {
        if (i >= word.size() || lower(word[i]) != lower(keyword[i])) return false;
    }
    return i == word.size();
}

}  // namespace vorl::cli
