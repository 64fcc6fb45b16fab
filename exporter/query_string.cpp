#include "exporter/query_string.h"

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

bool parseTarget(const std::string& text, Target& target, std::string& reason) {
    return parseCardAddress(text, target, reason);
}

bool parseTarget(const std::string& text, Target& target) {
    std::string reason;
    return parseCardAddress(text, target, reason);
}

}  // namespace vorl::exporter
