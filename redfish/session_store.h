#pragma once
// SessionService's sessions: a random 128-bit token per login (sent as X-Auth-Token), found
// again by a digest of it, so the tokens themselves are kept nowhere. A session unused for the
// timeout ends; so does every session of an account that is removed. Safe from any thread.
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "redfish/privileges.h"

namespace vorl::redfish {

struct SessionInfo {
    std::string id;  // the Session resource's Id: random, and not the token
    std::string user;
    Role role = Role::ReadOnly;
    std::chrono::system_clock::time_point created;
};

class SessionStore {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr size_t kMaxSessions = 64;

    using Now = Clock::time_point (*)();
    // `now` is the clock the idle time is measured on (tests give their own).
    explicit SessionStore(std::chrono::seconds timeout, Now now = Clock::now)
        : now_(now), timeout_(timeout) {}

    // A new session and its token; nullopt when kMaxSessions are open (or no random bytes).
    std::optional<std::pair<SessionInfo, std::string>> open(const std::string& user, Role role);
    // The session of `token`, its idle time restarted; nullopt when unknown or timed out.
    std::optional<SessionInfo> use(const std::string& token);
    std::optional<SessionInfo> find(const std::string& id);
    std::vector<SessionInfo> list();
    bool close(const std::string& id);
    void closeUser(const std::string& user);

    std::chrono::seconds timeout() const;
    void setTimeout(std::chrono::seconds timeout);

private:
    struct Entry {
        SessionInfo info;
        Clock::time_point lastUsed;
    };
    void dropExpired();  // with mutex_ held

    const Now now_;
    mutable std::mutex mutex_;
    std::chrono::seconds timeout_;
    std::map<std::string, Entry> byDigest_;
};

}  // namespace vorl::redfish
