#pragma once
// The user dialog of the User Manager page: the new account's name, password and SNMPv3
// settings, checked before the dialog may close.
#include <string>

#include "config/panel_view.h"

namespace vorl::panel {

// What the user dialog hands back on OK. A protocol index is -1 when nothing was selected.
struct NewAccount {
    std::string name;
    std::string password;
    bool snmpAccess = false;
    int authProtocol = -1;  // 0 "MD5", 1 "SHA"
    int privProtocol = -1;  // 0 "None", 1 "DES"
};

// The edits of both the page and the dialog accept this many characters.
constexpr int kAccountTextLimit = 30;

// Fills the two protocol lists ("MD5"/"SHA", "None"/"DES") of the page or the dialog.
void fillProtocolLists(PanelView& view);

class UserDialog : public DialogPresenter {
public:
    void onCreated(PanelView& view) override;
    void onCommand(int control, ControlEvent event) override;
    // True (and account() filled) when every check passed; otherwise the first failing
    // check's message has been shown and the dialog stays open.
    bool onOk() override;

    const NewAccount& account() const { return account_; }

private:
    PanelView* view_ = nullptr;
    NewAccount account_;
};

}  // namespace vorl::panel
