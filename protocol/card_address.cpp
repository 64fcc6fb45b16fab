#include "protocol/card_address.h"

namespace vorl {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Names what in `text` a dotted quad cannot hold; empty when there is none. The tricks that
// make other parsers see another address (a user part, a path, an IPv6 form, a hexadecimal
// number) are told before the plain "letters", wherever they stand.
std::string strayCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F) return "it contains a blank or a control character";
    }
    if (text.find('@') != text.npos)
        return "it contains '@': give the address alone, without a user";
    if (text.find('/') != text.npos)
        return "it contains '/': give one address, not a range or a path";
    if (text.find_first_of("[]:") != text.npos)
        return "IPv6 and bracketed forms are not accepted: give a dotted IPv4 address";
    if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return "hexadecimal forms are not accepted: give four decimal numbers (A.B.C.D)";
    for (const char c : text) {
        if (isLetter(c))
            return "host names are not accepted (nor letters): give the card's dotted IPv4 "
                   "address";
        if (!isDigit(c) && c != '.')
            return static_cast<unsigned char>(c) < 0x80
                       ? std::string("it contains '") + c + "'"
                       : "it contains a character other than digits and dots";
    }
    return {};
}

}  // namespace

bool parseDecimalNumber(std::string_view text, uint32_t low, uint32_t high, uint32_t& value) {
    if (text.empty() || text.size() > 10 || (text.size() > 1 && text[0] == '0')) return false;
    uint64_t number = 0;
    for (const char c : text) {
        if (!isDigit(c)) return false;
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number < low || number > high) return false;
    value = static_cast<uint32_t>(number);
    return true;
}

bool parseDottedQuad(std::string_view text, uint32_t& address, std::string& reason) {
    if (text.empty()) {
        reason = "it is empty";
        return false;
    }
    if (reason = strayCharacter(text); !reason.empty()) return false;
    std::string_view parts[4];
    size_t count = 0;
    for (size_t start = 0;;) {
        const size_t dot = text.find('.', start);
        if (count < 4) parts[count] = text.substr(start, dot - start);
        ++count;
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (count == 1) {
        reason = "it is a single number, not four dotted numbers (A.B.C.D)";
        return false;
    }
    if (count != 4) {
        reason = "it has " + std::to_string(count) + " parts, not the four of A.B.C.D";
        return false;
    }
    uint32_t result = 0;
    for (const std::string_view part : parts) {
        uint32_t octet = 0;
        if (part.empty()) {
            reason = "it has an empty part";
            return false;
        }
        if (part.size() > 1 && part[0] == '0') {
            reason = "part '" + std::string(part) +
                     "' has a leading zero (some programs read it as octal)";
            return false;
        }
        if (!parseDecimalNumber(part, 0, 255, octet)) {
            reason = "part '" + std::string(part) + "' is above 255";
            return false;
        }
        result = result << 8 | octet;
    }
    address = result;
    return true;
}

bool parseCardAddress(std::string_view text, CardAddress& card, std::string& reason) {
    std::string_view host = text;
    uint32_t port = kCardPort;
    // One colon separates a port; more, or brackets, are IPv6 forms, refused by the quad parser.
    const size_t colon = text.find(':');
    if (colon != std::string_view::npos && text.find_first_of(":[]", colon + 1) == text.npos &&
        text.find_first_of("[]") == text.npos) {
        host = text.substr(0, colon);
        const std::string_view portText = text.substr(colon + 1);
        if (!parseDecimalNumber(portText, 1, 65535, port)) {
            const bool plain = portText.size() <= 16 && strayCharacter(portText).empty();
            reason =
                (plain ? "the port '" + std::string(portText) + "'" : std::string("the port")) +
                " is not a number from 1 to 65535";
            return false;
        }
    }
    uint32_t address = 0;
    if (!parseDottedQuad(host, address, reason)) return false;
    const uint32_t first = address >> 24;
    if (first == 0) {
        reason = "0.0.0.0/8 holds no card (a connection there may reach this host itself)";
        return false;
    }
    if (first >= 224) {
        reason = "multicast, reserved and broadcast addresses hold no card";
        return false;
    }
    card.address = address;
    card.port = static_cast<uint16_t>(port);
    return true;
}

std::string dottedQuadText(uint32_t address) {
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
           std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string CardAddress::text() const {
    return dottedQuadText(address);
}

}  // namespace vorl
