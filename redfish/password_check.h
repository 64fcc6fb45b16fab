#pragma once
// The one place where a password meets a bcrypt hash. A good check is remembered for a while
// (by a digest of name, password and hash, never the password), so that clients that send Basic
// credentials with every request do not cost a bcrypt each; an unknown name costs the same work
// as a wrong password. (The web layer's authenticator takes this over once it is merged.)
#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace vorl::redfish {

class PasswordCheck {
public:
    // True when `password` matches the bcrypt `hash` of account `name`.
    bool matches(const std::string& name, const std::string& password, const std::string& hash);
    // The work of a check against a hash that matches nothing: for names that do not exist.
    void unknownName(const std::string& password);

    // A new bcrypt hash ($2b$, cost 10) of `password`; empty when the system could not make one.
    static std::string hash(const std::string& password);

    static constexpr std::chrono::minutes kRemember{5};
    static constexpr size_t kMaxRemembered = 1024;

private:
    std::mutex mutex_;
    std::map<std::string, std::chrono::steady_clock::time_point> good_;  // digest -> until
};

}  // namespace vorl::redfish
