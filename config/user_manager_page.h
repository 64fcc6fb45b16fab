#pragma once
// The User Manager page: the card's accounts with their SNMPv3 settings; adds (through the
// user dialog), deletes and modifies them, saving the card's configuration after each change.
#include <array>
#include <string>

#include "config/page_presenter.h"
#include "config/user_dialog.h"
#include "protocol/user_records.h"

namespace vorl::panel {

// One line of the page: an account as the card lists it, and its SNMP settings when an SNMP
// user of the same name exists.
struct UserEntry {
    UserRecord account;
    bool snmpAccess = false;
    std::string authProtocol;
    std::string privProtocol;
};

class UserManagerPage : public PagePresenter {
public:
    // The page holds this many accounts, whatever the card lists.
    static constexpr int kMaxUsers = 16;

    UserManagerPage(PanelView& view, PageContext& context) : view_(view), context_(context) {}

    void onCreated() override;
    void onShown() override;
    void onCommand(int control, ControlEvent event) override;

    void load();
    void reselect();
    void snmpAccessClicked();
    void addUser();
    void deleteUser();
    void modifyUser();

    int userCount() const { return count_; }
    const UserEntry& entry(int index) const { return entries_[index]; }

private:
    bool readLists();
    void showEntry(int index);
    // The selected line, or -1 when no account is selected.
    int selectedEntry();
    // Adds an account with or without SNMP settings as the page's SNMPv3 choice says.
    int sendAccount(const std::string& name, const std::string& password, bool snmpAccess,
                    int authIndex, int privIndex);

    PanelView& view_;
    PageContext& context_;
    bool loadPending_ = true;
    std::array<UserEntry, kMaxUsers> entries_;
    int count_ = 0;
};

}  // namespace vorl::panel
