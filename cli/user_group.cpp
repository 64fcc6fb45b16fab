// -user: the card's login accounts and SNMP users.
#include <cstdio>

#include "cli/group_handlers.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int kListCapacity = 16;
constexpr size_t kMaxAccountText = 30;
constexpr size_t kMinPassword = 8;

bool nameTooLong(const std::string& name) {
    if (name.size() <= kMaxAccountText) return false;
    std::printf("Username cannot be more than 30 characters long\n");
    return true;
}

// The checks both add forms share; prints the first failure. The minimum password length
// applies to login accounts only.
bool accountWordsValid(const std::string& name, const std::string& password, bool loginAccount) {
    if (nameTooLong(name)) return false;
    if (password.size() > kMaxAccountText) {
        std::printf("Password cannot be more than 30 characters long\n");
        return false;
    }
    if (!isValidAccountText(name)) {
        std::printf("Username contains invalid characters\n");
        return false;
    }
    if (loginAccount && password.size() < kMinPassword) {
        std::printf("Password needs to be a minimum of 8 characters\n");
        return false;
    }
    if (!isValidAccountText(password)) {
        std::printf("Password contains invalid characters\n");
        return false;
    }
    return true;
}

int listUserNames(CardSession& session) {
    char names[kListCapacity][32] = {};
    int count = 0;
    const int status = session.listUserNames(names, kListCapacity, count);
    for (int i = 0; i < count; ++i) {
        std::printf("User %d: %s \n", i + 1, fieldText(names[i], 32).c_str());
    }
    return status;
}

int listUsers(CardSession& session) {
    UserRecord users[kListCapacity];
    int count = 0;
    const int status = session.listUsers(users, kListCapacity, count);
    for (int i = 0; i < count; ++i) {
        std::printf("User %d: %s Password: %s \n", i + 1, fieldText(users[i].name, 32).c_str(),
                    fieldText(users[i].password, 32).c_str());
    }
    return status;
}

int listSnmpUsers(CardSession& session) {
    SnmpUserRecord users[kListCapacity];
    int count = 0;
    const int status = session.listSnmpUsers(users, kListCapacity, count);
    if (status != 0) {
        std::printf("Error in getting SNMP users' infomation\n");
    } else if (count == 0) {
        std::printf("No SNMP user found in the system !\n");
    } else {
        std::printf("SNMP users in the system:\n");
        for (int i = 0; i < count; ++i) {
            const SnmpUserRecord& u = users[i];
            std::printf("User %d: %s Password: %s Auth Protocol: %s Priv Protocol: %s\n", i + 1,
                        fieldText(u.name, 32).c_str(), fieldText(u.password, 32).c_str(),
                        fieldText(u.authProtocol, 32).c_str(),
                        fieldText(u.privProtocol, 32).c_str());
        }
    }
    return status;
}

int deleteUser(CardSession& session, const std::string& name) {
    // The name must fit its field with room for the terminator, like the add forms' names.
    if (nameTooLong(name)) return kStatusOutOfRange;
    UserRecord record;
    setField(record.name, sizeof record.name, name);
    setField(record.password, sizeof record.password, "fillerpwd");
    const int status = session.deleteUser(record);
    if (status != 0) std::printf("Remove user failed, %s\n", statusMessage(status));
    return status;
}

int addUser(CardSession& session, const std::string& name, const std::string& password) {
    if (!accountWordsValid(name, password, true)) return kStatusOutOfRange;
    const int status = session.addUser(name, password);
    if (status != 0) std::printf("Add user failed, %s\n", statusMessage(status));
    return status;
}

int addSnmpUser(CardSession& session, const Words& words) {
    const std::string& name = words[3];
    const std::string& password = words[4];
    const std::string& auth = words[5];
    const std::string& priv = words[6];
    if (!accountWordsValid(name, password, false)) return kStatusOutOfRange;
    if (auth != "MD5" && auth != "SHA") {
        std::printf("Invalid Auth Protocol:%s\nValid input:MD5/SHA", auth.c_str());
        return -1;
    }
    if (priv != "DES" && priv != "NONE") {
        std::printf("Invalid Priv Protocol:%s\nValid input:DES/NONE", priv.c_str());
        return -1;
    }
    SnmpUserRecord record;
    setField(record.name, sizeof record.name, name);
    setField(record.authProtocol, sizeof record.authProtocol, auth);
    setField(record.privProtocol, sizeof record.privProtocol, priv);
    setField(record.password, sizeof record.password, password);
    const int status = session.addSnmpUser(record);
    if (status != 0) std::printf("Add SNMP user failed, %s\n", statusMessage(status));
    return status;
}

}  // namespace

int runUserGroup(CardSession& session, const Words& words) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& sub = words[2];
    switch (words.size()) {
        case 3:
            if (isSubCommand(sub, "listAllUser")) return listUserNames(session);
            if (isSubCommand(sub, "listAll")) return listUsers(session);
            if (isSubCommand(sub, "getSnmp")) return listSnmpUsers(session);
            return -1;
        case 4:
            return isSubCommand(sub, "del") ? deleteUser(session, words[3]) : -1;
        case 5:
            return isSubCommand(sub, "add") ? addUser(session, words[3], words[4]) : -1;
        case 7:
            // Any sub-command but -del adds an SNMP user in this form.
            return isSubCommand(sub, "del") ? -1 : addSnmpUser(session, words);
        default:
            return -1;
    }
}

}  // namespace vorl::cli
