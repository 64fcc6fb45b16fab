// -sel: what goes to the card and what the administrator reads, including failing records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/sel_format.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

using test::FakeTransport;
using Bytes = std::vector<uint8_t>;

Bytes infoAnswer(uint16_t count, uint8_t version = 0x51, uint8_t flags = 0) {
    SelInfo info;
    info.version = version;
    info.recordCount = count;
    info.freeSpace = 960;
    info.supportFlags = flags;
    Bytes bytes(SelInfo::kSize);
    info.encode(bytes.data());
    return bytes;
}

Bytes recordAnswer(uint16_t number, uint16_t eventId, uint8_t severity) {
    SelRecord record;
    record.recordNumber = number;
    record.eventId = eventId;
    record.severity = severity;
    for (int i = 0; i < 32; ++i) record.eventData[i] = static_cast<uint8_t>('A' + i % 26);
    Bytes bytes(SelRecord::kSize);
    record.encode(bytes.data());
    return bytes;
}

struct SelCli : test::FakeSessionTest {
    std::string out;
    int run(Words words) {
        words.insert(words.begin(), {"admin", "-sel"});
        TextReport report;
        ::testing::internal::CaptureStdout();
        const int result = runSelGroup(*session, words, report);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }
};

TEST_F(SelCli, AddBuildsTheEventIdAndSeverity) {
    struct Case {
        const char* module;
        const char* event;
        const char* severity;
        uint16_t eventId;
        uint8_t sent;
    };
    const Case cases[] = {{"3", "7", "W", 0x0307, 8},   {"3", "7", "x", 0x0307, 2},
                          {"3", "7", "I", 0x0307, 4},   {"3", "7", "Fatal", 0x0307, 32},
                          {"3", "7", "w", 0x0307, 2},   {"1", "300", "W", 0x012C | 0x0100, 8},
                          {"257", "1", "W", 0x0101, 8}, {"abc", "5", "", 0x0005, 2}};
    for (const Case& c : cases) {
        fake->requests.clear();
        EXPECT_EQ(0, run({"-add", c.module, c.event, c.severity}));
        ASSERT_EQ(1u, fake->requests.size());
        const Bytes& sent = fake->requests[0].payload;
        EXPECT_EQ(0x0402, fake->requests[0].command);
        EXPECT_EQ(c.eventId, (sent[10] << 8) | sent[11]) << c.module << " " << c.event;
        EXPECT_EQ(c.sent, sent[12]) << c.severity;
    }
    fake->queue(18);
    EXPECT_EQ(18, run({"-add", "1", "2", "W"}));
    EXPECT_EQ("Add SEL Record Failed, Insufficient space\n", out);
}

TEST_F(SelCli, DeleteChecksTheNumberBeforeNarrowing) {
    EXPECT_EQ(0, run({"-del", "65535"}));
    EXPECT_EQ((Bytes{0xFF, 0xFF}), fake->requests.back().payload);
    for (const char* bad : {"0", "65536", "65537", "-1", "x", "", "12a"}) {
        fake->requests.clear();
        EXPECT_EQ(-1, run({"-del", bad})) << bad;
        EXPECT_TRUE(fake->requests.empty()) << bad;
    }
    fake->queue(16);
    EXPECT_EQ(16, run({"-del", "4"}));
    EXPECT_EQ("Del SEL Record Failed, Resource not exist\n", out);
}

TEST_F(SelCli, WordCountsAndSubcommandForms) {
    EXPECT_EQ(-1, run({"-listAll", "extra"}));
    EXPECT_EQ(-1, run({"listAll"}));
    EXPECT_EQ(-1, run({"-nothing"}));
    EXPECT_EQ(-1, run({"-add", "1", "2"}));
    EXPECT_EQ(0, run({"-postEvent", "a", "b", "c"}));
    EXPECT_TRUE(fake->requests.empty());
    fake->queue(0, infoAnswer(0));
    EXPECT_EQ(0, run({"-listall"}));
    EXPECT_EQ("Number of Record : 0 \n", out);
}

TEST_F(SelCli, ListAllPrintsEveryRecord) {
    fake->queue(0, infoAnswer(2));
    fake->queue(0, recordAnswer(1, 0x0307, 8));
    fake->queue(0, recordAnswer(2, 0x0A01, 64));
    EXPECT_EQ(0, run({"-listAll"}));
    ASSERT_EQ(3u, fake->requests.size());
    EXPECT_EQ(2, fake->requests[2].payload[1]);
    const std::string time = formatSelTime(0);
    const std::string data =
        "0x41 0x42 0x43 0x44 0x45 0x46 0x47 0x48   ABCDEFGH\n"
        "0x49 0x4a 0x4b 0x4c 0x4d 0x4e 0x4f 0x50   IJKLMNOP\n"
        "0x51 0x52 0x53 0x54 0x55 0x56 0x57 0x58   QRSTUVWX\n"
        "0x59 0x5a 0x41 0x42 0x43 0x44 0x45 0x46   YZABCDEF\n";
    EXPECT_EQ(
        "Number of Record : 2 \n"
        "\nRecord Number : 1 \nTime          : " +
            time +
            "Event Id      : 307 \nModule Number : 3 \nEvent Number  : 7 \n"
            "Event Severity: WARNING\nEvent Data is  : \n" +
            data +
            "\n"
            "\nRecord Number : 2 \nTime          : " +
            time +
            "Event Id      : a01 \nModule Number : 10 \nEvent Number  : 1 \n"
            "Event Data is  : \n" +
            data + "\n",
        out);
}

