#include "config/user_dialog.h"

#include "config/panel_ids.h"
#include "protocol/entry_rules.h"
#include "protocol/user_records.h"

namespace vorl::panel {
namespace {
constexpr size_t kMinPassword = 8;
// Texts go into 32-byte record fields.
constexpr size_t kAccountField = sizeof UserRecord{}.name;
}  // namespace

void fillProtocolLists(PanelView& view) {
    view.clearList(IDC_AUTH_PROTOCOL);
    view.addListLine(IDC_AUTH_PROTOCOL, "MD5");
    view.addListLine(IDC_AUTH_PROTOCOL, "SHA");
    view.clearList(IDC_PRIV_PROTOCOL);
    view.addListLine(IDC_PRIV_PROTOCOL, "None");
    view.addListLine(IDC_PRIV_PROTOCOL, "DES");
}

void UserDialog::onCreated(PanelView& view) {
    view_ = &view;
    for (int control : {IDC_USER_NAME, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD})
        view.limitText(control, kAccountTextLimit);
    fillProtocolLists(view);
    view.enable(IDC_AUTH_PROTOCOL, false);
    view.enable(IDC_PRIV_PROTOCOL, false);
}

void UserDialog::onCommand(int control, ControlEvent event) {
    if (control != IDC_SNMP_ACCESS || event != ControlEvent::Clicked) return;
    const bool checked = view_->isChecked(IDC_SNMP_ACCESS);
    view_->enable(IDC_AUTH_PROTOCOL, checked);
    view_->enable(IDC_PRIV_PROTOCOL, checked);
}

bool UserDialog::onOk() {
    PanelView& view = *view_;
    const std::string name = fieldBounded(view.text(IDC_USER_NAME), kAccountField);
    const std::string password = fieldBounded(view.text(IDC_NEW_PASSWORD), kAccountField);
    const std::string confirmation = fieldBounded(view.text(IDC_CONFIRM_PASSWORD), kAccountField);
    const char* refusal = nullptr;
    if (!isValidAccountText(name)) {
        refusal = "Username contains invalid characters";
    } else if (!isValidAccountText(password)) {
        refusal = "Password contains invalid characters";
    } else if (password.empty() || confirmation.empty()) {
        refusal = "Passwords cannot be empty";
    } else if (password.size() < kMinPassword) {
        refusal = "Passwords cannot be less than 8 characters in length";
    } else if (password != confirmation) {
        refusal = "Passwords do not match";
    }
    if (refusal != nullptr) {
        view.showMessage(refusal, MessageIcon::None);
        return false;
    }
    account_.name = name;
    account_.password = password;
    account_.snmpAccess = view.isChecked(IDC_SNMP_ACCESS);
    account_.authProtocol = view.selectedLine(IDC_AUTH_PROTOCOL);
    account_.privProtocol = view.selectedLine(IDC_PRIV_PROTOCOL);
    return true;
}

}  // namespace vorl::panel
