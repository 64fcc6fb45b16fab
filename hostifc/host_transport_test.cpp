#include "hostifc/host_transport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hostifc/host_interface.h"
#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "tests/support/scripted_scsi_device.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"

namespace vorl {
namespace {

using test::ScriptedCommand;
using test::ScriptedDeviceBackend;

class MessageLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = test::makeMachineWithCard();
        device = backend.get();
        host = std::make_unique<HostInterface>(std::move(backend));
        ASSERT_EQ(host->connect(), 0);
        device->commands.clear();
        request.assign(CommandHeader::kMaxPacket, 0);
        response.assign(CommandHeader::kMaxPacket, 0xEE);
    }
    // A request packet for `command` with `payload` bytes of `fill`.
    const uint8_t* packet(uint16_t command, uint32_t payload, uint8_t fill = 0x11) {
        CommandHeader::build(request.data(), command, payload);
        std::memset(request.data() + CommandHeader::kSize, fill, payload);
        return request.data();
    }
    int transact(uint32_t payload, uint32_t polls = 0) {
        uint32_t length = 0;
        return host->transact(packet(0x0503, payload), length, response.data(), polls);
    }
    size_t count(bool (ScriptedCommand::*what)() const) const { return device->count(what); }
    bool traced(const std::string& text) const {
        for (const auto& l : debug.lines())
            if (l == "[K8HOSTIFC]: " + text + "\n") return true;
        return false;
    }

    platform::DebugRecorder debug;
    platform::SleepRecorder sleeps;
    ScriptedDeviceBackend* device = nullptr;
    std::unique_ptr<HostInterface> host;
    std::vector<uint8_t> request;
    std::vector<uint8_t> response;
};

TEST_F(MessageLayerTest, HeaderOnlyRequestTakesOneDataBlockInOrder) {
    uint32_t length = 0;
    ASSERT_EQ(host->transact(packet(0x0503, 0), length, response.data(), 0), 0);
    EXPECT_EQ(length, 32u);
    EXPECT_EQ(CommandHeader::commandCode(response.data()), 0x0503);

    // block, one data piece, the poll that finds the answer, one answer piece, the final read
    std::vector<std::string> kinds;
    for (const ScriptedCommand& c : device->commands)
        kinds.push_back(c.isBlockWrite()  ? "block-write"
                        : c.isDataWrite() ? "data-write"
                        : c.isBlockRead() ? "block-read"
                        : c.isDataRead()  ? "data-read"
                                          : "other");
    EXPECT_EQ(kinds, (std::vector<std::string>{"block-write", "data-write", "block-read",
                                               "data-read", "block-read"}));
    const std::vector<uint8_t>& block = device->commands[0].sent;
    EXPECT_EQ(0, std::memcmp(block.data(), "$K8-CONFIG-HOST$", 16));
    EXPECT_EQ(getLe16(block.data() + 16), 0);
    EXPECT_EQ(getLe16(block.data() + 18), 0);
    EXPECT_EQ(getLe32(block.data() + 20), 32u);
    EXPECT_EQ(getLe32(block.data() + 24), 0u);
    EXPECT_EQ(block[510], 0x55);
    EXPECT_EQ(block[511], 0xAA);
    EXPECT_EQ(0, std::memcmp(device->commands[1].sent.data(), request.data(), 32));
    EXPECT_EQ(device->mutexLocks, 1);
    EXPECT_EQ(device->mutexUnlocks, 1);
}

TEST_F(MessageLayerTest, LastRequestPieceCarriesZerosAfterTheRequest) {
    // A long request first leaves bytes behind in the host's buffers.
    ASSERT_EQ(transact(1000), 0);
    device->commands.clear();
    ASSERT_EQ(transact(513 - 32, 0), 0);
    EXPECT_EQ(count(&ScriptedCommand::isDataWrite), 2u);
    const std::vector<uint8_t>& last = device->commands[2].sent;
    EXPECT_EQ(last[0], 0x11);
    for (size_t i = 1; i < 512; ++i) ASSERT_EQ(last[i], 0) << i;
}