TEST_F(SelCli, AFailingRecordIsReportedAndSkippedALostCardEndsTheListing) {
    auto extended = [](Bytes record, const char* text) {
        record.resize(SelRecordEx::kSize, 0);
        std::copy(text, text + std::strlen(text), record.begin() + SelRecord::kSize);
        return record;
    };
    fake->queue(0, infoAnswer(3));
    fake->queue(0, extended(recordAnswer(1, 0x0101, 2), "first"));
    fake->queue(16);
    fake->queue(0, extended(recordAnswer(3, 0x0103, 2), ""));
    EXPECT_EQ(16, run({"-listAllEx"}));
    EXPECT_EQ(4u, fake->requests.size());
    EXPECT_EQ(304u, fake->requests[1].payload.size());
    EXPECT_NE(std::string::npos, out.find("Error while retreiving Records, Resource not exist\n"));
    EXPECT_NE(std::string::npos, out.find("Record Number : 3 \n"));
    EXPECT_EQ(std::string::npos, out.find("Record Number : 2 \n"));
    EXPECT_NE(std::string::npos, out.find("Event String is: first\n"));
    EXPECT_NE(std::string::npos, out.find("Event String is: \n"));

    fake->requests.clear();
    fake->queue(0, infoAnswer(3));
    fake->queue(test::ScriptedResponse{0, {}, 1});
    EXPECT_EQ(33, run({"-listAll"}));
    EXPECT_EQ(2u, fake->requests.size());
    EXPECT_EQ("Number of Record : 3 \nError while retreiving Records, Error during connect \n",
              out);

    fake->queue(5);
    EXPECT_EQ(5, run({"-listAll"}));
    EXPECT_EQ("Error while getting number of Records, Permission denied\n", out);
}

TEST_F(SelCli, PolicyLineComesBeforeTheCardIsAsked) {
    fake->queue(test::ScriptedResponse{0, {}, 1});
    EXPECT_EQ(33, run({"-setPolicy", "stop"}));
    EXPECT_EQ((Bytes{2}), fake->requests.back().payload);
    EXPECT_EQ("Policy: 2\nSet SEL policy failed, Error during connect \n", out);
    EXPECT_EQ(0, run({"-setPolicy", "ROLLOVER"}));
    EXPECT_EQ("Policy: 1\nSet SEL Fill policy Success\n", out);
    const size_t sent = fake->requests.size();
    EXPECT_EQ(1, run({"-setPolicy", "full"}));
    EXPECT_EQ("Unknown SEL policy !!!\n", out);
    EXPECT_EQ(sent, fake->requests.size());

    fake->queue(0, {2});
    EXPECT_EQ(0, run({"-getPolicy"}));
    EXPECT_EQ("SEL Fill policy : SEL_POLICY_STOP\n", out);
    fake->queue(0, {7});
    EXPECT_EQ(0, run({"-getPolicy"}));
    EXPECT_EQ("", out);
}

TEST_F(SelCli, InfoShowsVersionNibblesLowFirstAndSupportBits) {
    fake->queue(0, infoAnswer(5, 0x51, 0x0B));
    EXPECT_EQ(0, run({"-selInfo"}));
    const std::string epoch = formatSelTime(0);
    EXPECT_EQ(
        "SEL Version         : 1.5\nNumber of Records   : 5 \n"
        "Free Space          : 960 (Bytes) \nLast Additon        : " +
            epoch + "Last Deletion       : " + epoch +
            "Operation Supported : SEL_DEL_SUPPORT \n"
            "Operation Supported : SEL_RES_SUPPORT \n"
            "Operation Supported : SEL_ALLOC_INFO_SUPPORT \n",
        out);
    fake->queue(0, infoAnswer(0, 0xA2, 0x02));
    EXPECT_EQ(0, run({"-selInfo"}));
    EXPECT_EQ(0u, out.find("SEL Version         : 2.a\n"));
    EXPECT_EQ(std::string::npos, out.find("SEL_DEL_SUPPORT"));

    fake->queue(0, {0x00, 0x05});
    EXPECT_EQ(0, run({"-clear"}));
    EXPECT_EQ("5 Record(s) Deleted.\n", out);
}

TEST(SelTime, FixedWidthFormAndUnrepresentableTimes) {
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_wday = 1;
    local.tm_hour = 9;
    local.tm_min = 5;
    local.tm_sec = 3;
    EXPECT_EQ("Mon Dec  7 09:05:03 2026\n", formatSelTime(1, &local));
    EXPECT_EQ("4294967295 (invalid time)\n", formatSelTime(0xFFFFFFFFu, nullptr));
    local.tm_mon = 12;
    EXPECT_EQ("12 (invalid time)\n", formatSelTime(12, &local));
    EXPECT_EQ(25u, formatSelTime(1700000000u).size());
}

}  // namespace
}  // namespace vorl::cli
