// The sockets seam as the transport and the simulated card rely on it, on whichever platform
// the test program was built for (under Wine this runs the Winsock backend).
#include "platform/sockets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace vorl::platform {
namespace {

uint32_t networkOrder(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    const uint8_t bytes[4] = {a, b, c, d};
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// A connected pair over 127.0.0.1: `client` is ours, `server` the accepted end.
struct LoopbackPair {
    TcpListener listener;
    TcpSocket client;
    TcpSocket server;

    bool open() {
        startNetworking();
        if (!listener.listen("127.0.0.1", 0) || !client.open()) return false;
        std::thread acceptor([this] { server = listener.accept(); });
        const SocketError result = client.connect(networkOrder(127, 0, 0, 1), listener.port());
        acceptor.join();
        return result == SocketError::None && server.isOpen();
    }
};

TEST(Sockets, ParseIpv4FollowsInetAddr) {
    uint32_t address = 0;
    ASSERT_TRUE(parseIpv4("10.10.1.10", address));
    EXPECT_EQ(networkOrder(10, 10, 1, 10), address);
    ASSERT_TRUE(parseIpv4("127.0.0.1", address));
    EXPECT_EQ(networkOrder(127, 0, 0, 1), address);
    ASSERT_TRUE(parseIpv4("0.0.0.0", address));
    EXPECT_EQ(0u, address);

    // inet_addr cannot tell the broadcast address from its error value: refused.
    EXPECT_FALSE(parseIpv4("255.255.255.255", address));
    // Host names are never resolved; malformed text is refused.
    for (const char* bad : {"card.example", "localhost", "256.1.1.1", "1.2.3.4.5", "10.10.1.x"}) {
        address = 0xDEADBEEF;
        EXPECT_FALSE(parseIpv4(bad, address)) << bad;
        EXPECT_EQ(0xDEADBEEFu, address) << "left untouched on failure: " << bad;
    }
}

TEST(Sockets, RoundTripAndPeerClose) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.open());

    // A 64 KiB packet crosses whole, however the platform splits it.
    std::vector<uint8_t> sent(66560);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 7);
    std::thread writer([&] { EXPECT_TRUE(pair.client.sendAll(sent.data(), sent.size())); });
    std::vector<uint8_t> got(sent.size());
    EXPECT_TRUE(pair.server.receiveAll(got.data(), got.size()));
    writer.join();
    EXPECT_EQ(sent, got);

    pair.server.shutdownBoth();
    pair.server.close();
    uint8_t byte;
    EXPECT_EQ(0, pair.client.receive(&byte, 1));
    EXPECT_EQ(SocketError::Closed, pair.client.lastError());
    EXPECT_FALSE(pair.client.receiveAll(&byte, 1));
}

TEST(Sockets, ShutdownReleasesAReceiveBlockedInAnotherThread) {
    // The simulated card stops its connection threads this way.
    LoopbackPair pair;
    ASSERT_TRUE(pair.open());
    long got = 1;
    std::thread reader([&] {
        uint8_t byte;
        got = pair.server.receive(&byte, 1);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pair.server.shutdownBoth();
    reader.join();
    EXPECT_LE(got, 0);
    uint8_t byte;
    EXPECT_EQ(0, pair.client.receive(&byte, 1)) << "the peer sees the connection end";
}

TEST(Sockets, NonBlockingReceiveSaysWouldBlockAndBlockingComesBack) {
    LoopbackPair pair;
    ASSERT_TRUE(pair.open());
    ASSERT_TRUE(pair.client.setNonBlocking(true));
    uint8_t byte = 0;
    EXPECT_EQ(-1, pair.client.receive(&byte, 1));
    EXPECT_EQ(SocketError::WouldBlock, pair.client.lastError());

    // Back in blocking mode a receive waits for the byte instead of failing.
    ASSERT_TRUE(pair.client.setNonBlocking(false));
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const uint8_t value = 0x5A;
        pair.server.sendAll(&value, 1);
    });
    EXPECT_EQ(1, pair.client.receive(&byte, 1));
    late.join();
    EXPECT_EQ(0x5A, byte);
}

TEST(Sockets, RefusedPortsAndAddresses) {
    startNetworking();
    TcpListener first;
    ASSERT_TRUE(first.listen("127.0.0.1", 0));
    const uint16_t port = first.port();
    ASSERT_NE(0, port);

    // Two simulated cards must never share one address and port.
    TcpListener second;
    EXPECT_FALSE(second.listen("127.0.0.1", port));
    EXPECT_FALSE(second.listen("not an address", 0));

    // A closed port is refused, not "address in use" (which would be retried).
    first.close();
    TcpSocket client;
    ASSERT_TRUE(client.open());
    EXPECT_EQ(SocketError::Refused, client.connect(networkOrder(127, 0, 0, 1), port));
}

// A card whose accept queue is full never answers the SYN: the bounded connect gives up by its
// bound instead of the kernel's minutes of retries. The first connects succeed as usual.
TEST(Sockets, ConnectWithinGivesUpOnAListenerThatNeverAccepts) {
    startNetworking();
    TcpListener listener;
    ASSERT_TRUE(listener.listen("127.0.0.1", 0));
    std::vector<TcpSocket> clients(64);
    size_t connected = 0;
    SocketError last = SocketError::None;
    auto took = std::chrono::milliseconds(0);
    for (auto& client : clients) {
        ASSERT_TRUE(client.open());
        const auto start = std::chrono::steady_clock::now();
        last = client.connectWithin(networkOrder(127, 0, 0, 1), listener.port(), 300);
        took = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        if (last != SocketError::None) break;
        ++connected;
    }
    EXPECT_GE(connected, 1u);
    EXPECT_EQ(SocketError::TimedOut, last);
    EXPECT_LT(took.count(), 3000);
    // A connected socket is blocking again, as after connect.
    char byte = 'x';
    EXPECT_EQ(1, clients[0].send(&byte, 1));
}

TEST(Sockets, ClosingTheListenerReleasesABlockedAccept) {
    startNetworking();
    TcpListener listener;
    ASSERT_TRUE(listener.listen("127.0.0.1", 0));
    bool acceptedSomething = true;
    std::thread acceptor([&] { acceptedSomething = listener.accept().isOpen(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    listener.close();
    acceptor.join();
    EXPECT_FALSE(acceptedSomething);
}

}  // namespace
}  // namespace vorl::platform
