#include "cardsim/sim_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "cardsim/sim_packet_reader.h"
#include "platform/md5.h"
#include "tests/support/loopback_peer.h"
#include "wire/byte_order.h"
#include "wire/command_header.h"

namespace vorl::sim {
namespace {

using platform::TcpSocket;

TcpSocket connectTo(uint16_t port) {
    TcpSocket socket = test::connectToLoopback(port);
    EXPECT_TRUE(socket.isOpen());
    return socket;
}

std::vector<uint8_t> packet(uint16_t command, const std::vector<uint8_t>& payload = {}) {
    std::vector<uint8_t> bytes(CommandHeader::kSize + payload.size());
    CommandHeader::build(bytes.data(), command, static_cast<uint32_t>(payload.size()));
    std::copy(payload.begin(), payload.end(), bytes.begin() + CommandHeader::kSize);
    return bytes;
}

// A connected pair of sockets on loopback, for the packet reader.
struct SocketPair {
    SocketPair() {
        EXPECT_TRUE(listener.listen("127.0.0.1", 0));
        client = connectTo(listener.port());
        server = listener.accept();
    }
    platform::TcpListener listener;
    TcpSocket client;
    TcpSocket server;
};

TEST(SimPacketReaderTest, FindsASignatureThatStartsInsideAFailedMatch) {
    SocketPair pair;
    // "ZOR U" 0xAA then 'Z' matches up to the seventh signature byte before failing.
    std::vector<uint8_t> stream = {'Z', 'O', 'R', ' ', 'U', 0xAA};
    const std::vector<uint8_t> request = packet(0x0503, {1, 2, 3});
    stream.insert(stream.end(), request.begin(), request.end());
    ASSERT_TRUE(pair.client.sendAll(stream.data(), stream.size()));
    std::vector<uint8_t> buffer(CommandHeader::kMaxPacket);
    ASSERT_EQ(readRequest(pair.server, buffer.data()), ReadResult::Packet);
    EXPECT_EQ(std::memcmp(buffer.data(), request.data(), request.size()), 0);
}

TEST(SimPacketReaderTest, BadChecksumLeavesThePayloadAndTooLongIsRefused) {
    SocketPair pair;
    std::vector<uint8_t> bad = packet(0x0500, std::vector<uint8_t>(64, 'x'));
    ++bad[CommandHeader::kChecksumOffset];
    const std::vector<uint8_t> good = packet(0x0001);
    std::vector<uint8_t> huge = packet(0x0500);
    putLe32(huge.data() + CommandHeader::kPayloadLengthOffset, CommandHeader::kMaxPayload + 1);
    huge[CommandHeader::kChecksumOffset] = CommandHeader::checksum(huge.data());
    const std::vector<uint8_t>* const stream[] = {&bad, &good, &huge};
    for (const std::vector<uint8_t>* p : stream)
        ASSERT_TRUE(pair.client.sendAll(p->data(), p->size()));

    std::vector<uint8_t> buffer(CommandHeader::kMaxPacket);
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::BadChecksum);
    EXPECT_EQ(CommandHeader::commandCode(buffer.data()), 0x0500);
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::Packet);
    EXPECT_EQ(CommandHeader::commandCode(buffer.data()), 0x0001);
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::TooLong);
    pair.client.shutdownBoth();
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::Closed);
}

TEST(SimPacketReaderTest, MaxPayloadIsAcceptedAndAPeerThatStopsMidPayloadIsClosed) {
    SocketPair pair;
    const std::vector<uint8_t> full = packet(0x0500, std::vector<uint8_t>(66528, 0x5A));
    std::thread sender([&] { pair.client.sendAll(full.data(), full.size()); });
    std::vector<uint8_t> buffer(CommandHeader::kMaxPacket);
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::Packet);
    sender.join();
    EXPECT_EQ(buffer[CommandHeader::kMaxPacket - 1], 0x5A);

    const std::vector<uint8_t> cut = packet(0x0500, std::vector<uint8_t>(64, 1));
    ASSERT_TRUE(pair.client.sendAll(cut.data(), cut.size() - 10));
    pair.client.shutdownBoth();
    EXPECT_EQ(readRequest(pair.server, buffer.data()), ReadResult::Closed);
}

