#pragma once
// The simulated card's TCP server for the card protocol: one thread per connection (the
// accept loop of ConnectionServer), a card restart closes them all.
#include <cstdint>
#include <string>

#include "cardsim/connection_server.h"
#include "cardsim/sim_card.h"
#include "cardsim/sim_faults.h"

namespace vorl::sim {

class SimServer {
public:
    static constexpr size_t kMaxConnections = ConnectionServer::kMaxConnections;

    SimServer(SimCard& card, SimFaults faults);
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Binds and listens on `address`:`port` (port 0 picks a free one). False on failure.
    bool listen(const std::string& address, uint16_t port) { return server_.listen(address, port); }
    uint16_t port() const { return server_.port(); }
    // Accepts connections on a thread of its own until stop().
    void start() { server_.start(); }
    // Stops accepting, closes every connection and joins every thread. Idempotent.
    void stop() { server_.stop(); }

    // A card reboot: every connection is closed, then the card restarts.
    void restartCard(bool withDefaults);

    size_t openConnections() { return server_.openConnections(); }

private:
    SimCard& card_;
    const SimFaults faults_;
    SimRequestCounter requests_;
    ConnectionServer server_;  // last: its threads use the members above
};

}  // namespace vorl::sim
