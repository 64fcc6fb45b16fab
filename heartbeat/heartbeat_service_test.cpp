#include "heartbeat/heartbeat_service.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "tests/support/fake_heartbeat_card.h"
#include "tests/support/fake_service_manager.h"

namespace vorl {
namespace {

using namespace platform::service;
using namespace std::chrono;
using test::FakeHeartbeatCard;
using test::HeartbeatEvent;

constexpr uint8_t kStart = 0xE5;
constexpr uint8_t kBeat = 0xE6;
constexpr uint8_t kStop = 0xE7;
constexpr int kWorkerBackend = 1;    // the worker's host interface, made first
constexpr int kShutdownBackend = 2;  // the one shutdown makes for itself
constexpr int64_t kRefuse = FakeHeartbeatCard::kRefuse;

bool hasLine(const std::vector<std::string>& lines, const std::string& wanted) {
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

// The heartbeat service run as the service manager runs it, against a card it reaches through
// the host interface, with every second of waiting shortened to `realMsPerSecond`.
class HeartbeatServiceTest : public ::testing::Test {
protected:
    explicit HeartbeatServiceTest(uint32_t realMsPerSecond = 5) : clock(realMsPerSecond) {}

    void start() {
        service =
            std::make_unique<HeartbeatService>(manager, [this] { return card.makeBackend(); });
        program = std::thread([this] {
            char name[] = "vorlpulse.exe";
            char* argv[] = {name, nullptr};
            exit = service->runProgram(1, argv);
        });
        ASSERT_TRUE(manager.waitForState(kRunning));
    }
    // Sends `control` and waits for the program to end.
    void endWith(uint32_t control) {
        EXPECT_EQ(manager.control(control), 0u);
        program.join();
    }
    void TearDown() override {
        if (program.joinable()) endWith(kControlStop);
    }
    // Pauses made between two events.
    static uint64_t pausesBetween(const HeartbeatEvent& first, const HeartbeatEvent& second) {
        return second.pausesBefore - first.pausesBefore;
    }
    // Waits until the worker has made `count` more pauses than it had at `event`.
    bool waitForPausesAfter(const HeartbeatEvent& event, uint64_t count) {
        return card.waitFor(
            [&](const FakeHeartbeatCard&) { return clock.count() >= event.pausesBefore + count; });
    }

    // Declared first, destroyed last: the service's threads pause through it.
    platform::ScaledSleep clock;
    platform::DebugRecorder debug;
    FakeHeartbeatCard card{&clock};
    test::FakeServiceManager manager;
    std::unique_ptr<HeartbeatService> service;
    std::thread program;
    int exit = -1;
};

TEST_F(HeartbeatServiceTest, StartsOnceThenBeatsAsTheCardCountsDown) {
    card.queueStartAnswers({50});
    card.setDefaultAnswer(3);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 3));
    const auto starts = card.events(kStart);
    const auto beats = card.events(kBeat);
    ASSERT_EQ(starts.size(), 1u);
    // The first beat follows heartbeat start at once, whatever start answered.
    EXPECT_EQ(pausesBetween(starts[0], beats[0]), 0u);
    for (size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(pausesBetween(beats[i - 1], beats[i]), 3u) << i;
        // Three seconds of waiting, five milliseconds each, really waited.
        EXPECT_GE(duration_cast<milliseconds>(beats[i].at - beats[i - 1].at).count(), 15) << i;
    }
    for (const HeartbeatEvent& event : card.events()) {
        EXPECT_EQ(event.backend, kWorkerBackend);
        EXPECT_EQ(event.thread, manager.serviceThread());
    }
    // Between beats the drive is closed.
    ASSERT_TRUE(waitForPausesAfter(card.events(kBeat).back(), 1));
    EXPECT_EQ(card.openNow(), 0);
}

TEST_F(HeartbeatServiceTest, FailedBeatReconnectsAndBeatsAtOnce) {
    card.queuePollAnswers({kRefuse, 2});
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 3));
    const auto beats = card.events(kBeat);
    EXPECT_TRUE(beats[0].failed);
    EXPECT_EQ(pausesBetween(beats[0], beats[1]), 0u);
    EXPECT_EQ(pausesBetween(beats[1], beats[2]), 2u);
    // Start and first beat: one search each; after the failure the card is looked for again.
    EXPECT_GE(card.searches(kWorkerBackend), 4);
}

