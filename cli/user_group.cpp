// -user: the card's login accounts and SNMP users.
#include <cstdio>

#include "cli/group_handlers.h"
#include "cli/prompts.h"
#include "cli/report.h"
#include "protocol/account_change.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int kListCapacity = 16;
constexpr size_t kMaxAccountText = 30;
constexpr size_t kMinPassword = 8;
constexpr const char* kPasswordFromInput = "-";

bool nameTooLong(const std::string& name, Report& report) {
    if (name.size() <= kMaxAccountText) return false;
    report.message("Username cannot be more than 30 characters long\n", Change::Unchanged);
    return true;
}

// The checks both add forms share; reports the first failure. The minimum password length
// applies to login accounts only.
bool accountWordsValid(const std::string& name, const std::string& password, bool loginAccount,
                       Report& report) {
    if (nameTooLong(name, report)) return false;
    const char* refusal = nullptr;
    if (password.size() > kMaxAccountText) {
        refusal = "Password cannot be more than 30 characters long\n";
    } else if (!isValidAccountText(name)) {
        refusal = "Username contains invalid characters\n";
    } else if (loginAccount && password.size() < kMinPassword) {
        refusal = "Password needs to be a minimum of 8 characters\n";
    } else if (!isValidAccountText(password)) {
        refusal = "Password contains invalid characters\n";
    }
    if (refusal) report.message(refusal, Change::Unchanged);
    return refusal == nullptr;
}

void printUserNames(const Json& data, int) {
    for (const Json& user : data["users"]) {
        std::printf("User %d: %s \n", user["index"].get<int>(), textOf(user["name"]));
    }
}

void printUsers(const Json& data, int) {
    for (const Json& user : data["users"]) {
        std::printf("User %d: %s Password: %s \n", user["index"].get<int>(), textOf(user["name"]),
                    textOf(user["password"]));
    }
}

void printSnmpUsers(const Json& data, int status) {
    if (status != 0) {
        std::printf("Error in getting SNMP users' infomation\n");
        return;
    }
    if (data["snmp_users"].empty()) {
        std::printf("No SNMP user found in the system !\n");
        return;
    }
    std::printf("SNMP users in the system:\n");
    for (const Json& u : data["snmp_users"]) {
        std::printf("User %d: %s Password: %s Auth Protocol: %s Priv Protocol: %s\n",
                    u["index"].get<int>(), textOf(u["name"]), textOf(u["password"]),
                    textOf(u["auth_protocol_as_received"]), textOf(u["priv_protocol_as_received"]));
    }
}

void printRemoveFailure(const Json&, int status) {
    if (status != 0) std::printf("Remove user failed, %s\n", statusMessage(status));
}

void printAddFailure(const Json&, int status) {
    if (status != 0) std::printf("Add user failed, %s\n", statusMessage(status));
}

void printSnmpAddFailure(const Json&, int status) {
    if (status != 0) std::printf("Add SNMP user failed, %s\n", statusMessage(status));
}

void printPasswordChange(const Json& data, int status) {
    const char* name = textOf(data["name"]);
    if (status != 0) {
        std::printf("Change password failed, %s\n", textOf(data["failure"]));
    } else if (!data["password_changed"].get<bool>()) {
        std::printf("User %s already has this password\n", name);
    } else if (data.contains("reconnected")) {
        std::printf("Password changed for user %s (checked again after the connection dropped)\n",
                    name);
    } else {
        std::printf("Password changed for user %s\n", name);
    }
}

int listUserNames(CardSession& session, Report& report) {
    char names[kListCapacity][32] = {};
    int count = 0;
    const int status = session.listUserNames(names, kListCapacity, count);
    Json users = Json::array();
    for (int i = 0; i < count; ++i) {
        users.push_back({{"index", i + 1}, {"name", fieldText(names[i], 32)}});
    }
    report.result(status, {{"users", std::move(users)}}, Change::Reads, printUserNames);
    return status;
}

int listUsers(CardSession& session, Report& report) {
    UserRecord users[kListCapacity];
    int count = 0;
    const int status = session.listUsers(users, kListCapacity, count);
    Json list = Json::array();
    for (int i = 0; i < count; ++i) {
        list.push_back({{"index", i + 1},
                        {"name", fieldText(users[i].name, 32)},
                        {"password", fieldText(users[i].password, 32)}});
    }
    report.result(status, {{"users", std::move(list)}}, Change::Reads, printUsers);
    return status;
}

