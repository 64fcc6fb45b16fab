// Group 0x05: how the list answers are unpacked and what the add/delete requests carry.
#include <gtest/gtest.h>

#include <cstring>

#include "protocol/card_session.h"
#include "tests/support/fake_session.h"
#include "tests/support/fake_transport.h"

namespace vorl {
namespace {

using test::FakeTransport;

std::vector<uint8_t> fields(std::initializer_list<std::pair<const char*, size_t>> texts) {
    std::vector<uint8_t> out;
    for (const auto& [text, width] : texts) {
        std::vector<uint8_t> field(width, 0);
        std::memcpy(field.data(), text, std::min(std::strlen(text), width));
        out.insert(out.end(), field.begin(), field.end());
    }
    return out;
}

struct UsersFixture : test::FakeSessionTest {};

TEST_F(UsersFixture, ListUsersTakesNamesThenPasswords) {
    fake->queue(
        0,
        fields({{"ann", 32}, {"bob", 32}, {"cy", 32}, {"pw-a", 32}, {"pw-b", 32}, {"pw-c", 32}}));
    UserRecord users[16];
    int count = -1;
    EXPECT_EQ(0, session->listUsers(users, 16, count));
    ASSERT_EQ(3, count);
    EXPECT_EQ("bob", fieldText(users[1].name, 32));
    EXPECT_EQ("pw-c", fieldText(users[2].password, 32));
    EXPECT_EQ(0x0502, fake->requests[0].command);
}

TEST_F(UsersFixture, RemaindersAreIgnoredAndCountsStopAtCapacity) {
    std::vector<uint8_t> hundred = fields({{"ann", 32}, {"pw", 32}});
    hundred.resize(100, 'x');
    fake->queue(0, hundred);
    UserRecord users[16];
    int count = -1;
    session->listUsers(users, 16, count);
    EXPECT_EQ(1, count);

    // 20 names for a caller that holds 2.
    fake->queue(0, std::vector<uint8_t>(20 * 32, 'n'));
    char names[2][32];
    session->listUserNames(names, 2, count);
    EXPECT_EQ(2, count);

    fake->queue(0);
    session->listUserNames(names, 2, count);
    EXPECT_EQ(0, count);
}

TEST_F(UsersFixture, SnmpListReadsEachColumnAtItsOffset) {
    fake->queue(0, fields({{"one", 32},
                           {"two", 32},
                           {"p1", 32},
                           {"p2", 32},
                           {"MD5", 8},
                           {"SHA", 8},
                           {"DES", 8},
                           {"NONE", 8}}));
    SnmpUserRecord users[16];
    int count = 0;
    EXPECT_EQ(0, session->listSnmpUsers(users, 16, count));
    ASSERT_EQ(2, count);
    EXPECT_EQ("two", fieldText(users[1].name, 32));
    EXPECT_EQ("p2", fieldText(users[1].password, 32));
    EXPECT_EQ("SHA", fieldText(users[1].authProtocol, 32));   // byte 136
    EXPECT_EQ("NONE", fieldText(users[1].privProtocol, 32));  // byte 152
}

TEST_F(UsersFixture, AFullWidthNameIsKeptWithoutReadingPastIt) {
    const std::string full(32, 'N');
    fake->queue(0, fields({{full.c_str(), 32}, {"pw", 32}}));
    UserRecord users[1];
    int count = 0;
    session->listUsers(users, 1, count);
    EXPECT_EQ(full, fieldText(users[0].name, 32));
}

TEST_F(UsersFixture, FailedListsCountNothing) {
    test::ScriptedResponse broken;
    broken.transportResult = 1;
    fake->queue(broken);
    UserRecord users[16];
    int count = -1;
    EXPECT_EQ(33, session->listUsers(users, 16, count));
    EXPECT_EQ(0, count);
}

TEST_F(UsersFixture, RequestsCarryTheirRecords) {
    session->addUser("operator", "secret123");
    SnmpUserRecord snmp;
    setField(snmp.name, 32, "mon");
    setField(snmp.authProtocol, 32, "MD5");
    setField(snmp.privProtocol, 32, "DES");
    setField(snmp.password, 32, "monpass1");
    session->addSnmpUser(snmp);
    UserRecord gone;
    setField(gone.name, 32, "operator");
    setField(gone.password, 32, "fillerpwd");
    session->deleteUser(gone);

    ASSERT_EQ(3u, fake->requests.size());
    EXPECT_EQ(0x0500, fake->requests[0].command);
    EXPECT_EQ(fields({{"operator", 32}, {"secret123", 32}}), fake->requests[0].payload);
    EXPECT_EQ(0x0506, fake->requests[1].command);
    EXPECT_EQ(fields({{"mon", 32}, {"MD5", 32}, {"DES", 32}, {"monpass1", 32}}),
              fake->requests[1].payload);
    EXPECT_EQ(0x0501, fake->requests[2].command);
    EXPECT_EQ(fields({{"operator", 32}, {"fillerpwd", 32}}), fake->requests[2].payload);
}

}  // namespace
}  // namespace vorl
