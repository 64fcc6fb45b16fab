// The password change against the simulated card, with a fault at every step: afterwards the
// card holds the account with its old or its new password, the caller can still log in, no
// backup account is left unless the result names it, and the result says what happened.
#include "protocol/account_change.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <tuple>

#include "cardsim/sim_card.h"
#include "cardsim/sim_network_session.h"
#include "cardsim/sim_users_group.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "wire/command_header.h"

namespace vorl {
namespace {

// One fault, on requests `number` to `last` (from 1, over every connection) of `command`, as
// vorlsim's --fault-on does it; and connections that cannot be made from connection
// `unreachableFrom` on.
struct Fault {
    enum Kind { None, DropAfter, Refuse };
    Kind kind = None;
    uint16_t command = 0;
    uint32_t number = 0;
    uint32_t last = 0;
    uint16_t status = 0;
    int unreachableFrom = 0;
    std::map<uint16_t, uint32_t> seen;
    int connections = 0;
};

// A connection to the in-process card that logs in like its TCP server.
class SimLink : public CardTransport {
public:
    SimLink(sim::SimCard& card, Fault& fault) : card_(card), login_(card), fault_(fault) {}

    int transact(const uint8_t* request, uint32_t& responseLength, uint8_t* response,
                 uint32_t) override {
        if (dead_) return 1;
        sim::SimRequest simRequest;
        simRequest.command = CommandHeader::commandCode(request);
        simRequest.payload = request + CommandHeader::kSize;
        simRequest.length = CommandHeader::payloadLength(request);
        const uint32_t seen =
            simRequest.command == fault_.command ? ++fault_.seen[simRequest.command] : 0;
        const bool hit = fault_.kind != Fault::None && seen >= fault_.number && seen <= fault_.last;
        sim::SimReply reply;
        reply.payload = response + CommandHeader::kSize;
        if (hit && fault_.kind == Fault::Refuse) {
            reply.status = fault_.status;
        } else {
            std::memset(reply.payload, 0, CommandHeader::kMaxPayload);
            login_.handle(simRequest, reply);
        }
        if (hit && fault_.kind == Fault::DropAfter) {
            dead_ = true;
            return 1;
        }
        CommandHeader::buildResponse(response, simRequest.command, reply.status, reply.length);
        responseLength = CommandHeader::kSize + reply.length;
        return 0;
    }
    int connect() override {
        ++fault_.connections;
        return fault_.unreachableFrom != 0 && fault_.connections >= fault_.unreachableFrom;
    }
    int disconnect() override { return 0; }

private:
    sim::SimCard& card_;
    sim::SimNetworkSession login_;
    Fault& fault_;
    bool dead_ = false;
};

class AccountChangeTest : public ::testing::Test {
protected:
    AccountChangeTest()
        : connector(
              [this] {
                  return std::make_unique<CardSession>(std::make_unique<SimLink>(card, fault));
              },
              CardLogin{"admin", "vorladmin"}) {}

    // Adds `count` accounts besides admin, then opens the caller's session as admin.
    void start(int count = 1) {
        auto* users = card.group<sim::SimUsersGroup>();
        for (int i = 0; i < count; ++i) {
            CardSession direct(std::make_unique<SimLink>(card, unfaulty));
            ASSERT_EQ(direct.login("admin", "vorladmin"), 0);
            const std::string name = i == 0 ? "bob" : "user" + std::to_string(i);
            ASSERT_EQ(direct.addUser(name, name + "-old-pw"), 0);
        }
        ASSERT_EQ(users->accounts().size(), static_cast<size_t>(count + 1));
        ASSERT_EQ(connector.open(session), 0);
    }
    // The password the card holds for `name`, or "(none)".
    std::string password(const std::string& name) {
        for (const auto& a : card.group<sim::SimUsersGroup>()->accounts())
            if (a.name == name) return a.password;
        return "(none)";
    }
    bool logsIn(const std::string& name, const std::string& pw) {
        CardSession probe(std::make_unique<SimLink>(card, unfaulty));
        return probe.login(name, pw) == 0;
    }
    int backups() {
        int n = 0;
        for (const auto& a : card.group<sim::SimUsersGroup>()->accounts())
            n += a.name.rfind(AccountChange::kBackupPrefix, 0) == 0;
        return n;
    }

