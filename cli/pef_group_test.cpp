// -pef: the recipient words checked and mapped before anything reaches the card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "protocol/card_session.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

using test::FakeTransport;

// The key/value pairs of a recorded 0x040E request.
std::map<std::string, std::string> pairsOf(const std::vector<uint8_t>& payload) {
    std::map<std::string, std::string> pairs;
    for (size_t at = 0; at + 512 <= payload.size(); at += 512) {
        pairs[reinterpret_cast<const char*>(payload.data() + at)] =
            reinterpret_cast<const char*>(payload.data() + at + 256);
    }
    return pairs;
}

struct PefCli : test::FakeSessionTest {
    std::string out;
    int run(Words words) {
        words.insert(words.begin(), {"admin", "-pef"});
        TextReport report;
        ::testing::internal::CaptureStdout();
        const int result = runPefGroup(*session, words, report);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }
    // -ARInfoSet index name mailId SNMPDest PPPID NotifyMethod NotifyMedium PPPPass AlertType
    int set(const char* index, const char* name, const char* mail, const char* snmp,
            const char* login, const char* method, const char* medium, const char* password,
            const char* level) {
        return run({"-ARInfoSet", index, name, mail, snmp, login, method, medium, password, level});
    }
};

TEST_F(PefCli, GetAsksForTheTypedIndexOnly) {
    std::vector<uint8_t> answer(4096, 0);
    std::strcpy(reinterpret_cast<char*>(answer.data()), "RECIPIENT_NAME");
    std::strcpy(reinterpret_cast<char*>(answer.data() + 256), "ops");
    fake->queue(0, answer);
    EXPECT_EQ(0, run({"-ARInfoGet", "3"}));
    ASSERT_EQ(1u, fake->requests.size());
    EXPECT_EQ(6152u, fake->requests[0].payload.size());
    EXPECT_EQ(pairsOf(fake->requests[0].payload)["RECIPIENT_SELECT"], "3");
    EXPECT_EQ(
        "Alert Receipient    : 3 \nName                : ops \n"
        "Email-Id            :  \nSNMP Destination    :  \nPPP Login name      :  \n"
        "PPP Password        :  \nNotification Method :  \nAlert Level         :  \n",
        out);

    fake->requests.clear();
    for (const char* bad : {"0", "9", "259", "-253", "x"}) {
        EXPECT_EQ(-1, run({"-ARInfoGet", bad})) << bad;
        EXPECT_EQ(std::string("Alert Receipients ID range is 1 to 8. Given = ") +
                      std::to_string(std::atoi(bad)) + " \n",
                  out);
    }
    EXPECT_TRUE(fake->requests.empty());
    EXPECT_EQ(-1, run({"-ARInfoGet"}));
    EXPECT_EQ(-1, run({"-pefInfo"}));

    fake->queue(33);
    EXPECT_EQ(33, run({"-ARInfoGet", "1"}));
    EXPECT_EQ("Error while get number of Records, Error during connect \n", out);
}

TEST_F(PefCli, MethodAndMediumGiveTheMethodText) {
    struct Case {
        const char* method;
        const char* medium;
        const char* text;
    };
    const Case cases[] = {{"Mail", "lan", "Mail via LAN"},
                          {"snmp", "LAN", "SNMP via LAN"},
                          {"MAIL", "ppp", "Mail via PPP"},
                          {"SNMP", "PPP", "SNMP via PPP"},
                          {"page", "lan", ""}};
    for (const Case& c : cases) {
        fake->requests.clear();
        ASSERT_EQ(0, set("2", "ops", "ops@example.org", "127.0.0.5", "dial", c.method, c.medium,
                         "secret", "Critical"))
            << out;
        auto pairs = pairsOf(fake->requests.at(0).payload);
        EXPECT_EQ(c.text, pairs["NOTIFICATION_METHOD"]) << c.method << " " << c.medium;
        EXPECT_EQ("Critical Only", pairs["ALERT_LEVEL"]);
        EXPECT_EQ("2", pairs["RECIPIENT_SELECT"]);
        EXPECT_EQ("ops@example.org", pairs["EMAIL_ID"]);
        EXPECT_EQ("127.0.0.5", pairs["SNMP_TRAP_DESTINATION"]);
    }
    EXPECT_NE(std::string::npos, out.find("Notification Method :  \n"));
}

TEST_F(PefCli, RequiredFieldsAndLevels) {
    EXPECT_EQ(-1, set("1", "admin", "ab", "x", "y", "Mail", "lan", "z", "All"));
    EXPECT_EQ("Vaild Mail Id required !", out);
    EXPECT_EQ(-1, set("1", "admin", "ab", "xy", "y", "SNMP", "lan", "z", "All"));
    EXPECT_EQ("Vaild SNMP Destination required !", out);
    EXPECT_EQ(-1, set("1", "admin", "a@b", "xy", "yo", "Mail", "PPP", "z", "All"));
    EXPECT_EQ("Vaild PPP Login Id required !", out);
    EXPECT_EQ(-1, set("1", "admin", "a@b", "xy", "you", "Mail", "PPP", "zz", "All"));
    EXPECT_EQ("Vaild PPP Password required !", out);
    EXPECT_EQ(-1, set("1", "admin", "a@b", "xy", "you", "Mail", "none", "zzz", "All"));
    EXPECT_EQ("Alerts Level is enabled, Notification method required !\n", out);
    EXPECT_EQ(-1, set("1", "admin", "a@b", "xy", "you", "Mail", "lan", "zzz", "Some"));
    EXPECT_EQ("Wrong Alert Level !\n", out);
    EXPECT_TRUE(fake->requests.empty());

    // Alerts off need no medium; short words leave their fields empty.
    EXPECT_EQ(0, set("2", "ops", "x", "x", "x", "Mail", "none", "x", "Disable"));
    auto pairs = pairsOf(fake->requests.at(0).payload);
    EXPECT_EQ("", pairs["NOTIFICATION_METHOD"]);
    EXPECT_EQ("Disable Alerts", pairs["ALERT_LEVEL"]);
    EXPECT_EQ("", pairs["EMAIL_ID"]);
    EXPECT_EQ("ops", pairs["RECIPIENT_NAME"]);
}

TEST_F(PefCli, OverlongWordsAndIndexesAreRefusedBeforeSending) {
    const std::string longWord(32, 'w');
    EXPECT_EQ(-1, set("1", longWord.c_str(), "a@b", "xy", "you", "Mail", "lan", "zzz", "All"));
    EXPECT_EQ(-1, set("1", "n", "a@b", "xy", "you", "Mail", "lan", longWord.c_str(), "All"));
    EXPECT_EQ(-1, set("259", "n", "a@b", "xy", "you", "Mail", "lan", "zzz", "All"));
    EXPECT_TRUE(fake->requests.empty());
    const std::string fits(31, 'w');
    EXPECT_EQ(0, set("8", fits.c_str(), "a@b", "xy", "you", "Mail", "lan", "zzz", "All"));
    EXPECT_EQ(fits, pairsOf(fake->requests.at(0).payload)["RECIPIENT_NAME"]);

    fake->queue(5);
    EXPECT_EQ(5, set("8", "n", "a@b", "xy", "you", "Mail", "lan", "zzz", "All"));
    EXPECT_NE(std::string::npos,
              out.find("Error while get number of Records, Permission denied\n"));
}

}  // namespace
}  // namespace vorl::cli
