#pragma once
// The way back to a card. A program that opens a session gives the session one
// (CardSession::setConnector), so that code which loses the connection in the middle of a change
// can open the same card again, log in again and put things right.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vorl {

class CardSession;

// An account to log in with. An empty user name: the sessions need no login (host interface).
struct CardLogin {
    std::string userName;
    std::string password;
};

class CardConnector {
public:
    // Builds a new, not yet connected session to the program's card (the seam tests replace).
    using SessionFactory = std::function<std::unique_ptr<CardSession>()>;

    // Connection attempts that fail to connect are tried this often, kRetryPauseMs apart.
    static constexpr int kAttempts = 3;
    static constexpr uint32_t kRetryPauseMs = 1000;

    CardConnector(SessionFactory makeSession, CardLogin login)
        : makeSession_(std::move(makeSession)), login_(std::move(login)) {}

    // The account the program logs in with.
    const CardLogin& login() const { return login_; }
    // The program's account now has `password`: later sessions log in with it.
    void setLoginPassword(const std::string& password) { login_.password = password; }

    // Opens a new session, connected and logged in as `as` (no login when its user name is
    // empty). Returns 0 with `session` set; 33 when no connection could be made after
    // kAttempts tries; otherwise the login's result (1: no challenge, or the card's status),
    // which is not retried: a refused login does not get better by repeating it.
    int open(const CardLogin& as, std::unique_ptr<CardSession>& session);
    // The same, as the program's own account.
    int open(std::unique_ptr<CardSession>& session) { return open(login_, session); }

private:
    SessionFactory makeSession_;
    CardLogin login_;
};

}  // namespace vorl
