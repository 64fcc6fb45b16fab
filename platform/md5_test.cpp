// RFC 1321 reference digests against the platform's MD5 (libcrypto natively, CNG on Windows).
#include "platform/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace vorl::platform {
namespace {

std::string md5Hex(const std::string& text) {
    uint8_t digest[16] = {};
    if (!md5(reinterpret_cast<const uint8_t*>(text.data()), text.size(), digest)) return "failed";
    std::string hex;
    char pair[3];
    for (uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}

TEST(Md5, InputsAcrossTheBlockAndPaddingBoundaries) {
    // 62 bytes: the length no longer fits the first block's padding; 80 bytes: two blocks.
    EXPECT_EQ("d174ab98d277d9f5a5611c2c9f419d9f",
              md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"));
    EXPECT_EQ("57edf4a22be3c955ac49da2e2107b67a",
              md5Hex("1234567890123456789012345678901234567890"
                     "1234567890123456789012345678901234567890"));
}

TEST(Md5, BinaryInputWithZeroBytesIsHashedWhole) {
    // A login digest input: password bytes then a challenge that may hold zeros.
    const std::string withZeros("password\0\0\0\0\0\0\0\0", 16);
    EXPECT_EQ("997e59f2fb2e4aa92cd02faa13646986", md5Hex(withZeros));
}

}  // namespace
}  // namespace vorl::platform
