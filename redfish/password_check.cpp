#include "redfish/password_check.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <cstring>
#include <memory>

namespace vorl::redfish {
namespace {

using Clock = std::chrono::steady_clock;

// A valid bcrypt hash of a random password nobody knows: unknown names are checked against it.
constexpr const char* kNobody = "$2b$10$1iCn5g5RbrdoMC0lVy50IeZv0ig3Dl5bRLTn97R4uvf6fvC6ww5ni";

// bcrypt reads a password up to its first NUL and its first 72 bytes: a password with more
// would match on a part of itself.
constexpr size_t kBcryptMaxPassword = 72;

bool bcryptMatches(const std::string& password, const std::string& hash) {
    const bool whole =
        password.size() <= kBcryptMaxPassword && password.find('\0') == std::string::npos;
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(password.c_str(), hash.c_str(), data.get());
    // A failed crypt_r returns a text starting with '*', never equal to a hash.
    const bool same = result != nullptr && result[0] != '*' && hash.size() == std::strlen(result) &&
                      CRYPTO_memcmp(result, hash.data(), hash.size()) == 0;
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    return same && whole;
}

std::string digestOf(const std::string& name, const std::string& password,
                     const std::string& hash) {
    std::string input = name;
    input += '\0';
    input += password;
    input += '\0';
    input += hash;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(input.data()), input.size(), digest);
    OPENSSL_cleanse(input.data(), input.size());
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

}  // namespace

bool PasswordCheck::matches(const std::string& name, const std::string& password,
                            const std::string& hash) {
    const std::string digest = digestOf(name, password, hash);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        const auto found = good_.find(digest);
        if (found != good_.end() && found->second > Clock::now()) return true;
    }
    if (!bcryptMatches(password, hash)) return false;
    std::lock_guard<std::mutex> guard(mutex_);
    if (good_.size() >= kMaxRemembered) good_.clear();
    good_[digest] = Clock::now() + kRemember;
    return true;
}

void PasswordCheck::unknownName(const std::string& password) {
    bcryptMatches(password, kNobody);
}

std::string PasswordCheck::hash(const std::string& password) {
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn("$2b$", 10, nullptr, 0, salt, sizeof salt) == nullptr) return {};
    auto data = std::make_unique<crypt_data>();
    const char* result = crypt_r(password.c_str(), salt, data.get());
    std::string hashed = result != nullptr && result[0] == '$' ? result : "";
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    return hashed;
}

}  // namespace vorl::redfish
