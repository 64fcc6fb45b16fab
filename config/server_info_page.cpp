#include "config/server_info_page.h"

#include <cstring>

#include "config/panel_ids.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"

namespace vorl::panel {
namespace {

// Each edit takes no more characters than its field in the record holds.
constexpr int kControls[4] = {IDC_SERVER_NAME, IDC_SERVER_LOCATION, IDC_SERVER_OS,
                              IDC_SERVER_DESCRIPTION};
constexpr size_t kWidths[4] = {ServerInfo::kNameWidth, ServerInfo::kLocationWidth,
                               ServerInfo::kOsWidth, ServerInfo::kDescriptionWidth};

char* fieldOf(ServerInfo& info, int index) {
    char* fields[4] = {info.name, info.location, info.os, info.description};
    return fields[index];
}

}  // namespace

void ServerInfoPage::onCreated() {
    for (int i = 0; i < 4; ++i) view_.limitText(kControls[i], static_cast<int>(kWidths[i]));
}

void ServerInfoPage::onShown() {
    if (!loadPending_) return;
    loadPending_ = false;
    load();
}

void ServerInfoPage::onCommand(int control, ControlEvent event) {
    if (control == IDC_SERVER_APPLY && event == ControlEvent::Clicked) apply();
}

void ServerInfoPage::load() {
    ServerInfo info;
    if (context_.session.getServerInfo(info) != 0) {
        view_.showMessage("Unable to retreive data from the card", MessageIcon::Error);
        return;
    }
    for (int i = 0; i < 4; ++i) view_.setText(kControls[i], fieldOf(info, i));
}

void ServerInfoPage::apply() {
    ServerInfo info;
    for (int i = 0; i < 4; ++i) {
        const std::string text = fieldBounded(view_.text(kControls[i]), kWidths[i]);
        std::memcpy(fieldOf(info, i), text.data(), text.size());
    }
    if (context_.session.setServerInfo(info) != 0) {
        view_.showMessage("Error setting Server Information!!\n", MessageIcon::None);
        return;
    }
    {
        BusyCursor busy(view_);
        context_.session.saveConfiguration();
    }
    view_.showMessage("Server Information has been set successfully!!\n", MessageIcon::None);
}

}  // namespace vorl::panel
