#pragma once
// A card's network address as the daemons take it from a URL or a file: strict dotted-decimal
// IPv4 and an optional port. One parser for the check and the connection: the daemons check the
// parsed number and hand the connection its canonical text, so no second reader (inet_aton's
// octal "010", short "127.1" or plain-number forms) can see another address in the same text.
#include <cstdint>
#include <string>
#include <string_view>

namespace vorl {

constexpr uint16_t kCardPort = 6577;

struct CardAddress {
    uint32_t address = 0;  // first octet highest
    uint16_t port = kCardPort;

    // "A.B.C.D", every part in plain decimal: the only text given to the connection.
    std::string text() const;
    bool operator==(const CardAddress&) const = default;
};

// "A.B.C.D": four decimal numbers from 0 to 255, no sign, no leading zero, nothing else. False
// with `reason` saying what is wrong with the text (for an answer or a configuration message).
bool parseDottedQuad(std::string_view text, uint32_t& address, std::string& reason);

// "A.B.C.D" or "A.B.C.D:PORT" (PORT from 1 to 65535, decimal without a leading zero; 6577 when
// absent). The address must be one a card can have: not 0.0.0.0/8 (which some systems connect
// to themselves), nor multicast, reserved or broadcast (224.0.0.0 and above). False with
// `reason`.
bool parseCardAddress(std::string_view text, CardAddress& card, std::string& reason);

// A decimal number from `low` to `high` without sign or leading zero; false otherwise.
bool parseDecimalNumber(std::string_view text, uint32_t low, uint32_t high, uint32_t& value);

// "A.B.C.D" of a number, first octet highest.
std::string dottedQuadText(uint32_t address);

}  // namespace vorl
