#include "mouse/pointer_redirection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "tests/support/scripted_scsi_device.h"

namespace vorl::mouse {
namespace {

using platform::PointerEvent;
using Pass = PointerRedirection::Pass;

// Records the raise, and whether the card's drive was open by then.
class FakePriority : public platform::ThreadPriority {
public:
    explicit FakePriority(const HostInterface*& card) : card_(card) {}
    bool raiseToTimeCritical() override {
        ++raises;
        cardOpenAtRaise = card_ != nullptr && card_->isOpen();
        return true;
    }
    int raises = 0;
    bool cardOpenAtRaise = false;

private:
    const HostInterface*& card_;
};

class PointerRedirectionTest : public ::testing::Test {
protected:
    PointerRedirectionTest() {
        auto backend = test::makeMachineWithCard();
        device = backend.get();
        host = std::make_unique<HostInterface>(std::move(backend));
        watched = host.get();
        redirection = std::make_unique<PointerRedirection>(*host, input, priority);
    }

    // One pass with the card answering this packet.
    Pass feed(uint8_t kind, uint8_t buttons = 0, uint16_t x = 0, uint16_t y = 0) {
        const MousePacket packet = MousePacket::make(kind, buttons, x, y);
        device->card.mouseAnswer.assign(packet.bytes, packet.bytes + MousePacket::kSize);
        return redirection->step();
    }

    size_t linesEqual(const std::string& text) const {
        return static_cast<size_t>(std::count(debug.lines().begin(), debug.lines().end(), text));
    }
    size_t opensOf(const std::string& path) const {
        return static_cast<size_t>(std::count(device->opened.begin(), device->opened.end(), path));
    }
    size_t mouseReads() const {
        return static_cast<size_t>(
            std::count_if(device->commands.begin(), device->commands.end(),
                          [](const test::ScriptedCommand& c) { return c.opcode() == 0xE1; }));
    }

    platform::DebugRecorder debug;
    platform::SleepRecorder sleeps;
    platform::RecordingPointerInput input;
    const HostInterface* watched = nullptr;
    FakePriority priority{watched};
    test::ScriptedDeviceBackend* device = nullptr;
    std::unique_ptr<HostInterface> host;
    std::unique_ptr<PointerRedirection> redirection;
};

TEST_F(PointerRedirectionTest, StartWaitsForTheCardWithoutLimitThenRaisesPriority) {
    device->deviceListFailures = 25;  // the card's drive shows up on the 26th search
    redirection->start();
    EXPECT_TRUE(host->isOpen());
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>(25, 1000));
    EXPECT_EQ(priority.raises, 1);
    EXPECT_TRUE(priority.cardOpenAtRaise);
    EXPECT_EQ(input.count(), 0u);
}

TEST_F(PointerRedirectionTest, PointerPacketMovesAfterOnePacingPause) {
    redirection->start();
    EXPECT_EQ(feed(1, 0, 512, 384), Pass::Moved);
    ASSERT_EQ(input.count(), 1u);
    EXPECT_EQ(input[0], (PointerEvent{0x8001, 32768, 32768}));
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>{20});
    EXPECT_EQ(redirection->elapsedMs(), 20u);

    EXPECT_EQ(feed(1, 3, 1024, 768), Pass::Moved);
    ASSERT_EQ(input.count(), 4u);
    EXPECT_EQ(input[1], (PointerEvent{0x8001, 65535, 65535}));
    EXPECT_EQ(input[2], (PointerEvent{0x8002, 65535, 65535}));
    EXPECT_EQ(input[3], (PointerEvent{0x8008, 65535, 65535}));
    // Single packets take no lock.
    EXPECT_EQ(device->mutexLocks, 0);
}

TEST_F(PointerRedirectionTest, OtherKindsCostOnePacingPauseAndInjectNothing) {
    redirection->start();
    EXPECT_EQ(feed(0, 7, 100, 100), Pass::Idle);
    EXPECT_EQ(feed(3, 1, 100, 100), Pass::Idle);
    EXPECT_EQ(feed(255, 1, 100, 100), Pass::Idle);
    EXPECT_EQ(input.count(), 0u);
    EXPECT_EQ(sleeps.pauses(), (std::vector<uint32_t>{20, 20, 20}));
    EXPECT_EQ(redirection->elapsedMs(), 60u);
    // The buttons of a packet that was not pointer data are not remembered: pressing left now
    // is a change from the last pointer packet's 0.
    feed(1, 1, 0, 0);
    EXPECT_EQ(input.count(), 2u);
}

TEST_F(PointerRedirectionTest, PausePacketWaitsFiveSecondsUncounted) {
    redirection->start();
    EXPECT_EQ(feed(2, 1, 512, 384), Pass::Paused);
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>{5000});
    EXPECT_EQ(redirection->elapsedMs(), 0u);
    EXPECT_EQ(input.count(), 0u);
    // However long the card pauses, the drive is not reopened.
    for (int i = 0; i < 10; ++i) feed(2);
    EXPECT_EQ(linesEqual("Sleep Time\n"), 0u);
}

