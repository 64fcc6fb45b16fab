#pragma once
// Turns the card's pointer packets into input events: one absolute move, then the button
// transitions. Portable; the events go to the machine through platform::PointerInput.
#include <cstddef>
#include <cstdint>

#include "platform/pointer_input.h"
#include "wire/mouse_packet.h"

namespace vorl::mouse {

// The card's scale: x counts 1024 across the screen, y 768 down it.
constexpr uint32_t kCardWidth = 1024;
constexpr uint32_t kCardHeight = 768;

// A position on the card's scale in the absolute range 0..65535, rounded to nearest. A position
// past the edge (x above 1024, y above 768) is the edge itself: 65535.
uint32_t absoluteX(uint16_t x);
uint32_t absoluteY(uint16_t y);

class PointerTranslator {
public:
    // A move and at most three transitions: a button is either pressed now or released.
    static constexpr size_t kMaxEvents = 4;
    using Events = platform::PointerEvent[kMaxEvents];

    // The events for one pointer packet (kind 1), in the order they are to be sent: the move;
    // then, when the button byte differs from the last packet's, a down for every button that
    // is pressed (left, middle, right) and an up for every button that was released (left,
    // middle, right). Remembers the button byte. Returns the number of events written.
    size_t translate(const MousePacket& packet, Events& events);

    uint8_t previousButtons() const { return previous_; }

private:
    uint8_t previous_ = 0;
};

}  // namespace vorl::mouse
