#include "config/advanced_page.h"

#include "config/panel_ids.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "protocol/network_records.h"

namespace vorl::panel {

void AdvancedPage::onShown() {
    if (!loadPending_) return;
    loadPending_ = false;
    load();
}

void AdvancedPage::onCommand(int control, ControlEvent event) {
    if (event != ControlEvent::Clicked) return;
    if (control == IDC_MAC_APPLY) changeMac();
    if (control == IDC_RESET_CARD) resetCard();
}

void AdvancedPage::load() {
    char mac[kMacTextLength + 1] = {};
    int status;
    {
        BusyCursor busy(view_);
        status = context_.session.getMacAddress(mac);
    }
    if (status != 0) {
        view_.showMessage("Unable to retreive data from the card", MessageIcon::Error);
        return;
    }
    view_.setText(IDC_CURRENT_MAC, mac);
}

void AdvancedPage::changeMac() {
    const std::string text = view_.text(IDC_NEW_MAC);
    if (!isExactMacText(text)) {
        view_.showMessage("The MAC Address you entered is not valid", MessageIcon::None);
        return;
    }
    if (!view_.ask("Are you sure you want to change the MAC address?This involved a reset of the "
                   "card. The application will close and you will have to reconnect"))
        return;
    int status;
    {
        BusyCursor busy(view_);
        status = context_.session.setMacAddressFromText(text);
        // The new address takes effect when the card restarts.
        if (status == 0) context_.session.resetCardToDefaults();
    }
    if (status != 0) {
        view_.showMessage("Error Setting MAC address!!\n", MessageIcon::None);
        return;
    }
    view_.closeProgram();
}

void AdvancedPage::resetCard() {
    if (!view_.ask("Are you sure you want to reset the Card? Once the card is reset the "
                   "application will close"))
        return;
    context_.session.resetCardToDefaults();
    view_.closeProgram();
}

}  // namespace vorl::panel
