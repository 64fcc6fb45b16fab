#pragma once
// One TCP connection to the simulated card: reads requests, runs them through the connection's
// login state and the card, applies the fault options and sends the responses.
#include <cstdint>
#include <functional>
#include <vector>

#include "cardsim/connection_server.h"
#include "cardsim/sim_card.h"
#include "cardsim/sim_faults.h"
#include "cardsim/sim_network_session.h"
#include "platform/sockets.h"

namespace vorl::sim {

class SimConnection : public ConnectionHandler {
public:
    // `restartCard` is called after an answer that restarts the card (true: with defaults); it
    // closes every connection, this one included. `socket` belongs to the server, `requests`
    // (the card's count for --fault-on) too.
    SimConnection(platform::TcpSocket& socket, SimCard& card, const SimFaults& faults,
                  SimRequestCounter& requests, std::function<void(bool)> restartCard);
    SimConnection(const SimConnection&) = delete;
    SimConnection& operator=(const SimConnection&) = delete;

    // Serves the connection until the peer closes it, a fault or a restart ends it, or the
    // server shuts the socket down. Runs on the connection's own thread.
    void run() override;

private:
    // Returns false when the connection is to end.
    bool serveOne(uint16_t command, const uint8_t* payload, uint32_t length);
    // `faulty`: the fault options hit this answer.
    bool sendResponse(uint16_t command, uint16_t status, uint32_t length, bool faulty);

    platform::TcpSocket& socket_;
    SimCard& card_;
    const SimFaults& faults_;
    SimRequestCounter& requests_;
    std::function<void(bool)> restartCard_;
    SimNetworkSession session_;
    unsigned generation_;
    std::vector<uint8_t> request_;
    // Stray bytes, then the response header and payload, sent in one piece.
    std::vector<uint8_t> response_;
    bool stalled_ = false;  // --stall-reply: nothing more is sent on this connection
};

}  // namespace vorl::sim
