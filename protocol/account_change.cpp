#include "protocol/account_change.h"

#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

constexpr size_t kField = sizeof UserRecord{}.name;
// A text needs room for its terminator in the 32-byte fields.
constexpr size_t kMaxText = kField - 1;
// The card's list answers are read whole (16384 bytes hold this many), so that an account is
// found wherever the card lists it.
constexpr int kListCapacity = 16384 / 64;
constexpr int kSnmpListCapacity = 16384 / 80;

// 33: the card gave no answer, so nobody knows whether it did what was asked.
bool isDrop(int status) {
    return status == kStatusConnectError;
}

UserRecord userRecord(const std::string& name, const std::string& password) {
    UserRecord record;
    setField(record.name, kField, name);
    setField(record.password, kField, password);
    return record;
}

}  // namespace

AccountChange::AccountChange(CardSession& session)
    : caller_(session), connector_(session.connector()), current_(&session) {}

AccountChange::~AccountChange() = default;

AccountChangeResult AccountChange::replace(const AccountChangeRequest& request) {
    request_ = request;
    result_ = AccountChangeResult{};
    oldSnmp_.reset();
    backup_.clear();
    if (request.name.empty() || request.name.size() > kMaxText ||
        request.password.size() > kMaxText) {
        return fail(AccountStep::Read, kStatusOutOfRange);
    }
    const int read = readOld(request.name);
    if (read != kStatusSuccess) {
        result_.held =
            read == kStatusResourceNotExist ? AccountHeld::Missing : AccountHeld::Unknown;
        return fail(AccountStep::Read, read);
    }
    if (fieldText(old_.password, kField) == request.password) {
        // The account stays as it is; at most an SNMP user is missing.
        result_.held = AccountHeld::New;
        result_.nothingToDo = snmpAsAsked();
        const int snmp = addSnmp();
        return snmp == kStatusSuccess ? succeed() : fail(AccountStep::Snmp, snmp);
    }
    const bool loginAccount = connector_ && !connector_->login().userName.empty() &&
                              connector_->login().userName == request.name;
    return loginAccount ? replaceLoginAccount() : replaceOther();
}

int AccountChange::readOld(const std::string& name) {
    listed_.assign(kListCapacity, UserRecord{});
    const int status = current_->listUsers(listed_.data(), kListCapacity, listedCount_);
    if (status != kStatusSuccess) return status;
    bool found = false;
    for (int i = 0; i < listedCount_ && !found; ++i) {
        found = fieldText(listed_[i].name, kField) == name;
        if (found) old_ = listed_[i];
    }
    if (!found) return kStatusResourceNotExist;
    std::vector<SnmpUserRecord> snmp(kSnmpListCapacity);
    int snmpCount = 0;
    // Any other refusal (30: none at all) leaves the SNMP users unknown, which only matters for
    // putting an SNMP user back on a card that deletes it with its account.
    const int snmpStatus = current_->listSnmpUsers(snmp.data(), kSnmpListCapacity, snmpCount);
    if (isDrop(snmpStatus)) return snmpStatus;
    for (int i = 0; snmpStatus == kStatusSuccess && i < snmpCount; ++i) {
        if (fieldText(snmp[i].name, kField) == name) oldSnmp_ = snmp[i];
    }
    return kStatusSuccess;
}

AccountChangeResult AccountChange::replaceOther() {
    const int deleted = current_->deleteUser(old_);
    result_.deleteStatus = deleted;
    if (lost(deleted)) {
        result_.held = settle();
        return fail(AccountStep::Delete, deleted);
    }
    // 16: gone already (another tool deleted it meanwhile): the add puts it there.
    if (deleted != kStatusSuccess && deleted != kStatusResourceNotExist) {
        result_.held = AccountHeld::Old;
        return fail(AccountStep::Delete, deleted);
    }
    return addNew(false);
}

