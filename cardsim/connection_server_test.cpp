#include "cardsim/connection_server.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/support/loopback_peer.h"

namespace vorl::sim {
namespace {

using platform::SocketWait;
using platform::TcpSocket;

TcpSocket connectTo(uint16_t port) {
    TcpSocket socket = test::connectToLoopback(port);
    EXPECT_TRUE(socket.isOpen());
    return socket;
}

// Echoes bytes until the peer stops sending.
class Echo : public ConnectionHandler {
public:
    explicit Echo(TcpSocket& socket) : socket_(socket) {}
    void run() override {
        uint8_t byte;
        while (socket_.receive(&byte, 1) == 1 && socket_.sendAll(&byte, 1)) {
        }
    }

private:
    TcpSocket& socket_;
};

struct EchoServer {
    EchoServer() {
        EXPECT_TRUE(server.listen("127.0.0.1", 0));
        server.start();
    }
    ConnectionServer server{
        [](TcpSocket& socket, uint64_t) { return std::make_unique<Echo>(socket); }};
};

// The server's close reaches the client within `milliseconds`: recv gives 0.
bool closedByServer(TcpSocket& client, uint32_t milliseconds = 5000) {
    if (client.waitReadable(milliseconds) != SocketWait::Ready) return false;
    uint8_t byte;
    return client.receive(&byte, 1) == 0;
}

TEST(ConnectionServerTest, HandlerEndClosesTheSocketWithoutAnotherAccept) {
    // A handler that answers once and ends: its client sees the close at once.
    struct Once : ConnectionHandler {
        explicit Once(TcpSocket& s) : socket(s) {}
        void run() override {
            uint8_t byte;
            if (socket.receive(&byte, 1) == 1) socket.sendAll(&byte, 1);
        }
        TcpSocket& socket;
    };
    ConnectionServer server(
        [](TcpSocket& socket, uint64_t) { return std::make_unique<Once>(socket); });
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    server.start();
    TcpSocket client = connectTo(server.port());
    const uint8_t ping = 'p';
    ASSERT_TRUE(client.sendAll(&ping, 1));
    uint8_t back = 0;
    ASSERT_EQ(client.receive(&back, 1), 1);
    EXPECT_TRUE(closedByServer(client));
}

TEST(ConnectionServerTest, ConnectionsBeyondTheLimitAreClosedAndStopEndsTheRest) {
    EchoServer echo;
    std::vector<TcpSocket> clients;
    for (size_t i = 0; i < ConnectionServer::kMaxConnections; ++i)
        clients.push_back(connectTo(echo.server.port()));
    for (int i = 0; i < 300 && echo.server.openConnections() < ConnectionServer::kMaxConnections;
         ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(echo.server.openConnections(), ConnectionServer::kMaxConnections);
    TcpSocket extra = connectTo(echo.server.port());
    EXPECT_TRUE(closedByServer(extra));
    echo.server.stop();
    for (TcpSocket& client : clients) EXPECT_TRUE(closedByServer(client));
    echo.server.stop();  // a second stop is harmless
}

TEST(ConnectionServerTest, ClientsAreNumberedFromOne) {
    std::vector<uint64_t> seen;
    std::mutex seenMutex;
    ConnectionServer server([&](TcpSocket& socket, uint64_t client) {
        std::lock_guard<std::mutex> guard(seenMutex);
        seen.push_back(client);
        return std::make_unique<Echo>(socket);
    });
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    server.start();
    TcpSocket a = connectTo(server.port());
    TcpSocket b = connectTo(server.port());
    for (int i = 0; i < 200 && server.openConnections() < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server.stop();
    EXPECT_EQ(seen, (std::vector<uint64_t>{1, 2}));
}

}  // namespace
}  // namespace vorl::sim