TEST_F(HeartbeatServiceTest, CardRefusingBeatAfterBeatIsAskedOnceASecondUntilItAnswers) {
    card.queuePollAnswers({kRefuse, kRefuse, kRefuse, 2});
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 5));
    const auto beats = card.events(kBeat);
    // The first failure is retried at once, each further one after a second's pause.
    EXPECT_EQ(pausesBetween(beats[0], beats[1]), 0u);
    EXPECT_EQ(pausesBetween(beats[1], beats[2]), 1u);
    EXPECT_EQ(pausesBetween(beats[2], beats[3]), 1u);
    EXPECT_FALSE(beats[3].failed);
    EXPECT_EQ(pausesBetween(beats[3], beats[4]), 2u);
}

TEST_F(HeartbeatServiceTest, StopWhileACardRefusesEveryBeatStillEndsWithHeartbeatStop) {
    card.setDefaultAnswer(kRefuse);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 3));
    endWith(kControlStop);
    EXPECT_EQ(exit, 0);
    EXPECT_EQ(card.events(kStop).size(), 1u);
    EXPECT_EQ(manager.stateSequence().back(), kStopped);
}

TEST_F(HeartbeatServiceTest, FailedStartIsSentOnceMore) {
    card.queueStartAnswers({kRefuse, kRefuse});
    card.setDefaultAnswer(100);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 1));
    const auto starts = card.events(kStart);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_TRUE(starts[1].failed);
    // The worker goes on regardless.
    EXPECT_EQ(pausesBetween(starts[1], card.events(kBeat)[0]), 0u);
}

TEST_F(HeartbeatServiceTest, StopDuringTheWaitEndsItWithinASecondAndStopsTheHeartbeat) {
    card.setDefaultAnswer(300);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 1));
    const HeartbeatEvent beat = card.events(kBeat)[0];
    ASSERT_TRUE(waitForPausesAfter(beat, 5));
    const uint64_t pausesAtStop = clock.count();
    endWith(kControlStop);
    // At most the one-second pause under way when the stop came.
    EXPECT_LE(clock.count() - pausesAtStop, 1u);
    const auto stops = card.events(kStop);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].backend, kWorkerBackend);
    const uint64_t waited = pausesBetween(beat, stops[0]);
    EXPECT_EQ(service->countdown(), 300 - static_cast<int32_t>(waited));
    const auto lines = debug.snapshot();
    EXPECT_TRUE(hasLine(lines, "Detected not running in terminate service\n"));
    EXPECT_TRUE(hasLine(lines, "on end ret is " + std::to_string(300 - waited) + "\n"));
    EXPECT_EQ(manager.stateSequence(),
              (std::vector<uint32_t>{kStartPending, kRunning, kStopPending, kStopped}));
    EXPECT_EQ(exit, 0);
    EXPECT_EQ(card.openNow(), 0);
}

TEST_F(HeartbeatServiceTest, CardAbsentAtStartIsWaitedForUntilItAppears) {
    card.setPresent(false);
    start();
    ASSERT_TRUE(card.waitFor([](const FakeHeartbeatCard& c) { return c.searches(1) >= 4; }));
    // Two connects a pass, a second's pause after each failed one; nothing reaches the card.
    EXPECT_EQ(clock.totalMs(), clock.count() * 1000);
    EXPECT_TRUE(card.events().empty());
    card.setPresent(true);
    ASSERT_TRUE(card.waitForEvents(kBeat, 1));
    EXPECT_EQ(card.events(kStart).size(), 1u);
    EXPECT_EQ(manager.stateSequence(), (std::vector<uint32_t>{kStartPending, kRunning}));
}

