#include "cardsim/sim_faults.h"

#include <cctype>
#include <cstdlib>

#include "wire/command_header.h"

namespace vorl::sim {
namespace {

bool parseNumber(const std::string& text, unsigned long max, unsigned long& value) {
    if (text.empty()) return false;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const std::string digits = hex ? text.substr(2) : text;
    if (digits.empty() || digits.size() > 8) return false;
    for (char c : digits) {
        const bool ok =
            hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0 : (c >= '0' && c <= '9');
        if (!ok) return false;
    }
    value = std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10);
    return value <= max;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return parts;
        start = comma + 1;
    }
}

bool takeCodes(SimOptions& options, const char* key, std::set<uint16_t>& codes,
               std::string& error) {
    const auto value = options.take(key);
    if (!value) return true;
    for (const std::string& part : splitCommas(*value)) {
        uint16_t code;
        if (!parseCode(part, code)) {
            error = std::string("bad command code for --") + key + ": '" + part + "'";
            return false;
        }
        codes.insert(code);
    }
    return true;
}

// "CODE:VALUE" pairs separated by commas, VALUE decimal (or hex) up to `max`.
template <class Value>
bool takeCodeValues(SimOptions& options, const char* key, unsigned long max,
                    std::map<uint16_t, Value>& values, std::string& error) {
    const auto text = options.take(key);
    if (!text) return true;
    for (const std::string& part : splitCommas(*text)) {
        const size_t colon = part.find(':');
        uint16_t code;
        unsigned long value;
        if (colon == std::string::npos || !parseCode(part.substr(0, colon), code) ||
            !parseNumber(part.substr(colon + 1), max, value)) {
            error = std::string("bad value for --") + key + ": '" + part + "' (CODE:N, N up to " +
                    std::to_string(max) + ")";
            return false;
        }
        values[code] = static_cast<Value>(value);
    }
    return true;
}

// "CODE:N" or "CODE:N-M" pairs separated by commas, 1 <= N <= M.
bool takeRanges(SimOptions& options, const char* key,
                std::map<uint16_t, std::pair<uint32_t, uint32_t>>& ranges, std::string& error) {
    const auto text = options.take(key);
    if (!text) return true;
    for (const std::string& part : splitCommas(*text)) {
        const size_t colon = part.find(':');
        const size_t dash = part.find('-', colon == std::string::npos ? 0 : colon);
        uint16_t code;
        unsigned long first = 0;
        unsigned long last = 0;
        bool ok = colon != std::string::npos && parseCode(part.substr(0, colon), code) &&
                  parseNumber(part.substr(colon + 1, dash == std::string::npos ? std::string::npos
                                                                               : dash - colon - 1),
                              0xFFFFFFFF, first);
        last = first;
        if (ok && dash != std::string::npos)
            ok = parseNumber(part.substr(dash + 1), 0xFFFFFFFF, last);
        if (!ok || first < 1 || last < first) {
            error = std::string("bad value for --") + key + ": '" + part +
                    "' (CODE:N or CODE:N-M, 1 <= N <= M)";
            return false;
        }
        ranges[code] = {static_cast<uint32_t>(first), static_cast<uint32_t>(last)};
    }
    return true;
}

}  // namespace

bool SimFaults::hits(uint16_t command, uint32_t number) const {
    const auto range = faultOn.find(command);
    return range == faultOn.end() ||
           (number >= range->second.first && number <= range->second.second);
}

uint32_t SimRequestCounter::next(uint16_t command) {
    std::lock_guard<std::mutex> guard(lock_);
    return ++counts_[command];
}

bool parseCode(const std::string& text, uint16_t& value) {
    unsigned long number;
    if (!parseNumber(text, 0xFFFF, number)) return false;
    value = static_cast<uint16_t>(number);
    return true;
}

bool SimFaults::take(SimOptions& options, std::string& error) {
    if (const auto value = options.take("stray-bytes")) {
        unsigned long n;
        if (!parseNumber(*value, kMaxStrayBytes, n)) {
            error = "bad value for --stray-bytes: '" + *value + "' (0 to 65536)";
            return false;
        }
        strayBytes = n;
    }
    if (!takeCodes(options, "bad-checksum", badChecksum, error) ||
        !takeCodes(options, "no-reply", noReply, error) ||
        !takeCodes(options, "half-reply", halfReply, error))
        return false;
    return takeCodeValues(options, "force-status", 0xFFFF, forceStatus, error) &&
           takeCodeValues(options, "reply-delay", kMaxReplyDelayMs, replyDelayMs, error) &&
           takeCodeValues(options, "stall-reply", CommandHeader::kMaxPacket + kMaxStrayBytes,
                          stallAfterBytes, error) &&
           takeRanges(options, "fault-on", faultOn, error);
}

std::vector<uint8_t> SimFaults::strayPrefix() const {
    static constexpr uint8_t kPattern[] = {'Z', '.', 'Z', 'O', 'R', ' ', 'U', 0xAA, '.', 0x00};
    std::vector<uint8_t> junk(strayBytes);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = kPattern[i % sizeof kPattern];
    if (!junk.empty()) junk.back() = '.';
    return junk;
}

}  // namespace vorl::sim
