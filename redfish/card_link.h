#pragma once
// One card as the service reaches it: at most one connection, logged in once and kept while
// requests use it, logged in again when the card drops it. Requests for the card take turns on
// that session; none waits past its own deadline, and a card that failed a moment ago is not
// tried again before its Retry-After (a dead card costs its callers nothing but the answer).
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/card_connector.h"

namespace vorl {
class CardSession;
class CardTransport;
class NetworkTransport;
}  // namespace vorl

namespace vorl::redfish {

using Clock = std::chrono::steady_clock;

struct CardEndpoint {
    std::string id;
    std::string address;  // dotted IPv4; empty: the card in this server, over the host interface
    uint32_t port = 6577;
    std::string user;
    std::string password;  // never shown
    bool local() const { return address.empty(); }
};

enum class CardTrouble {
    None,          // the card answered; its status is in CardResult::status
    Down,          // the card failed moments ago and is not tried again before Retry-After
    Busy,          // other requests held the card until this one's deadline
    Unreachable,   // no connection could be made in time
    LoginRefused,  // the card refused the service's user and password
    Lost,          // the connection broke or the card did not answer in time
};

struct CardResult {
    CardTrouble trouble = CardTrouble::None;
    int status = 0;             // what the work returned (a card status) when trouble is None
    int retryAfterSeconds = 0;  // when trouble is not None
    bool ok() const { return trouble == CardTrouble::None && status == 0; }
};

// A value read from the card and served from memory for a while. A write to the card clears
// it; a reading that began before that write is not kept (the generation tells).
template <class T>
class CardCache {
public:
    // The value when it is younger than `maxAge`; null otherwise.
    std::shared_ptr<const T> get(Clock::duration maxAge) const {
        std::lock_guard<std::mutex> guard(mutex_);
        if (value_ && Clock::now() - readAt_ <= maxAge) return value_;
        return nullptr;
    }
    uint64_t generation() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return generation_;
    }
    // Keeps `value` unless the cache was cleared since `generation` was taken.
    void put(std::shared_ptr<const T> value, uint64_t generation) {
        std::lock_guard<std::mutex> guard(mutex_);
        if (generation != generation_) return;
        value_ = std::move(value);
        readAt_ = Clock::now();
    }
    void clear() {
        std::lock_guard<std::mutex> guard(mutex_);
        value_.reset();
        ++generation_;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const T> value_;
    Clock::time_point readAt_{};
    uint64_t generation_ = 0;
};

struct CardTiming {
    // After a failure the card is left alone for firstBackoff, doubling up to maxBackoff.
    std::chrono::milliseconds firstBackoff{2000};
    std::chrono::milliseconds maxBackoff{30000};
    // A write on a session idle this long first checks that the card still knows it.
    std::chrono::milliseconds checkIdleSessionAfter{5000};
};

class CardLink {
public:
    using Work = std::function<int(CardSession&)>;
    // Builds the transport of a session (tests give their own); the default builds a network
    // transport for an address and the host-interface transport for the local card.
    using TransportFactory = std::function<std::unique_ptr<CardTransport>(const CardEndpoint&)>;

    enum class Kind {
        Read,                // may run again on a new session when the card dropped the old one
        Write,               // runs once; the session is checked first when it has been idle
        WriteEndingSession,  // runs once; the card restarts or moves, so the session ends after
    };

    using Timing = CardTiming;

    explicit CardLink(CardEndpoint endpoint, TransportFactory factory = {},
                      CardTiming timing = CardTiming());
    ~CardLink();
    CardLink(const CardLink&) = delete;
    CardLink& operator=(const CardLink&) = delete;

    // Runs `work` on the card's logged-in session, connecting and logging in first when needed,
    // all by `deadline`. The status `work` returns comes back when the card answered; a write
    // clears the card's caches whatever happened.
    CardResult run(Clock::time_point deadline, Kind kind, const Work& work);

    // Closes the session when it has not been used for `idle` and nobody is using it now;
    // never waits. True when it closed one.
    bool closeIfIdle(Clock::duration idle);

    // The outcome a request gets without trying: Down while the card is known to be down,
    // None otherwise.
    CardResult knownState() const;

    const CardEndpoint& endpoint() const { return endpoint_; }
    const std::string& id() const { return endpoint_.id; }

    // Registered by the resources that cache what they read; cleared by every write.
    void addCacheClearer(std::function<void()> clear) { clearers_.push_back(std::move(clear)); }

private:
    CardResult runLocked(Clock::time_point deadline, Kind kind, const Work& work);
    // Connects and logs in; None or the trouble.
    CardTrouble openSession(Clock::time_point deadline);
    void closeSession();
    void limitSession(Clock::time_point deadline);
    // A cheap read that tells whether the card still holds the session.
    bool sessionAnswers();
    // `why` goes to the log when the card was up until now.
    void markDown(const char* why);
    void markUp();
    CardResult trouble(CardTrouble kind) const;
    void clearCaches();

    const CardEndpoint endpoint_;
    TransportFactory factory_;
    const Timing timing_;
    // The way back to the card for work that loses the connection midway (a password change
    // puts the old account back through it).
    CardConnector connector_;
    std::timed_mutex turn_;  // the one session is used by one request at a time
    std::unique_ptr<CardSession> session_;
    Clock::time_point lastUsed_{};
    std::vector<std::function<void()>> clearers_;

    mutable std::mutex stateMutex_;  // guards the two below, read without the turn
    Clock::time_point downUntil_{};
    std::chrono::milliseconds backoff_{0};
};

}  // namespace vorl::redfish