AccountChangeResult AccountChange::replaceLoginAccount() {
    if (listedCount_ >= kMaxAccounts) {
        result_.held = AccountHeld::Old;
        return fail(AccountStep::Backup, kStatusInsufficientSpace);
    }
    const int backup = addBackup();
    if (backup != kStatusSuccess) {
        result_.held = AccountHeld::Old;
        return fail(AccountStep::Backup, backup);
    }
    const int deleted = current_->deleteUser(old_);
    result_.deleteStatus = deleted;
    if (lost(deleted) || (deleted != kStatusSuccess && deleted != kStatusResourceNotExist)) {
        result_.held = settle();
        settleBackup();
        return fail(AccountStep::Delete, deleted);
    }
    return addNew(true);
}

int AccountChange::addBackup() {
    for (int n = 1; backup_.empty(); ++n) {
        const std::string name = kBackupPrefix + std::to_string(n);
        bool taken = false;
        for (int i = 0; i < listedCount_ && !taken; ++i)
            taken = fieldText(listed_[i].name, kField) == name;
        if (!taken) backup_ = name;
    }
    const int added = current_->addUser(userRecord(backup_, fieldText(old_.password, kField)));
    if (added == kStatusSuccess) return added;
    if (!lost(added)) {
        backup_.clear();
        return added;
    }
    // A backup the card may have taken must not stay behind with the old password; the
    // caller's own login is untouched, so the card can be reached again as usual.
    if (reconnect()) {
        const int removed = current_->deleteUser(userRecord(backup_, ""));
        if (removed == kStatusSuccess || removed == kStatusResourceNotExist) backup_.clear();
    }
    return added;
}

AccountChangeResult AccountChange::addNew(bool loginAccount) {
    // The SNMP user goes first, as vorlpanel has always sent it: refused, it leaves only the
    // account to be put back.
    AccountStep step = AccountStep::Snmp;
    int added = addSnmp();
    if (added == kStatusSuccess) {
        step = AccountStep::Add;
        added = current_->addUser(userRecord(request_.name, request_.password));
    }
    AccountHeld held = AccountHeld::New;
    if (added != kStatusSuccess) {
        lost(added);
        // A refusal left the account deleted; a lost answer may not have: settle finds out
        // and puts the old account back when it is missing.
        held = settle();
    }
    result_.held = held;
    if (held == AccountHeld::New) return loginAccount ? proveNew() : succeed();
    if (loginAccount) settleBackup();
    return fail(step, added);
}

AccountChangeResult AccountChange::proveNew() {
    bool loggedIn = false;
    const int finished = finishLogin(request_.password, loggedIn);
    if (!loggedIn && !isDrop(finished)) {
        // The card took the new password but refuses it at login: the old one goes back.
        lost(current_->deleteUser(userRecord(request_.name, "")));
        result_.held = settle();
        settleBackup();
        return fail(AccountStep::Prove, finished);
    }
    // Unproven (no connection) or proven: the account has the new password either way.
    connector_->setLoginPassword(request_.password);
    if (!loggedIn) return fail(AccountStep::Prove, finished);
    return finished == kStatusSuccess ? succeed() : fail(AccountStep::RemoveBackup, finished);
}

void AccountChange::settleBackup() {
    if (backup_.empty() || result_.held != AccountHeld::Old) return;
    bool loggedIn = false;
    finishLogin(fieldText(old_.password, kField), loggedIn);
}

int AccountChange::finishLogin(const std::string& password, bool& loggedIn) {
    const CardLogin login{request_.name, password};
    std::unique_ptr<CardSession> session;
    const int opened = connector_->open(login, session);
    loggedIn = opened == kStatusSuccess;
    if (!loggedIn) return opened;
    int removed = session->deleteUser(userRecord(backup_, ""));
    if (isDrop(removed)) {
        std::unique_ptr<CardSession> again;
        if (connector_->open(login, again) == kStatusSuccess) {
            session = std::move(again);
            removed = session->deleteUser(userRecord(backup_, ""));
        }
    }
    // The caller goes on over the connection that has just logged in as its account.
    caller_.exchangeConnection(*session);
    current_ = &caller_;
    reopened_.reset();
    currentLogin_ = Login::Caller;
    connectionLost_ = isDrop(removed);
    if (removed != kStatusSuccess && removed != kStatusResourceNotExist) return removed;
    backup_.clear();
    return kStatusSuccess;
}