int listSnmpUsers(CardSession& session, Report& report) {
    SnmpUserRecord users[kListCapacity];
    int count = 0;
    const int status = session.listSnmpUsers(users, kListCapacity, count);
    Json list = Json::array();
    for (int i = 0; status == 0 && i < count; ++i) {
        const SnmpUserRecord& u = users[i];
        const std::string auth = fieldText(u.authProtocol, 32);
        const std::string priv = fieldText(u.privProtocol, 32);
        list.push_back({{"index", i + 1},
                        {"name", fieldText(u.name, 32)},
                        {"password", fieldText(u.password, 32)},
                        {"auth_protocol", enumerationWord(auth)},
                        {"auth_protocol_as_received", auth},
                        {"priv_protocol", enumerationWord(priv)},
                        {"priv_protocol_as_received", priv}});
    }
    report.result(status, {{"snmp_users", std::move(list)}}, Change::Reads, printSnmpUsers);
    return status;
}

int deleteUser(CardSession& session, const std::string& name, Report& report) {
    // The name must fit its field with room for the terminator, like the add forms' names.
    if (nameTooLong(name, report)) return kStatusOutOfRange;
    UserRecord record;
    setField(record.name, sizeof record.name, name);
    setField(record.password, sizeof record.password, "fillerpwd");
    const int status = session.deleteUser(record);
    report.result(status, {{"name", name}}, Change::Writes, printRemoveFailure);
    return status;
}

int addUser(CardSession& session, const std::string& name, const std::string& password,
            Report& report) {
    if (!accountWordsValid(name, password, true, report)) return kStatusOutOfRange;
    const int status = session.addUser(name, password);
    report.result(status, {{"name", name}}, Change::Writes, printAddFailure);
    return status;
}

// Replaces a login account's password in one run, never losing the account (see
// protocol/account_change.h); an SNMP user of the same name is left as it is. The password word
// "-" reads the new password from standard input, so that it stands on no command line and in
// no script line that vorlcli echoes.
int changePassword(CardSession& session, const std::string& name, const std::string& word,
                   Report& report) {
    std::string password = word;
    if (word == kPasswordFromInput) {
        password = readPassword("New password for " + name + " : ");
        std::printf("\n");
    }
    if (!accountWordsValid(name, password, true, report)) return kStatusOutOfRange;
    const AccountChangeResult result = AccountChange(session).replace({name, password, {}});
    Json data = {{"name", name},
                 {"password_changed", result.changed()},
                 {"account", accountHeldName(result.held)}};
    if (result.reconnected) data["reconnected"] = true;
    if (!result.backupLeft.empty()) data["backup_account"] = result.backupLeft;
    if (result.status != kStatusSuccess) {
        data["failed_step"] = accountStepName(result.failedStep);
        data["failure"] = describeAccountChange(result, name);
    }
    report.result(result.status, std::move(data),
                  result.changed() ? Change::Writes : Change::Unchanged, printPasswordChange);
    return result.status;
}

int addSnmpUser(CardSession& session, const Words& words, Report& report) {
    const std::string& name = words[3];
    const std::string& password = words[4];
    const std::string& auth = words[5];
    const std::string& priv = words[6];
    if (!accountWordsValid(name, password, false, report)) return kStatusOutOfRange;
    if (auth != "MD5" && auth != "SHA") {
        report.message(formatted("Invalid Auth Protocol:%s\nValid input:MD5/SHA", auth).c_str());
        return -1;
    }
    if (priv != "DES" && priv != "NONE") {
        report.message(formatted("Invalid Priv Protocol:%s\nValid input:DES/NONE", priv).c_str());
        return -1;
    }
    SnmpUserRecord record;
    setField(record.name, sizeof record.name, name);
    setField(record.authProtocol, sizeof record.authProtocol, auth);
    setField(record.privProtocol, sizeof record.privProtocol, priv);
    setField(record.password, sizeof record.password, password);
    const int status = session.addSnmpUser(record);
    report.result(status,
                  {{"name", name},
                   {"auth_protocol", enumerationWord(auth)},
                   {"priv_protocol", enumerationWord(priv)}},
                  Change::Writes, printSnmpAddFailure);
    return status;
}

}  // namespace

int runUserGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& sub = words[2];
    switch (words.size()) {
        case 3:
            if (isSubCommand(sub, "listAllUser")) return listUserNames(session, report);
            if (isSubCommand(sub, "listAll")) return listUsers(session, report);
            if (isSubCommand(sub, "getSnmp")) return listSnmpUsers(session, report);
            return -1;
        case 4:
            return isSubCommand(sub, "del") ? deleteUser(session, words[3], report) : -1;
        case 5:
            if (isSubCommand(sub, "passwd"))
                return changePassword(session, words[3], words[4], report);
            return isSubCommand(sub, "add") ? addUser(session, words[3], words[4], report) : -1;
        case 7:
            // Any sub-command but -del adds an SNMP user in this form.
            return isSubCommand(sub, "del") ? -1 : addSnmpUser(session, words, report);
        default:
            return -1;
    }
}

}  // namespace vorl::cli