// A client of the simulated card over a real loopback connection.
class Client {
public:
    explicit Client(uint16_t port) : socket_(connectTo(port)) {}
    // Status of the response, or -1 when the connection ended.
    int transact(uint16_t command, const std::vector<uint8_t>& payload = {}) {
        const std::vector<uint8_t> request = packet(command, payload);
        if (!socket_.sendAll(request.data(), request.size())) return -1;
        uint8_t header[CommandHeader::kSize];
        if (!socket_.receiveAll(header, sizeof header)) return -1;
        data.assign(CommandHeader::payloadLength(header), 0);
        if (!data.empty() && !socket_.receiveAll(data.data(), data.size())) return -1;
        return CommandHeader::status(header);
    }
    int login(const std::string& password = "vorladmin") {
        if (transact(0x0001) != 0 || data.size() != 8) return -1;
        std::vector<uint8_t> input(password.begin(), password.end());
        input.insert(input.end(), data.begin(), data.end());
        std::vector<uint8_t> record(72);
        std::memcpy(record.data(), "admin", 5);
        platform::md5(input.data(), input.size(), record.data() + 32);
        return transact(0x0002, record);
    }
    bool closedByPeer() {
        uint8_t byte;
        return socket_.receive(&byte, 1) == 0;
    }
    std::vector<uint8_t> data;

private:
    TcpSocket socket_;
};

class SimServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen("127.0.0.1", 0));
        server.start();
    }
    SimOptions options;
    SimCard card{std::filesystem::path(), options};
    SimServer server{card, SimFaults()};
};

TEST_F(SimServerTest, LoginGatesEveryOtherCommand) {
    Client client(server.port());
    EXPECT_EQ(client.transact(0x0503), 2);
    EXPECT_EQ(client.transact(0x0002, std::vector<uint8_t>(72)), 1);  // no challenge yet
    EXPECT_EQ(client.login("vorladmin "), 1);
    EXPECT_EQ(client.transact(0x0503), 2);
    EXPECT_EQ(client.login(), 0);
    EXPECT_EQ(client.transact(0x0503), 0);
    EXPECT_EQ(client.data.size(), 32u);
    EXPECT_EQ(client.transact(0x0002, std::vector<uint8_t>(71)), 28);
    EXPECT_EQ(client.transact(0xFF00), 32);
}

TEST_F(SimServerTest, RestartClosesEveryConnectionAndKeepsListening) {
    Client first(server.port());
    Client second(server.port());
    ASSERT_EQ(first.login(), 0);
    ASSERT_EQ(second.transact(0x0001), 0);
    const unsigned before = card.generation();
    server.restartCard(false);
    EXPECT_EQ(card.generation(), before + 1);
    EXPECT_TRUE(first.closedByPeer());
    EXPECT_TRUE(second.closedByPeer());
    Client third(server.port());
    EXPECT_EQ(third.login(), 0);
}

TEST_F(SimServerTest, ARestartThroughAnotherLinkEndsTheConnectionAtItsNextRequest) {
    Client client(server.port());
    ASSERT_EQ(client.login(), 0);
    card.restart(false);  // as the device link does
    EXPECT_EQ(client.transact(0x0503), -1);
}

TEST_F(SimServerTest, StopEndsOpenConnections) {
    Client idle(server.port());
    Client busy(server.port());
    ASSERT_EQ(busy.login(), 0);
    for (int i = 0; i < 100 && server.openConnections() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(server.openConnections(), 2u);
    server.stop();
    EXPECT_TRUE(idle.closedByPeer());
    EXPECT_TRUE(busy.closedByPeer());
    server.stop();  // a second stop is harmless
}

// --fault-on counts a code's requests over every connection of the card: only the numbered ones
// meet the fault, so that the steps that repair a failure get through.
TEST(SimServerFaultOnTest, OnlyTheNumberedRequestsOfACodeMeetTheirFault) {
    SimOptions options;
    SimCard card{std::filesystem::path(), options};
    SimFaults faults;
    faults.halfReply = {0x0503};
    faults.forceStatus = {{0x0501, 16}};
    faults.faultOn = {{0x0503, {2, 2}}, {0x0501, {1, 2}}};
    SimServer server{card, faults};
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    server.start();

    Client first(server.port());
    ASSERT_EQ(first.login(), 0);
    EXPECT_EQ(first.transact(0x0503), 0);   // request 1: served
    EXPECT_EQ(first.transact(0x0503), -1);  // request 2: half an answer, then closed
    Client second(server.port());
    ASSERT_EQ(second.login(), 0);
    EXPECT_EQ(second.transact(0x0503), 0);  // request 3, on another connection: served

    std::vector<uint8_t> admin(64, 0);
    std::memcpy(admin.data(), "admin", 5);
    EXPECT_EQ(second.transact(0x0501, admin), 16);  // refused, not executed
    EXPECT_EQ(second.transact(0x0501, admin), 16);
    EXPECT_EQ(second.transact(0x0503), 0);
    EXPECT_EQ(second.data.size(), 32u);            // admin is still there
    EXPECT_EQ(second.transact(0x0501, admin), 0);  // the third delete is carried out
    server.stop();
}

}  // namespace
}  // namespace vorl::sim
