#pragma once
// The 32-byte header in front of every request and response packet (little-endian).
#include <cstddef>
#include <cstdint>

namespace vorl {

struct CommandHeader {
    static constexpr size_t kSize = 32;
    static constexpr uint32_t kMaxPayload = 66528;
    static constexpr size_t kMaxPacket = kSize + kMaxPayload;  // 66560
    static constexpr uint8_t kSignature[8] = {'Z', 'O', 'R', ' ', 'U', 0xAA, 0x5A, 0xA5};

    // Field offsets.
    static constexpr size_t kHeaderLengthOffset = 10;
    static constexpr size_t kChecksumOffset = 11;
    static constexpr size_t kPayloadLengthOffset = 12;
    static constexpr size_t kCommandOffset = 20;
    static constexpr size_t kStatusOffset = 22;

    // Builds a request header for `commandCode` and `payloadLength` into `out` (32 bytes).
    // Returns false (writing nothing useful) when the payload exceeds kMaxPayload.
    static bool build(uint8_t* out, uint16_t commandCode, uint32_t payloadLength);
    // Builds a response header (status at offset 22) the way a card does; for the simulated
    // card and test peers.
    static bool buildResponse(uint8_t* out, uint16_t commandCode, uint16_t status,
                              uint32_t payloadLength);
    // The value that makes the 32 header bytes sum to 0 modulo 256 (offset 11 taken as 0).
    static uint8_t checksum(const uint8_t* header);
    // True when the 32 header bytes sum to 0 modulo 256.
    static bool checksumValid(const uint8_t* header);

    static uint32_t payloadLength(const uint8_t* header);
    static uint16_t commandCode(const uint8_t* header);
    static uint16_t status(const uint8_t* header);
};

}  // namespace vorl
