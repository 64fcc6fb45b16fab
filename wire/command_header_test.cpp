#include "wire/command_header.h"

#include <gtest/gtest.h>

namespace vorl {
namespace {

TEST(CommandHeader, LoginChallengeRequestHasTheDocumentedBytes) {
    uint8_t header[32];
    ASSERT_TRUE(CommandHeader::build(header, 0x0001, 0));
    const uint8_t expected[32] = {0x5A, 0x4F, 0x52, 0x20, 0x55, 0xAA, 0x5A, 0xA5, 0x00, 0x04, 0x20,
                                  0xC1, 0,    0,    0,    0,    0,    0,    0,    0,    0x01, 0,
                                  0,    0,    0,    0,    0x01, 0,    0,    0,    0,    0};
    EXPECT_EQ(0, memcmp(header, expected, 32));
    EXPECT_TRUE(CommandHeader::checksumValid(header));
}

}  // namespace
}  // namespace vorl
