#include "web/basic_auth.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <cstring>

#include "web/router.h"
#include "web/task_queue.h"

namespace vorl::web {
namespace {

// bcrypt reads no more than this of a password: a longer one cannot be compared whole.
constexpr size_t kMaxPasswordBytes = 72;

int costOf(const std::string& hash) {
    return (hash[4] - '0') * 10 + (hash[5] - '0');
}

// A hash no password matches, of `cost`, so that checking an unknown user costs what checking
// a known one does. Only its salt is ever used.
std::string makeDummyHash(int cost) {
    unsigned char random[16];
    if (RAND_bytes(random, sizeof random) != 1) std::memset(random, 0x5A, sizeof random);
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn("$2b$", static_cast<unsigned long>(cost),
                         reinterpret_cast<const char*>(random), sizeof random, setting,
                         sizeof setting) == nullptr)
        return "$2b$" + std::string(cost < 10 ? "0" : "") + std::to_string(cost) +
               "$abcdefghijklmnopqrstuuOOOOOOOOOOOOOOOOOOOOOOOOOOOOOOO";
    return std::string(setting) + std::string(31, 'O');
}

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

// Standard base64 with its padding, as RFC 7617 sends it; nothing for anything else.
std::optional<std::string> base64Decode(std::string_view text) {
    if (text.empty() || text.size() % 4 != 0) return std::nullopt;
    size_t padding = 0;
    while (padding < 2 && text[text.size() - 1 - padding] == '=') ++padding;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    uint32_t bits = 0;
    int count = 0;
    for (size_t i = 0; i < text.size() - padding; ++i) {
        const int value = base64Value(text[i]);
        if (value < 0) return std::nullopt;
        bits = (bits << 6) | static_cast<uint32_t>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            out += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return out;
}

void appendWithLength(std::string& out, std::string_view part) {
    const uint32_t size = static_cast<uint32_t>(part.size());
    out.append(reinterpret_cast<const char*>(&size), sizeof size);
    out += part;
}

}  // namespace

BasicAuth::BasicAuth(std::map<std::string, std::string> users) : users_(std::move(users)) {
    int cost = 10;
    if (!users_.empty()) {
        cost = 4;
        for (const auto& [name, hash] : users_) cost = std::max(cost, costOf(hash));
    }
    dummyHash_ = makeDummyHash(cost);
    if (RAND_bytes(key_.data(), static_cast<int>(key_.size())) != 1)
        std::memset(key_.data(), 0x3C, key_.size());
}

BasicAuth::~BasicAuth() = default;

std::optional<BasicAuth::Credentials> BasicAuth::decode(std::string_view authorization) {
    while (!authorization.empty() && authorization.front() == ' ') authorization.remove_prefix(1);
    const size_t space = authorization.find(' ');
    if (space == std::string_view::npos ||
        !Headers::sameName(authorization.substr(0, space), "basic"))
        return std::nullopt;
    std::string_view token = authorization.substr(space);
    while (!token.empty() && token.front() == ' ') token.remove_prefix(1);
    while (!token.empty() && token.back() == ' ') token.remove_suffix(1);
    auto decoded = base64Decode(token);
    if (!decoded) return std::nullopt;
    const size_t colon = decoded->find(':');
    if (colon == std::string::npos) return std::nullopt;
    return Credentials{decoded->substr(0, colon), decoded->substr(colon + 1)};
}

const std::string& BasicAuth::hashOf(const std::string& user, bool& known) const {
    const std::string* found = &dummyHash_;
    known = false;
    for (const auto& [name, hash] : users_) {
        const bool same =
            name.size() == user.size() && CRYPTO_memcmp(name.data(), user.data(), name.size()) == 0;
        if (same) {
            found = &hash;
            known = true;
        }
    }
    return *found;
}

BasicAuth::Digest BasicAuth::digest(const Credentials& credentials, const std::string& hash) const {
    // Keyed, so that the remembered digests are no quicker a way to a password than bcrypt.
    std::string message;
    appendWithLength(message, credentials.user);
    appendWithLength(message, credentials.password);
    appendWithLength(message, hash);
    Digest out{};
    unsigned int size = 0;
    HMAC(EVP_sha256(), key_.data(), static_cast<int>(key_.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), out.data(), &size);
    OPENSSL_cleanse(message.data(), message.size());
    return out;
}

bool BasicAuth::remembered(const Digest& digest) const {
    std::lock_guard<std::mutex> guard(mutex_);
    bool found = false;
    for (size_t i = 0; i < kCacheEntries; ++i)
        found |= used_[i] && CRYPTO_memcmp(cache_[i].data(), digest.data(), digest.size()) == 0;
    return found;
}

void BasicAuth::remember(const Digest& digest) {
    std::lock_guard<std::mutex> guard(mutex_);
    cache_[next_] = digest;
    used_[next_] = true;
    next_ = (next_ + 1) % kCacheEntries;
}

std::optional<std::string> BasicAuth::verify(const Credentials& credentials) {
    bool known = false;
    const std::string& hash = hashOf(credentials.user, known);
    // A NUL would end the password crypt(3) sees, and bcrypt ignores bytes past 72: such a
    // password is still run through bcrypt (the same work), then refused.
    const bool whole = credentials.password.size() <= kMaxPasswordBytes &&
                       credentials.password.find('\0') == std::string::npos;
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(credentials.password.c_str(), hash.c_str(), data.get());
    const bool match = result != nullptr && result[0] != '*' &&
                       std::strlen(result) == hash.size() &&
                       CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    if (!(known && whole && match)) return std::nullopt;
    remember(digest(credentials, hash));
    return credentials.user;
}

std::optional<std::string> BasicAuth::check(std::string_view authorization) {
    auto credentials = decode(authorization);
    if (!credentials) return std::nullopt;
    bool known = false;
    const std::string& hash = hashOf(credentials->user, known);
    const bool hit = remembered(digest(*credentials, hash));  // the same work for anyone
    if (known && hit) return credentials->user;
    return verify(*credentials);
}

void BasicAuth::checkAsync(std::string authorization,
                           std::function<void(Result, const std::string&)> done) {
    auto credentials = decode(authorization);
    OPENSSL_cleanse(authorization.data(), authorization.size());
    if (!credentials) return done(Result::Refused, std::string());
    bool known = false;
    const std::string& hash = hashOf(credentials->user, known);
    const bool hit = remembered(digest(*credentials, hash));
    if (known && hit) return done(Result::Accepted, credentials->user);
    TaskQueue* worker;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!stopped_ && !worker_) worker_ = std::make_unique<TaskQueue>(1, kMaxWaiting);
        worker = stopped_ ? nullptr : worker_.get();
    }
    if (worker == nullptr) return done(Result::Busy, std::string());
    auto job = [this, credentials = std::move(*credentials), done]() mutable {
        const auto user = verify(credentials);
        OPENSSL_cleanse(credentials.password.data(), credentials.password.size());
        done(user ? Result::Accepted : Result::Refused, user ? *user : std::string());
    };
    if (!worker->post(std::move(job))) done(Result::Busy, std::string());
}

void BasicAuth::stop() {
    TaskQueue* worker;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopped_ = true;
        worker = worker_.get();
    }
    if (worker != nullptr) worker->stop(std::chrono::hours(24 * 365));
}

Handler requireBasicAuth(std::shared_ptr<BasicAuth> auth, std::string realm, Handler inner) {
    return [auth, realm, inner](Request request, Responder responder) {
        std::string header(request.headers.get("Authorization"));
        auto held = std::make_shared<Request>(std::move(request));
        auth->checkAsync(std::move(header), [held, responder, realm, inner](
                                                BasicAuth::Result result, const std::string&) {
            if (result == BasicAuth::Result::Accepted) {
                responder.post([held, responder, inner] { inner(std::move(*held), responder); });
                return;
            }
            if (result == BasicAuth::Result::Busy) {
                Response busy = textResponse(503, "too many logins are being checked\n");
                busy.headers.add("Retry-After", "1");
                responder.send(std::move(busy));
                return;
            }
            Response refusal = textResponse(401, "Unauthorized\n");
            refusal.headers.add("WWW-Authenticate", "Basic realm=\"" + realm + "\"");
            responder.send(std::move(refusal));
        });
    };
}

}  // namespace vorl::web
