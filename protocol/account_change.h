#pragma once
// A password change that never loses an account.
//
// The card has no command that changes an account: a change deletes it and adds it again. A
// connection that drops between the two, or an add the card refuses, would leave the account
// gone. AccountChange reads the account first, puts it back when the add fails or the
// connection drops (reopening the card through the session's CardConnector), and reports what
// the card holds afterwards.
//
// The account the caller is logged in with gets more care, so that the caller keeps a working
// login whatever happens:
//   1. a backup account is added that carries the OLD password (with 16 accounts on the card
//      there is no room for it, and the change is refused before anything is touched);
//   2. the account is deleted and added again with the new password;
//   3. a fresh connection logs in with the new password: the proof that it works;
//   4. the backup account is deleted through that connection, which the caller's session then
//      takes over, and the connector logs in with the new password from then on.
// Any failure puts the old account back (logging in as the backup when the caller's account is
// gone) and removes the backup only through a login that has just worked as the caller's
// account; a backup that cannot be removed is named in the result.
//
// Used by vorlcli (-user -passwd), vorlpanel (Modify) and the Redfish service. Single-threaded,
// like the session it works on.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "protocol/card_connector.h"
#include "protocol/user_records.h"

namespace vorl {

class CardSession;

struct SnmpProtocols {
    std::string auth;  // "MD5" or "SHA"
    std::string priv;  // "DES" or "NONE"
};

struct AccountChangeRequest {
    std::string name;
    std::string password;  // the new one
    // Also an SNMP user with these protocols and the new password, added before the account.
    // The card cannot change an SNMP user: one it has already, not as asked, makes the change
    // fail (and the old account is put back).
    std::optional<SnmpProtocols> snmp;
};

// What the card holds for the account afterwards.
enum class AccountHeld {
    Old,      // the old password (untouched, or put back)
    New,      // the new password
    Missing,  // no account of that name
    Other,    // another password (someone changed it meanwhile)
    Unknown,  // the card could not be reached to find out
};

enum class AccountStep { None, Read, Backup, Delete, Add, Snmp, Prove, RemoveBackup };

struct AccountChangeResult {
    // 0 when the account has the new password; otherwise the status of the step that failed.
    int status = 0;
    AccountStep failedStep = AccountStep::None;
    AccountHeld held = AccountHeld::Old;
    bool nothingToDo = false;  // it had that password already: nothing was sent
    bool restoreTried = false;
    int restoreStatus = 0;  // 0: the old account is back; else the status that stopped it
    int deleteStatus = 0;   // the delete's own status (vorlpanel reports it apart)
    // A backup account still on the card, with the old password; empty when none is left.
    std::string backupLeft;
    bool reconnected = false;  // a connection dropped and the card was reached again
    bool changed() const { return held == AccountHeld::New && !nothingToDo; }
};

class AccountChange {
public:
    // Names of the backup account: this prefix and a number not in use.
    static constexpr const char* kBackupPrefix = "vorl-backup-";
    // The card's account table; with it full there is no room for a backup account.
    static constexpr int kMaxAccounts = 16;

    // Works on `session`, reopening the card through session.connector() when the connection
    // drops (without one a drop leaves the outcome Unknown). When the connector's login is the
    // changed account, `session` ends up on the connection that proved the new password.
    explicit AccountChange(CardSession& session);
    ~AccountChange();
    AccountChange(const AccountChange&) = delete;
    AccountChange& operator=(const AccountChange&) = delete;

    // Gives account `request.name` the password `request.password`. Texts over 31 characters
    // are refused with 26 before anything is sent; an account the card does not list gives 16.
    AccountChangeResult replace(const AccountChangeRequest& request);

private:
    enum class Login { Caller, Backup };

    int readOld(const std::string& name);
    AccountChangeResult replaceOther();
    AccountChangeResult replaceLoginAccount();
    // Adds the backup account with the old password. 0, or the add's status (a backup the card
    // may have taken before the connection dropped is removed, or named in the result).
    int addBackup();
    AccountChangeResult addNew(bool loginAccount);
    // The account has the new password: proves it with a fresh login as the caller's account.
    AccountChangeResult proveNew();
    AccountChangeResult fail(AccountStep step, int status);
    AccountChangeResult succeed();

    // After a failure: reaches the card again if need be, reads what it holds for the account
    // and puts the old one back when it is missing. Returns what it holds now.
    AccountHeld settle();
    int restoreOld();
    // What the card lists for the account (Unknown when the list fails); the list's status.
    int readHeld(AccountHeld& held);
    // With the caller's account back to its old password, removes the backup through a login
    // with it; otherwise leaves the backup, the caller's only sure way in.
    void settleBackup();
    // Logs in as the caller's account with `password` on a fresh connection (`loggedIn` tells
    // whether that worked), removes the backup through it and hands that connection to the
    // caller's session. 0, the login's status, or the removal's.
    int finishLogin(const std::string& password, bool& loggedIn);
    // Reopens the card as the caller, or as the backup when the caller's login is refused.
    bool reconnect();
    // True (and the connection counts as lost) when `status` says the card did not answer.
    bool lost(int status);
    // True for a read that worked; any other answer counts the connection as lost, so that the
    // next round logs in afresh.
    bool readable(int status);
    // The SNMP user asked for, unless the card has it already as asked.
    int addSnmp();
    bool snmpAsAsked() const;
    // Hands a connection reopened as the caller to the caller's session.
    void adoptReopened();

    CardSession& caller_;
    CardConnector* connector_;
    CardSession* current_;
    std::unique_ptr<CardSession> reopened_;
    Login currentLogin_ = Login::Caller;
    bool connectionLost_ = false;

    AccountChangeRequest request_;
    UserRecord old_;
    std::optional<SnmpUserRecord> oldSnmp_;
    std::vector<UserRecord> listed_;
    int listedCount_ = 0;
    std::string backup_;  // the backup account while it is on the card
    AccountChangeResult result_;
};

// One sentence for people: the step that failed and why, what was done about it, and what the
// card holds now. Empty for a success.
std::string describeAccountChange(const AccountChangeResult& result, const std::string& name);

// "read", "backup", "delete", "add", "snmp", "prove", "remove-backup" ("" for None).
const char* accountStepName(AccountStep step);
// "old", "new", "missing", "other", "unknown".
const char* accountHeldName(AccountHeld held);

}  // namespace vorl
