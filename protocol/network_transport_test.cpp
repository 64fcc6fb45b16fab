// NetworkTransport against a real loopback peer.
#include "protocol/network_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/deadline.h"
#include "protocol/card_session.h"
#include "tests/support/loopback_peer.h"
#include "wire/status_codes.h"

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

// The card's side: sends `bytes`, then keeps the connection until the client is done.
void sendThenHold(TcpSocket& card, const std::vector<uint8_t>& bytes) {
    card.sendAll(bytes.data(), bytes.size());
    uint8_t drain;
    card.receive(&drain, 1);
}

// Runs one request through a session to a peer that answers with `wire`.
int transactAgainst(const std::vector<uint8_t>& wire, uint32_t& responseLength,
                    uint8_t* buffer = nullptr, uint32_t capacity = 0, uint32_t waitPolls = 0) {
    LoopbackPeer peer([&](TcpSocket& card) {
        if (LoopbackPeer::readRequest(card).empty()) return;
        sendThenHold(card, wire);
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

TEST(NetworkTransport, BoundedWaitGivesUpAfterItsPollsAndTheNextTransactionStillWaits) {
    LoopbackPeer peer([](TcpSocket& card) {
        LoopbackPeer::readRequest(card);  // first request: never answered
        LoopbackPeer::readRequest(card);  // second: answered late
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto answer = LoopbackPeer::response(0x0502, 0, {1});
        sendThenHold(card, answer);
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[8] = {};
    uint32_t responseLength = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(33, session.transact(0x0701, buffer, 0, responseLength, 1, sizeof buffer));
    // One poll tolerated, the second ends it: two polls of half a second each.
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(2 * NetworkTransport::kPollMs - 50));
    EXPECT_LT(waited, std::chrono::milliseconds(2 * NetworkTransport::kPollMs + 2000));
    // The bounded wait gave up the search, not the connection.
    EXPECT_EQ(0, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(1u, responseLength);
}

TEST(NetworkTransport, ARefusalThatComesSoonIsReadEvenWithOnePoll) {
    // Answered after a short while, as a card that refuses the address at once is over a
    // network: the poll has real time, so the refusal is read and not taken for a lost answer.
    for (int run = 0; run < 3; ++run) {
        LoopbackPeer peer([](TcpSocket& card) {
            LoopbackPeer::readRequest(card);
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            const auto refusal = LoopbackPeer::response(0x0701, kStatusOutOfRange);
            sendThenHold(card, refusal);
        });
        CardSession session(1, "127.0.0.1", peer.port());
        ASSERT_EQ(0, session.connect());
        uint8_t buffer[8] = {};
        uint32_t responseLength = 0;
        EXPECT_EQ(kStatusOutOfRange,
                  session.transact(0x0701, buffer, 0, responseLength, 1, sizeof buffer));
    }
}

TEST(NetworkTransport, ALateAnswerIsSkippedByTheNextTransaction) {
    LoopbackPeer peer([](TcpSocket& card) {
        LoopbackPeer::readRequest(card);  // 0x0701: its refusal comes after the host gave up
        LoopbackPeer::readRequest(card);  // 0x0503
        auto both = LoopbackPeer::response(0x0701, kStatusOutOfRange);
        const auto names = LoopbackPeer::response(0x0503, 0, bytes("admin"));
        both.insert(both.end(), names.begin(), names.end());
        card.sendAll(both.data(), both.size());
        LoopbackPeer::readRequest(card);  // 0x0800
        const auto mac = LoopbackPeer::response(0x0800, 0, {0, 1, 2, 3, 4, 5});
        sendThenHold(card, mac);
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[32] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(33, session.transact(0x0701, buffer, 0, responseLength, 1, sizeof buffer));
    EXPECT_EQ(0, session.transact(0x0503, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), responseLength), "admin");
    EXPECT_EQ(0, session.transact(0x0800, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(6u, responseLength);
    EXPECT_EQ(5, buffer[5]);
}

TEST(NetworkTransport, BytesAfterAResponseAreKeptForTheNext) {
    LoopbackPeer peer([](TcpSocket& card) {
        LoopbackPeer::readRequest(card);
        // Two answers in one piece: the second must survive the first transaction.
        auto both = LoopbackPeer::response(0x0503, 0, {1, 2});
        const auto second = LoopbackPeer::response(0x0503, 0, {3, 4, 5});
        both.insert(both.end(), second.begin(), second.end());
        card.sendAll(both.data(), both.size());
        LoopbackPeer::readRequest(card);
        uint8_t drain;
        card.receive(&drain, 1);
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[8] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(0, session.transact(0x0503, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(2u, responseLength);
    EXPECT_EQ(0, session.transact(0x0503, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(3u, responseLength);
    EXPECT_EQ(5, buffer[2]);
}

TEST(NetworkTransport, AnAnswerInOnePieceCostsAtMostThreeReceiveCalls) {
    constexpr int kTransactions = 20;
    LoopbackPeer peer([&](TcpSocket& card) {
        for (int i = 0; i < kTransactions; ++i) {
            if (LoopbackPeer::readRequest(card).empty()) return;
            const auto answer = LoopbackPeer::response(0x0503, 0, std::vector<uint8_t>(320, 7));
            card.sendAll(answer.data(), answer.size());
        }
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    const auto& transport = dynamic_cast<NetworkTransport&>(session.transport());
    std::vector<uint8_t> buffer(512);
    for (int i = 0; i < kTransactions; ++i) {
        const uint64_t before = transport.receiveCalls();
        uint32_t responseLength = 0;
        ASSERT_EQ(0, session.transact(0x0503, buffer.data(), 0, responseLength, 0, 512));
        ASSERT_EQ(320u, responseLength);
        EXPECT_LE(transport.receiveCalls() - before, 3u) << i;
    }
}

TEST(NetworkTransport, AWholePacketArrivingInPiecesIsReassembled) {
    std::vector<uint8_t> payload(CommandHeader::kMaxPayload);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 13);
    const auto answer = LoopbackPeer::response(0x0602, 0, payload);
    LoopbackPeer peer([&](TcpSocket& card) {
        LoopbackPeer::readRequest(card);
        // Junk and a false start first, then the packet in uneven pieces.
        const uint8_t junk[] = {'Z', 'O', 'R', ' ', 'U', 0xAA, 'Z', 1};
        card.sendAll(junk, sizeof junk);
        for (size_t at = 0; at < answer.size();) {
            const size_t piece = std::min<size_t>(answer.size() - at, at < 64 ? 5 : 7000);
            card.sendAll(answer.data() + at, piece);
            at += piece;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        uint8_t drain;
        card.receive(&drain, 1);
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    std::vector<uint8_t> buffer(CommandHeader::kMaxPayload);
    uint32_t responseLength = 0;
    ASSERT_EQ(0, session.transact(0x0602, buffer.data(), 0, responseLength, 0,
                                  static_cast<uint32_t>(buffer.size())));
    EXPECT_EQ(responseLength, payload.size());
    EXPECT_EQ(buffer, payload);
}

// A card that goes quiet at some point of its answer (or never answers with a signature) ends
// the transaction after the wait limit, and the connection counts as lost from then on.
TEST(NetworkTransport, EveryStallOfTheAnswerEndsAtTheWaitLimit) {
    const auto whole = LoopbackPeer::response(0x0502, 0, std::vector<uint8_t>(64, 9));
    const std::vector<std::vector<uint8_t>> stalls = {
        {},                                                       // silent
        std::vector<uint8_t>(whole.begin(), whole.begin() + 8),   // signature only
        std::vector<uint8_t>(whole.begin(), whole.begin() + 20),  // half a header
        std::vector<uint8_t>(whole.begin(), whole.begin() + 40),  // payload announced, cut
    };
    platform::WaitLimitOverride shortLimit(150);
    for (const auto& sent : stalls) {
        LoopbackPeer peer([&](TcpSocket& card) {
            LoopbackPeer::readRequest(card);
            if (!sent.empty()) card.sendAll(sent.data(), sent.size());
            // Then the whole answer, too late; and an answer to every later request.
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            card.sendAll(whole.data(), whole.size());
            while (!LoopbackPeer::readRequest(card).empty())
                card.sendAll(whole.data(), whole.size());
        });
        CardSession session(1, "127.0.0.1", peer.port());
        ASSERT_EQ(0, session.connect());
        uint8_t buffer[64] = {};
        uint32_t responseLength = 0;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(33, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer))
            << sent.size();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        EXPECT_EQ(33, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer))
            << sent.size();
    }
}

TEST(NetworkTransport, JunkWithoutASignatureEndsAtTheWaitLimit) {
    std::atomic<bool> done{false};
    platform::WaitLimitOverride shortLimit(200);
    LoopbackPeer peer([&](TcpSocket& card) {
        LoopbackPeer::readRequest(card);
        const std::vector<uint8_t> junk(100, 'Z');
        while (!done && card.sendAll(junk.data(), junk.size()))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    CardSession session(1, "127.0.0.1", peer.port());
    ASSERT_EQ(0, session.connect());
    uint8_t buffer[8] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(33, session.transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    done = true;
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