TEST_F(PointerRedirectionTest, ThousandCountedPacketsLeadToOneCloseAndReopen) {
    redirection->start();
    const size_t opensAtStart = opensOf("\\\\.\\E:");
    for (int i = 0; i < 1000; ++i) feed(i % 2 == 0 ? 1 : 0, 0, 10, 10);
    EXPECT_EQ(redirection->elapsedMs(), 20000u);
    EXPECT_EQ(linesEqual("Sleep Time\n"), 0u);

    // The next pass reopens before it reads.
    const size_t readsBefore = mouseReads();
    EXPECT_EQ(feed(1, 0, 10, 10), Pass::Moved);
    EXPECT_EQ(linesEqual("Sleep Time\n"), 1u);
    EXPECT_EQ(linesEqual("Closing Handle\n"), 1u);
    EXPECT_EQ(opensOf("\\\\.\\E:"), opensAtStart + 1);
    EXPECT_EQ(mouseReads(), readsBefore + 1);
    EXPECT_EQ(redirection->elapsedMs(), 20u);
    EXPECT_EQ(linesEqual("oops...Could not open drive!!\n"), 0u);
    // No search for the card: the drive was simply reopened.
    EXPECT_EQ(linesEqual("[K8HOSTIFC]: in host windows disconnect\n\n"), 1u);  // start's own

    for (int i = 0; i < 999; ++i) feed(0);
    EXPECT_EQ(linesEqual("Sleep Time\n"), 1u);
    feed(0);
    EXPECT_EQ(linesEqual("Sleep Time\n"), 2u);
}

TEST_F(PointerRedirectionTest, ReopenThatFailsSearchesForTheCardAgain) {
    redirection->start();
    for (int i = 0; i < 1000; ++i) feed(0);
    // The card's drive went away and came back under another letter.
    device->drives.back().name = "F:";
    device->deviceListFailures = 2;
    EXPECT_EQ(feed(1, 0, 512, 384), Pass::Moved);
    EXPECT_EQ(opensOf("\\\\.\\E:"), 3u);  // probe and open at start; the failed reopen
    EXPECT_EQ(opensOf("\\\\.\\F:"), 2u);  // probe and open of the search
    EXPECT_EQ(linesEqual("oops...Could not open drive!!\n"), 1u);
    EXPECT_EQ(linesEqual("[K8HOSTIFC]: Unable to open drive \\\\.\\E:\n\n"), 1u);
    // The two failed searches each paused a second, then the packet was read from F:.
    const auto& pauses = sleeps.pauses();
    EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 1000u), 2);
    EXPECT_EQ(device->commands.back().path, "\\\\.\\F:");
    EXPECT_EQ(input.count(), 1u);
}

TEST_F(PointerRedirectionTest, FailedReadReconnectsWithoutLimitAndGoesOn) {
    redirection->start();
    feed(1, 1, 0, 0);
    const size_t eventsBefore = input.count();
    const uint32_t elapsedBefore = redirection->elapsedMs();
    const size_t pausesBefore = sleeps.count();

    device->refuseNext = 1;
    device->deviceListFailures = 40;
    EXPECT_EQ(feed(1, 0, 512, 384), Pass::Reconnected);
    EXPECT_EQ(input.count(), eventsBefore);
    EXPECT_EQ(redirection->elapsedMs(), elapsedBefore);
    EXPECT_EQ(sleeps.count() - pausesBefore, 40u);  // one second per failed search, no pacing
    EXPECT_TRUE(host->isOpen());
    EXPECT_EQ(linesEqual("[K8HOSTIFC]: in host windows disconnect\n\n"), 2u);

    // The loop goes on with the reconnected drive; the buttons still count from before.
    EXPECT_EQ(feed(1, 0, 512, 384), Pass::Moved);
    ASSERT_EQ(input.count(), eventsBefore + 2);
    EXPECT_EQ(input[eventsBefore + 1], (PointerEvent{0x8004, 32768, 32768}));
}

TEST_F(PointerRedirectionTest, ReadsFailingInARowArePacedBySecondsNotRetriedAtOnce) {
    redirection->start();
    const size_t pausesBefore = sleeps.count();
    device->refuseNext = 1;
    EXPECT_EQ(feed(1, 0, 1, 1), Pass::Reconnected);
    EXPECT_EQ(sleeps.count(), pausesBefore);  // the drive was found at once: no pause
    for (int failure = 0; failure < 3; ++failure) {
        device->refuseNext = 1;
        EXPECT_EQ(feed(1, 0, 1, 1), Pass::Reconnected);
    }
    EXPECT_EQ(std::vector<uint32_t>(sleeps.pauses().begin() + pausesBefore, sleeps.pauses().end()),
              std::vector<uint32_t>(3, 1000));
    EXPECT_EQ(input.count(), 0u);

    // A read that succeeds ends the run: the next failure is retried at once again.
    EXPECT_EQ(feed(1, 0, 1, 1), Pass::Moved);
    const size_t pausesAfterMove = sleeps.count();
    device->refuseNext = 1;
    EXPECT_EQ(feed(1, 0, 1, 1), Pass::Reconnected);
    EXPECT_EQ(sleeps.count(), pausesAfterMove);
}

TEST_F(PointerRedirectionTest, ACardThatAnswersWithAFailingStatusIsAlsoAFailedRead) {
    redirection->start();
    device->statusNext = 1;
    EXPECT_EQ(feed(1, 0, 1, 1), Pass::Reconnected);
    EXPECT_EQ(input.count(), 0u);
    EXPECT_EQ(feed(1, 0, 1, 1), Pass::Moved);
}

}  // namespace
}  // namespace vorl::mouse
