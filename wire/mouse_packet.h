#pragma once
// The 12-byte pointer packet the card answers to vendor command 0xE1 (little-endian).
#include <cstdint>

#include "wire/byte_order.h"

namespace vorl {

struct MousePacket {
    static constexpr int kSize = 12;
    static constexpr uint8_t kKindPointer = 1;
    static constexpr uint8_t kKindPause = 2;

    uint8_t bytes[kSize] = {};

    // A packet as the card sends it.
    static MousePacket make(uint8_t kind, uint8_t buttons, uint16_t x, uint16_t y) {
        MousePacket packet;
        packet.bytes[0] = buttons;
        putLe16(packet.bytes + 3, x);
        putLe16(packet.bytes + 5, y);
        packet.bytes[11] = kind;
        return packet;
    }

    uint8_t buttons() const { return bytes[0]; }       // bit 0 left, 1 right, 2 middle
    uint16_t x() const { return getLe16(bytes + 3); }  // 1024 = full width
    uint16_t y() const { return getLe16(bytes + 5); }  // 768 = full height
    uint8_t kind() const { return bytes[11]; }
};

}  // namespace vorl
