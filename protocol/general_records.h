#pragma once
// Records of the general settings (group 0x09) and heartbeat interval (group 0x0A) commands.
// Numbers are big-endian on the wire and in host order in these records.
#include <cstddef>
#include <cstdint>

namespace vorl {

// The answer of 0x0903: the version text in the first 80 bytes, the build date after it.
struct FirmwareInfo {
    static constexpr size_t kSize = 256;  // the most a card sends
    static constexpr size_t kVersionWidth = 80;
    char version[kVersionWidth + 1] = {};
    char buildDate[kSize - kVersionWidth + 1] = {};
    // Reads `length` bytes of an answer (at most kSize); a shorter answer gives shorter texts.
    void decode(const uint8_t* in, size_t length);
};

// Request of 0x0904, answer of 0x0905: the server that carries the card.
struct ServerInfo {
    static constexpr size_t kSize = 152;
    static constexpr size_t kNameWidth = 32;
    static constexpr size_t kLocationWidth = 32;
    static constexpr size_t kOsWidth = 32;
    static constexpr size_t kDescriptionWidth = 56;
    char name[kNameWidth + 1] = {};
    char location[kLocationWidth + 1] = {};
    char os[kOsWidth + 1] = {};
    char description[kDescriptionWidth + 1] = {};
    void encode(uint8_t* out) const;  // kSize bytes
    void decode(const uint8_t* in);   // kSize bytes
};

// Request of 0x0908, answer of 0x0909: two mail servers and their identities.
struct SmtpConfig {
    static constexpr size_t kSize = 544;
    static constexpr size_t kServerWidth = 16;
    static constexpr size_t kMailIdWidth = 256;
    char server1[kServerWidth + 1] = {};
    char mailId1[kMailIdWidth + 1] = {};
    char server2[kServerWidth + 1] = {};
    char mailId2[kMailIdWidth + 1] = {};
    void encode(uint8_t* out) const;  // kSize bytes
    void decode(const uint8_t* in);   // kSize bytes
};

// Request of 0x090A, answer of 0x090B.
struct CardTime {
    static constexpr size_t kSize = 5;
    // Request: 1 lets the card go back in time (it resets itself to do so). Answer: as received.
    uint8_t rollBack = 0;
    // Seconds since 1970-01-01 00:00:00 UTC.
    int32_t seconds = 0;
    void encode(uint8_t* out) const;  // kSize bytes, the time big-endian at offset 1
    void decode(const uint8_t* in);   // kSize bytes
};

// The request of 0x0906: the name text in a field of this many bytes.
constexpr size_t kCardNameFieldSize = 256;
// The request of 0x0A01 and answer of 0x0A00: one big-endian 32-bit number.
constexpr size_t kHeartbeatIntervalSize = 4;

}  // namespace vorl
