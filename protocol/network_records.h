#pragma once
// Records of the network and MAC commands (groups 0x07 and 0x08). They hold only text and byte
// strings, so no byte order applies.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorl {

// The answer of 0x0700: seven text fields of 32 bytes.
struct NetworkConfig {
    static constexpr size_t kSize = 224;
    static constexpr size_t kFieldWidth = 32;
    char method[kFieldWidth + 1] = {};         // as the card names it
    char interfaceName[kFieldWidth + 1] = {};  // empty: the interface is not up
    char macAddress[kFieldWidth + 1] = {};
    char ipAddress[kFieldWidth + 1] = {};
    char broadcast[kFieldWidth + 1] = {};
    char netmask[kFieldWidth + 1] = {};
    char gateway[kFieldWidth + 1] = {};

    void decode(const uint8_t* in);   // kSize bytes
    void encode(uint8_t* out) const;  // kSize bytes (the simulated card answers with it)
};

// The request of 0x0701: new address, netmask and gateway, each a 32-byte text field.
struct StaticNetworkSettings {
    static constexpr size_t kSize = 96;
    static constexpr size_t kFieldWidth = 32;
    // Longest text that still leaves its field a terminating NUL.
    static constexpr size_t kMaxText = kFieldWidth - 1;
    // Fills `out` (kSize bytes, NUL-padded). False, with `out` zeroed, when a text is longer
    // than kMaxText.
    static bool encode(uint8_t* out, std::string_view ip, std::string_view netmask,
                       std::string_view gateway);
};

constexpr size_t kMacLength = 6;
constexpr size_t kMacTextLength = 17;  // "00:2A:3B:4C:5D:1D"
constexpr size_t kMacRecordSize = 7;   // the request of 0x0801

// Sum of the six bytes modulo 100: byte 6 of the 0x0801 request.
uint8_t macChecksum(const uint8_t mac[kMacLength]);
// The six bytes and their checksum, as 0x0801 carries them.
void encodeMacRecord(const uint8_t mac[kMacLength], uint8_t out[kMacRecordSize]);
// Writes the text form with upper-case digits and a NUL (18 bytes).
void formatMacText(const uint8_t mac[kMacLength], char out[kMacTextLength + 1]);
// Reads six groups of two hexadecimal digits (either case) at characters 0, 3, 6, 9, 12 and 15;
// with `requireColons` the first five groups must each be followed by ":". Whatever follows
// the sixth group is ignored. False, leaving `mac` alone, when the text does not start so.
bool parseMacText(std::string_view text, uint8_t mac[kMacLength], bool requireColons = true);

}  // namespace vorl
