#include "config/user_manager_page.h"

#include "config/panel_ids.h"
#include "protocol/account_change.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"

namespace vorl::panel {
namespace {

constexpr uint16_t kGeneralError = 30;  // the card's answer when it has no SNMP users
constexpr size_t kField = sizeof UserRecord{}.name;
// The card's SNMP list is read whole (its 16384-byte answer holds at most this many), so that
// an account's SNMP settings are found wherever the card lists them.
constexpr int kSnmpListCapacity = 16384 / 80;

const char* authText(int index) {
    return index == 0 ? "MD5" : "SHA";  // nothing selected counts as the second entry
}
const char* privText(int index) {
    return index == 0 ? "NONE" : "DES";
}

SnmpUserRecord snmpRecord(const std::string& name, const std::string& auth, const std::string& priv,
                          const std::string& password) {
    SnmpUserRecord record;
    setField(record.name, kField, name);
    setField(record.authProtocol, kField, auth);
    setField(record.privProtocol, kField, priv);
    setField(record.password, kField, password);
    return record;
}

void unableToRead(PanelView& view) {
    view.showMessage("Unable to retreive data from the card", MessageIcon::Error);
}

}  // namespace

void UserManagerPage::onCreated() {
    for (int control : {IDC_CURRENT_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD})
        view_.limitText(control, kAccountTextLimit);
    fillProtocolLists(view_);
    view_.enable(IDC_AUTH_PROTOCOL, false);
    view_.enable(IDC_PRIV_PROTOCOL, false);
    view_.enable(IDC_CANCEL_USER, false);
}

void UserManagerPage::onShown() {
    if (!loadPending_) return;
    loadPending_ = false;
    load();
}

void UserManagerPage::onCommand(int control, ControlEvent event) {
    if (control == IDC_USER_LIST) {
        if (event == ControlEvent::SelectionChanged) reselect();
        return;
    }
    if (event != ControlEvent::Clicked) return;
    switch (control) {
        case IDC_SNMP_ACCESS:
            snmpAccessClicked();
            break;
        case IDC_ADD_USER:
            addUser();
            break;
        case IDC_DELETE_USER:
            deleteUser();
            break;
        case IDC_MODIFY_USER:
            modifyUser();
            break;
        default:
            break;
    }
}

bool UserManagerPage::readLists() {
    std::array<UserRecord, kMaxUsers> users;
    int userCount = 0;
    if (context_.session.listUsers(users.data(), kMaxUsers, userCount) != 0) {
        view_.showMessage("Cannot get users from k8", MessageIcon::None);
        return false;
    }
    view_.clearList(IDC_USER_LIST);
    count_ = userCount;
    for (int i = 0; i < count_; ++i) {
        entries_[i] = UserEntry{};
        entries_[i].account = users[i];
        view_.addListLine(IDC_USER_LIST, fieldText(users[i].name, kField));
    }
    std::array<SnmpUserRecord, kSnmpListCapacity> snmpUsers;
    int snmpCount = 0;
    const int status =
        context_.session.listSnmpUsers(snmpUsers.data(), kSnmpListCapacity, snmpCount);
    if (status == kGeneralError) return true;  // no SNMP users
    if (status != 0) {
        view_.showMessage("Cannot get snmp users from k8", MessageIcon::None);
        return false;
    }
    for (int s = 0; s < snmpCount; ++s) {
        const std::string name = fieldText(snmpUsers[s].name, kField);
        for (int i = 0; i < count_; ++i) {
            UserEntry& entry = entries_[i];
            if (fieldText(entry.account.name, kField) != name) continue;
            entry.snmpAccess = true;
            entry.authProtocol = fieldText(snmpUsers[s].authProtocol, kField);
            entry.privProtocol = fieldText(snmpUsers[s].privProtocol, kField);
        }
    }
    return true;
}

void UserManagerPage::load() {
    bool read;
    {
        BusyCursor busy(view_);
        read = readLists();
    }
    if (!read) {
        unableToRead(view_);
        return;
    }
    if (count_ > 0) {
        view_.selectLine(IDC_USER_LIST, 0);
        showEntry(0);
        return;
    }
    // No account left: nothing of a former one may stay on show.
    view_.setText(IDC_USER_NAME, "");
    view_.setChecked(IDC_SNMP_ACCESS, false);
    view_.enable(IDC_AUTH_PROTOCOL, false);
    view_.enable(IDC_PRIV_PROTOCOL, false);
}

void UserManagerPage::showEntry(int index) {
    const UserEntry& entry = entries_[index];
    view_.setText(IDC_USER_NAME, fieldText(entry.account.name, kField));
    view_.setChecked(IDC_SNMP_ACCESS, entry.snmpAccess);
    view_.enable(IDC_AUTH_PROTOCOL, entry.snmpAccess);
    view_.enable(IDC_PRIV_PROTOCOL, entry.snmpAccess);
    if (entry.snmpAccess) {
        view_.selectLine(IDC_AUTH_PROTOCOL, equalsIgnoringCase(entry.authProtocol, "MD5") ? 0 : 1);
        view_.selectLine(IDC_PRIV_PROTOCOL, equalsIgnoringCase(entry.privProtocol, "None") ? 0 : 1);
    }
    for (int control : {IDC_CURRENT_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD})
        view_.setText(control, "");
}

int UserManagerPage::selectedEntry() {
    const int line = view_.selectedLine(IDC_USER_LIST);
    return line >= 0 && line < count_ ? line : -1;
}

void UserManagerPage::reselect() {
    const int line = view_.selectedLine(IDC_USER_LIST);
    if (!readLists()) {
        unableToRead(view_);
        return;
    }
    if (line < 0 || line >= count_) return;
    view_.selectLine(IDC_USER_LIST, line);
    showEntry(line);
}

void UserManagerPage::snmpAccessClicked() {
    const bool checked = view_.isChecked(IDC_SNMP_ACCESS);
    view_.enable(IDC_AUTH_PROTOCOL, checked);
    view_.enable(IDC_PRIV_PROTOCOL, checked);
}

int UserManagerPage::sendAccount(const std::string& name, const std::string& password,
                                 bool snmpAccess, int authIndex, int privIndex) {
    BusyCursor busy(view_);
    if (snmpAccess) {
        return context_.session.addSnmpUser(
            snmpRecord(name, authText(authIndex), privText(privIndex), password));
    }
    UserRecord record;
    setField(record.name, kField, name);
    setField(record.password, kField, password);
    return context_.session.addUser(record);
}

void UserManagerPage::addUser() {
    if (count_ >= kMaxUsers) {
        view_.showMessage("Max number of users limit reached. User can't be added.",
                          MessageIcon::None);
        return;
    }
    UserDialog dialog;
    if (!view_.runDialog(IDD_USER_DIALOG, dialog)) return;
    const NewAccount& account = dialog.account();
    const int status = sendAccount(account.name, account.password, account.snmpAccess,
                                   account.authProtocol, account.privProtocol);
    if (status != 0) {
        view_.showMessage(account.snmpAccess ? "Error Adding New user" : "Error Adding New User",
                          MessageIcon::None);
    } else {
        context_.session.saveConfiguration();
    }
    load();
}

void UserManagerPage::deleteUser() {
    const int index = selectedEntry();
    if (index < 0) return;
    const UserEntry& entry = entries_[index];
    const std::string current = fieldBounded(view_.text(IDC_CURRENT_PASSWORD), kField);
    if (current != fieldText(entry.account.password, kField)) {
        view_.showMessage("Current Passwords do not match\n", MessageIcon::None);
        return;
    }
    if (view_.ask("Are you sure you want to delete this user?")) {
        int status;
        {
            BusyCursor busy(view_);
            status = context_.session.deleteUser(entry.account);
        }
        if (status != 0) {
            view_.showMessage("User could not be removed!!\n", MessageIcon::None);
        } else {
            context_.session.saveConfiguration();
        }
    }
    load();
}

void UserManagerPage::modifyUser() {
    const int index = selectedEntry();
    if (index < 0) return;
    const UserEntry old = entries_[index];
    const std::string current = fieldBounded(view_.text(IDC_CURRENT_PASSWORD), kField);
    if (current != fieldText(old.account.password, kField)) {
        view_.showMessage(
            "You have to enter the current password correctly to perform this operation",
            MessageIcon::None);
        return;
    }
    const std::string newPassword = fieldBounded(view_.text(IDC_NEW_PASSWORD), kField);
    if (newPassword != fieldBounded(view_.text(IDC_CONFIRM_PASSWORD), kField)) {
        view_.showMessage("New password and confirmation password do not match", MessageIcon::None);
        return;
    }
    // The account is replaced by deleting and adding it; AccountChange puts the old one back
    // when that fails halfway, and keeps the panel's own login working (its connector).
    AccountChangeRequest request{fieldBounded(view_.text(IDC_USER_NAME), kField),
                                 newPassword.empty() ? current : newPassword,
                                 {}};
    if (view_.isChecked(IDC_SNMP_ACCESS)) {
        request.snmp = SnmpProtocols{authText(view_.selectedLine(IDC_AUTH_PROTOCOL)),
                                     privText(view_.selectedLine(IDC_PRIV_PROTOCOL))};
    }
    AccountChangeResult result;
    {
        BusyCursor busy(view_);
        result = AccountChange(context_.session).replace(request);
    }
    if (result.deleteStatus != 0) view_.showMessage("Error Modifying user\n", MessageIcon::None);
    if (result.status != 0) {
        view_.showMessage("Error Modifying user info", MessageIcon::None);
    } else {
        context_.session.saveConfiguration();
    }
    load();
}

}  // namespace vorl::panel
