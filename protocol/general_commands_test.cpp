// General settings, clock, resets and heartbeat interval, against a recording fake card.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

using test::FakeTransport;
using test::ScriptedResponse;
using Bytes = std::vector<uint8_t>;

Bytes timeAnswer(int32_t seconds) {
    CardTime time;
    time.seconds = seconds;
    Bytes bytes(CardTime::kSize);
    time.encode(bytes.data());
    return bytes;
}

struct GeneralCommands : test::FakeSessionTest {
    platform::SleepRecorder pauses;
    CardTime wanted(int32_t seconds, uint8_t rollBack) {
        CardTime time;
        time.seconds = seconds;
        time.rollBack = rollBack;
        return time;
    }
};

constexpr int32_t kCardNow = 0x40000000;

TEST_F(GeneralCommands, SetTimeChecksTheCardClockFirst) {
    struct Case {
        int32_t seconds;
        uint8_t flag;
        int status;
        int sentFlag;  // -1: nothing sent
    } cases[] = {
        {kCardNow, 1, 0, 0},        // equal time is no roll-back
        {kCardNow - 1, 0, 26, -1},  // one second back needs consent
        {kCardNow - 1, 1, 0, 1},    // and gets it with the flag
        {kCardNow + 100, 1, 0, 0},  // going forward never resets the card
        {-5, 0, 26, -1},            // compared as signed numbers
    };
    for (const Case& c : cases) {
        fake->requests.clear();
        fake->queue(0, timeAnswer(kCardNow));
        EXPECT_EQ(c.status, session->setCardTime(wanted(c.seconds, c.flag))) << c.seconds;
        ASSERT_EQ(c.sentFlag < 0 ? 1u : 2u, fake->requests.size()) << c.seconds;
        EXPECT_EQ(0x090B, fake->requests[0].command);
        if (c.sentFlag < 0) continue;
        EXPECT_EQ(0x090A, fake->requests[1].command);
        Bytes expected = timeAnswer(c.seconds);
        expected[0] = static_cast<uint8_t>(c.sentFlag);
        EXPECT_EQ(expected, fake->requests[1].payload) << c.seconds;
    }
}

TEST_F(GeneralCommands, SetTimeWithoutAReadableCardClockIsAGeneralError) {
    fake->queue(ScriptedResponse{0, {}, 1});
    EXPECT_EQ(kStatusGeneralError, session->setCardTime(wanted(kCardNow, 0)));
    fake->queue(5, timeAnswer(kCardNow));
    EXPECT_EQ(kStatusGeneralError, session->setCardTime(wanted(kCardNow, 0)));
    fake->queue(0, {0, 1, 2});  // too short to hold a time
    EXPECT_EQ(kStatusGeneralError, session->setCardTime(wanted(kCardNow, 0)));
    EXPECT_EQ(3u, fake->requests.size());
    for (const auto& request : fake->requests) EXPECT_EQ(0x090B, request.command);
}

TEST_F(GeneralCommands, GetTimeConvertsTheBigEndianSeconds) {
    fake->queue(0, {7, 0x12, 0x34, 0x56, 0x78});
    CardTime time;
    EXPECT_EQ(0, session->getCardTime(time));
    EXPECT_EQ(0x12345678, time.seconds);
    EXPECT_EQ(7, time.rollBack);
}

TEST_F(GeneralCommands, ResetsPauseThreeSecondsWhateverHappened) {
    fake->queue(ScriptedResponse{0, {}, 1});
    EXPECT_EQ(kStatusConnectError, session->resetCard());
    EXPECT_EQ(std::vector<uint32_t>({3000}), pauses.pauses());
    fake->queue(0);
    EXPECT_EQ(0, session->resetCardToDefaults());
    EXPECT_EQ(std::vector<uint32_t>({3000, 3000}), pauses.pauses());
    ASSERT_EQ(2u, fake->requests.size());
    EXPECT_EQ(0x0900, fake->requests[0].command);
    EXPECT_EQ(0x0901, fake->requests[1].command);
}

