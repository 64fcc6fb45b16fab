// One card, one session: many requests share it, a dropped session is opened again, a dead,
// silent or refusing card is told apart and costs its callers no more than their deadline.
#include "redfish/card_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "protocol/card_session.h"
#include "tests/support/live_card.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

using namespace std::chrono_literals;

CardEndpoint endpointOf(const test::LiveCard& card, const std::string& password = "vorladmin") {
    return {"card", "127.0.0.1", card.port(), "admin", password};
}

int readHeartbeat(CardSession& session) {
    int32_t seconds = 0;
    return session.getHeartbeatInterval(seconds);
}

Clock::time_point in(std::chrono::milliseconds delay) {
    return Clock::now() + delay;
}

TEST(CardLinkTest, ManyThreadsShareOneLogin) {
    test::LiveCard card;
    CardLink link(endpointOf(card));
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10; ++i)
                if (link.run(in(5000ms), CardLink::Kind::Read, readHeartbeat).ok()) ++good;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(60, good.load());
    EXPECT_EQ(1u, card.card().logins());
    EXPECT_TRUE(link.closeIfIdle(0ms));
}

TEST(CardLinkTest, ASessionTheCardDroppedIsOpenedAgainForReadsAndCheckedBeforeWrites) {
    test::LiveCard card;
    CardLink::Timing timing;
    timing.checkIdleSessionAfter = 0ms;  // every write finds an idle session
    CardLink link(endpointOf(card), {}, timing);
    ASSERT_TRUE(link.run(in(5000ms), CardLink::Kind::Read, readHeartbeat).ok());
    card.server().restartCard(false);  // the card restarts: every connection is closed
    EXPECT_TRUE(link.run(in(5000ms), CardLink::Kind::Read, readHeartbeat).ok());
    EXPECT_EQ(2u, card.card().logins());
    card.server().restartCard(false);
    int writes = 0;
    const CardResult write = link.run(in(5000ms), CardLink::Kind::Write, [&](CardSession& session) {
        ++writes;
        return session.setHeartbeatInterval(300);
    });
    EXPECT_TRUE(write.ok()) << static_cast<int>(write.trouble) << " " << write.status;
    EXPECT_EQ(1, writes);  // the write itself was sent once, on the new session
    EXPECT_EQ(3u, card.card().logins());
}

TEST(CardLinkTest, ADeadCardFailsAtOnceUntilItsRetryTime) {
    test::LiveCard live;
    test::LiveCard dead;
    dead.stop();
    CardLink deadLink(endpointOf(dead));
    CardLink liveLink(endpointOf(live));
    const CardResult first = deadLink.run(in(2000ms), CardLink::Kind::Read, readHeartbeat);
    EXPECT_EQ(CardTrouble::Unreachable, first.trouble);
    const auto start = Clock::now();
    const CardResult second = deadLink.run(in(2000ms), CardLink::Kind::Read, readHeartbeat);
    EXPECT_EQ(CardTrouble::Down, second.trouble);
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_GE(second.retryAfterSeconds, 1);
    EXPECT_TRUE(liveLink.run(in(2000ms), CardLink::Kind::Read, readHeartbeat).ok());
}

TEST(CardLinkTest, ASilentCardCostsNoMoreThanTheDeadline) {
    test::LiveCard silent(
        {{"no-reply", "0x0001"}, {"stray-bytes", "0"}});  // the login challenge is never answered
    CardLink link(endpointOf(silent));
    const auto start = Clock::now();
    const CardResult result = link.run(in(300ms), CardLink::Kind::Read, readHeartbeat);
    EXPECT_NE(CardTrouble::None, result.trouble);
    EXPECT_LT(Clock::now() - start, 1500ms);
    EXPECT_EQ(CardTrouble::Down, link.knownState().trouble);
}

TEST(CardLinkTest, ARequestWaitsForABusyCardOnlyUntilItsDeadline) {
    test::LiveCard slow({{"reply-delay", "0x0A00:1500"}, {"stray-bytes", "0"}});
    CardLink link(endpointOf(slow));
    std::atomic<bool> holding{false};
    std::thread first([&] {
        link.run(in(5000ms), CardLink::Kind::Read, [&](CardSession& session) {
            holding = true;
            return readHeartbeat(session);
        });
    });
    while (!holding) std::this_thread::yield();
    const auto start = Clock::now();
    const CardResult second = link.run(in(200ms), CardLink::Kind::Read, readHeartbeat);
    const auto waited = Clock::now() - start;
    first.join();
    EXPECT_EQ(CardTrouble::Busy, second.trouble);
    EXPECT_LT(waited, 1000ms);
}

TEST(CardLinkTest, ARefusedLoginIsToldApartFromADeadCard) {
    test::LiveCard card;
    CardLink link(endpointOf(card, "wrong-password"));
    EXPECT_EQ(CardTrouble::LoginRefused,
              link.run(in(2000ms), CardLink::Kind::Read, readHeartbeat).trouble);
    EXPECT_EQ(0u, card.card().logins());
}

TEST(CardCacheTest, AReadingThatBeganBeforeAWriteIsNotKept) {
    CardCache<int> cache;
    const uint64_t before = cache.generation();
    cache.clear();  // a write happened while the reading was under way
    cache.put(std::make_shared<const int>(1), before);
    EXPECT_EQ(nullptr, cache.get(1h));
    cache.put(std::make_shared<const int>(2), cache.generation());
    ASSERT_NE(nullptr, cache.get(1h));
    EXPECT_EQ(2, *cache.get(1h));
    EXPECT_EQ(nullptr, cache.get(-1ms));  // older than asked for
}

}  // namespace
}  // namespace vorl::redfish
