#include "cli/typed_numbers.h"

#include <cstdint>

namespace vorl::cli {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool readWholeDecimal(const std::string& word, int32_t& value) {
    size_t i = 0;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
    if (i == word.size()) return false;
    int64_t magnitude = 0;
    for (; i < word.size(); ++i) {
        if (!isDigit(word[i])) return false;
        magnitude = magnitude * 10 + (word[i] - '0');
        if (magnitude > int64_t{INT32_MAX} + 1) return false;
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result > INT32_MAX) return false;
    value = static_cast<int32_t>(result);
    return true;
}

int32_t leadingDecimal(const std::string& word) {
    size_t i = 0;
    while (i < word.size() && isBlank(word[i])) ++i;
    bool negative = false;
    if (i < word.size() && (word[i] == '+' || word[i] == '-')) negative = word[i++] == '-';
    int64_t magnitude = 0;
    for (; i < word.size() && isDigit(word[i]); ++i) {
        magnitude = magnitude * 10 + (word[i] - '0');
        if (magnitude > INT32_MAX) return negative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

bool readByteAddress(const std::string& word, uint8_t& address) {
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        if (word.size() > 4) return false;
        int value = 0;
        for (size_t i = 2; i < word.size(); ++i) {
            const int digit = hexValue(word[i]);
            if (digit < 0) return false;
            value = value * 16 + digit;
        }
        address = static_cast<uint8_t>(value);
        return true;
    }
    int32_t value = 0;
    if (!readWholeDecimal(word, value) || value < 0 || value > 255) return false;
    address = static_cast<uint8_t>(value);
    return true;
}

}  // namespace vorl::cli
