// MD5 from the operating system's CNG provider (there is no libcrypto for MinGW here).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>

#include "platform/md5.h"

namespace vorl::platform {
namespace {

class AlgorithmHandle {
public:
    ~AlgorithmHandle() {
        if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    BCRYPT_ALG_HANDLE* out() { return &handle_; }
    BCRYPT_ALG_HANDLE get() const { return handle_; }

private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class HashHandle {
public:
    ~HashHandle() {
        if (handle_ != nullptr) BCryptDestroyHash(handle_);
    }
    BCRYPT_HASH_HANDLE* out() { return &handle_; }
    BCRYPT_HASH_HANDLE get() const { return handle_; }

private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

}  // namespace

bool md5(const uint8_t* data, size_t length, uint8_t digest[16]) {
    AlgorithmHandle algorithm;
    if (!succeeded(BCryptOpenAlgorithmProvider(algorithm.out(), BCRYPT_MD5_ALGORITHM, nullptr, 0)))
        return false;
    // With no hash object buffer CNG allocates and frees it itself.
    HashHandle hash;
    if (!succeeded(BCryptCreateHash(algorithm.get(), hash.out(), nullptr, 0, nullptr, 0, 0)))
        return false;
    while (length > 0) {
        const ULONG chunk = static_cast<ULONG>(std::min<size_t>(length, 0x7FFFFFFF));
        if (!succeeded(BCryptHashData(hash.get(), const_cast<PUCHAR>(data), chunk, 0)))
            return false;
        data += chunk;
        length -= chunk;
    }
    return succeeded(BCryptFinishHash(hash.get(), digest, 16, 0));
}

}  // namespace vorl::platform
