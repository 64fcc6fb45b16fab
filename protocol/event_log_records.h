#pragma once
// Records of the event log and alert recipient commands (group 0x04). The structs hold host
// order; encode/decode write and read the big-endian wire form explicitly.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vorl {

// Answer of 0x0400.
struct SelInfo {
    static constexpr size_t kSize = 14;
    uint8_t version = 0;  // low nibble major, high nibble minor
    uint16_t recordCount = 0;
    uint16_t freeSpace = 0;     // bytes
    uint32_t lastAddition = 0;  // seconds since 1970-01-01 UTC
    uint32_t lastErase = 0;
    uint8_t supportFlags = 0;  // bit 3 delete, bit 1 reserve, bit 0 allocation information

    static constexpr uint8_t kDeleteSupport = 0x08;
    static constexpr uint8_t kReserveSupport = 0x02;
    static constexpr uint8_t kAllocInfoSupport = 0x01;

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

enum SelSeverity : uint8_t {
    kSeverityInformation = 2,
    kSeverityReturnToOk = 4,
    kSeverityWarning = 8,
    kSeverityCritical = 16,
    kSeverityFatal = 32,
};

enum SelPolicy : uint8_t {
    kSelPolicyRollover = 1,
    kSelPolicyStop = 2,
};

// One event log record, 48 bytes on the wire. The bytes the host does not interpret travel
// unchanged.
struct SelRecord {
    static constexpr size_t kSize = 48;
    uint16_t recordNumber = 0;  // from 1
    uint8_t reserved2 = 0;
    uint32_t timestamp = 0;  // seconds since 1970-01-01 UTC
    uint8_t reserved7[3] = {};
    uint16_t eventId = 0;  // high byte module number, low byte event number
    uint8_t severity = 0;
    uint8_t reserved13 = 0;
    uint16_t extra = 0;  // converted, not interpreted
    uint8_t eventData[32] = {};

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

// A record followed by its description text, 304 bytes on the wire.
struct SelRecordEx {
    static constexpr size_t kSize = 304;
    static constexpr size_t kDescriptionSize = 256;
    SelRecord record;
    char description[kDescriptionSize] = {};  // NUL-terminated unless full

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

// The host-side record of one alert recipient. Each text holds at most 31 characters.
struct AlertRecipient {
    static constexpr size_t kTextSize = 32;
    uint8_t index = 0;  // 1 to 8
    char name[kTextSize] = {};
    char mailAddress[kTextSize] = {};
    char snmpDestination[kTextSize] = {};
    char pppLogin[kTextSize] = {};
    char notificationMethod[kTextSize] = {};  // "Mail via LAN", ... or empty
    char pppPassword[kTextSize] = {};
    char alertLevel[kTextSize] = {};  // "All Alerts", "Disable Alerts" or "Critical Only"
};

// The key/value wire form of an alert recipient: eight pairs of a 256-byte key and a 256-byte
// value.
namespace recipient_pairs {
constexpr size_t kFieldSize = 256;
constexpr size_t kPairSize = 2 * kFieldSize;
constexpr size_t kPairCount = 8;
constexpr size_t kSize = kPairSize * kPairCount;  // 4096
constexpr size_t kGetRequestSize = 6152;          // the pairs and 2056 zero bytes

// Writes all eight pairs of `recipient` into `out` (kSize bytes, zero-filled first). Returns
// false, with `out` zero-filled, when a text does not fit its 31 characters.
bool build(const AlertRecipient& recipient, uint8_t* out);
// Writes the one-pair selection of 0x040F into `out` (kGetRequestSize bytes, zero-filled).
void buildSelect(uint8_t index, uint8_t* out);
// Copies the values of the pairs found within `length` bytes of `in` into `recipient`: exact,
// case-sensitive keys, each bounded to its field; values cut to 31 characters; the index and
// fields without a pair are left alone.
void parse(const uint8_t* in, size_t length, AlertRecipient& recipient);
}  // namespace recipient_pairs

}  // namespace vorl
