#include "redfish/session_store.h"

#include <openssl/rand.h>
#include <openssl/sha.h>

namespace vorl::redfish {
namespace {

std::string hexOf(const unsigned char* bytes, size_t count) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

std::string randomHex(size_t bytes) {
    unsigned char buffer[32];
    if (bytes > sizeof buffer || RAND_bytes(buffer, static_cast<int>(bytes)) != 1) return {};
    return hexOf(buffer, bytes);
}

std::string digestOf(const std::string& token) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(token.data()), token.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace

void SessionStore::dropExpired() {
    const auto now = now_();
    for (auto it = byDigest_.begin(); it != byDigest_.end();) {
        if (now - it->second.lastUsed > timeout_)
            it = byDigest_.erase(it);
        else
            ++it;
    }
}

std::optional<std::pair<SessionInfo, std::string>> SessionStore::open(const std::string& user,
                                                                      Role role) {
    const std::string token = randomHex(16);
    const std::string id = randomHex(8);
    if (token.empty() || id.empty()) return std::nullopt;
    std::lock_guard<std::mutex> guard(mutex_);
    dropExpired();
    if (byDigest_.size() >= kMaxSessions) return std::nullopt;
    SessionInfo info{id, user, role, std::chrono::system_clock::now()};
    byDigest_[digestOf(token)] = {info, now_()};
    return std::make_pair(info, token);
}

std::optional<SessionInfo> SessionStore::use(const std::string& token) {
    const std::string digest = digestOf(token);
    std::lock_guard<std::mutex> guard(mutex_);
    dropExpired();
    const auto found = byDigest_.find(digest);
    if (found == byDigest_.end()) return std::nullopt;
    found->second.lastUsed = now_();
    return found->second.info;
}

std::optional<SessionInfo> SessionStore::find(const std::string& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    dropExpired();
    for (const auto& [digest, entry] : byDigest_)
        if (entry.info.id == id) return entry.info;
    return std::nullopt;
}

std::vector<SessionInfo> SessionStore::list() {
    std::lock_guard<std::mutex> guard(mutex_);
    dropExpired();
    std::vector<SessionInfo> sessions;
    for (const auto& [digest, entry] : byDigest_) sessions.push_back(entry.info);
    return sessions;
}

bool SessionStore::close(const std::string& id) {
    std::lock_guard<std::mutex> guard(mutex_);
    for (auto it = byDigest_.begin(); it != byDigest_.end(); ++it) {
        if (it->second.info.id == id) {
            byDigest_.erase(it);
            return true;
        }
    }
    return false;
}

void SessionStore::closeUser(const std::string& user) {
    std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(byDigest_, [&](const auto& item) { return item.second.info.user == user; });
}

std::chrono::seconds SessionStore::timeout() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return timeout_;
}

void SessionStore::setTimeout(std::chrono::seconds timeout) {
    std::lock_guard<std::mutex> guard(mutex_);
    timeout_ = timeout;
}

}  // namespace vorl::redfish