TEST_F(MessageLayerTest, EmptyAnswerStillMakesTheFinalBlockRead) {
    device->card.overrideResponseLength = true;
    device->card.responseLength = 0;
    uint32_t length = 7;
    EXPECT_EQ(host->lockedExchange(0, 32, length, packet(0x0503, 0), response.data(),
                                   HostTransport::kMaxMessage, 0),
              0);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(count(&ScriptedCommand::isDataRead), 0u);
    EXPECT_EQ(count(&ScriptedCommand::isBlockRead), 2u);
    EXPECT_EQ(getLe32(device->commands[0].sent.data() + 24), 7u);  // the caller's value
    // A card packet needs its header: the transport refuses an empty answer.
    uint32_t packetLength = 0;
    EXPECT_EQ(host->transact(packet(0x0503, 0), packetLength, response.data(), 0), 1);
}

TEST_F(MessageLayerTest, CardStatusesEndTheExchange) {
    device->card.status = 3;
    EXPECT_EQ(transact(0), 1);
    EXPECT_TRUE(traced("Unsupported command\n"));
    EXPECT_EQ(count(&ScriptedCommand::isDataRead), 0u);

    device->card.status = 0x0005;
    EXPECT_EQ(transact(0), 1);
    EXPECT_TRUE(traced("Unknown status\n"));

    device->card.status = 1;
    uint32_t length = 0;
    EXPECT_EQ(host->lockedExchange(0, 32, length, packet(0x0503, 0), response.data(),
                                   HostTransport::kMaxMessage, 0),
              1);
    EXPECT_TRUE(traced("Too much data\n"));
    device->card.status = 2;
    EXPECT_EQ(transact(0), 1);
    EXPECT_TRUE(traced("Too little data\n"));
    EXPECT_EQ(device->mutexLocks, device->mutexUnlocks);
}

TEST_F(MessageLayerTest, PollBudgetAndBusyCard) {
    device->card.busyReads = UINT32_MAX;
    EXPECT_EQ(transact(0, 2), 24);
    EXPECT_EQ(count(&ScriptedCommand::isBlockRead), 3u);
    EXPECT_EQ(sleeps.pauses(), (std::vector<uint32_t>{1, 1, 1}));
    EXPECT_FALSE(device->mutexHeld);

    // Budget 0 waits as long as the card is busy.
    device->card.busyReads = 40;
    device->commands.clear();
    platform::SleepRecorder polls;
    EXPECT_EQ(transact(0, 0), 0);
    EXPECT_EQ(polls.count(), 40u);
    EXPECT_EQ(count(&ScriptedCommand::isBlockRead), 42u);
}

TEST_F(MessageLayerTest, ACardThatStaysBusyIsGivenUpAfterTheWaitLimitAndTheMutexIsFreed) {
    // Budget 0 sets no count, but a minute of a busy card ends the exchange as a used-up
    // budget does. The recorded pauses move the clock, so the minute passes at once.
    device->card.busyReads = UINT32_MAX;
    const uint64_t start = platform::steadyMs();
    EXPECT_EQ(transact(0, 0), 24);
    const uint64_t waited = platform::steadyMs() - start;
    EXPECT_GE(waited, platform::kAnswerWaitLimitMs);
    EXPECT_LT(waited, platform::kAnswerWaitLimitMs + 10000);
    EXPECT_GT(sleeps.count(), 1000u);
    EXPECT_FALSE(device->mutexHeld);
    EXPECT_EQ(device->mutexLocks, device->mutexUnlocks);
    EXPECT_TRUE(traced("Card still busy after 60000 ms, exchange abandoned\n"));

    // A test setting shortens the limit; the next exchange runs as usual.
    device->commands.clear();
    {
        platform::WaitLimitOverride shortLimit(20);
        platform::SleepRecorder polls;
        EXPECT_EQ(transact(0, 0), 24);
        EXPECT_GE(polls.count(), 1u);
        EXPECT_LE(polls.count(), 21u);
    }
    device->card.busyReads = 2;
    EXPECT_EQ(transact(0, 0), 0);
}

