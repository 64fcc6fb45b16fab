#include "cardsim/sim_users_group.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/md5.h"
#include "protocol/text_field.h"
#include "wire/command_header.h"

namespace vorl::sim {
namespace {

class UsersGroupTest : public ::testing::Test {
protected:
    void SetUp() override { group.setDefaults(); }

    uint16_t run(uint16_t command, const std::vector<uint8_t>& payload = {}) {
        SimRequest request;
        request.command = command;
        request.payload = payload.data();
        request.length = static_cast<uint32_t>(payload.size());
        reply = SimReply();
        std::fill(replyBytes.begin(), replyBytes.end(), 0);
        reply.payload = replyBytes.data();
        group.handle(request, reply);
        return reply.status;
    }
    static std::vector<uint8_t> user(const std::string& name, const std::string& password) {
        std::vector<uint8_t> record(64);
        putTextField(record.data(), 32, name);
        putTextField(record.data() + 32, 32, password);
        return record;
    }
    static std::vector<uint8_t> snmp(const std::string& name, const std::string& auth,
                                     const std::string& priv, const std::string& password) {
        std::vector<uint8_t> record(128);
        putTextField(record.data(), 32, name);
        putTextField(record.data() + 32, 32, auth);
        putTextField(record.data() + 64, 32, priv);
        putTextField(record.data() + 96, 32, password);
        return record;
    }
    std::string field(size_t offset, size_t width) const {
        return getTextField(replyBytes.data() + offset, width);
    }
    std::vector<std::string> names() {
        run(0x0503);
        std::vector<std::string> out;
        for (size_t i = 0; i < reply.length / 32; ++i) out.push_back(field(32 * i, 32));
        return out;
    }