AccountHeld AccountChange::settle() {
    // Two rounds: a connection may drop again while the old account is being put back.
    for (int round = 0; round < 2; ++round) {
        if (connectionLost_ && !reconnect()) return AccountHeld::Unknown;
        AccountHeld held = AccountHeld::Unknown;
        // A refusal here (2: a card that logs out a session whose account went away) calls
        // for a fresh login as well.
        if (!readable(readHeld(held))) continue;
        if (held != AccountHeld::Missing) return held;
        result_.restoreTried = true;
        result_.restoreStatus = restoreOld();
        if (lost(result_.restoreStatus)) continue;
        if (!readable(readHeld(held))) continue;
        if (held == AccountHeld::Old) result_.restoreStatus = kStatusSuccess;
        return held;
    }
    return AccountHeld::Unknown;
}

int AccountChange::restoreOld() {
    if (oldSnmp_) {
        // A card that deletes an account's SNMP user with it gets it back; one that keeps them
        // apart refuses it (15) and has lost nothing.
        const int snmp = current_->addSnmpUser(*oldSnmp_);
        if (isDrop(snmp)) return snmp;
    }
    return current_->addUser(old_);
}

int AccountChange::readHeld(AccountHeld& held) {
    listed_.assign(kListCapacity, UserRecord{});
    int count = 0;
    const int status = current_->listUsers(listed_.data(), kListCapacity, count);
    held = AccountHeld::Unknown;
    if (status != kStatusSuccess) return status;
    held = AccountHeld::Missing;
    for (int i = 0; i < count; ++i) {
        if (fieldText(listed_[i].name, kField) != request_.name) continue;
        const std::string password = fieldText(listed_[i].password, kField);
        if (password == request_.password) {
            held = AccountHeld::New;
        } else if (password == fieldText(old_.password, kField)) {
            held = AccountHeld::Old;
        } else {
            held = AccountHeld::Other;
        }
    }
    return status;
}

bool AccountChange::reconnect() {
    if (!connector_) return false;
    std::unique_ptr<CardSession> session;
    int status = connector_->open(session);
    Login login = Login::Caller;
    // The caller's account may be the one that is gone or changed: the backup still logs in.
    if (status != kStatusSuccess && !isDrop(status) && !backup_.empty()) {
        status = connector_->open(CardLogin{backup_, fieldText(old_.password, kField)}, session);
        login = Login::Backup;
    }
    if (status != kStatusSuccess) return false;
    reopened_ = std::move(session);
    result_.reconnected = true;
    current_ = reopened_.get();
    currentLogin_ = login;
    connectionLost_ = false;
    return true;
}

bool AccountChange::readable(int status) {
    if (status != kStatusSuccess) connectionLost_ = true;
    return status == kStatusSuccess;
}

bool AccountChange::lost(int status) {
    if (isDrop(status)) connectionLost_ = true;
    return isDrop(status);
}

bool AccountChange::snmpAsAsked() const {
    if (!request_.snmp) return true;
    return oldSnmp_ && fieldText(oldSnmp_->authProtocol, kField) == request_.snmp->auth &&
           fieldText(oldSnmp_->privProtocol, kField) == request_.snmp->priv &&
           fieldText(oldSnmp_->password, kField) == request_.password;
}

int AccountChange::addSnmp() {
    if (snmpAsAsked()) return kStatusSuccess;
    // A card that has an SNMP user of that name refuses this (15): it cannot change one.
    SnmpUserRecord record;
    setField(record.name, kField, request_.name);
    setField(record.authProtocol, kField, request_.snmp->auth);
    setField(record.privProtocol, kField, request_.snmp->priv);
    setField(record.password, kField, request_.password);
    const int status = current_->addSnmpUser(record);
    lost(status);
    return status;
}

AccountChangeResult AccountChange::fail(AccountStep step, int status) {
    result_.status = status;
    result_.failedStep = step;
    result_.backupLeft = backup_;
    adoptReopened();
    return result_;
}

