#pragma once
// MD5 (RFC 1321) for the login digest. POSIX: OpenSSL libcrypto; Win32: CNG (BCryptHash).
#include <cstddef>
#include <cstdint>

namespace vorl::platform {

// Computes the 16-byte MD5 digest of `length` bytes at `data` into `digest`.
// Returns true on success; false only when the platform's hash provider fails.
bool md5(const uint8_t* data, size_t length, uint8_t digest[16]);

}  // namespace vorl::platform