    SimUsersGroup group;
    SimReply reply;
    std::vector<uint8_t> replyBytes = std::vector<uint8_t>(CommandHeader::kMaxPayload);
};

TEST_F(UsersGroupTest, ListsNamesThenPasswords) {
    EXPECT_EQ(names(), std::vector<std::string>{"admin"});
    ASSERT_EQ(run(0x0500, user("operator", "pass-word")), 0);
    EXPECT_TRUE(reply.stateChanged);
    ASSERT_EQ(run(0x0502), 0);
    EXPECT_FALSE(reply.stateChanged);
    ASSERT_EQ(reply.length, 128u);
    EXPECT_EQ(field(0, 32), "admin");
    EXPECT_EQ(field(32, 32), "operator");
    EXPECT_EQ(field(64, 32), "vorladmin");
    EXPECT_EQ(field(96, 32), "pass-word");
}

TEST_F(UsersGroupTest, FullWidthTextsKeepAll32Bytes) {
    const std::string name(32, 'n');
    const std::string password(32, 'p');
    ASSERT_EQ(run(0x0500, user(name, password)), 0);
    ASSERT_EQ(run(0x0502), 0);
    EXPECT_EQ(field(32, 32), name);
    EXPECT_EQ(field(96, 32), password);
    // The same name cut at 31 characters is a different account.
    EXPECT_EQ(run(0x0500, user(name.substr(0, 31), "x")), 0);
    EXPECT_EQ(run(0x0500, user(name, "other")), 15);
}

TEST_F(UsersGroupTest, AccountLimitsAndRefusals) {
    EXPECT_EQ(run(0x0500, user("admin", "again")), 15);
    EXPECT_EQ(run(0x0500, user("", "password")), 28);
    EXPECT_FALSE(reply.stateChanged);
    EXPECT_EQ(run(0x0500, std::vector<uint8_t>(63)), 28);
    for (int i = 1; i < 16; ++i) ASSERT_EQ(run(0x0500, user("u" + std::to_string(i), "p")), 0);
    EXPECT_EQ(run(0x0500, user("seventeenth", "p")), 18);
    // A duplicate is reported as such even on a full table.
    EXPECT_EQ(run(0x0500, user("u3", "p")), 15);
    EXPECT_EQ(names().size(), 16u);
    ASSERT_EQ(run(0x0501, user("u3", "fillerpwd")), 0);
    EXPECT_EQ(run(0x0500, user("seventeenth", "p")), 0);
}

TEST_F(UsersGroupTest, DeleteSelectsByNameOnly) {
    EXPECT_EQ(run(0x0501, user("ghost", "fillerpwd")), 16);
    EXPECT_FALSE(reply.stateChanged);
    EXPECT_EQ(run(0x0501, user("", "fillerpwd")), 28);
    EXPECT_EQ(run(0x0501, user("admin", "fillerpwd")), 0);
    EXPECT_TRUE(reply.stateChanged);
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(reply.length, 0u);
}

TEST_F(UsersGroupTest, SnmpUsersCheckProtocolsAndListInFourBlocks) {
    EXPECT_EQ(run(0x0506, snmp("s1", "md5", "DES", "pw")), 28);
    EXPECT_EQ(run(0x0506, snmp("s1", "MD5", "AES", "pw")), 28);
    EXPECT_EQ(run(0x0506, snmp("", "MD5", "DES", "pw")), 28);
    EXPECT_EQ(run(0x0506, std::vector<uint8_t>(127)), 28);
    ASSERT_EQ(run(0x0506, snmp("s1", "MD5", "DES", "pw-one")), 0);
    ASSERT_EQ(run(0x0506, snmp("s2", "SHA", "NONE", "pw-two")), 0);
    EXPECT_EQ(run(0x0506, snmp("s2", "MD5", "DES", "x")), 15);
    ASSERT_EQ(run(0x0507), 0);
    ASSERT_EQ(reply.length, 160u);
    EXPECT_EQ(field(0, 32), "s1");
    EXPECT_EQ(field(32, 32), "s2");
    EXPECT_EQ(field(64, 32), "pw-one");
    EXPECT_EQ(field(96, 32), "pw-two");
    EXPECT_EQ(field(128, 8), "MD5");
    EXPECT_EQ(field(136, 8), "SHA");
    EXPECT_EQ(field(144, 8), "DES");
    EXPECT_EQ(field(152, 8), "NONE");
    // SNMP users are not login accounts.
    EXPECT_EQ(names(), std::vector<std::string>{"admin"});
    for (int i = 3; i <= 16; ++i)
        ASSERT_EQ(run(0x0506, snmp("s" + std::to_string(i), "SHA", "DES", "p")), 0);
    EXPECT_EQ(run(0x0506, snmp("s17", "SHA", "DES", "p")), 18);
}

TEST_F(UsersGroupTest, UnknownCommandsOfTheGroup) {
    for (uint16_t code : {0x0504, 0x0505, 0x0508, 0x05FF}) {
        EXPECT_EQ(run(code), 32) << code;
        EXPECT_EQ(reply.length, 0u);
    }
    EXPECT_TRUE(group.handles(0x05FF));
    EXPECT_FALSE(group.handles(0x0600));
    EXPECT_FALSE(group.handles(0x0001));
}

TEST_F(UsersGroupTest, CheckLoginUsesPasswordThenChallenge) {
    const uint8_t challenge[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::string input = std::string("vorladmin") + std::string(challenge, challenge + 8);
    uint8_t digest[16];
    ASSERT_TRUE(
        platform::md5(reinterpret_cast<const uint8_t*>(input.data()), input.size(), digest));
    EXPECT_TRUE(group.checkLogin("admin", digest, challenge));
    EXPECT_FALSE(group.checkLogin("Admin", digest, challenge));
    const uint8_t otherChallenge[8] = {1, 2, 3, 4, 5, 6, 7, 9};
    EXPECT_FALSE(group.checkLogin("admin", digest, otherChallenge));

    // A 32-character password (no NUL on the wire) still checks.
    const std::string longPassword(32, 'q');
    ASSERT_EQ(run(0x0500, user("long", longPassword)), 0);
    const std::string longInput = longPassword + std::string(challenge, challenge + 8);
    ASSERT_TRUE(platform::md5(reinterpret_cast<const uint8_t*>(longInput.data()), longInput.size(),
                              digest));
    EXPECT_TRUE(group.checkLogin("long", digest, challenge));
}

class UsersPersistenceTest : public UsersGroupTest {
protected:
    void SetUp() override {
        UsersGroupTest::SetUp();
        dir =
            std::filesystem::temp_directory_path() /
            ("vorlsim-users-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::filesystem::path dir;
};

TEST_F(UsersPersistenceTest, RoundTripThroughTheStateDirectory) {
    ASSERT_EQ(run(0x0500, user(std::string(32, 'x'), "pw1")), 0);
    ASSERT_EQ(run(0x0501, user("admin", "")), 0);
    ASSERT_EQ(run(0x0506, snmp("trap", "SHA", "NONE", std::string(32, 's'))), 0);
    group.save(dir);
    EXPECT_FALSE(std::filesystem::exists(dir / "users.dat.tmp"));

    SimUsersGroup loaded;
    loaded.setDefaults();
    loaded.load(dir);
    ASSERT_EQ(loaded.accounts().size(), 1u);
    EXPECT_EQ(loaded.accounts()[0].name, std::string(32, 'x'));
    EXPECT_EQ(loaded.accounts()[0].password, "pw1");
    ASSERT_EQ(loaded.snmpUsers().size(), 1u);
    EXPECT_EQ(loaded.snmpUsers()[0].name, "trap");
    EXPECT_EQ(loaded.snmpUsers()[0].authProtocol, "SHA");
    EXPECT_EQ(loaded.snmpUsers()[0].privProtocol, "NONE");
    EXPECT_EQ(loaded.snmpUsers()[0].password, std::string(32, 's'));
}

TEST_F(UsersPersistenceTest, MissingOrDamagedFileKeepsDefaults) {
    SimUsersGroup loaded;
    loaded.setDefaults();
    loaded.load(dir);  // nothing saved yet
    ASSERT_EQ(loaded.accounts().size(), 1u);

    ASSERT_EQ(run(0x0500, user("second", "pw")), 0);
    group.save(dir);
    const auto file = dir / "users.dat";
    const auto size = std::filesystem::file_size(file);
    std::filesystem::resize_file(file, size - 1);  // a torn write
    loaded.load(dir);
    EXPECT_EQ(loaded.accounts().size(), 1u);
    EXPECT_EQ(loaded.accounts()[0].name, "admin");

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "VORLUSR1\x11";  // 17 accounts
    loaded.load(dir);
    EXPECT_EQ(loaded.accounts().size(), 1u);
}

}  // namespace
}  // namespace vorl::sim
