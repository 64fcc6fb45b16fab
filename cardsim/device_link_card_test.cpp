#include "cardsim/device_link_card.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostifc/host_interface.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"

namespace vorl::sim {
namespace {

using platform::DataDirection;

// The host interface's device backend wired straight to the card's side of the link.
class LinkBackend : public platform::DeviceBackend {
public:
    LinkBackend(DeviceLinkCard& card, uint64_t client) : card_(card), client_(client) {}
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        const std::string list = card_.deviceList();
        std::string out;
        for (size_t at = 0; at < list.size();) {
            const std::string entry = list.c_str() + at;
            at += entry.size() + 1;
            const std::string target = list.c_str() + at;
            at += target.size() + 1;
            if (name == nullptr) out.append(entry).push_back('\0');
            if (name != nullptr && entry == name) out.append(target).push_back('\0');
        }
        out.push_back('\0');
        if (out.size() > capacity) return platform::kDeviceQueryTooSmall;
        std::memcpy(buffer, out.data(), out.size());
        return static_cast<long>(out.size());
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char* path) override {
        if (!card_.open(path[4])) return nullptr;
        return std::make_unique<Drive>(card_, client_, path[4]);
    }
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char*) override {
        return std::make_unique<NoLock>();
    }

private:
    struct NoLock : platform::NamedMutex {
        bool lock() override { return true; }
        void unlock() override {}
    };
    struct Drive : platform::ScsiDevice {
        Drive(DeviceLinkCard& card, uint64_t client, char letter)
            : card(card), client(client), letter(letter) {}
        platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength,
                                                uint8_t* buffer, uint32_t size,
                                                DataDirection direction, uint32_t) override {
            const LinkAnswer answer =
                card.passThrough(client, letter, cdb, cdbLength, direction, buffer, size);
            platform::PassThroughResult result;
            result.refused = answer.refused;
            result.scsiStatus = answer.scsiStatus;
            result.bytesMoved = answer.moved;
            return result;
        }
        DeviceLinkCard& card;
        uint64_t client;
        char letter;
    };
    DeviceLinkCard& card_;
    uint64_t client_;
};

class DeviceLinkCardTest : public ::testing::Test {
protected:
    DeviceLinkCardTest() : simCard({}, options) {}

    std::unique_ptr<DeviceLinkCard> link(DeviceLinkConfig config = {}) {
        return std::make_unique<DeviceLinkCard>(simCard, std::move(config));
    }
    // A raw block command of `client` on the card drive E.
    LinkAnswer block(DeviceLinkCard& card, uint64_t client, uint8_t opcode, uint8_t selector,
                     uint8_t* data) {
        uint8_t cdb[10] = {opcode, 0, 0, 0, 0, selector, 0, 0, 1, 0};
        return card.passThrough(
            client, 'E', cdb, 10,
            opcode == 0xE2 ? DataDirection::ToDevice : DataDirection::FromDevice, data, 512);
    }
    // Sends a message block announcing `requestLength` and the given pieces.
    void sendRequest(DeviceLinkCard& card, uint64_t client, const uint8_t* packet,
                     uint32_t requestLength, uint16_t type = 0) {
        uint8_t data[512] = {};
        std::memcpy(data, "$K8-CONFIG-HOST$", 16);
        putLe16(data + 16, type);
        putLe32(data + 20, requestLength);
        data[510] = 0x55;
        data[511] = 0xAA;
        ASSERT_EQ(block(card, client, 0xE2, 1, data).scsiStatus, 0);
        for (uint32_t at = 0; at < requestLength; at += 512) {
            std::memset(data, 0, sizeof data);
            std::memcpy(data, packet + at, std::min<uint32_t>(512, requestLength - at));
            ASSERT_EQ(block(card, client, 0xE2, 2, data).scsiStatus, 0);
        }
    }
    uint16_t finalStatus(DeviceLinkCard& card, uint64_t client) {
        uint8_t data[512];
        for (int i = 0; i < 100; ++i) {
            block(card, client, 0xE3, 1, data);
            if (!(getLe16(data + 18) & 0x8000)) return getLe16(data + 18);
        }
        return 0xFFFF;
    }

    SimOptions options;
    SimCard simCard;
    platform::SleepRecorder sleeps;
    platform::DebugRecorder debug;
};

TEST_F(DeviceLinkCardTest, SessionOverTheHostInterfaceRunsCardCommands) {
    DeviceLinkConfig config;
    config.busyPolls = 3;
    auto card = link(config);
    CardSession session(std::make_unique<HostInterface>(std::make_unique<LinkBackend>(*card, 1)));
    ASSERT_EQ(session.connect(), 0);
    char letter = 0;
    EXPECT_EQ(session.getDriveLetter(letter), 0);
    EXPECT_EQ(letter, 'E');
    char names[8][32];
    int count = 0;
    EXPECT_EQ(session.listUserNames(names, 8, count), 0);
    ASSERT_EQ(count, 1);
    EXPECT_STREQ(names[0], "admin");
    EXPECT_EQ(sleeps.count(), 3u);  // the busy phase, one pause per poll
    EXPECT_NE(card->statistics().find("exchanges 1\n"), std::string::npos);
    EXPECT_NE(card->statistics().find("interleaved 0\n"), std::string::npos);
}

