#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "hostifc/host_interface.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "tests/support/scripted_scsi_device.h"

namespace vorl {
namespace {

using test::ScriptedCommand;
using test::ScriptedDeviceBackend;

class VendorCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto backend = test::makeMachineWithCard();
        device = backend.get();
        host = std::make_unique<HostInterface>(std::move(backend));
        ASSERT_EQ(host->connect(), 0);
        device->commands.clear();
        debug.emplace();
        sleeps.emplace();
    }
    size_t linesContaining(const std::string& text) const {
        size_t n = 0;
        for (const auto& l : debug->lines()) n += l.find(text) != std::string::npos;
        return n;
    }

    // Installed once connected, so that they hold only what a test's commands did.
    std::optional<platform::DebugRecorder> debug;
    std::optional<platform::SleepRecorder> sleeps;
    ScriptedDeviceBackend* device = nullptr;
    std::unique_ptr<HostInterface> host;
};

TEST_F(VendorCommandTest, BlockCommandThatAlwaysFailsMakesFourAttempts) {
    device->refuseNext = 100;
    uint8_t destination[512];
    std::memset(destination, 0x5A, sizeof destination);
    EXPECT_EQ(host->ReadCD(1, destination), 255);
    EXPECT_EQ(device->commands.size(), 4u);
    EXPECT_EQ(sleeps->pauses(), (std::vector<uint32_t>{2000, 2000, 2000, 2000}));
    EXPECT_EQ(linesContaining("SendScsiCommand failure even after 3 retries in ReadCD!!\n"), 1u);
    EXPECT_EQ(destination[0], 0x5A);  // untouched

    // A nonzero SCSI status is a failure too, and its value is returned.
    device->refuseNext = 0;
    device->statusNext = 4;
    device->failStatus = 0x08;
    uint8_t source[512] = {};
    EXPECT_EQ(host->WriteCD(2, source), 0x08);
    EXPECT_EQ(linesContaining("SendScsiCommand failure even after 3 retries in WriteCD!!\n"), 1u);
}

TEST_F(VendorCommandTest, BlockCommandThatFailsTwiceThenSucceeds) {
    device->statusNext = 2;
    uint8_t source[512];
    for (int i = 0; i < 512; ++i) source[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(host->WriteCD(2, source), 0);
    EXPECT_EQ(sleeps->pauses(), (std::vector<uint32_t>{2000, 2000}));
    EXPECT_EQ(linesContaining("retries"), 0u);
    ASSERT_EQ(device->commands.size(), 3u);
    for (const ScriptedCommand& c : device->commands) {
        EXPECT_EQ(c.size, 512u);
        EXPECT_EQ(c.direction, platform::DataDirection::ToDevice);
        EXPECT_EQ(0, std::memcmp(c.sent.data(), source, 512));
    }
    EXPECT_EQ(device->commands[0].cdb, (std::vector<uint8_t>{0xE2, 0, 0, 0, 0, 2, 0, 0, 1, 0}));
}

TEST_F(VendorCommandTest, RefusedReadDumpsTheCommandBlock) {
    device->refuseNext = 1;
    uint8_t destination[512];
    EXPECT_EQ(host->ReadCD(1, destination), 0);
    const std::vector<std::string> expected = {
        "[K8HOSTIFC]: Error In DevieIoControl for sending SCSI Command..dump of CDB "
        "Follows!!!\n\n",
        "[K8HOSTIFC]: 0xe3 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 1 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: 0x 1 \n",
        "[K8HOSTIFC]: 0x 0 \n",
        "[K8HOSTIFC]: \n\n"};
    EXPECT_EQ(debug->lines(), expected);
}

// A device answering only the probe, with a chosen answer or a refusal.
class ProbeDevice : public platform::ScsiDevice {
public:
    explicit ProbeDevice(const char (&answer)[11], bool refuse = false) : refuse_(refuse) {
        std::memcpy(answer_, answer, 10);
    }
    platform::PassThroughResult passThrough(const uint8_t*, uint8_t, uint8_t* buffer, uint32_t size,
                                            platform::DataDirection, uint32_t) override {
        platform::PassThroughResult result;
        if (refuse_) return result;
        std::memcpy(buffer, answer_, size < 10 ? size : 10);
        result.refused = false;
        result.bytesMoved = size;
        return result;
    }

private:
    uint8_t answer_[10];
    bool refuse_;
};

TEST_F(VendorCommandTest, ProbeNeedsTheSignatureAndAZeroTenthByte) {
    ProbeDevice card("$$$ZOR$$$\0");
    ProbeDevice almost("$$$ZOR$$$X");
    ProbeDevice other("$$$ZOX$$$\0");
    ProbeDevice refusing("$$$ZOR$$$\0", true);
    EXPECT_EQ(host->probeSignature(card), 1);
    EXPECT_EQ(host->probeSignature(almost), 0);
    EXPECT_EQ(host->probeSignature(other), 0);
    EXPECT_EQ(host->probeSignature(refusing), 0);
    EXPECT_TRUE(debug->lines().empty());
}

TEST_F(VendorCommandTest, NothingIsSentOnceTheTimeAllowedForAPathHasPassed) {
    host->limitCommandsTo(platform::Deadline(4000));
    EXPECT_TRUE(host->heartbeatStop());
    host->limitCommandsTo(platform::Deadline(0));
    EXPECT_FALSE(host->heartbeatStop());
    EXPECT_EQ(host->heartbeatPoll(), -1);
    EXPECT_EQ(device->commands.size(), 1u);
    EXPECT_EQ(linesContaining("already used: not sent"), 2u);
    host->limitCommandsTo(std::nullopt);
    EXPECT_TRUE(host->heartbeatStop());
    EXPECT_EQ(device->commands.size(), 2u);
}

TEST_F(VendorCommandTest, SinglePacketCommands) {
    device->card.heartbeatAnswer = {0x2C, 0x01, 0, 0};
    EXPECT_EQ(host->heartbeatStart(), 300);
    EXPECT_EQ(host->heartbeatPoll(), 300);
    host->heartbeatStop();
    device->card.mouseAnswer = {1, 0, 0, 0x00, 0x02, 0x80, 0x01, 0, 0, 0, 0, 1};
    MousePacket packet;
    EXPECT_EQ(host->readMousePacket(packet), 0);
    EXPECT_EQ(packet.buttons(), 1);
    EXPECT_EQ(packet.x(), 512);
    EXPECT_EQ(packet.y(), 384);
    EXPECT_EQ(packet.kind(), MousePacket::kKindPointer);

    ASSERT_EQ(device->commands.size(), 4u);
    const uint8_t opcodes[] = {0xE5, 0xE6, 0xE7, 0xE1};
    const uint32_t sizes[] = {4, 4, 4, 12};
    for (size_t i = 0; i < 4; ++i) {
        std::vector<uint8_t> cdb(10, 0);
        cdb[0] = opcodes[i];
        EXPECT_EQ(device->commands[i].cdb, cdb);
        EXPECT_EQ(device->commands[i].size, sizes[i]);
        EXPECT_EQ(device->commands[i].direction, platform::DataDirection::FromDevice);
    }
    EXPECT_EQ(sleeps->count(), 0u);  // no retries, no pauses

    // One attempt each; a refusal or a bad status gives -1.
    device->statusNext = 1;
    EXPECT_EQ(host->heartbeatPoll(), -1);
    device->refuseNext = 1;
    EXPECT_EQ(host->readMousePacket(packet), -1);
    EXPECT_EQ(device->commands.size(), 6u);
}

}  // namespace
}  // namespace vorl
