// The service's own logins and sessions: accounts made through Redfish survive a restart, the
// configuration file's stay as the file says, a damaged state file stops the start, and a
// session ends when unused for its timeout.
#include "redfish/service_accounts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "redfish/session_store.h"
#include "tests/support/temp_dir.h"

namespace vorl::redfish {
namespace {

using Outcome = ServiceAccounts::Outcome;

TEST(ServiceAccountsTest, AccountsMadeThroughRedfishSurviveARestartAndTheFilesStayAsItSays) {
    test::TempDir dir;
    const std::string folder = dir.file("state");
    const std::vector<AccountConfig> configured = {
        {"ops", PasswordCheck::hash("Ops-Pass-1"), Role::Administrator}};
    std::string error;
    std::string uuid;
    {
        ServiceState state;
        ASSERT_TRUE(state.open(folder, error)) << error;
        uuid = state.uuid();
        std::vector<std::string> shadowed;
        ServiceAccounts accounts(configured, state, shadowed);
        EXPECT_EQ(Outcome::Done, accounts.add("alice.b", "Alice-Pass-1", Role::Operator));
        EXPECT_EQ(Outcome::Exists, accounts.add("alice.b", "Other-Pass-1", Role::Operator));
        EXPECT_EQ(Outcome::Exists, accounts.add("ops", "Other-Pass-1", Role::ReadOnly));
        EXPECT_EQ(Outcome::BadPassword, accounts.add("bob", "short", Role::ReadOnly));
        EXPECT_EQ(Outcome::Done, accounts.add("bob", "Bob-Pass-11", Role::ReadOnly));
        EXPECT_EQ(Outcome::Done, accounts.setPassword("alice.b", "Alice-Pass-2"));
        EXPECT_EQ(Outcome::Done, accounts.remove("bob"));
        EXPECT_EQ(Outcome::Configured, accounts.remove("ops"));
        EXPECT_EQ(Outcome::Configured, accounts.setPassword("ops", "Ops-Pass-2"));
        EXPECT_EQ(Outcome::Configured, accounts.setRole("ops", Role::ReadOnly));
        EXPECT_FALSE(accounts.authenticate("ops", "Ops-Pass-2"));
        EXPECT_EQ(Role::Administrator, accounts.authenticate("ops", "Ops-Pass-1"));
    }
    struct stat status {};
    ASSERT_EQ(0, ::stat((folder + "/service.json").c_str(), &status));
    EXPECT_EQ(0600u, status.st_mode & 0777);  // bcrypt hashes: for the service's eyes only
    ServiceState state;
    ASSERT_TRUE(state.open(folder, error)) << error;
    EXPECT_EQ(uuid, state.uuid());
    // The configuration file now has an alice.b of its own: the file wins.
    std::vector<std::string> shadowed;
    ServiceAccounts again({configured[0], {"alice.b", configured[0].passwordHash, Role::ReadOnly}},
                          state, shadowed);
    EXPECT_EQ(std::vector<std::string>{"alice.b"}, shadowed);
    EXPECT_EQ(Role::ReadOnly, again.authenticate("alice.b", "Ops-Pass-1"));
    ServiceAccounts plain(configured, state, shadowed);
    EXPECT_EQ(Role::Operator, plain.authenticate("alice.b", "Alice-Pass-2"));
    EXPECT_FALSE(plain.authenticate("alice.b", "Alice-Pass-1"));
    EXPECT_FALSE(plain.find("bob"));
    EXPECT_FALSE(plain.authenticate("nobody", "Alice-Pass-2"));
}

TEST(ServiceStateTest, ADamagedStateFileStopsTheStartWithItsName) {
    test::TempDir dir;
    std::ofstream(dir.file("service.json")) << "{\"uuid\": 3";
    ServiceState state;
    std::string error;
    EXPECT_FALSE(state.open(dir.path().string(), error));
    EXPECT_NE(std::string::npos, error.find("service.json is damaged")) << error;
}

SessionStore::Clock::time_point fakeNow;
SessionStore::Clock::time_point now() {
    return fakeNow;
}

TEST(SessionStoreTest, AnUnusedSessionEndsAfterItsTimeoutAndOnlyItsTokenOpensIt) {
    fakeNow = SessionStore::Clock::now();
    SessionStore sessions(std::chrono::seconds(60), now);
    const auto opened = sessions.open("ops", Role::Operator);
    ASSERT_TRUE(opened);
    const auto& [session, token] = *opened;
    EXPECT_EQ(32u, token.size());  // 128 random bits
    EXPECT_EQ(std::string::npos, token.find_first_not_of("0123456789abcdef"));
    EXPECT_FALSE(sessions.use(session.id));  // the session's id (in its URI) opens nothing
    fakeNow += std::chrono::seconds(59);
    EXPECT_TRUE(sessions.use(token));  // used: its idle time starts again
    fakeNow += std::chrono::seconds(59);
    EXPECT_TRUE(sessions.use(token));
    fakeNow += std::chrono::seconds(61);
    EXPECT_FALSE(sessions.use(token));
    EXPECT_TRUE(sessions.list().empty());

    for (size_t i = 0; i < SessionStore::kMaxSessions; ++i)
        ASSERT_TRUE(sessions.open("ops", Role::Operator));
    EXPECT_FALSE(sessions.open("ops", Role::Operator));  // the limit
    sessions.closeUser("ops");
    EXPECT_TRUE(sessions.open("ops", Role::Operator));
}

}  // namespace
}  // namespace vorl::redfish
