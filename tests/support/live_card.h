#pragma once
// A simulated card serving the card protocol on 127.0.0.1 (a port of its own) inside the test
// process, with vorlsim's fault options, so that daemon code meets the card's real behaviour
// over real sockets.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cardsim/sim_card.h"
#include "cardsim/sim_server.h"

namespace vorl::test {

class LiveCard {
public:
    // `options`: vorlsim's module and fault options, e.g. {"reply-delay", "0x0A00:500"}.
    explicit LiveCard(const std::vector<std::pair<std::string, std::string>>& options = {});
    ~LiveCard();
    LiveCard(const LiveCard&) = delete;
    LiveCard& operator=(const LiveCard&) = delete;

    uint16_t port() const { return server_->port(); }
    sim::SimCard& card() { return *card_; }
    sim::SimServer& server() { return *server_; }
    // Stops the card protocol's listener and closes every connection (a card gone dead).
    void stop() { server_->stop(); }

private:
    sim::SimOptions options_;
    std::unique_ptr<sim::SimCard> card_;
    std::unique_ptr<sim::SimServer> server_;
};

}  // namespace vorl::test