TEST_F(HeartbeatServiceTest, CardAbsentUntilStopEndsAfterOneMoreConnectPass) {
    card.setPresent(false);
    start();
    ASSERT_TRUE(card.waitFor([](const FakeHeartbeatCard& c) { return c.searches(1) >= 2; }));
    const int searchesAtStop = card.searches(kWorkerBackend);
    endWith(kControlStop);
    // The pass under way (at most two connects) and one more before heartbeat stop.
    const int after = card.searches(kWorkerBackend) - searchesAtStop;
    EXPECT_GE(after, 2);
    EXPECT_LE(after, 4);
    EXPECT_TRUE(card.events().empty());
    const auto lines = debug.snapshot();
    EXPECT_TRUE(hasLine(lines, "Wait on conn ret -1\n"));
    EXPECT_TRUE(hasLine(lines, "Detected not running in terminate service\n"));
    EXPECT_TRUE(hasLine(lines, "on end ret is 0\n"));
    EXPECT_EQ(manager.stateSequence().back(), kStopped);
}

TEST_F(HeartbeatServiceTest, ShutdownStopsTheHeartbeatFromItsOwnInterfaceThenTheWorkerAgain) {
    card.setDefaultAnswer(300);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 1));
    endWith(kControlShutdown);
    const auto stops = card.events(kStop);
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0].backend, kShutdownBackend);
    EXPECT_EQ(stops[0].thread, manager.dispatcherThread());
    EXPECT_EQ(stops[1].backend, kWorkerBackend);
    EXPECT_EQ(stops[1].thread, manager.serviceThread());
    EXPECT_EQ(manager.stateSequence(), (std::vector<uint32_t>{kStartPending, kRunning, kStopped}));
    EXPECT_EQ(card.openNow(), 0);
}

TEST_F(HeartbeatServiceTest, ShutdownWithNoCardTriesOnePassAndStillEnds) {
    card.setPresent(false);
    start();
    ASSERT_TRUE(card.waitFor([](const FakeHeartbeatCard& c) { return c.searches(1) >= 1; }));
    endWith(kControlShutdown);
    EXPECT_EQ(card.searches(kShutdownBackend), 2);
    EXPECT_TRUE(card.events().empty());
    EXPECT_EQ(manager.stateSequence().back(), kStopped);
}

TEST_F(HeartbeatServiceTest, DeviceChangeIsOnlyTraced) {
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 1));
    EXPECT_EQ(manager.control(kControlDeviceEvent, 0x8000), 0u);
    const auto lines = debug.snapshot();
    EXPECT_TRUE(hasLine(lines, "Device Change recd\n"));
    EXPECT_TRUE(hasLine(lines, "[VORL Server Heartbeat Service](" +
                                   std::to_string(manager.dispatcherThread()) +
                                   "): dwEventType is 8000\n\n"));
    EXPECT_TRUE(service->running());
}

TEST_F(HeartbeatServiceTest, ReportsItselfByItsName) {
    service = std::make_unique<HeartbeatService>(manager, [this] { return card.makeBackend(); });
    std::string console;
    service->setConsole([&](const char* text) { console += text; });
    char name[] = "vorlpulse.exe";
    char option[] = "-v";
    char* argv[] = {name, option, nullptr};
    EXPECT_EQ(service->runProgram(2, argv), 0);
    EXPECT_EQ(console, "VORL Server Heartbeat Service Version 1.0\nThe service is not installed\n");
}

// Minutes of waiting, one millisecond a second.
class HeartbeatDefaultSpacingTest : public HeartbeatServiceTest {
protected:
    HeartbeatDefaultSpacingTest() : HeartbeatServiceTest(1) {}
};

TEST_F(HeartbeatDefaultSpacingTest, ZeroOrANegativeAnswerMeans235Seconds) {
    card.queuePollAnswers({0, -5, -2147483647 - 1});
    card.setDefaultAnswer(1);
    start();
    ASSERT_TRUE(card.waitForEvents(kBeat, 4));
    const auto beats = card.events(kBeat);
    for (size_t i = 1; i < 4; ++i) {
        EXPECT_EQ(pausesBetween(beats[i - 1], beats[i]), 235u) << i;
        EXPECT_GE(duration_cast<milliseconds>(beats[i].at - beats[i - 1].at).count(), 235) << i;
    }
}

}  // namespace
}  // namespace vorl
