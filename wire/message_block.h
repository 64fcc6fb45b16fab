#pragma once
// The 512-byte control block of the host interface's message layer (little-endian). The host
// writes it to announce a request; the card reports its progress and result in it.
#include <cstddef>
#include <cstdint>

namespace vorl {

struct MessageBlock {
    static constexpr size_t kSize = 512;
    static constexpr char kSignature[17] = "$K8-CONFIG-HOST$";  // 16 bytes on the wire, no NUL
    static constexpr size_t kSignatureSize = 16;

    static constexpr size_t kTypeOffset = 16;
    static constexpr size_t kStatusOffset = 18;
    static constexpr size_t kRequestLengthOffset = 20;
    static constexpr size_t kResponseLengthOffset = 24;
    static constexpr size_t kTrailerOffset = 510;  // 0x55 0xAA

    static constexpr uint16_t kBusyBit = 0x8000;  // status bit 15: the card is still working
    static constexpr uint16_t kTypeCardCommand = 0;

    // Card results (status with bit 15 clear).
    static constexpr uint16_t kStatusDone = 0;
    static constexpr uint16_t kStatusTooMuchData = 1;
    static constexpr uint16_t kStatusTooLittleData = 2;
    static constexpr uint16_t kStatusUnsupported = 3;

    // Block-command selectors: the block itself, and the data stream.
    static constexpr int8_t kSelectorBlock = 1;
    static constexpr int8_t kSelectorData = 2;
};

}  // namespace vorl
