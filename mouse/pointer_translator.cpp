#include "mouse/pointer_translator.h"

namespace vorl::mouse {
namespace {

using namespace platform::pointer;

// 1/1024 and 1/768, as the conversion has always used them.
constexpr double kWidthFactor = 0.0009765625;
constexpr double kHeightFactor = 0.0013020833333333333;

constexpr uint8_t kLeft = 0x01;
constexpr uint8_t kRight = 0x02;
constexpr uint8_t kMiddle = 0x04;

uint32_t toAbsolute(uint16_t position, double factor) {
    const double scaled = static_cast<double>(position) * kMaxAbsolute * factor + 0.5;
    // Beyond the card's screen the value would leave the absolute range (a wrapped or
    // nonsense position): hold it at the edge.
    if (scaled >= kMaxAbsolute) return kMaxAbsolute;
    return static_cast<uint32_t>(scaled);
}

}  // namespace

uint32_t absoluteX(uint16_t x) {
    return toAbsolute(x, kWidthFactor);
}

uint32_t absoluteY(uint16_t y) {
    return toAbsolute(y, kHeightFactor);
}

size_t PointerTranslator::translate(const MousePacket& packet, Events& events) {
    const uint32_t x = absoluteX(packet.x());
    const uint32_t y = absoluteY(packet.y());
    size_t count = 0;
    events[count++] = {kMove | kAbsolute, x, y};
    const uint8_t now = packet.buttons();
    if (now != previous_) {
        // Every pressed button gets a down, also one that was down already.
        if (now & kLeft) events[count++] = {kLeftDown | kAbsolute, x, y};
        if (now & kMiddle) events[count++] = {kMiddleDown | kAbsolute, x, y};
        if (now & kRight) events[count++] = {kRightDown | kAbsolute, x, y};
        const uint8_t released = static_cast<uint8_t>(previous_ & ~now);
        if (released & kLeft) events[count++] = {kLeftUp | kAbsolute, x, y};
        if (released & kMiddle) events[count++] = {kMiddleUp | kAbsolute, x, y};
        if (released & kRight) events[count++] = {kRightUp | kAbsolute, x, y};
    }
    previous_ = now;
    return count;
}

}  // namespace vorl::mouse
