#pragma once
// Records of the card health (0x01), power control (0x03) and advanced settings (0x0C)
// commands. Numbers are held in host order; encode/decode write and read the wire form.
#include <cstddef>
#include <cstdint>

namespace vorl {

// PPP addresses, 64 bytes: the card's end and the client's, dotted decimal text.
struct PppConfig {
    static constexpr size_t kSize = 64;
    static constexpr size_t kAddressSize = 32;
    char serverIp[kAddressSize] = {};
    char clientIp[kAddressSize] = {};

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

// One modem port's settings, 140 bytes.
struct ModemConfig {
    static constexpr size_t kSize = 140;
    static constexpr size_t kPortSize = 32;
    static constexpr size_t kSpeedSize = 12;
    static constexpr size_t kInitSize = 64;
    static constexpr size_t kPhoneSize = 32;
    static constexpr size_t kMaxInitLength = 60;
    static constexpr size_t kMaxPhoneLength = 30;
    char port[kPortSize] = {};    // "ttyS2" or "ttyS3"
    char speed[kSpeedSize] = {};  // "9600", "19200", "38400", "57600" or empty
    char initString[kInitSize] = {};
    char phoneNumber[kPhoneSize] = {};

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

enum AsrState : uint8_t { kAsrEnabled = 1, kAsrDisabled = 2 };
enum AsrMethod : uint8_t { kAsrPowerCycle = 1, kAsrReset = 2 };

// Automatic server restart settings, 4 bytes.
struct AsrConfig {
    static constexpr size_t kSize = 4;
    static constexpr uint16_t kMinimumDelay = 240;
    uint8_t state = kAsrDisabled;
    uint8_t method = kAsrReset;
    uint16_t delay = kMinimumDelay;  // seconds, big-endian on the wire

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

// IPMI settings, 17 bytes packed. Flags go out as 01 00 00 00 (yes) or four zero bytes and are
// read back as "not zero".
struct IpmiConfig {
    static constexpr size_t kSize = 17;
    bool hasBmc = false;
    uint8_t bmcAddress = 0;
    bool ipmiPowerControl = false;
    bool useBmcSdrs = false;
    bool privateEventLog = false;

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

enum PowerAction : uint8_t {
    kPowerReset = 1,
    kPowerDown = 2,
    kPowerUp = 3,
    kPowerCycle = 4,
};

// The card's voltage health table, six entries of 136 bytes.
struct CardHealthEntry {
    static constexpr size_t kSize = 136;
    static constexpr size_t kNameSize = 80;
    static constexpr size_t kStatusSize = 32;
    char name[kNameSize] = {};
    uint32_t millivolts = 0;
    uint32_t other[5] = {};  // carried, not used by the tools
    char status[kStatusSize] = {};

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

struct CardHealth {
    static constexpr size_t kEntryCount = 6;
    static constexpr size_t kSize = CardHealthEntry::kSize * kEntryCount;  // 816
    CardHealthEntry entries[kEntryCount];

    void encode(uint8_t* out) const;
    void decode(const uint8_t* in);
};

}  // namespace vorl
