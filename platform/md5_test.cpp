// The RFC 1321 test suite against the platform's MD5 (libcrypto natively, CNG on Windows).
#include "platform/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

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

TEST(Md5, ReferenceVectors) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", md5Hex(""));
    EXPECT_EQ("0cc175b9c0f1b6a831c399e269772661", md5Hex("a"));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", md5Hex("abc"));
    EXPECT_EQ("f96b697d7cb7938d525a2f31aaf161d0", md5Hex("message digest"));
    EXPECT_EQ("c3fcd3d76192e4007dfb496cca67e13b", md5Hex("abcdefghijklmnopqrstuvwxyz"));
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