TEST_F(GeneralCommands, HeartbeatIntervalIsBigEndianOnTheWire) {
    EXPECT_EQ(0, session->setHeartbeatInterval(240));
    EXPECT_EQ(Bytes({0x00, 0x00, 0x00, 0xF0}), fake->requests.back().payload);
    EXPECT_EQ(0x0A01, fake->requests.back().command);

    fake->queue(0, {0x00, 0x01, 0x00, 0x02});
    int32_t seconds = 0;
    EXPECT_EQ(0, session->getHeartbeatInterval(seconds));
    EXPECT_EQ(0x10002, seconds);

    fake->queue(0, {0x00, 0x01});
    seconds = 17;
    EXPECT_EQ(kStatusConnectError, session->getHeartbeatInterval(seconds));
    EXPECT_EQ(17, seconds);
}

TEST_F(GeneralCommands, FullServerNameHasNoNulAndTheLocationFollows) {
    ServerInfo info;
    std::memset(info.name, 'N', 32);
    std::strcpy(info.location, "rack 4");
    std::strcpy(info.description, "db");
    EXPECT_EQ(0, session->setServerInfo(info));
    const Bytes& sent = fake->requests.back().payload;
    ASSERT_EQ(152u, sent.size());
    EXPECT_EQ(Bytes(32, 'N'), Bytes(sent.begin(), sent.begin() + 32));
    EXPECT_EQ(0, std::memcmp(sent.data() + 32, "rack 4\0", 7));
    EXPECT_EQ(0, std::memcmp(sent.data() + 96, "db\0", 3));

    fake->queue(0, sent);
    ServerInfo back;
    EXPECT_EQ(0, session->getServerInfo(back));
    EXPECT_EQ(std::string(32, 'N'), back.name);
    EXPECT_STREQ("rack 4", back.location);
}

TEST_F(GeneralCommands, FirmwareInfoAndNameEndWithinTheAnswer) {
    Bytes answer(90, 'v');  // a version without NUL, then a date of 10 bytes
    fake->queue(0, answer);
    FirmwareInfo info;
    EXPECT_EQ(0, session->getFirmwareInfo(info));
    EXPECT_EQ(std::string(80, 'v'), info.version);
    EXPECT_EQ(std::string(10, 'v'), info.buildDate);

    fake->queue(0, Bytes(300, 'x'));  // more than any firmware answer
    EXPECT_EQ(kStatusConnectError, session->getFirmwareInfo(info));

    fake->queue(0, {'c', 'a', 'r', 'd'});  // no terminator
    char name[8];
    std::memset(name, '#', sizeof name);
    EXPECT_EQ(0, session->getCardName(name, sizeof name));
    EXPECT_STREQ("card", name);
    fake->queue(0, Bytes(20, 'z'));
    EXPECT_EQ(0, session->getCardName(name, sizeof name));
    EXPECT_STREQ("zzzzzzz", name);  // cut to the caller's buffer
}

TEST_F(GeneralCommands, NameAndMailRecordsKeepTheirFieldWidths) {
    EXPECT_EQ(0, session->setCardName("vorl-1"));
    EXPECT_EQ(256u, fake->requests.back().payload.size());
    EXPECT_EQ(0, std::memcmp(fake->requests.back().payload.data(), "vorl-1\0", 7));
    EXPECT_EQ(kStatusOutOfRange, session->setCardName(std::string(257, 'n')));
    EXPECT_EQ(1u, fake->requests.size());

    SmtpConfig config;
    std::strcpy(config.server1, "10.0.0.25");
    std::memset(config.mailId1, 'm', 256);
    std::strcpy(config.server2, "10.0.0.26");
    EXPECT_EQ(0, session->setSmtpConfig(config));
    const Bytes sent = fake->requests.back().payload;
    ASSERT_EQ(544u, sent.size());
    EXPECT_EQ(0, std::memcmp(sent.data() + 272, "10.0.0.26\0", 10));
    fake->queue(0, sent);
    SmtpConfig back;
    EXPECT_EQ(0, session->getSmtpConfig(back));
    EXPECT_EQ(std::string(256, 'm'), back.mailId1);
    EXPECT_STREQ("10.0.0.26", back.server2);
}

}  // namespace
}  // namespace vorl
