// Group 0x04, alert recipients: the key/value pairs built and read back within their bounds.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;

std::string textAt(const std::vector<uint8_t>& bytes, size_t offset) {
    return std::string(reinterpret_cast<const char*>(bytes.data() + offset));
}

void putPair(std::vector<uint8_t>& bytes, size_t pair, const std::string& key,
             const std::string& value) {
    std::memcpy(bytes.data() + 512 * pair, key.data(), key.size());
    std::memcpy(bytes.data() + 512 * pair + 256, value.data(), value.size());
}

struct RecipientFixture : test::FakeSessionTest {};

TEST_F(RecipientFixture, GetAsksForOneIndexInA6152ByteRequest) {
    fake->queue(0, std::vector<uint8_t>(4096, 0));
    AlertRecipient recipient;
    recipient.index = 3;
    ASSERT_EQ(0, session->getAlertRecipient(recipient));
    const auto& sent = fake->requests[0];
    EXPECT_EQ(0x040F, sent.command);
    ASSERT_EQ(6152u, sent.payload.size());
    EXPECT_EQ("RECIPIENT_SELECT", textAt(sent.payload, 0));
    EXPECT_EQ("3", textAt(sent.payload, 256));
    for (size_t i = 512; i < sent.payload.size(); ++i) ASSERT_EQ(0, sent.payload[i]) << i;
}

TEST_F(RecipientFixture, AnswerKeysMatchExactlyAndValuesAreCut) {
    std::vector<uint8_t> answer(4096, 0);
    putPair(answer, 0, "RECIPIENT_SELECT", "7");
    putPair(answer, 1, "RECIPIENT_NAME", "ops");
    putPair(answer, 2, "email_id", "lower@case");
    putPair(answer, 3, "NOTIFICATION_METHOD", "Mail via LAN");
    putPair(answer, 4, "ALERT_LEVEL", std::string(40, 'L'));
    putPair(answer, 5, "SNMP_TRAP_DESTINATION", "127.0.0.9");
    putPair(answer, 6, "UNKNOWN_KEY", "x");
    fake->queue(0, answer);

    AlertRecipient recipient;
    recipient.index = 2;
    std::strcpy(recipient.mailAddress, "kept@before");
    ASSERT_EQ(0, session->getAlertRecipient(recipient));
    EXPECT_EQ(2, recipient.index);
    EXPECT_STREQ("ops", recipient.name);
    EXPECT_STREQ("kept@before", recipient.mailAddress);
    EXPECT_STREQ("Mail via LAN", recipient.notificationMethod);
    EXPECT_EQ(std::string(31, 'L'), recipient.alertLevel);
    EXPECT_STREQ("127.0.0.9", recipient.snmpDestination);
}

TEST_F(RecipientFixture, AnswerIsReadOnlyWithinItsLength) {
    // A key that fills its whole field, and an answer that ends inside the second pair's value.
    std::vector<uint8_t> answer(512 + 256 + 4, 0);
    putPair(answer, 0, "RECIPIENT_NAME", "n1");
    std::memcpy(answer.data() + 512, "EMAIL_ID", 9);
    std::memcpy(answer.data() + 768, "a@bc", 4);
    fake->queue(0, answer);
    AlertRecipient recipient;
    recipient.index = 1;
    ASSERT_EQ(0, session->getAlertRecipient(recipient));
    EXPECT_STREQ("n1", recipient.name);
    EXPECT_STREQ("a@bc", recipient.mailAddress);

    std::vector<uint8_t> unterminated(512, 'K');
    fake->queue(0, unterminated);
    EXPECT_EQ(0, session->getAlertRecipient(recipient));
    EXPECT_STREQ("n1", recipient.name);
}

TEST_F(RecipientFixture, FailedGetLeavesTheRecipientAlone) {
    fake->queue(5);
    AlertRecipient recipient;
    recipient.index = 4;
    std::strcpy(recipient.name, "before");
    EXPECT_EQ(5, session->getAlertRecipient(recipient));
    EXPECT_STREQ("before", recipient.name);
}

TEST_F(RecipientFixture, SetSendsEightPairsInWireOrder) {
    AlertRecipient recipient;
    recipient.index = 8;
    std::strcpy(recipient.name, "n");
    std::strcpy(recipient.mailAddress, "m@x");
    std::strcpy(recipient.snmpDestination, "s");
    std::strcpy(recipient.pppLogin, "l");
    std::strcpy(recipient.notificationMethod, "SNMP via PPP");
    std::strcpy(recipient.pppPassword, "p");
    std::strcpy(recipient.alertLevel, "Critical Only");
    fake->queue(0);
    ASSERT_EQ(0, session->setAlertRecipient(recipient));
    const auto& sent = fake->requests[0];
    EXPECT_EQ(0x040E, sent.command);
    ASSERT_EQ(4096u, sent.payload.size());
    const char* expected[8][2] = {
        {"RECIPIENT_SELECT", "8"},
        {"RECIPIENT_NAME", "n"},
        {"EMAIL_ID", "m@x"},
        {"PPP_LOGIN_ID", "l"},
        {"NOTIFICATION_METHOD", "SNMP via PPP"},
        {"PPP_PASSWORD", "p"},
        {"ALERT_LEVEL", "Critical Only"},
        {"SNMP_TRAP_DESTINATION", "s"},
    };
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(expected[i][0], textAt(sent.payload, 512 * i));
        EXPECT_EQ(expected[i][1], textAt(sent.payload, 512 * i + 256));
    }
}

TEST_F(RecipientFixture, SetRefusesAFullFieldWithoutSending) {
    AlertRecipient recipient;
    recipient.index = 1;
    std::memset(recipient.pppPassword, 'p', sizeof recipient.pppPassword);
    EXPECT_EQ(26, session->setAlertRecipient(recipient));
    EXPECT_TRUE(fake->requests.empty());
}

}  // namespace
}  // namespace vorl
