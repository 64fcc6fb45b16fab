#include "cardsim/sim_network_session.h"

#include <cstring>
#include <mutex>

#include "cardsim/sim_users_group.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {

std::mt19937 seededGenerator() {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device()};
    return std::mt19937(seed);
}

}  // namespace

SimNetworkSession::SimNetworkSession(SimCard& card) : card_(card), random_(seededGenerator()) {}

void SimNetworkSession::handle(const SimRequest& request, SimReply& reply) {
    switch (request.command) {
        case kGetChallenge:
            issueChallenge(reply);
            return;
        case kLogin:
            reply.length = 0;
            reply.status = login(request);
            return;
        default:
            break;
    }
    if (!loggedIn_) {
        reply.status = kStatusAuthenticationRequired;
        reply.length = 0;
        return;
    }
    card_.execute(request, reply);
}

void SimNetworkSession::issueChallenge(SimReply& reply) {
    for (size_t i = 0; i < sizeof challenge_; i += 4) {
        const uint32_t word = random_();
        for (size_t j = 0; j < 4; ++j) challenge_[i + j] = static_cast<uint8_t>(word >> (8 * j));
    }
    challengeIssued_ = true;
    std::memcpy(reply.payload, challenge_, sizeof challenge_);
    reply.length = sizeof challenge_;
    reply.status = kStatusSuccess;
}

uint16_t SimNetworkSession::login(const SimRequest& request) {
    if (request.length < kLoginRecordSize) return kStatusInvalidArgument;
    // A challenge answers one login attempt only, so a digest cannot be replayed.
    const bool hadChallenge = challengeIssued_;
    challengeIssued_ = false;
    loggedIn_ = false;
    if (!hadChallenge) return kStatusAuthenticationFailed;
    const std::string name = getTextField(request.payload, 32);
    std::lock_guard<std::recursive_mutex> guard(card_.lock());
    const SimUsersGroup* users = card_.group<SimUsersGroup>();
    loggedIn_ = users && users->checkLogin(name, request.payload + 32, challenge_);
    if (loggedIn_) card_.countLogin();
    return loggedIn_ ? kStatusSuccess : kStatusAuthenticationFailed;
}

}  // namespace vorl::sim