    platform::SleepRecorder sleeps;  // the connector's retry pauses are counted, not waited for
    sim::SimOptions options;
    sim::SimCard card{std::filesystem::path(), options};
    Fault fault;
    Fault unfaulty;
    CardConnector connector;
    std::unique_ptr<CardSession> session;
};

struct Case {
    const char* what;
    Fault fault;
    int status;
    AccountStep step;
    AccountHeld held;
    bool backupLeft;
};

Fault on(Fault::Kind kind, uint16_t command, uint32_t number, uint16_t status = 0,
         uint32_t last = 0) {
    Fault f;
    f.kind = kind;
    f.command = command;
    f.number = number;
    f.last = last == 0 ? number : last;
    f.status = status;
    return f;
}

TEST_F(AccountChangeTest, AnotherAccountIsNeverLost) {
    const Case cases[] = {
        {"no fault", {}, 0, AccountStep::None, AccountHeld::New, false},
        {"drop after the delete", on(Fault::DropAfter, 0x0501, 1), 33, AccountStep::Delete,
         AccountHeld::Old, false},
        {"add refused", on(Fault::Refuse, 0x0500, 1, 18), 18, AccountStep::Add, AccountHeld::Old,
         false},
        {"drop after the add", on(Fault::DropAfter, 0x0500, 1), 0, AccountStep::None,
         AccountHeld::New, false},
        {"delete refused", on(Fault::Refuse, 0x0501, 1, 5), 5, AccountStep::Delete,
         AccountHeld::Old, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session.reset();
        card.restart(true);
        fault = c.fault;
        start();
        const AccountChangeResult r = AccountChange(*session).replace({"bob", "bob-new-pw", {}});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.failedStep, c.step);
        EXPECT_EQ(r.held, c.held);
        EXPECT_EQ(password("bob"), c.held == AccountHeld::New ? "bob-new-pw" : "bob-old-pw");
        EXPECT_EQ(r.restoreTried, c.held == AccountHeld::Old && c.status != 5);
        EXPECT_EQ(describeAccountChange(r, "bob").empty(), c.status == 0);
        // The caller's session works, over a new connection when the old one dropped.
        int count = 0;
        UserRecord users[16];
        EXPECT_EQ(session->listUsers(users, 16, count), 0);
        EXPECT_EQ(connector.login().password, "vorladmin");
    }
}

TEST_F(AccountChangeTest, ARefusedRestoreIsReportedAsAMissingAccount) {
    fault = on(Fault::Refuse, 0x0500, 1, 18, 2);  // the add and the restore
    start();
    const AccountChangeResult r = AccountChange(*session).replace({"bob", "bob-new-pw", {}});
    EXPECT_EQ(std::make_tuple(r.status, r.failedStep, r.held, r.restoreStatus),
              std::make_tuple(18, AccountStep::Add, AccountHeld::Missing, 18));
    EXPECT_EQ(describeAccountChange(r, "bob"),
              "adding the account with its new password failed (Insufficient space); putting the "
              "old account back failed (Insufficient space): bob is missing from the card");
    EXPECT_TRUE(logsIn("admin", "vorladmin"));
}

TEST_F(AccountChangeTest, TheLoginAccountKeepsAWorkingLoginAtEveryStep) {
    const Case cases[] = {
        {"no fault", {}, 0, AccountStep::None, AccountHeld::New, false},
        {"backup refused", on(Fault::Refuse, 0x0500, 1, 18), 18, AccountStep::Backup,
         AccountHeld::Old, false},
        {"drop after the backup", on(Fault::DropAfter, 0x0500, 1), 33, AccountStep::Backup,
         AccountHeld::Old, false},
        {"drop after the delete", on(Fault::DropAfter, 0x0501, 1), 33, AccountStep::Delete,
         AccountHeld::Old, false},
        {"add refused", on(Fault::Refuse, 0x0500, 2, 18), 18, AccountStep::Add, AccountHeld::Old,
         false},
        {"drop after the add", on(Fault::DropAfter, 0x0500, 2), 0, AccountStep::None,
         AccountHeld::New, false},
        {"new login refused", on(Fault::Refuse, 0x0002, 2, 1), 1, AccountStep::Prove,
         AccountHeld::Old, false},
        {"drop after the backup is removed", on(Fault::DropAfter, 0x0501, 2), 0, AccountStep::None,
         AccountHeld::New, false},
        {"backup removal refused", on(Fault::Refuse, 0x0501, 2, 5), 5, AccountStep::RemoveBackup,
         AccountHeld::New, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        session.reset();
        card.restart(true);
        connector.setLoginPassword("vorladmin");
        fault = c.fault;
        start();
        const AccountChangeResult r =
            AccountChange(*session).replace({"admin", "admin-new-pw", {}});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.failedStep, c.step);
        EXPECT_EQ(r.held, c.held);
        const std::string now = c.held == AccountHeld::New ? "admin-new-pw" : "vorladmin";
        EXPECT_EQ(password("admin"), now);
        EXPECT_EQ(connector.login().password, now);
        EXPECT_TRUE(logsIn("admin", now));
        EXPECT_EQ(backups(), c.backupLeft ? 1 : 0);
        EXPECT_EQ(r.backupLeft.empty(), !c.backupLeft);
        if (c.backupLeft) {
            EXPECT_EQ(password(r.backupLeft), "vorladmin");
        }
        int count = 0;
        UserRecord users[16];
        EXPECT_EQ(session->listUsers(users, 16, count), 0);
    }
}

TEST_F(AccountChangeTest, AnUnprovenNewLoginKeepsTheBackupAndSaysSo) {
    start();
    fault.unreachableFrom = 2;  // the caller's connection works, no new one can be made
    const AccountChangeResult r = AccountChange(*session).replace({"admin", "admin-new-pw", {}});
    EXPECT_EQ(r.status, 33);
    EXPECT_EQ(r.failedStep, AccountStep::Prove);
    EXPECT_EQ(r.held, AccountHeld::New);
    EXPECT_EQ(r.backupLeft, "vorl-backup-1");
    EXPECT_EQ(password("vorl-backup-1"), "vorladmin");
    EXPECT_EQ(connector.login().password, "admin-new-pw");
    EXPECT_EQ(sleeps.count(), static_cast<size_t>(CardConnector::kAttempts - 1));
    EXPECT_EQ(describeAccountChange(r, "admin"),
              "logging in with the new password failed (the connection was lost); admin has the "
              "new password; the backup account vorl-backup-1 still holds the old password: "
              "delete it once admin can log in");
}

TEST_F(AccountChangeTest, AFullTableRefusesTheLoginAccountBeforeAnythingIsSent) {
    start(15);
    const AccountChangeResult r = AccountChange(*session).replace({"admin", "admin-new-pw", {}});
    EXPECT_EQ(r.status, 18);
    EXPECT_EQ(r.failedStep, AccountStep::Backup);
    EXPECT_EQ(fault.connections, 1);
    EXPECT_EQ(password("admin"), "vorladmin");
    EXPECT_EQ(describeAccountChange(r, "admin"),
              "the card holds 16 accounts, so there is no room for the backup account that keeps "
              "your login during the change; delete an account first; nothing was changed");
    // Another account needs no backup: a full table is no obstacle.
    EXPECT_EQ(AccountChange(*session).replace({"bob", "bob-new-pw", {}}).status, 0);
}

TEST_F(AccountChangeTest, UnknownAccountsSamePasswordsAndSnmpSettings) {
    start();
    AccountChange change(*session);
    const AccountChangeResult unknown = change.replace({"ghost", "whatever-1", {}});
    EXPECT_EQ(std::make_pair(unknown.status, unknown.held),
              std::make_pair(16, AccountHeld::Missing));
    EXPECT_EQ(describeAccountChange(unknown, "ghost"),
              "there is no account ghost; nothing was changed");
    EXPECT_EQ(change.replace({"bob", std::string(32, 'p'), {}}).status, 26);

    const AccountChangeResult same = change.replace({"bob", "bob-old-pw", {}});
    EXPECT_TRUE(same.nothingToDo);
    EXPECT_FALSE(same.changed());

    // An SNMP user asked for is added with the new password; the card cannot change one.
    const AccountChangeResult snmp =
        change.replace({"bob", "bob-new-pw", SnmpProtocols{"SHA", "DES"}});
    EXPECT_EQ(snmp.status, 0);
    const auto& snmpUsers = card.group<sim::SimUsersGroup>()->snmpUsers();
    ASSERT_EQ(snmpUsers.size(), 1u);
    EXPECT_EQ(snmpUsers[0].password, "bob-new-pw");
    EXPECT_EQ(password("bob"), "bob-new-pw");
    // Refused, it stops the change before the account is added: the old one goes back.
    const AccountChangeResult again =
        change.replace({"bob", "bob-third-pw", SnmpProtocols{"MD5", "NONE"}});
    EXPECT_EQ(std::make_tuple(again.status, again.failedStep, again.held),
              std::make_tuple(15, AccountStep::Snmp, AccountHeld::Old));
    EXPECT_EQ(password("bob"), "bob-new-pw");
}

}  // namespace
}  // namespace vorl