TEST_F(DeviceLinkCardTest, BadRequestsGetTheCardStatuses) {
    auto card = link();
    uint8_t packet[1024] = {};
    CommandHeader::build(packet, 0x0503, 0);
    sendRequest(*card, 1, packet, 20);
    EXPECT_EQ(finalStatus(*card, 1), 2);  // shorter than a header
    sendRequest(*card, 1, packet, 40);
    EXPECT_EQ(finalStatus(*card, 1), 1);  // more than the header announces
    CommandHeader::build(packet, 0x0503, 100);
    sendRequest(*card, 1, packet, 64);
    EXPECT_EQ(finalStatus(*card, 1), 2);  // less than the header announces
    sendRequest(*card, 1, packet, 132, 7);
    EXPECT_EQ(finalStatus(*card, 1), 3);  // unknown message type
    packet[11] ^= 1;
    sendRequest(*card, 1, packet, 132);
    EXPECT_EQ(finalStatus(*card, 1), 3);  // header checksum wrong
}

TEST_F(DeviceLinkCardTest, InterleavedExchangesAreDetected) {
    auto card = link();
    uint8_t packet[512] = {};
    CommandHeader::build(packet, 0x0503, 0);
    sendRequest(*card, 1, packet, 32);
    uint8_t data[512] = {};
    // A second host writes its block while the first one's exchange runs.
    EXPECT_NE(block(*card, 2, 0xE2, 1, data).scsiStatus, 0);
    EXPECT_NE(card->statistics().find("interleaved 1\n"), std::string::npos);
    // The first one finishes; then the channel is free again.
    EXPECT_EQ(finalStatus(*card, 1), 0);
    EXPECT_EQ(block(*card, 1, 0xE3, 2, data).scsiStatus, 0);
    EXPECT_EQ(block(*card, 1, 0xE3, 1, data).scsiStatus, 0);
    sendRequest(*card, 2, packet, 32);
    EXPECT_EQ(finalStatus(*card, 2), 0);
    // A host that goes away mid-exchange leaves the channel free.
    card->clientGone(2);
    sendRequest(*card, 3, packet, 32);
    EXPECT_NE(card->statistics().find("interleaved 1\n"), std::string::npos);
}

TEST_F(DeviceLinkCardTest, AnExchangeThatStaysBusyIsTakenOverByTheNextHost) {
    DeviceLinkConfig config;
    config.stuckBusy = true;
    config.stuckExchanges = 1;
    auto card = link(config);
    uint8_t packet[512] = {};
    CommandHeader::build(packet, 0x0503, 0);
    sendRequest(*card, 1, packet, 32);
    uint8_t data[512] = {};
    for (int i = 0; i < 50; ++i) {
        block(*card, 1, 0xE3, 1, data);
        ASSERT_TRUE(getLe16(data + 18) & 0x8000);
    }
    // Host 1 gave up; host 2's block starts a new exchange, which is not stuck.
    sendRequest(*card, 2, packet, 32);
    EXPECT_EQ(finalStatus(*card, 2), 0);
    const std::string stats = card->statistics();
    EXPECT_NE(stats.find("interleaved 0\n"), std::string::npos) << stats;
    EXPECT_NE(stats.find("abandoned 1\n"), std::string::npos) << stats;
}

TEST_F(DeviceLinkCardTest, DrivesProbeFaultsPointerPacketsAndHeartbeat) {
    DeviceLinkConfig config;
    std::string error;
    options.add("mouse-packets", "1:5:512:384,2:0:0:0");
    options.add("heartbeat-interval", "45");
    options.add("refuse-passthrough", "1");
    ASSERT_TRUE(config.take(options, error)) << error;
    auto card = link(config);
    auto backend = std::make_unique<LinkBackend>(*card, 1);
    HostInterface host(std::move(backend));
    ASSERT_EQ(host.connect(), 0);
    const std::string stats = card->statistics();
    EXPECT_NE(stats.find("open D: 1\n"), std::string::npos);  // probed, refused, skipped
    EXPECT_EQ(stats.find("open C:"), std::string::npos);      // a hard disk is never opened

    MousePacket packet;
    EXPECT_EQ(host.readMousePacket(packet), -1);  // the one refusal
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ(packet.kind(), 1);
    EXPECT_EQ(packet.buttons(), 5);
    EXPECT_EQ(packet.x(), 512);
    EXPECT_EQ(packet.y(), 384);
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ(packet.kind(), 2);
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ(packet.kind(), 0);  // queue empty: nothing to do

    EXPECT_EQ(host.heartbeatStart(), 45);
    EXPECT_EQ(host.heartbeatPoll(), 45);
    EXPECT_EQ(host.heartbeatPoll(), 45);
    host.heartbeatStop();
    const std::string after = card->statistics();
    EXPECT_NE(after.find("heartbeat-start 1\nheartbeat-poll 2\nheartbeat-stop 1\n"),
              std::string::npos)
        << after;

    SimOptions bad;
    bad.add("mouse-packets", "1:2:3");
    DeviceLinkConfig rejected;
    EXPECT_FALSE(rejected.take(bad, error));
}

}  // namespace
}  // namespace vorl::sim
