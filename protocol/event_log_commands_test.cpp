// Group 0x04, event log: byte order at the edge, answers checked before they are used.
#include <gtest/gtest.h>

#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;

struct SelFixture : test::FakeSessionTest {};

TEST_F(SelFixture, RecordRequestAndAnswerAreBigEndian) {
    std::vector<uint8_t> answer(48, 0);
    answer[0] = 0x00, answer[1] = 0x01;                                      // record 1
    answer[3] = 0x5F, answer[4] = 0x5E, answer[5] = 0x10, answer[6] = 0x00;  // time
    answer[10] = 0x03, answer[11] = 0x07;                                    // module 3, event 7
    answer[12] = 8;
    answer[14] = 0x12, answer[15] = 0x34;
    answer[16] = 'A', answer[47] = 0xEE;
    fake->queue(0, answer);

    SelRecord record;
    record.recordNumber = 1;
    ASSERT_EQ(0, session->getSelEntry(record));
    ASSERT_EQ(1u, fake->requests.size());
    const auto& sent = fake->requests[0];
    EXPECT_EQ(0x0401, sent.command);
    ASSERT_EQ(48u, sent.payload.size());
    EXPECT_EQ(0x00, sent.payload[0]);
    EXPECT_EQ(0x01, sent.payload[1]);

    EXPECT_EQ(1, record.recordNumber);
    EXPECT_EQ(0x5F5E1000u, record.timestamp);
    EXPECT_EQ(0x0307, record.eventId);
    EXPECT_EQ(8, record.severity);
    EXPECT_EQ(0x1234, record.extra);
    EXPECT_EQ('A', record.eventData[0]);
    EXPECT_EQ(0xEE, record.eventData[31]);
}

TEST_F(SelFixture, FailedOrShortReadsLeaveTheRecordAlone) {
    fake->queue(16, std::vector<uint8_t>(48, 0xFF));
    fake->queue(0, std::vector<uint8_t>(20, 0xFF));
    SelRecord record;
    record.recordNumber = 9;
    EXPECT_EQ(16, session->getSelEntry(record));
    EXPECT_EQ(33, session->getSelEntry(record));
    EXPECT_EQ(9, record.recordNumber);
    EXPECT_EQ(0u, record.timestamp);
}

TEST_F(SelFixture, ExtendedRecordCarriesItsDescription) {
    std::vector<uint8_t> answer(304, 0);
    answer[1] = 2;
    const char text[] = "Server powered up";
    std::copy(text, text + sizeof text - 1, answer.begin() + 48);
    fake->queue(0, answer);
    SelRecordEx record;
    record.record.recordNumber = 2;
    ASSERT_EQ(0, session->getSelEntryEx(record));
    EXPECT_EQ(0x0408, fake->requests[0].command);
    EXPECT_EQ(304u, fake->requests[0].payload.size());
    EXPECT_EQ(2, fake->requests[0].payload[1]);
    EXPECT_STREQ(text, record.description);
}

TEST_F(SelFixture, InfoFieldsAreSwappedAndEmptyLogCountsZero) {
    fake->queue(
        0, {0x51, 0x01, 0x02, 0x0B, 0xB8, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x0B});
    fake->queue(0, std::vector<uint8_t>(14, 0));
    SelInfo info;
    ASSERT_EQ(0, session->getSelInfo(info));
    EXPECT_EQ(0x51, info.version);
    EXPECT_EQ(0x0102, info.recordCount);
    EXPECT_EQ(3000, info.freeSpace);
    EXPECT_EQ(256u, info.lastAddition);
    EXPECT_EQ(512u, info.lastErase);
    EXPECT_EQ(0x0B, info.supportFlags);
    ASSERT_EQ(0, session->getSelInfo(info));
    EXPECT_EQ(0, info.recordCount);
    EXPECT_TRUE(fake->requests[0].payload.empty());
}

TEST_F(SelFixture, AddDeleteClearAndPolicyPayloads) {
    SelRecord record;
    record.eventId = 0x0307;
    record.severity = 8;
    fake->queue(0);
    EXPECT_EQ(0, session->addSelEntry(record));
    const auto& added = fake->requests.back().payload;
    ASSERT_EQ(48u, added.size());
    EXPECT_EQ(0x03, added[10]);
    EXPECT_EQ(0x07, added[11]);
    EXPECT_EQ(8, added[12]);

    fake->queue(0);
    EXPECT_EQ(0, session->deleteSelEntry(0x1234));
    EXPECT_EQ((std::vector<uint8_t>{0x12, 0x34}), fake->requests.back().payload);

    fake->queue(0, {0x00, 0x05});
    uint16_t deleted = 0;
    EXPECT_EQ(0, session->clearSel(deleted));
    EXPECT_EQ(5, deleted);
    fake->queue(0, {0x05});
    deleted = 77;
    EXPECT_EQ(33, session->clearSel(deleted));
    EXPECT_EQ(77, deleted);

    fake->queue(0);
    EXPECT_EQ(0, session->setSelPolicy(kSelPolicyStop));
    EXPECT_EQ((std::vector<uint8_t>{2}), fake->requests.back().payload);
    fake->queue(0, {1});
    uint8_t policy = 0;
    EXPECT_EQ(0, session->getSelPolicy(policy));
    EXPECT_EQ(kSelPolicyRollover, policy);
}

}  // namespace
}  // namespace vorl