AccountChangeResult AccountChange::succeed() {
    result_.status = kStatusSuccess;
    result_.failedStep = AccountStep::None;
    result_.backupLeft = backup_;
    adoptReopened();
    return result_;
}

void AccountChange::adoptReopened() {
    // The caller goes on over the card reached again, when that logged in as the caller.
    if (reopened_ && current_ == reopened_.get() && currentLogin_ == Login::Caller) {
        caller_.exchangeConnection(*reopened_);
        current_ = &caller_;
    }
    reopened_.reset();
}

namespace {

// Why a step failed, in words.
std::string reason(int status) {
    if (isDrop(status)) return "the connection was lost";
    return statusMessage(status);
}

std::string whatFailed(const AccountChangeResult& result, const std::string& name) {
    const int status = result.status;
    switch (result.failedStep) {
        case AccountStep::Read:
            if (status == kStatusResourceNotExist) return "there is no account " + name;
            if (status == kStatusOutOfRange)
                return "the name or the password is longer than 31 characters";
            return "the accounts could not be read (" + reason(status) + ")";
        case AccountStep::Backup:
            if (status == kStatusInsufficientSpace) {
                return "the card holds 16 accounts, so there is no room for the backup account "
                       "that keeps your login during the change; delete an account first";
            }
            return "adding the backup account failed (" + reason(status) + ")";
        case AccountStep::Delete:
            return "deleting the account failed (" + reason(status) + ")";
        case AccountStep::Add:
            return "adding the account with its new password failed (" + reason(status) + ")";
        case AccountStep::Snmp:
            return "adding the SNMP user failed (" + reason(status) + ")";
        case AccountStep::Prove:
            return "logging in with the new password failed (" + reason(status) + ")";
        case AccountStep::RemoveBackup:
            return "removing the backup account failed (" + reason(status) + ")";
        case AccountStep::None:
            break;
    }
    return "";
}

std::string whatItHolds(const AccountChangeResult& result, const std::string& name) {
    switch (result.held) {
        case AccountHeld::Old:
            if (!result.restoreTried) return "nothing was changed";
            return "the old account was put back: " + name + " has its old password";
        case AccountHeld::New:
            return name + " has the new password";
        case AccountHeld::Missing:
            if (result.failedStep == AccountStep::Read) return "nothing was changed";
            return "putting the old account back failed (" + reason(result.restoreStatus) +
                   "): " + name + " is missing from the card";
        case AccountHeld::Other:
            return name + " has a password that is neither the old nor the new one";
        case AccountHeld::Unknown:
            break;
    }
    if (result.failedStep == AccountStep::Read) return "nothing was changed";
    return "the card could not be reached again to find out what it holds for " + name;
}

}  // namespace

std::string describeAccountChange(const AccountChangeResult& result, const std::string& name) {
    if (result.status == kStatusSuccess) return "";
    std::string text = whatFailed(result, name) + "; " + whatItHolds(result, name);
    if (!result.backupLeft.empty()) {
        text += "; the backup account " + result.backupLeft +
                " still holds the old password: delete it once " + name + " can log in";
    }
    return text;
}

const char* accountStepName(AccountStep step) {
    switch (step) {
        case AccountStep::Read:
            return "read";
        case AccountStep::Backup:
            return "backup";
        case AccountStep::Delete:
            return "delete";
        case AccountStep::Add:
            return "add";
        case AccountStep::Snmp:
            return "snmp";
        case AccountStep::Prove:
            return "prove";
        case AccountStep::RemoveBackup:
            return "remove-backup";
        case AccountStep::None:
            break;
    }
    return "";
}

const char* accountHeldName(AccountHeld held) {
    switch (held) {
        case AccountHeld::Old:
            return "old";
        case AccountHeld::New:
            return "new";
        case AccountHeld::Missing:
            return "missing";
        case AccountHeld::Other:
            return "other";
        case AccountHeld::Unknown:
            break;
    }
    return "unknown";
}

}  // namespace vorl
