#pragma once
// The login state of one TCP connection to the simulated card: 0x0001 hands out a fresh
// challenge, 0x0002 checks the user name and the MD5 digest of password and challenge, and
// every other command is refused with status 2 until a login has succeeded.
#include <cstdint>
#include <random>

#include "cardsim/sim_card.h"

namespace vorl::sim {

class SimNetworkSession {
public:
    static constexpr uint16_t kGetChallenge = 0x0001;
    static constexpr uint16_t kLogin = 0x0002;
    static constexpr uint32_t kLoginRecordSize = 72;

    explicit SimNetworkSession(SimCard& card);

    // Answers one request of this connection into `reply` (payload of kMaxPayload bytes).
    void handle(const SimRequest& request, SimReply& reply);

    bool loggedIn() const { return loggedIn_; }

private:
    void issueChallenge(SimReply& reply);
    uint16_t login(const SimRequest& request);

    SimCard& card_;
    std::mt19937 random_;
    uint8_t challenge_[8] = {};
    bool challengeIssued_ = false;
    bool loggedIn_ = false;
};

}  // namespace vorl::sim
