#pragma once
// The one accept loop of the simulated card: the card protocol's port and the device link each
// run one. Every accepted connection is served on a thread of its own by a handler the owner's
// factory makes; when the handler is done the socket is closed at once (no connection waits in
// CLOSE-WAIT for the next accept), and the thread is joined at the next accept or at stop().
#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/sockets.h"

namespace vorl::sim {

class ConnectionHandler {
public:
    virtual ~ConnectionHandler() = default;
    // Serves the connection until the peer closes it, the handler ends it, or the server shuts
    // the socket down. Runs on the connection's own thread.
    virtual void run() = 0;
};

class ConnectionServer {
public:
    // Makes the handler of a new connection. `socket` stays valid while the handler runs;
    // `client` numbers the connections from 1.
    using Factory = std::function<std::unique_ptr<ConnectionHandler>(platform::TcpSocket& socket,
                                                                     uint64_t client)>;

    // More connections than this at once are closed as soon as they are accepted.
    static constexpr size_t kMaxConnections = 64;
    // Pause before accepting again after a failed accept (out of descriptors, say).
    static constexpr int kAcceptRetryMs = 10;

    explicit ConnectionServer(Factory factory);
    ~ConnectionServer();  // stop()
    ConnectionServer(const ConnectionServer&) = delete;
    ConnectionServer& operator=(const ConnectionServer&) = delete;

    // Binds and listens on `address`:`port` (port 0 picks a free one). False on failure.
    bool listen(const std::string& address, uint16_t port);
    uint16_t port() const { return listener_.port(); }
    // Accepts connections on a thread of its own until stop().
    void start();
    // Stops accepting, ends every connection and joins every thread. Idempotent.
    void stop();
    // Shuts every open connection down (their handlers then end); the listener stays. `then`
    // runs afterwards, before any new connection is accepted (a card restart: a client that
    // saw its connection end and comes back meets the restarted card).
    void shutdownAll(const std::function<void()>& then = {});
    // Connections whose handler is still running.
    size_t openConnections();

private:
    struct Entry {
        platform::TcpSocket socket;
        std::mutex socketMutex;  // shutdown from other threads against the close at the end
        bool closed = false;
        std::atomic<bool> finished{false};
        std::unique_ptr<ConnectionHandler> handler;
        std::thread thread;
    };

    void acceptLoop();
    void serve(Entry& entry);
    void reapFinished();  // under mutex_
    void wakeAccept();

    Factory factory_;
    platform::TcpListener listener_;
    std::string address_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<Entry> connections_;
    uint64_t nextClient_ = 1;
};

}  // namespace vorl::sim
