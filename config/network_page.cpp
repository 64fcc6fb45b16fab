#include "config/network_page.h"

#include <cstdio>

#include "config/panel_ids.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "protocol/network_records.h"

namespace vorl::panel {
namespace {

constexpr int kMethodDhcp = 0;
constexpr int kMethodStatic = 1;
constexpr int kEntryControls[3] = {IDC_NEW_ADDRESS, IDC_NEW_NETMASK, IDC_NEW_GATEWAY};
// Over the network the card takes a new static address at once and its answer is lost: give up
// after a few empty polls instead of waiting for it.
constexpr uint32_t kStaticWaitPolls = 5;
// Time the card needs to bring its interface up again before the page reads it back.
constexpr uint32_t kReloadPauseMs = 2000;

std::string dottedText(const IpAddressEntry& entry) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", entry.parts[0], entry.parts[1], entry.parts[2],
                  entry.parts[3]);
    return text;
}

}  // namespace

void NetworkPage::onCreated() {
    view_.clearList(IDC_NEW_METHOD);
    view_.addListLine(IDC_NEW_METHOD, "DHCP");
    view_.addListLine(IDC_NEW_METHOD, "STATIC");
}

void NetworkPage::onShown() {
    if (!loadPending_) return;
    loadPending_ = false;
    view_.selectLine(IDC_NEW_METHOD, kMethodDhcp);
    for (int control : kEntryControls) view_.enable(control, false);
    load();
}

void NetworkPage::onCommand(int control, ControlEvent event) {
    if (control == IDC_NEW_METHOD && event == ControlEvent::SelectionChanged) methodChanged();
    if (control == IDC_NET_APPLY && event == ControlEvent::Clicked) apply();
}

void NetworkPage::load() {
    NetworkConfig config;
    int status;
    {
        BusyCursor busy(view_);
        status = context_.session.getNetworkConfig(config);
    }
    if (status != 0) {
        view_.showMessage("Unable to retreive network data from the card", MessageIcon::Error);
        return;
    }
    view_.setText(IDC_NET_LINK, config.interfaceName);
    view_.setText(IDC_NET_METHOD, config.method);
    view_.setText(IDC_NET_HARDWARE, config.macAddress);
    view_.setText(IDC_NET_ADDRESS, config.ipAddress);
    view_.setText(IDC_NET_NETMASK, config.netmask);
    view_.setText(IDC_NET_GATEWAY, config.gateway);
}

bool NetworkPage::staticSelected() {
    return view_.selectedLine(IDC_NEW_METHOD) == kMethodStatic;
}

void NetworkPage::methodChanged() {
    const bool isStatic = staticSelected();
    for (int control : kEntryControls) {
        if (isStatic) {
            const uint8_t zero[4] = {};
            view_.setIpAddress(control, zero);
        }
        view_.enable(control, isStatic);
    }
}

void NetworkPage::apply() {
    const bool isStatic = staticSelected();
    IpAddressEntry entries[3];
    if (isStatic) {
        for (int i = 0; i < 3; ++i) {
            entries[i] = view_.ipAddress(kEntryControls[i]);
            if (entries[i].filledParts == 0) {
                view_.showMessage("One or more IP addresses you entered are invalid",
                                  MessageIcon::None);
                return;
            }
        }
    }
    const bool overNetwork = context_.connectionType == kNetwork;
    const char* question =
        overNetwork ? "You are currently connected to the VORL via the network and you are "
                      "chaging the network parameters.The application will close once the "
                      "changes are applied and you will have to reconnect.Are you sure?"
                    : "Are you sure you want to apply changes?";
    if (!view_.ask(question)) return;
    {
        BusyCursor busy(view_);
        // Neither result is shown: over the network the address change normally ends the
        // connection, and the program closes anyway.
        if (isStatic) {
            context_.session.setStaticNetwork(dottedText(entries[0]), dottedText(entries[1]),
                                              dottedText(entries[2]), kStaticWaitPolls);
        } else {
            context_.session.setDhcp();
        }
        context_.session.saveConfiguration();
    }
    if (overNetwork) {
        view_.closeProgram();
        return;
    }
    platform::sleepMs(kReloadPauseMs);
    load();
}

}  // namespace vorl::panel
