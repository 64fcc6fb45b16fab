// Framing and the session's checks of what comes back.
#include "protocol/card_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

using test::FakeTransport;
using test::ScriptedResponse;

struct SessionFixture : test::FakeSessionTest {};

TEST_F(SessionFixture, PayloadLimitIsInclusiveAndAnOversizedOneSendsNothing) {
    std::vector<uint8_t> buffer(CardSession::MaxPayload + 1, 0x42);
    uint32_t responseLength = 0;
    EXPECT_EQ(0, session->transact(0x0600, buffer.data(), CardSession::MaxPayload, responseLength,
                                   0, static_cast<uint32_t>(buffer.size())));
    ASSERT_EQ(1u, fake->requests.size());
    EXPECT_EQ(CardSession::MaxPayload, fake->requests[0].payload.size());
    EXPECT_EQ(0x42, fake->requests[0].payload.back());

    responseLength = 7;
    EXPECT_EQ(33, session->transact(0x0600, buffer.data(), CardSession::MaxPayload + 1,
                                    responseLength, 0, static_cast<uint32_t>(buffer.size())));
    EXPECT_EQ(1u, fake->requests.size());
    EXPECT_EQ(7u, responseLength);
}

TEST_F(SessionFixture, StatusAndPayloadOfTheCardComeBackTogether) {
    fake->queue(5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
    uint8_t buffer[32] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(5, session->transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(10u, responseLength);
    EXPECT_EQ(10, buffer[9]);
    EXPECT_EQ(0, buffer[10]);
}

TEST_F(SessionFixture, EmptyAnswerLeavesTheBufferAlone) {
    fake->queue(0);
    uint8_t buffer[4] = {9, 9, 9, 9};
    uint32_t responseLength = 0;
    EXPECT_EQ(0, session->transact(0x0502, buffer, 4, responseLength, 0, sizeof buffer));
    EXPECT_EQ(0u, responseLength);
    EXPECT_EQ(9, buffer[0]);
}

TEST_F(SessionFixture, BadChecksumIsAConnectErrorWithNoLengthEvenWithStatusZero) {
    ScriptedResponse bad{0, {1, 2, 3}};
    bad.corruptChecksum = true;
    fake->queue(bad);
    uint8_t buffer[8] = {};
    uint32_t responseLength = 99;
    EXPECT_EQ(33, session->transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    EXPECT_EQ(0u, responseLength);
    EXPECT_EQ(0, buffer[0]);
}

TEST_F(SessionFixture, TransportFailuresAllBecome33) {
    for (int failure : {1, 24}) {
        ScriptedResponse broken;
        broken.transportResult = failure;
        fake->queue(broken);
        uint8_t buffer[8] = {};
        uint32_t responseLength = 0;
        EXPECT_EQ(33, session->transact(0x0502, buffer, 0, responseLength, 0, sizeof buffer));
    }
}

TEST_F(SessionFixture, AnswerLargerThanTheCallersBufferIsRefusedNotCopied) {
    fake->queue(0, std::vector<uint8_t>(17, 0xEE));
    uint8_t buffer[17 + 4] = {};
    uint32_t responseLength = 0;
    EXPECT_EQ(33, session->transact(0x0502, buffer, 0, responseLength, 0, 16));
    EXPECT_EQ(0u, responseLength);
    EXPECT_EQ(0, buffer[0]);
}

TEST_F(SessionFixture, WaitPollsReachTheTransportUnchanged) {
    uint8_t buffer[4] = {};
    uint32_t responseLength = 0;
    session->transact(0x0701, buffer, 0, responseLength, 1, sizeof buffer);
    ASSERT_EQ(1u, fake->waitPollsSeen.size());
    EXPECT_EQ(1u, fake->waitPollsSeen[0]);
}

class CountingTransport : public CardTransport {
public:
    CountingTransport(int& disconnects, int connectResult)
        : disconnects_(disconnects), connectResult_(connectResult) {}
    int transact(const uint8_t*, uint32_t&, uint8_t*, uint32_t) override { return 1; }
    int connect() override { return connectResult_; }
    int disconnect() override {
        ++disconnects_;
        return 0;
    }

private:
    int& disconnects_;
    int connectResult_;
};

TEST(CardSessionLifetime, DestructionDisconnectsExactlyOnceWhetherOrNotConnected) {
    for (int connectResult : {0, 1}) {
        int disconnects = 0;
        {
            CardSession session(std::make_unique<CountingTransport>(disconnects, connectResult));
            EXPECT_EQ(connectResult == 0 ? 0 : 33, session.connect());
            EXPECT_EQ(0, disconnects);
        }
        EXPECT_EQ(1, disconnects);
    }
    int neverConnected = 0;
    { CardSession session(std::make_unique<CountingTransport>(neverConnected, 0)); }
    EXPECT_EQ(1, neverConnected);
}

// Answers each request first with a queue of earlier answers (other command codes), as a TCP
// stream does after a request that stopped waiting.
class StaleAnswers : public CardTransport {
public:
    int transact(const uint8_t* request, uint32_t& length, uint8_t* response, uint32_t) override {
        current = CommandHeader::commandCode(request);
        return receiveNextResponse(length, response, 0);
    }
    int receiveNextResponse(uint32_t& length, uint8_t* response, uint32_t) override {
        ++reads;
        const uint16_t code = stale.empty() ? current : stale.front();
        if (!stale.empty()) stale.erase(stale.begin());
        if (code == 0) return 1;  // nothing more arrives
        const uint8_t payload[2] = {static_cast<uint8_t>(code >> 8), static_cast<uint8_t>(code)};
        CommandHeader::buildResponse(response, code, code == current ? 0 : 26, 2);
        std::memcpy(response + CommandHeader::kSize, payload, 2);
        length = CommandHeader::kSize + 2;
        return 0;
    }
    int connect() override { return 0; }
    int disconnect() override { return 0; }
    std::vector<uint16_t> stale;
    uint16_t current = 0;
    int reads = 0;
};

TEST(CardSessionStaleAnswers, AnswersToOtherCommandsAreSkipped) {
    auto transport = std::make_unique<StaleAnswers>();
    StaleAnswers* fake = transport.get();
    CardSession session(std::move(transport));
    fake->stale = {0x0701, 0x0701};
    uint8_t buffer[8] = {};
    uint32_t length = 0;
    EXPECT_EQ(session.transact(0x0800, buffer, 0, length, 0, sizeof buffer), 0);
    EXPECT_EQ(length, 2u);
    EXPECT_EQ(buffer[0], 0x08);
    EXPECT_EQ(fake->reads, 3);

    // When nothing but stale answers comes, the transaction fails like a lost answer.
    fake->stale = {0x0701, 0};
    length = 0;
    EXPECT_EQ(session.transact(0x0503, buffer, 0, length, 0, sizeof buffer), 33);
    EXPECT_EQ(length, 0u);

    // A transport without a next answer (the host interface) ends the transaction at once.
    FakeTransport plain;
    std::vector<uint8_t> response(CommandHeader::kMaxPacket);
    EXPECT_NE(plain.receiveNextResponse(length, response.data(), 0), 0);
}

TEST(StatusMessages, TableEdgesAndUnknownCodes) {
    EXPECT_STREQ("Operation Success", statusMessage(0));
    EXPECT_STREQ("Error during connect ", statusMessage(33));
    EXPECT_STREQ("Checksum error", statusMessage(34));
    EXPECT_STREQ("", statusMessage(35));
    EXPECT_STREQ("Unknown RUNO error", statusMessage(36));
    EXPECT_STREQ("Unknown RUNO error", statusMessage(37));
    EXPECT_STREQ("Unknown RUNO error", statusMessage(-1));
    EXPECT_STREQ("Unsuported command.operation", statusMessage(32));
}

}  // namespace
}  // namespace vorl