TEST_F(MessageLayerTest, NothingIsSentWithoutAConnection) {
    auto backend = test::makeMachineWithCard();
    backend->mutexFails = true;
    ScriptedDeviceBackend* second = backend.get();
    HostInterface unready(std::move(backend));
    EXPECT_EQ(unready.connect(), 3);
    second->commands.clear();
    uint32_t length = 0;
    EXPECT_EQ(unready.transact(packet(0x0503, 0), length, response.data(), 0), 1);
    EXPECT_TRUE(second->commands.empty());

    host->disconnect();
    EXPECT_EQ(transact(0), 1);
    EXPECT_TRUE(device->commands.empty());
}

TEST_F(MessageLayerTest, AnswerLengthFromTheCardIsCheckedBeforeReading) {
    // Longer than the caller's buffer: refused, buffer untouched, no data read.
    device->card.respond = [](const std::vector<uint8_t>&) {
        std::vector<uint8_t> answer(600, 0x42);
        CommandHeader::buildResponse(answer.data(), 0x0503, 0, 600 - 32);
        return answer;
    };
    uint32_t length = 0;
    EXPECT_EQ(host->lockedExchange(0, 32, length, packet(0x0503, 0), response.data(), 100, 0), -1);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(response[0], 0xEE);
    EXPECT_EQ(count(&ScriptedCommand::isDataRead), 0u);

    // Beyond a whole packet, or too short for a header.
    for (uint32_t bad : {66561u, 0xFFFFFFFFu, 31u, 1u}) {
        device->commands.clear();
        device->card.overrideResponseLength = true;
        device->card.responseLength = bad;
        EXPECT_EQ(transact(0), 1) << bad;
        EXPECT_EQ(count(&ScriptedCommand::isDataRead), 0u) << bad;
    }
    EXPECT_EQ(response[0], 0xEE);
}

TEST_F(MessageLayerTest, ShortOrInconsistentAnswersNeverHandOnStaleBytes) {
    // An answer whose header announces more payload than the card sent.
    device->card.overrideResponseLength = true;
    device->card.responseLength = 40;
    device->card.respond = [](const std::vector<uint8_t>&) {
        std::vector<uint8_t> answer(40, 0);
        CommandHeader::buildResponse(answer.data(), 0x0503, 0, 500);
        return answer;
    };
    EXPECT_EQ(transact(0), 1);

    // A data piece that moves fewer bytes with good status: the rest reads as zeros.
    device->card.responseLength = 64;
    device->card.shortReadBytes = 40;
    device->card.respond = [](const std::vector<uint8_t>&) {
        std::vector<uint8_t> answer(64, 0x77);
        CommandHeader::buildResponse(answer.data(), 0x0503, 0, 32);
        return answer;
    };
    uint32_t length = 0;
    ASSERT_EQ(host->transact(packet(0x0503, 0), length, response.data(), 0), 0);
    EXPECT_EQ(length, 64u);
    EXPECT_EQ(response[39], 0x77);
    for (size_t i = 40; i < 64; ++i) EXPECT_EQ(response[i], 0) << i;
}

TEST_F(MessageLayerTest, TransferFailureMidwayReleasesTheMutexAndFails) {
    device->refuseNext = 4;  // the block write fails four times
    EXPECT_EQ(transact(0), 1);
    EXPECT_EQ(device->mutexLocks, 1);
    EXPECT_EQ(device->mutexUnlocks, 1);
    EXPECT_EQ(count(&ScriptedCommand::isDataWrite), 0u);
}

TEST_F(MessageLayerTest, OversizedRequestIsRefusedBeforeAnythingIsSent) {
    uint32_t length = 0;
    EXPECT_EQ(host->lockedExchange(0, HostTransport::kMaxMessage + 1, length, request.data(),
                                   response.data(), HostTransport::kMaxMessage, 0),
              -1);
    putLe32(request.data() + CommandHeader::kPayloadLengthOffset, 0xFFFFFFF0u);
    EXPECT_EQ(host->transact(request.data(), length, response.data(), 0), 1);
    EXPECT_TRUE(device->commands.empty());
}

}  // namespace
}  // namespace vorl
