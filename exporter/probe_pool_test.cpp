// Concurrent probes: one session per card however many scrapes ask at once, a bounded number of
// sessions, no card holding more than its share of them, and no caller held past its own
// deadline.
#include "exporter/probe_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <stdexcept>
#include <thread>
#include <vector>

namespace vorl::exporter {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

CardReading readingWith(double heartbeat) {
    CardReading reading;
    reading.results.push_back({cardread::kHeartbeat, true, 0});
    reading.heartbeatSeconds = heartbeat;
    return reading;
}

// A probe that blocks until the test releases it.
struct Gate {
    std::promise<void> open;
    std::shared_future<void> opened = open.get_future().share();
    std::atomic<int> runs{0};
    std::latch started{1};

    ProbePool::Probe probe(double value) {
        return [this, value] {
            if (runs++ == 0) started.count_down();
            opened.wait();
            return readingWith(value);
        };
    }
};

TEST(ProbePool, ConcurrentProbesOfOneKeyShareOneRun) {
    ProbePool pool(4);
    Gate gate;
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    auto first = std::async(std::launch::async,
                            [&] { return pool.run("card/default", gate.probe(7), deadline); });
    gate.started.wait();
    std::vector<std::future<std::optional<CardReading>>> followers;
    for (int i = 0; i < 3; ++i)
        followers.push_back(std::async(std::launch::async, [&] {
            return pool.run("card/default", gate.probe(99), deadline);
        }));
    // Another card is not held up by the first one.
    const auto other = pool.run(
        "other/default", [] { return readingWith(3); }, deadline);
    ASSERT_TRUE(other);
    EXPECT_EQ(3, other->heartbeatSeconds);
    EXPECT_EQ(1u, pool.running());
    // The followers wait for the running probe instead of starting their own.
    const auto patience = Clock::now() + std::chrono::seconds(10);
    while (pool.sharing() < 3 && Clock::now() < patience) std::this_thread::yield();
    ASSERT_EQ(3u, pool.sharing());
    gate.open.set_value();
    ASSERT_TRUE(first.get());
    for (auto& follower : followers) {
        const auto reading = follower.get();
        ASSERT_TRUE(reading);
        EXPECT_EQ(7, reading->heartbeatSeconds);
    }
    EXPECT_EQ(1, gate.runs.load());
    EXPECT_EQ(0u, pool.running());
}

TEST(ProbePool, CallersGiveUpAtTheirOwnDeadline) {
    ProbePool pool(1);
    Gate gate;
    auto running = std::async(std::launch::async, [&] {
        return pool.run("a", gate.probe(1), Clock::now() + std::chrono::seconds(30));
    });
    gate.started.wait();
    // A sharer with a shorter deadline, and a different card while the only slot is taken:
    // both answer by their deadlines with nothing.
    for (const char* key : {"a", "b"}) {
        const auto start = Clock::now();
        EXPECT_FALSE(pool.run(key, gate.probe(2), start + milliseconds(50))) << key;
        EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << key;
    }
    gate.open.set_value();
    EXPECT_TRUE(running.get());
    // The slot is free again; a probe that throws (on its worker) is answered with nothing
    // and gives it back as well.
    EXPECT_FALSE(pool.run(
        "c", []() -> CardReading { throw std::runtime_error("x"); },
        Clock::now() + std::chrono::seconds(1)));
    EXPECT_EQ(0u, pool.running());
    EXPECT_TRUE(pool.run(
        "c", [] { return readingWith(4); }, Clock::now() + milliseconds(100)));
    EXPECT_EQ(1, gate.runs.load());
}

// Waits (10 s at most) until `holds()`.
template <typename Predicate>
bool reaches(Predicate holds) {
    const auto until = Clock::now() + std::chrono::seconds(10);
    while (!holds() && Clock::now() < until) std::this_thread::sleep_for(milliseconds(1));
    return holds();
}

TEST(ProbePool, SilentCardsHoldTheirShareOfWorkersAndDelayNoOtherCard) {
    ProbePool pool(64, 2);
    Gate gate;
    std::atomic<int> answered{0}, withReading{0};
    auto count = [&](std::optional<CardReading> reading) {
        withReading += reading.has_value();
        ++answered;
    };
    const auto later = Clock::now() + std::chrono::seconds(30);
    // One card asked under five keys (other ports or modules): two sessions, three wait.
    for (int i = 0; i < 5; ++i)
        pool.submit("dead:" + std::to_string(i), "dead", gate.probe(0), later, count);
    // Forty other cards that do not answer either.
    for (int i = 0; i < 40; ++i)
        pool.submit("silent" + std::to_string(i), "silent" + std::to_string(i), gate.probe(0),
                    later, count);
    ASSERT_TRUE(reaches([&] { return pool.running() == 42; }));
    const auto start = Clock::now();
    const auto healthy = pool.run(
        "healthy", [] { return readingWith(5); }, Clock::now() + std::chrono::seconds(5));
    ASSERT_TRUE(healthy);
    EXPECT_LT(Clock::now() - start, milliseconds(500));
    EXPECT_EQ(42u, pool.running());
    EXPECT_LE(pool.threads(), 43u);  // none started for the card at its cap
    gate.open.set_value();
    ASSERT_TRUE(reaches([&] { return answered == 45; }));
    EXPECT_EQ(45, withReading.load());  // the three that waited for the card's slots ran
}

TEST(ProbePool, StopAnswersEveryCallerAndWaitsBoundedForRunningProbes) {
    ProbePool pool(4);
    Gate gate;
    std::promise<std::optional<CardReading>> first, joined;
    pool.submit("a", "a", gate.probe(1), Clock::now() + std::chrono::seconds(30),
                [&](std::optional<CardReading> r) { first.set_value(std::move(r)); });
    gate.started.wait();
    pool.submit("a", "a", gate.probe(1), Clock::now() + std::chrono::seconds(30),
                [&](std::optional<CardReading> r) { joined.set_value(std::move(r)); });
    EXPECT_FALSE(pool.stop(milliseconds(50)));  // the probe still runs
    EXPECT_FALSE(first.get_future().get());     // its callers were answered all the same
    EXPECT_FALSE(joined.get_future().get());
    std::optional<CardReading> refused = readingWith(1);
    pool.submit("b", "b", gate.probe(2), Clock::now() + std::chrono::seconds(30),
                [&](std::optional<CardReading> r) { refused = std::move(r); });
    EXPECT_FALSE(refused);  // stopping: no new probe
    gate.open.set_value();
    EXPECT_TRUE(pool.stop(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace vorl::exporter
