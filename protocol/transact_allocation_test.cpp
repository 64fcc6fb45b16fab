// A card transaction must not touch the heap: the packet buffers belong to the session.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "protocol/card_session.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/loopback_peer.h"

namespace vorl {
namespace {

using test::LoopbackPeer;

TEST(TransactAllocations, NonePerRoundTripOverTheNetwork) {
    constexpr int kRounds = 20;
    const auto small = LoopbackPeer::response(0x0503, 0, std::vector<uint8_t>(64, 'a'));
    const auto large = LoopbackPeer::response(0x0601, 0, std::vector<uint8_t>(65546, 'b'));
    LoopbackPeer peer([&](platform::TcpSocket& card) {
        for (int i = 0; i < 2 * kRounds; ++i) {
            if (LoopbackPeer::readRequest(card).empty()) return;
            const auto& answer = i % 2 ? large : small;
            card.sendAll(answer.data(), answer.size());
        }
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    std::vector<uint8_t> buffer(CardSession::MaxPayload);
    const auto capacity = static_cast<uint32_t>(buffer.size());

    {
        test::AllocationCounter selfCheck;  // the counter itself must see an allocation
        auto probe = std::make_unique<int>(1);
        ASSERT_EQ(1u, selfCheck.count());
    }
    test::AllocationCounter counter;
    for (int i = 0; i < kRounds; ++i) {
        uint32_t responseLength = 0;
        ASSERT_EQ(0, session.transact(0x0503, buffer.data(), 0, responseLength, 0, capacity));
        ASSERT_EQ(0, session.transact(0x0601, buffer.data(), 4096, responseLength, 0, capacity));
        ASSERT_EQ(65546u, responseLength);
    }
    EXPECT_EQ(0u, counter.count());
}

}  // namespace
}  // namespace vorl
