// Login: the digest the card receives, and what is (not) sent when something is wrong.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/md5.h"
#include "protocol/card_session.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;
using test::ScriptedResponse;

std::string hex(const uint8_t* data, size_t length) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        out += digits[data[i] >> 4];
        out += digits[data[i] & 15];
    }
    return out;
}

TEST(Md5, KnownDigests) {
    uint8_t digest[16];
    ASSERT_TRUE(platform::md5(reinterpret_cast<const uint8_t*>(""), 0, digest));
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", hex(digest, 16));
    ASSERT_TRUE(platform::md5(reinterpret_cast<const uint8_t*>("abc"), 3, digest));
    EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", hex(digest, 16));
}

struct LoginFixture : test::FakeSessionTest {
    std::string sentDigest() const { return hex(fake->requests.at(1).payload.data() + 32, 16); }
};

TEST_F(LoginFixture, DigestCoversPasswordThenChallenge) {
    const std::vector<uint8_t> challenge = {1, 2, 3, 4, 5, 6, 7, 8};
    fake->queue(0, challenge);
    fake->queue(0);
    EXPECT_EQ(0, session->login("admin", "Secret12"));
    ASSERT_EQ(2u, fake->requests.size());
    EXPECT_EQ(0x0001, fake->requests[0].command);
    EXPECT_TRUE(fake->requests[0].payload.empty());
    const auto& record = fake->requests[1].payload;
    EXPECT_EQ(0x0002, fake->requests[1].command);
    ASSERT_EQ(72u, record.size());
    EXPECT_STREQ("admin", reinterpret_cast<const char*>(record.data()));

    uint8_t input[16];
    std::memcpy(input, "Secret12", 8);
    std::memcpy(input + 8, challenge.data(), 8);
    uint8_t expected[16];
    platform::md5(input, 16, expected);
    EXPECT_EQ(hex(expected, 16), sentDigest());
    for (size_t i = 48; i < 72; ++i) EXPECT_EQ(0, record[i]) << i;
}

TEST_F(LoginFixture, EmptyPasswordDigestsTheChallengeAloneAndOnlyEightBytesAreUsed) {
    std::vector<uint8_t> longChallenge(20, 0);
    longChallenge[8] = 0xFF;  // beyond the challenge: ignored
    fake->queue(0, longChallenge);
    fake->queue(0);
    EXPECT_EQ(0, session->login("u", ""));
    uint8_t expected[16];
    const uint8_t zeros[8] = {};
    platform::md5(zeros, 8, expected);
    EXPECT_EQ(hex(expected, 16), sentDigest());
}

TEST_F(LoginFixture, CaseOfThePasswordChangesTheDigest) {
    fake->queue(0, std::vector<uint8_t>(8, 0));
    fake->queue(0);
    fake->queue(0, std::vector<uint8_t>(8, 0));
    fake->queue(0);
    session->login("u", "password");
    const std::string lower = hex(fake->requests[1].payload.data() + 32, 16);
    session->login("u", "PASSWORD");
    EXPECT_NE(lower, hex(fake->requests[3].payload.data() + 32, 16));
}

TEST_F(LoginFixture, NoLoginIsSentWhenTheChallengeFails) {
    fake->queue(7);
    EXPECT_EQ(1, session->login("admin", "whatever"));
    ScriptedResponse broken;
    broken.transportResult = 1;
    fake->queue(broken);
    EXPECT_EQ(1, session->login("admin", "whatever"));
    ASSERT_EQ(2u, fake->requests.size());
    EXPECT_EQ(0x0001, fake->requests[1].command);
}

TEST_F(LoginFixture, TheCardsRefusalIsReturned) {
    fake->queue(0, std::vector<uint8_t>(8, 0));
    fake->queue(1);
    EXPECT_EQ(1, session->login("admin", "wrong"));
    fake->queue(0, std::vector<uint8_t>(8, 0));
    ScriptedResponse broken;
    broken.transportResult = 1;
    fake->queue(broken);
    EXPECT_EQ(33, session->login("admin", "wrong"));
}

TEST_F(LoginFixture, TextsThatDoNotFitTheirFieldsSendNothing) {
    EXPECT_EQ(26, session->login(std::string(32, 'u'), "pw"));
    EXPECT_EQ(26, session->login("admin", std::string(32, 'p')));
    EXPECT_TRUE(fake->requests.empty());
    fake->queue(0, std::vector<uint8_t>(8, 0));
    fake->queue(0);
    EXPECT_EQ(0, session->login(std::string(31, 'u'), std::string(31, 'p')));
}

}  // namespace
}  // namespace vorl
