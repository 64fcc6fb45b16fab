// Concurrent probes: one session per card however many scrapes ask at once, a bounded number of
// sessions, and no caller held past its own deadline.
#include "exporter/probe_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <latch>
#include <stdexcept>
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
    // The slot is free again; a probe that throws gives it back as well.
    EXPECT_THROW(pool.run(
                     "c", []() -> CardReading { throw std::runtime_error("x"); },
                     Clock::now() + std::chrono::seconds(1)),
                 std::runtime_error);
    EXPECT_EQ(0u, pool.running());
    EXPECT_TRUE(pool.run(
        "c", [] { return readingWith(4); }, Clock::now() + milliseconds(100)));
    EXPECT_EQ(1, gate.runs.load());
}

}  // namespace
}  // namespace vorl::exporter
