#pragma once
// HTTP basic authentication as Prometheus's exporter-toolkit does it, for the daemons' users:
// bcrypt hashes from the web configuration; the same work whether the user exists or not (an
// unknown user is checked against a dummy hash of the same cost); a success remembered by a
// digest of the credentials, so that a scrape every 15 s pays one bcrypt, not one each time;
// the whole password compared, whatever bytes it holds; comparisons in constant time.
#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "web/responder.h"

namespace vorl::web {

class TaskQueue;

class BasicAuth {
public:
    // `users`: name -> bcrypt hash, each passing isBcryptHash (web_config.h).
    explicit BasicAuth(std::map<std::string, std::string> users);
    ~BasicAuth();
    BasicAuth(const BasicAuth&) = delete;
    BasicAuth& operator=(const BasicAuth&) = delete;

    // The user an Authorization header value ("Basic dXNlcjpwYXNz", the scheme in any case)
    // names, when its password is right. May cost a full bcrypt.
    std::optional<std::string> check(std::string_view authorization);

    enum class Result { Accepted, Refused, Busy };
    // check() without blocking the caller: a remembered success is answered at once, on the
    // caller's thread; anything else is checked on the authentication thread (one bcrypt at a
    // time, so that guessing cannot take every core) and answered from there. Busy when
    // kMaxWaiting checks wait already.
    void checkAsync(std::string authorization,
                    std::function<void(Result result, const std::string& user)> done);

    // Drops the checks still waiting and waits for the one running; checkAsync answers Busy
    // from then on. Call it before the server whose Responders the checks hold goes away.
    void stop();

    static constexpr size_t kCacheEntries = 64;
    static constexpr size_t kMaxWaiting = 32;

private:
    using Digest = std::array<unsigned char, 32>;
    struct Credentials {
        std::string user;
        std::string password;
    };
    static std::optional<Credentials> decode(std::string_view authorization);
    // The stored hash of `user`, or the dummy hash; looked up without an early exit.
    const std::string& hashOf(const std::string& user, bool& known) const;
    Digest digest(const Credentials& credentials, const std::string& hash) const;
    bool remembered(const Digest& digest) const;
    void remember(const Digest& digest);
    std::optional<std::string> verify(const Credentials& credentials);

    const std::map<std::string, std::string> users_;
    std::string dummyHash_;
    std::array<unsigned char, 32> key_{};  // keys the digests of remembered successes
    mutable std::mutex mutex_;
    std::array<Digest, kCacheEntries> cache_{};
    std::array<bool, kCacheEntries> used_{};
    size_t next_ = 0;
    std::unique_ptr<TaskQueue> worker_;  // started at the first check that needs it
    bool stopped_ = false;
};

// `inner` for requests whose credentials `auth` accepts; 401 with a WWW-Authenticate challenge
// for `realm` otherwise, 503 when too many checks wait. `inner` runs on the request's IO
// thread either way.
Handler requireBasicAuth(std::shared_ptr<BasicAuth> auth, std::string realm, Handler inner);

}  // namespace vorl::web
