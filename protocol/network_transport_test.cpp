// NetworkTransport against a real loopback peer.
#include "protocol/network_transport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "protocol/card_session.h"
#include "tests/support/loopback_peer.h"

namespace vorl {
namespace {

using platform::TcpSocket;
using test::LoopbackPeer;

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<uint8_t> bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

// Runs one request through a session to a peer that answers with `wire`.
int transactAgainst(const std::vector<uint8_t>& wire, uint32_t& responseLength,
                    uint8_t* buffer = nullptr, uint32_t capacity = 0, uint32_t waitPolls = 0) {
    LoopbackPeer peer([&](TcpSocket& card) {
        if (LoopbackPeer::readRequest(card).empty()) return;
        card.sendAll(wire.data(), wire.size());
        uint8_t drain;
        card.receive(&drain, 1);  // hold the connection until the client is done
    });
    CardSession session(1, "127.0.0.1", peer.port());
    EXPECT_EQ(0, session.connect());
    uint8_t local[64] = {};
    if (buffer == nullptr) {
        buffer = local;
        capacity = sizeof local;
    }
    return session.transact(0x0502, buffer, 0, responseLength, waitPolls, capacity);
}

TEST(NetworkTransport, SkipsStrayBytesIncludingFalseStartsOfTheSignature) {
    const auto answer = LoopbackPeer::response(0x0502, 0, {0xAB, 0xCD});
    const std::vector<std::vector<uint8_t>> strays = {
        {0x00, 0x7F},                                // plain junk
        bytes("Z"),                                  // a lone first signature byte
        {'Z', 'O', 'R', ' ', 'U', 0xAA, 0x5A},       // breaks at the last byte...
        {'Z', 'O', 'R', ' ', 'U', 0xAA, 0x5A, 0x00}  // ...or with a wrong last byte
    };
    for (const auto& stray : strays) {
        uint32_t responseLength = 0;
        uint8_t buffer[16] = {};
        EXPECT_EQ(0, transactAgainst(concat(stray, answer), responseLength, buffer, sizeof buffer));
        EXPECT_EQ(2u, responseLength);
        EXPECT_EQ(0xCD, buffer[1]);
    }
}

TEST(NetworkTransport, HeaderOnlyAnswerGivesLength32AtTransportLevel) {
    LoopbackPeer peer([](TcpSocket& card) {
        LoopbackPeer::readRequest(card);
        const auto answer = LoopbackPeer::response(0x0502, 0);
        card.sendAll(answer.data(), answer.size());
    });
    NetworkTransport transport("127.0.0.1", peer.port());
    ASSERT_EQ(0, transport.connect());
    std::vector<uint8_t> request(32), response(CommandHeader::kMaxPacket);
    CommandHeader::build(request.data(), 0x0502, 0);
    uint32_t responseLength = 0;
    EXPECT_EQ(0, transport.transact(request.data(), responseLength, response.data(), 0));
    EXPECT_EQ(32u, responseLength);
    transport.disconnect();
}

TEST(NetworkTransport, BoundedWaitGivesUpAndLeavesTheSocketBlocking) {
    LoopbackPeer peer([](TcpSocket& card) {
        LoopbackPeer::readRequest(card);  // first request: never answered
        LoopbackPeer::readRequest(card);  // second: answered late
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto answer = LoopbackPeer::response(0x0502, 0, {1});
        card.sendAll(answer.data(), answer.size());
        uint8_t drain;
        card.receive(&drain, 1);
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[8] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(33, session.transact(0x0701, buffer, 0, responseLength, 1, sizeof buffer));
    // A socket left non-blocking would fail this wait at once.
    EXPECT_EQ(0, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(1u, responseLength);
}

TEST(NetworkTransport, PeerClosingMidPayloadFails) {
    auto answer = LoopbackPeer::response(0x0502, 0, std::vector<uint8_t>(100, 7));
    answer.resize(32 + 40);
    LoopbackPeer peer([&](TcpSocket& card) {
        LoopbackPeer::readRequest(card);
        card.sendAll(answer.data(), answer.size());
        card.shutdownBoth();
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[128] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(33, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(0u, responseLength);
}

TEST(NetworkTransport, HeadersThatWouldOverrunThePacketBufferAreRefusedBeforeThePayload) {
    // Announces one byte more than a packet may carry; nothing of it is read.
    auto tooLong = LoopbackPeer::response(0x0502, 0);
    tooLong[12] = 0xE1;  // 66529 = 0x103E1
    tooLong[13] = 0x03;
    tooLong[14] = 0x01;
    tooLong[11] = 0;
    tooLong[11] = CommandHeader::checksum(tooLong.data());
    uint32_t responseLength = 0;
    EXPECT_EQ(33, transactAgainst(tooLong, responseLength));

    // A header length below 32 would leave the payload length unread.
    auto shortHeader = LoopbackPeer::response(0x0502, 0);
    shortHeader[10] = 11;
    responseLength = 0;
    EXPECT_EQ(33, transactAgainst(shortHeader, responseLength));
}

TEST(NetworkTransport, AddressTextMustBeDottedDecimalAndThePortOpen) {
    for (const char* text : {"localhost", "255.255.255.255", "", "1.2.3.4.5"}) {
        NetworkTransport transport(text, 6577);
        EXPECT_EQ(33, transport.connect()) << text;
        transport.disconnect();
    }
    platform::TcpListener probe;
    ASSERT_TRUE(probe.listen("127.0.0.1", 0));
    const uint16_t closedPort = probe.port();
    probe.close();
    NetworkTransport refused("127.0.0.1", closedPort);
    EXPECT_EQ(33, refused.connect());
}

}  // namespace
}  // namespace vorl
