#include "redfish/card_link.h"

#include <algorithm>
#include <cstdio>

#include "hostifc/host_transport_factory.h"
#include "platform/deadline.h"
#include "protocol/card_session.h"
#include "protocol/network_transport.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

int secondsUntil(Clock::time_point when) {
    const auto left = std::chrono::ceil<std::chrono::seconds>(when - Clock::now());
    return std::max<int>(1, static_cast<int>(left.count()));
}

uint32_t millisecondsUntil(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<uint32_t>(std::min<long long>(left, UINT32_MAX));
}

std::unique_ptr<CardTransport> defaultTransport(const CardEndpoint& endpoint) {
    if (endpoint.local()) return makeHostTransport();
    return std::make_unique<NetworkTransport>(endpoint.address.c_str(), endpoint.port);
}

}  // namespace

CardLink::CardLink(CardEndpoint endpoint, TransportFactory factory, Timing timing)
    : endpoint_(std::move(endpoint)),
      factory_(factory ? std::move(factory) : TransportFactory(defaultTransport)),
      timing_(timing),
      connector_([this] { return std::make_unique<CardSession>(factory_(endpoint_)); },
                 CardLogin{endpoint_.local() ? "" : endpoint_.user, endpoint_.password}) {}

CardLink::~CardLink() {
    closeSession();
}

CardResult CardLink::trouble(CardTrouble kind) const {
    CardResult result;
    result.trouble = kind;
    std::lock_guard<std::mutex> guard(stateMutex_);
    result.retryAfterSeconds = downUntil_ > Clock::now() ? secondsUntil(downUntil_) : 1;
    return result;
}

CardResult CardLink::knownState() const {
    std::lock_guard<std::mutex> guard(stateMutex_);
    CardResult result;
    if (downUntil_ > Clock::now()) {
        result.trouble = CardTrouble::Down;
        result.retryAfterSeconds = secondsUntil(downUntil_);
    }
    return result;
}

void CardLink::markDown(const char* why) {
    std::lock_guard<std::mutex> guard(stateMutex_);
    const bool wasUp = backoff_.count() == 0;
    backoff_ = wasUp ? timing_.firstBackoff : std::min(backoff_ * 2, timing_.maxBackoff);
    downUntil_ = Clock::now() + backoff_;
    if (wasUp)
        std::fprintf(stderr, "vorl_redfish: card %s %s; requests get 503 until it answers\n",
                     endpoint_.id.c_str(), why);
}

void CardLink::markUp() {
    std::lock_guard<std::mutex> guard(stateMutex_);
    if (backoff_.count() != 0)
        std::fprintf(stderr, "vorl_redfish: card %s answers again\n", endpoint_.id.c_str());
    backoff_ = std::chrono::milliseconds(0);
    downUntil_ = Clock::time_point{};
}

void CardLink::clearCaches() {
    for (const auto& clear : clearers_) clear();
}

CardResult CardLink::run(Clock::time_point deadline, Kind kind, const Work& work) {
    if (CardResult known = knownState(); known.trouble != CardTrouble::None) return known;
    std::unique_lock<std::timed_mutex> turn(turn_, std::defer_lock);
    if (!turn.try_lock_until(deadline)) return trouble(CardTrouble::Busy);
    // The request that held the card may have found it down meanwhile.
    if (CardResult known = knownState(); known.trouble != CardTrouble::None) return known;
    CardResult result = runLocked(deadline, kind, work);
    if (kind != Kind::Read) clearCaches();
    return result;
}

CardResult CardLink::runLocked(Clock::time_point deadline, Kind kind, const Work& work) {
    const bool reused = session_ != nullptr;
    if (!session_) {
        if (const CardTrouble opened = openSession(deadline); opened != CardTrouble::None)
            return trouble(opened);
    }
    limitSession(deadline);
    // A write must not be the command that finds out the card forgot the session: the write
    // might or might not have been done. An idle session is checked with a read first.
    if (kind != Kind::Read && reused && Clock::now() - lastUsed_ >= timing_.checkIdleSessionAfter &&
        !sessionAnswers()) {
        closeSession();
        if (const CardTrouble opened = openSession(deadline); opened != CardTrouble::None)
            return trouble(opened);
        limitSession(deadline);
    }
    int status = work(*session_);
    // The card forgot the login (it answers "Authentication required"): nothing was done, so
    // log in again and run the work once more. A read may also run again on a new connection
    // when the old one was dropped while idle.
    const bool forgotLogin = status == kStatusAuthenticationRequired && !endpoint_.local();
    const bool droppedIdle = status == kStatusConnectError && reused && kind == Kind::Read;
    if ((forgotLogin || droppedIdle) && Clock::now() < deadline) {
        closeSession();
        if (const CardTrouble opened = openSession(deadline); opened != CardTrouble::None)
            return trouble(opened);
        limitSession(deadline);
        status = work(*session_);
    }
    lastUsed_ = Clock::now();
    if (status == kStatusConnectError) {
        // The connection is gone or out of step; the card is not asked again for a while.
        closeSession();
        markDown("lost the connection or did not answer in time");
        return trouble(CardTrouble::Lost);
    }
    markUp();
    if (kind == Kind::WriteEndingSession) closeSession();
    CardResult result;
    result.status = status;
    return result;
}

CardTrouble CardLink::openSession(Clock::time_point deadline) {
    closeSession();
    auto transport = factory_(endpoint_);
    session_ = std::make_unique<CardSession>(std::move(transport));
    session_->setConnector(&connector_);
    limitSession(deadline);
    if (session_->connect() != kStatusSuccess) {
        closeSession();
        markDown("cannot be reached");
        return CardTrouble::Unreachable;
    }
    if (!endpoint_.local()) {
        const int login = session_->login(endpoint_.user, endpoint_.password);
        if (login != kStatusSuccess) {
            // 1 is also what a login gives when the challenge could not be had: a refusal is
            // a card that still answers.
            uint8_t challenge[8];
            const bool answers =
                login != kStatusConnectError && session_->getChallenge(challenge) == kStatusSuccess;
            closeSession();
            markDown(answers ? "refused the service's login" : "did not answer the login");
            return answers ? CardTrouble::LoginRefused : CardTrouble::Unreachable;
        }
    }
    lastUsed_ = Clock::now();
    return CardTrouble::None;
}

void CardLink::closeSession() {
    session_.reset();  // disconnects
}

void CardLink::limitSession(Clock::time_point deadline) {
    // Looked up each time: work that reconnects (a password change) may have given the session
    // another connection.
    if (!session_) return;
    if (auto* network = dynamic_cast<NetworkTransport*>(&session_->transport()))
        network->limitTo(platform::Deadline(millisecondsUntil(deadline)));
}

bool CardLink::sessionAnswers() {
    int32_t seconds = 0;
    return session_->getHeartbeatInterval(seconds) == kStatusSuccess;
}

bool CardLink::closeIfIdle(Clock::duration idle) {
    std::unique_lock<std::timed_mutex> turn(turn_, std::try_to_lock);
    if (!turn.owns_lock() || !session_ || Clock::now() - lastUsed_ < idle) return false;
    closeSession();
    return true;
}

}  // namespace vorl::redfish
