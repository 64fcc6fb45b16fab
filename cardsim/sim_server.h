#pragma once
// The simulated card's TCP server: one thread per connection, a card restart closes them all.
#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "cardsim/sim_card.h"
#include "cardsim/sim_connection.h"
#include "cardsim/sim_faults.h"
#include "platform/sockets.h"

namespace vorl::sim {

class SimServer {
public:
    // More connections than this at once are closed as soon as they are accepted.
    static constexpr size_t kMaxConnections = 64;

    SimServer(SimCard& card, SimFaults faults);
    ~SimServer();  // stop()
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds and listens on `address`:`port` (port 0 picks a free one). False on failure.
    bool listen(const std::string& address, uint16_t port);
    uint16_t port() const { return listener_.port(); }
    // Accepts connections on a thread of its own until stop().
    void start();
    // Stops accepting, closes every connection and joins every thread. Idempotent.
    void stop();

    // A card reboot: every connection is closed, then the card restarts.
    void restartCard(bool withDefaults);

    size_t openConnections();

private:
    struct Entry {
        std::unique_ptr<SimConnection> connection;
        std::thread thread;
    };

    void acceptLoop();
    void reapFinished();  // under mutex_
    void wakeAccept();

    SimCard& card_;
    const SimFaults faults_;
    platform::TcpListener listener_;
    std::string address_;
    std::thread acceptThread_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::list<Entry> connections_;
};

}  // namespace vorl::sim
