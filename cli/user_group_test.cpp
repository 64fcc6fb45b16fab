#include "cli/user_group.h"

#include <gtest/gtest.h>

#include <cstring>

#include "cli/group_handlers.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

using test::FakeTransport;

struct Outcome {
    int result;
    std::string out;
};

class UserGroupTest : public ::testing::Test {
protected:
    UserGroupTest() {
        auto owned = std::make_unique<FakeTransport>();
        transport = owned.get();
        session = std::make_unique<CardSession>(std::move(owned));
    }

    Outcome run(Words words) {
        words.insert(words.begin(), {"admin", "-user"});
        ::testing::internal::CaptureStdout();
        const int result = runUserGroup(*session, words);
        std::fflush(stdout);
        return {result, ::testing::internal::GetCapturedStdout()};
    }

    // The text of a request's field at `offset`, up to its NUL.
    std::string field(size_t request, size_t offset, size_t width) const {
        const auto& payload = transport->requests.at(request).payload;
        const char* begin = reinterpret_cast<const char*>(payload.data()) + offset;
        return std::string(begin, strnlen(begin, width));
    }

    FakeTransport* transport = nullptr;
    std::unique_ptr<CardSession> session;
};

std::vector<uint8_t> textFields(std::initializer_list<std::pair<std::string, size_t>> fields) {
    std::vector<uint8_t> bytes;
    for (const auto& [text, width] : fields) {
        std::vector<uint8_t> field(width, 0);
        std::memcpy(field.data(), text.data(), std::min(text.size(), width));
        bytes.insert(bytes.end(), field.begin(), field.end());
    }
    return bytes;
}

