#include "cardsim/mouse_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cardsim/device_link.h"
#include "hostifc/host_interface.h"
#include "platform/device_link_wire.h"
#include "platform/sim_device.h"
#include "wire/byte_order.h"

namespace vorl::sim {
namespace {

namespace wire = platform::devlink;

constexpr const char* kAddress = "127.13.13.13";
constexpr uint16_t kPort = 6578;

struct Answer {
    uint8_t result = 0xFF;
    uint32_t queued = 0;
    std::string data;
};

// One request on its own connection: the head (op, and `text` as the data) and its answer.
Answer request(uint8_t op, const std::string& text = {}, uint32_t announced = UINT32_MAX) {
    Answer answer;
    uint32_t address = 0;
    platform::parseIpv4(kAddress, address);
    platform::TcpSocket socket;
    if (!socket.open() || socket.connect(address, kPort) != platform::SocketError::None)
        return answer;
    uint8_t head[wire::kRequestHeadSize] = {op};
    putLe32(head + 20, announced == UINT32_MAX ? static_cast<uint32_t>(text.size()) : announced);
    if (!socket.sendAll(head, sizeof head) || !socket.sendAll(text.data(), text.size()))
        return answer;
    uint8_t back[wire::kAnswerHeadSize];
    if (!socket.receiveAll(back, sizeof back)) return answer;
    answer.result = back[0];
    answer.queued = getLe32(back + 4);
    answer.data.resize(getLe32(back + 8));
    if (!answer.data.empty()) socket.receiveAll(answer.data.data(), answer.data.size());
    return answer;
}

class MouseControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.add("devlink-listen", kAddress);
        options.add("devlink-port", std::to_string(kPort));
        card = std::make_unique<SimCard>(std::filesystem::path(), options);
        ASSERT_TRUE(link.start(*card, options));
    }
    void TearDown() override { link.stop(); }

    SimOptions options;
    std::unique_ptr<SimCard> card;
    DeviceLink link;
};

TEST_F(MouseControlTest, QueuedPacketsAreWhatTheHostReadsInOrder) {
    Answer queued = request('M', "1:1:512:384,2:0:0:0");
    EXPECT_EQ(queued.result, wire::kResultDone);
    EXPECT_EQ(queued.queued, 2u);
    queued = request('M', "1:0:1024:768");
    EXPECT_EQ(queued.queued, 3u);

    uint32_t address = 0;
    platform::parseIpv4(kAddress, address);
    HostInterface host(platform::makeSimDeviceBackend(address, kPort));
    ASSERT_EQ(host.connect(), 0);
    MousePacket packet;
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ((std::vector<int>{packet.kind(), packet.buttons(), packet.x(), packet.y()}),
              (std::vector<int>{1, 1, 512, 384}));
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ(packet.kind(), MousePacket::kKindPause);

    const std::string stats = request('S').data;
    EXPECT_NE(stats.find("mouse 2\n"), std::string::npos) << stats;
    EXPECT_NE(stats.find("mouse-queued 1\n"), std::string::npos) << stats;

    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ((std::vector<int>{packet.kind(), packet.x(), packet.y()}),
              (std::vector<int>{1, 1024, 768}));
    ASSERT_EQ(host.readMousePacket(packet), 0);
    EXPECT_EQ(packet.kind(), 0);  // the queue ran dry: nothing to do
}

TEST_F(MouseControlTest, MalformedTextQueuesNothingAndEmptyTextOnlyAsks) {
    EXPECT_EQ(request('M', "1:0:5:5").queued, 1u);
    for (const char* bad :
         {"1:0:5", "1:0:5:5,", "x:0:5:5", "1:256:5:5", "1:0:65536:5", "1:0:5:5;2:0:0:0"}) {
        const Answer refused = request('M', bad);
        EXPECT_EQ(refused.result, wire::kResultRefused) << bad;
        EXPECT_EQ(refused.queued, 1u) << bad;
    }
    const Answer asked = request('M');
    EXPECT_EQ(asked.result, wire::kResultDone);
    EXPECT_EQ(asked.queued, 1u);
}

TEST_F(MouseControlTest, ATextLongerThanTheLinkCarriesEndsTheConnection) {
    const Answer answer = request('M', "", wire::kMaxTransfer + 1);
    EXPECT_EQ(answer.result, 0xFF);  // closed without an answer
    EXPECT_EQ(request('M').queued, 0u);
}

TEST_F(MouseControlTest, TheQueueHoldsAtMost65536Packets) {
    DeviceLinkCard linkCard(*card, DeviceLinkConfig{});
    std::string text = "0:0:0:0";
    for (int i = 1; i < 65536; ++i) text += ",0:0:0:0";
    uint32_t queued = 0;
    EXPECT_TRUE(linkCard.queueMousePackets(text, queued));
    EXPECT_EQ(queued, 65536u);
    EXPECT_FALSE(linkCard.queueMousePackets("1:0:1:1", queued));
    EXPECT_EQ(queued, 65536u);
}

}  // namespace
}  // namespace vorl::sim
