#include "exporter/query_string.h"

#include "exporter/exporter_config.h"

namespace vorl::exporter {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool decode(std::string_view text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+') {
            c = ' ';
        } else if (c == '%') {
            if (text.size() - i < 3) return false;
            const int high = hexDigit(text[i + 1]), low = hexDigit(text[i + 2]);
            if (high < 0 || low < 0) return false;
            c = static_cast<char>(high * 16 + low);
            i += 2;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
        out += c;
    }
    return true;
}

}  // namespace

bool parseQuery(std::string_view query, std::map<std::string, std::string>& values) {
    if (query.size() > kMaxQueryLength) return false;
    while (!query.empty()) {
        const size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        if (pair.empty()) continue;
        const size_t equals = pair.find('=');
        std::string key, value;
        if (!decode(pair.substr(0, equals), key)) return false;
        if (equals != std::string_view::npos && !decode(pair.substr(equals + 1), value))
            return false;
        values[key] = value;
    }
    return true;
}

bool parseTarget(const std::string& text, Target& target) {
    const size_t colon = text.find(':');
    uint32_t address = 0;
    if (!parseAddress(text.substr(0, colon), address)) return false;
    uint16_t port = 6577;
    if (colon != std::string::npos) {
        const std::string digits = text.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long value = std::stoul(digits);
        if (value == 0 || value > 65535) return false;
        port = static_cast<uint16_t>(value);
    }
    target.address = text.substr(0, colon);
    target.port = port;
    return true;
}

}  // namespace vorl::exporter
