// Network and MAC records and operations, against a recording fake card.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "protocol/network_records.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

using test::FakeTransport;
using test::ScriptedResponse;
using Bytes = std::vector<uint8_t>;

struct NetworkCommands : test::FakeSessionTest {
    platform::SleepRecorder pauses;
};

TEST(MacText, ChecksumTextAndParsingAgree) {
    const uint8_t mac[6] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    EXPECT_EQ(99, macChecksum(mac));  // 299 % 100
    char text[18];
    formatMacText(mac, text);
    EXPECT_STREQ("00:2A:3B:4C:5D:1D", text);

    const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(30, macChecksum(broadcast));  // 1530 % 100
    uint8_t record[7];
    encodeMacRecord(broadcast, record);
    EXPECT_EQ(Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 30}), Bytes(record, record + 7));

    uint8_t lower[6], upper[6];
    ASSERT_TRUE(parseMacText("00:2a:3b:4c:5d:1d", lower));
    ASSERT_TRUE(parseMacText("00:2A:3B:4C:5D:1D", upper));
    EXPECT_EQ(0, std::memcmp(lower, mac, 6));
    EXPECT_EQ(0, std::memcmp(upper, mac, 6));
    // Whatever follows the sixth group does not matter.
    EXPECT_TRUE(parseMacText("00:2A:3B:4C:5D:1Dxyz", upper));
}

TEST(MacText, MalformedTextsAreRefusedAndLeaveTheBytesAlone) {
    uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
    for (const char* text : {"00-2a-3b-4c-5d-1d", "00:2a:3b:4c:5d:1", "", "0:2a:3b:4c:5d:1d0",
                             "00:2a:3b:4c:5d:1g", "00:2a:3b:4c:5d"}) {
        EXPECT_FALSE(parseMacText(text, mac)) << text;
    }
    EXPECT_EQ(Bytes({1, 2, 3, 4, 5, 6}), Bytes(mac, mac + 6));
    // Without the separator check only the digit pairs count.
    EXPECT_TRUE(parseMacText("00-2a-3b-4c-5d-1d", mac, false));
}

TEST(StaticNetworkRecord, TextsAreNulPaddedAndOverlongOnesRefused) {
    uint8_t record[StaticNetworkSettings::kSize];
    ASSERT_TRUE(StaticNetworkSettings::encode(record, "10.0.0.5", "255.0.0.0", "10.0.0.1"));
    Bytes ipField(32, 0);
    std::memcpy(ipField.data(), "10.0.0.5", 8);
    EXPECT_EQ(ipField, Bytes(record, record + 32));
    EXPECT_STREQ("255.0.0.0", reinterpret_cast<char*>(record + 32));
    EXPECT_STREQ("10.0.0.1", reinterpret_cast<char*>(record + 64));
    EXPECT_EQ(0, record[95]);

    EXPECT_TRUE(StaticNetworkSettings::encode(record, std::string(31, '1'), "", ""));
    EXPECT_FALSE(StaticNetworkSettings::encode(record, std::string(32, '1'), "", ""));
}

TEST_F(NetworkCommands, SetMacFromEitherCaseSendsTheSameSevenBytes) {
    EXPECT_EQ(0, session->setMacAddressFromText("00:2a:3b:4c:5d:1d"));
    EXPECT_EQ(0, session->setMacAddressFromText("00:2A:3B:4C:5D:1D"));
    ASSERT_EQ(2u, fake->requests.size());
    EXPECT_EQ(0x0801, fake->requests[0].command);
    EXPECT_EQ(Bytes({0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D, 99}), fake->requests[0].payload);
    EXPECT_EQ(fake->requests[0].payload, fake->requests[1].payload);

    // A text too short to hold six pairs is never read past its end.
    EXPECT_EQ(kStatusInvalidArgument, session->setMacAddressFromText("00:2a"));
    EXPECT_EQ(2u, fake->requests.size());
}

TEST_F(NetworkCommands, GetMacNeedsAllSixBytes) {
    fake->queue(0, {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D});
    char text[18];
    EXPECT_EQ(0, session->getMacAddress(text));
    EXPECT_STREQ("00:2A:3B:4C:5D:1D", text);

    fake->queue(0, {0xAA, 0xBB, 0xCC});
    EXPECT_EQ(kStatusConnectError, session->getMacAddress(text));
    EXPECT_STREQ("", text);

    fake->queue(5, {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D});
    EXPECT_EQ(5, session->getMacAddress(text));
    EXPECT_STREQ("", text);
}

TEST_F(NetworkCommands, MacWriteIsFollowedByAResetEvenWhenItFails) {
    const uint8_t mac[6] = {0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D};
    fake->queue(34);  // the card refuses the write
    fake->queue(0);
    EXPECT_EQ(34, session->setMacAddressAndReset(mac));
    ASSERT_EQ(2u, fake->requests.size());
    EXPECT_EQ(0x0801, fake->requests[0].command);
    EXPECT_EQ(0x0900, fake->requests[1].command);
    EXPECT_EQ(std::vector<uint32_t>({3000}), pauses.pauses());

    fake->queue(0);
    fake->queue(ScriptedResponse{0, {}, 1});  // the reset's answer is lost
    EXPECT_EQ(kStatusConnectError, session->setMacAddressAndReset(mac));
}

TEST_F(NetworkCommands, StaticAddressPassesItsWaitAndSendsNothingOverlong) {
    EXPECT_EQ(0, session->setStaticNetwork("10.0.0.5", "255.0.0.0", "10.0.0.1", 1));
    ASSERT_EQ(1u, fake->requests.size());
    EXPECT_EQ(0x0701, fake->requests[0].command);
    EXPECT_EQ(96u, fake->requests[0].payload.size());
    EXPECT_EQ(std::vector<uint32_t>({1}), fake->waitPollsSeen);

    EXPECT_EQ(kStatusOutOfRange,
              session->setStaticNetwork(std::string(32, '1'), "255.0.0.0", "10.0.0.1", 1));
    EXPECT_EQ(1u, fake->requests.size());

    EXPECT_EQ(0, session->setDhcp());
    EXPECT_EQ(0x0702, fake->requests.back().command);
    EXPECT_TRUE(fake->requests.back().payload.empty());
}

TEST_F(NetworkCommands, ConfigFieldsAreReadToTheirWidthAndAShortAnswerIsRefused) {
    Bytes answer(224, 0);
    std::memcpy(answer.data(), "STATIC", 6);
    std::memcpy(answer.data() + 32, "eth0", 4);
    std::memset(answer.data() + 96, '9', 32);  // no NUL in the field
    std::memcpy(answer.data() + 128, "10.255.255.255", 14);
    fake->queue(0, answer);
    NetworkConfig config;
    EXPECT_EQ(0, session->getNetworkConfig(config));
    EXPECT_STREQ("STATIC", config.method);
    EXPECT_STREQ("eth0", config.interfaceName);
    EXPECT_EQ(std::string(32, '9'), config.ipAddress);
    EXPECT_STREQ("10.255.255.255", config.broadcast);

    // A "success" without the whole record reports nothing the card did not send.
    fake->queue(0, Bytes(40, 'x'));
    EXPECT_EQ(33, session->getNetworkConfig(config));
    EXPECT_STREQ("STATIC", config.method);
}

}  // namespace
}  // namespace vorl
