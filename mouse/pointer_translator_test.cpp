#include "mouse/pointer_translator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tests/support/allocation_counter.h"

namespace vorl::mouse {
namespace {

using namespace platform::pointer;
using platform::PointerEvent;

MousePacket packet(uint8_t buttons, uint16_t x, uint16_t y) {
    return MousePacket::make(MousePacket::kKindPointer, buttons, x, y);
}

std::vector<PointerEvent> translate(PointerTranslator& translator, const MousePacket& p) {
    PointerTranslator::Events events;
    const size_t count = translator.translate(p, events);
    return std::vector<PointerEvent>(events, events + count);
}

std::vector<uint32_t> flags(const std::vector<PointerEvent>& events) {
    std::vector<uint32_t> result;
    for (const PointerEvent& e : events) result.push_back(e.flags);
    return result;
}

TEST(PointerConversionTest, CornersCentreAndRounding) {
    EXPECT_EQ(absoluteX(0), 0u);
    EXPECT_EQ(absoluteY(0), 0u);
    EXPECT_EQ(absoluteX(1024), 65535u);
    EXPECT_EQ(absoluteY(768), 65535u);
    // 32767.5 rounds up.
    EXPECT_EQ(absoluteX(512), 32768u);
    EXPECT_EQ(absoluteY(384), 32768u);
    EXPECT_EQ(absoluteX(1), 64u);  // 63.999 + 0.5
    EXPECT_EQ(absoluteY(1), 85u);  // 85.33 + 0.5
    EXPECT_EQ(absoluteX(1023), 65471u);
}

TEST(PointerConversionTest, EveryPositionOnTheScreenIsNearestAndInOrder) {
    auto check = [](uint32_t (*convert)(uint16_t), uint32_t size) {
        uint32_t previous = 0;
        for (uint32_t at = 0; at <= size; ++at) {
            const uint32_t absolute = convert(static_cast<uint16_t>(at));
            EXPECT_LE(std::abs(absolute - at * 65535.0 / size), 0.5 + 1e-9) << at;
            EXPECT_GE(absolute, previous) << at;
            previous = absolute;
        }
    };
    check(absoluteX, kCardWidth);
    check(absoluteY, kCardHeight);
}

TEST(PointerConversionTest, PositionsBeyondTheScreenStayAtTheEdge) {
    // Computed freely these would leave the absolute range (65535 * 64 for x = 65535).
    for (uint16_t x : {1025, 1100, 2048, 40000, 65535}) EXPECT_EQ(absoluteX(x), 65535u) << x;
    for (uint16_t y : {769, 1024, 65535}) EXPECT_EQ(absoluteY(y), 65535u) << y;
}

TEST(PointerTranslatorTest, UnchangedButtonsGiveTheMoveOnly) {
    PointerTranslator translator;
    const auto events = translate(translator, packet(0, 512, 384));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0], (PointerEvent{0x8001, 32768, 32768}));

    translate(translator, packet(1, 0, 0));
    const auto held = translate(translator, packet(1, 1024, 768));
    EXPECT_EQ(held, (std::vector<PointerEvent>{{0x8001, 65535, 65535}}));
}

TEST(PointerTranslatorTest, AChangeSendsADownForEveryPressedButtonThenTheUps) {
    PointerTranslator translator;
    EXPECT_EQ(flags(translate(translator, packet(1, 10, 10))),
              (std::vector<uint32_t>{kMove | kAbsolute, kLeftDown | kAbsolute}));
    // Left held, right pressed: the left down is sent again, nothing else.
    const auto both = translate(translator, packet(3, 10, 10));
    EXPECT_EQ(flags(both), (std::vector<uint32_t>{0x8001, 0x8002, 0x8008}));
    // Both released: the ups follow the move, left before right.
    const auto released = translate(translator, packet(0, 20, 30));
    EXPECT_EQ(flags(released), (std::vector<uint32_t>{0x8001, 0x8004, 0x8010}));
    EXPECT_EQ(translator.previousButtons(), 0);
}

TEST(PointerTranslatorTest, MiddleButtonSitsBetweenLeftAndRightAndEveryEventHasThePosition) {
    PointerTranslator translator;
    const auto all = translate(translator, packet(7, 256, 192));
    EXPECT_EQ(flags(all), (std::vector<uint32_t>{0x8001, 0x8002, 0x8020, 0x8008}));
    for (const PointerEvent& e : all) {
        EXPECT_EQ(e.x, 16384u);
        EXPECT_EQ(e.y, 16384u);
    }
    // Right stays pressed (and is pressed again), left and middle come up.
    const auto rightOnly = translate(translator, packet(2, 256, 192));
    EXPECT_EQ(flags(rightOnly), (std::vector<uint32_t>{0x8001, 0x8008, 0x8004, 0x8040}));
    const auto up = translate(translator, packet(0, 256, 192));
    EXPECT_EQ(flags(up), (std::vector<uint32_t>{0x8001, 0x8010}));
}

TEST(PointerTranslatorTest, OtherBitsOfTheButtonByteCountAsAChangeButPressNothing) {
    PointerTranslator translator;
    translate(translator, packet(1, 0, 0));
    // Bit 3 set: the byte differs, so the pressed left button is sent down again.
    EXPECT_EQ(flags(translate(translator, packet(0x09, 0, 0))),
              (std::vector<uint32_t>{0x8001, 0x8002}));
    EXPECT_EQ(flags(translate(translator, packet(0x08, 0, 0))),
              (std::vector<uint32_t>{0x8001, 0x8004}));
}

TEST(PointerTranslatorTest, TranslatingAndInjectingAllocatesNothing) {
    PointerTranslator translator;
    platform::RecordingPointerInput input(64);
    const MousePacket path[] = {packet(0, 1, 1), packet(7, 2, 2), packet(2, 3, 3), packet(0, 4, 4)};
    test::AllocationCounter counter;
    for (int i = 0; i < 16; ++i) {
        PointerTranslator::Events events;
        const size_t count = translator.translate(path[i % 4], events);
        for (size_t e = 0; e < count; ++e) input.send(events[e]);
    }
    EXPECT_EQ(counter.count(), 0u);
    EXPECT_EQ(input.count(), 16u + 4u * 7u);  // moves, and 3 + 3 + 1 transitions a round
}

}  // namespace
}  // namespace vorl::mouse