TEST(IsValidAccountText, AcceptsLettersDigitsDashAndUnderscoreOnly) {
    EXPECT_TRUE(isValidAccountText(""));
    EXPECT_TRUE(isValidAccountText("Admin_2-ops"));
    EXPECT_TRUE(isValidAccountText("azAZ09-_"));
    for (const char* bad : {"a.b", "a@b", "a b", "tab\t", "caf\xc3\xa9", "x\x7f", "semi;"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(isValidAccountText(bad));
    }
}

TEST_F(UserGroupTest, OwnChecksRefuseWith26AndSendNothing) {
    const std::string name31(31, 'n');
    const std::string password31(31, 'p');
    struct Case {
        Words words;
        std::string message;
    };
    const Case cases[] = {
        {{"-add", name31, "password"}, "Username cannot be more than 30 characters long\n"},
        {{"-add", "bob", password31}, "Password cannot be more than 30 characters long\n"},
        {{"-add", "bob.b", "password"}, "Username contains invalid characters\n"},
        {{"-add", "bob", "passwor"}, "Password needs to be a minimum of 8 characters\n"},
        {{"-add", "bob", "pass@word"}, "Password contains invalid characters\n"},
        // The length checks come before the character checks.
        {{"-add", name31 + ".", "x"}, "Username cannot be more than 30 characters long\n"},
        {{"-del", name31}, "Username cannot be more than 30 characters long\n"},
        {{"-add", name31, "pw", "MD5", "DES"}, "Username cannot be more than 30 characters long\n"},
        {{"-add", "bob", "pw!", "MD5", "DES"}, "Password contains invalid characters\n"},
        {{"-add", "b@b", "pw", "md5", "DES"}, "Username contains invalid characters\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[1]);
        const Outcome r = run(c.words);
        EXPECT_EQ(r.result, 26);
        EXPECT_EQ(r.out, c.message);
    }
    EXPECT_TRUE(transport->requests.empty());
}

TEST_F(UserGroupTest, InvalidWordsReturnMinusOneAndSendNothing) {
    const Words cases[] = {
        {},
        {"listAll"},            // no dash
        {"-listAll", "extra"},  // wrong word count
        {"-list"},
        {"-add", "bob"},
        {"-add", "bob", "password", "MD5"},
        {"-del", "bob", "pw", "MD5", "NONE"},  // seven words, but -del
        {"-DEL", "bob", "pw", "MD5", "NONE"},
        {"-add", "bob", "pw", "MD5", "NONE", "x"},
    };
    for (const Words& words : cases) {
        EXPECT_EQ(run(words).result, -1);
    }
    const Outcome auth = run({"-add", "bob", "pw", "md5", "NONE"});
    EXPECT_EQ(auth.result, -1);
    EXPECT_EQ(auth.out, "Invalid Auth Protocol:md5\nValid input:MD5/SHA");
    const Outcome priv = run({"-add", "bob", "pw", "SHA", "none"});
    EXPECT_EQ(priv.result, -1);
    EXPECT_EQ(priv.out, "Invalid Priv Protocol:none\nValid input:DES/NONE");
    EXPECT_TRUE(transport->requests.empty());
}

TEST_F(UserGroupTest, AddFormsSendTheirRecords) {
    const std::string name30(30, 'n');
    EXPECT_EQ(run({"-ADD", name30, "pass_w-8"}).result, 0);
    // The seven-word form adds an SNMP user whatever its sub-command, with no minimum length.
    EXPECT_EQ(run({"-xyz", "snmp_1", "pw", "SHA", "NONE"}).result, 0);
    ASSERT_EQ(transport->requests.size(), 2u);

    EXPECT_EQ(transport->requests[0].command, 0x0500);
    EXPECT_EQ(transport->requests[0].payload.size(), 64u);
    EXPECT_EQ(field(0, 0, 32), name30);
    EXPECT_EQ(field(0, 32, 32), "pass_w-8");

    EXPECT_EQ(transport->requests[1].command, 0x0506);
    ASSERT_EQ(transport->requests[1].payload.size(), 128u);
    EXPECT_EQ(field(1, 0, 32), "snmp_1");
    EXPECT_EQ(field(1, 32, 32), "SHA");
    EXPECT_EQ(field(1, 64, 32), "NONE");
    EXPECT_EQ(field(1, 96, 32), "pw");
}

TEST_F(UserGroupTest, DeleteSendsTheNameWithAFillerPassword) {
    transport->queue(16);
    const Outcome r = run({"-Del", "ghost"});
    EXPECT_EQ(r.result, 16);
    EXPECT_EQ(r.out, "Remove user failed, Resource not exist\n");
    ASSERT_EQ(transport->requests.size(), 1u);
    EXPECT_EQ(transport->requests[0].command, 0x0501);
    EXPECT_EQ(field(0, 0, 32), "ghost");
    EXPECT_EQ(field(0, 32, 32), "fillerpwd");
}

TEST_F(UserGroupTest, CardFailuresArePrintedWithTheStatusMessage) {
    transport->queue(15);
    Outcome r = run({"-add", "bob", "password"});
    EXPECT_EQ(r.result, 15);
    EXPECT_EQ(r.out, "Add user failed, Already exists\n");

    transport->queue(test::ScriptedResponse{0, {}, 1});  // transport failure
    r = run({"-add", "bob", "pw", "MD5", "DES"});
    EXPECT_EQ(r.result, 33);
    EXPECT_EQ(r.out, "Add SNMP user failed, Error during connect \n");
}

TEST_F(UserGroupTest, ListsPrintEveryEntryAndFullFieldsWithTheirWidthOnly) {
    const std::string full(32, 'F');  // fills its field: no NUL on the wire
    transport->queue(0, textFields({{"admin", 32}, {full, 32}, {"vorladmin", 32}, {"pw2", 32}}));
    Outcome r = run({"-listall"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "User 1: admin Password: vorladmin \nUser 2: " + full + " Password: pw2 \n");

    transport->queue(0, textFields({{"admin", 32}, {full, 32}, {"extra", 20}}));
    r = run({"-LISTALLUSER"});
    EXPECT_EQ(r.out, "User 1: admin \nUser 2: " + full + " \n");

    transport->queue(5);  // a refused list prints nothing and returns the status
    r = run({"-listAllUser"});
    EXPECT_EQ(r.result, 5);
    EXPECT_EQ(r.out, "");
}

TEST_F(UserGroupTest, SnmpListReportsErrorsEmptinessAndEntries) {
    transport->queue(2);
    Outcome r = run({"-getSnmp"});
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.out, "Error in getting SNMP users' infomation\n");

    transport->queue(0);
    r = run({"-getsnmp"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out, "No SNMP user found in the system !\n");

    transport->queue(0, textFields({{"u1", 32},
                                    {"u2", 32},
                                    {"p1", 32},
                                    {"p2", 32},
                                    {"MD5", 8},
                                    {"SHA", 8},
                                    {"DES", 8},
                                    {"NONE", 8}}));
    r = run({"-GETSNMP"});
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.out,
              "SNMP users in the system:\n"
              "User 1: u1 Password: p1 Auth Protocol: MD5 Priv Protocol: DES\n"
              "User 2: u2 Password: p2 Auth Protocol: SHA Priv Protocol: NONE\n");
}

}  // namespace
}  // namespace vorl::cli
