#include "config/network_page.h"

#include <gtest/gtest.h>

#include "config/panel_ids.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

constexpr const char* kNetworkQuestion =
    "You are currently connected to the VORL via the network and you are chaging the network "
    "parameters.The application will close once the changes are applied and you will have to "
    "reconnect.Are you sure?";

class NetworkPageTest : public test::PanelFixture {
protected:
    NetworkPageTest() : page(view, context) {
        page.onCreated();
        page.onShown();
    }
    void choose(int method) {
        view.selectLine(IDC_NEW_METHOD, method);
        page.onCommand(IDC_NEW_METHOD, ControlEvent::SelectionChanged);
    }
    void apply() { page.onCommand(IDC_NET_APPLY, ControlEvent::Clicked); }

    NetworkPage page;
};

TEST_F(NetworkPageTest, FirstShowSelectsDhcpAndReadsTheCardOnce) {
    EXPECT_EQ(view.lists[IDC_NEW_METHOD], (std::vector<std::string>{"DHCP", "STATIC"}));
    EXPECT_EQ(view.selectedLine(IDC_NEW_METHOD), 0);
    EXPECT_FALSE(view.enabled[IDC_NEW_ADDRESS] || view.enabled[IDC_NEW_NETMASK] ||
                 view.enabled[IDC_NEW_GATEWAY]);
    EXPECT_EQ(view.texts[IDC_NET_LINK], "eth0");
    EXPECT_EQ(view.texts[IDC_NET_METHOD], "STATIC");
    EXPECT_EQ(view.texts[IDC_NET_HARDWARE], "02:00:4B:38:00:01");
    EXPECT_EQ(view.texts[IDC_NET_ADDRESS], "10.10.1.10");
    EXPECT_EQ(view.texts[IDC_NET_GATEWAY], "10.10.1.1");
    EXPECT_EQ(view.busySpells, 1);
    page.onShown();
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0700});
}

TEST_F(NetworkPageTest, StaticWithUntouchedControlsSendsZerosThenSavesAndReloads) {
    choose(1);
    EXPECT_TRUE(view.enabled[IDC_NEW_ADDRESS] && view.enabled[IDC_NEW_GATEWAY]);
    view.answers = {true};
    apply();
    EXPECT_EQ(view.questions, std::vector<std::string>{"Are you sure you want to apply changes?"});
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0700, 0x0701, 0x0603, 0x0700}));
    const auto& request = last(0x0701);
    EXPECT_EQ(field(request, 0, 32), "0.0.0.0");
    EXPECT_EQ(field(request, 32, 32), "0.0.0.0");
    EXPECT_EQ(field(request, 64, 32), "0.0.0.0");
    EXPECT_EQ(wire->waitPollsSeen[1], 5u);
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>{2000});
    EXPECT_EQ(view.texts[IDC_NET_ADDRESS], "0.0.0.0");  // the card's new state
    EXPECT_EQ(view.closes, 0);
}

TEST_F(NetworkPageTest, BlankAddressesAreRefusedOnlyWhenEntirelyBlank) {
    choose(1);
    view.typeAddress(IDC_NEW_ADDRESS, {127, 0, 0, 5});
    view.typeAddress(IDC_NEW_NETMASK, {255, 255, 255, 0});
    view.typeAddress(IDC_NEW_GATEWAY, {-1, -1, -1, -1});
    apply();
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"One or more IP addresses you entered are invalid"});
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(sent(0x0701), 0u);

    view.typeAddress(IDC_NEW_GATEWAY, {127, 0, 0, -1});
    view.answers = {true};
    apply();
    EXPECT_EQ(field(last(0x0701), 0, 32), "127.0.0.5");
    EXPECT_EQ(field(last(0x0701), 32, 32), "255.255.255.0");
    EXPECT_EQ(field(last(0x0701), 64, 32), "127.0.0.0");
}

TEST_F(NetworkPageTest, DhcpOverTheHostInterfaceKeepsTheEntriesAndReloads) {
    choose(1);
    view.typeAddress(IDC_NEW_ADDRESS, {127, 0, 0, 9});
    choose(0);
    EXPECT_FALSE(view.enabled[IDC_NEW_ADDRESS]);
    EXPECT_EQ(view.addresses[IDC_NEW_ADDRESS].parts[3], 9);
    view.answers = {true};
    apply();
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0700, 0x0702, 0x0603, 0x0700}));
    EXPECT_EQ(view.texts[IDC_NET_METHOD], "DHCP");
    EXPECT_EQ(view.texts[IDC_NET_ADDRESS], "192.168.0.100");
}

TEST_F(NetworkPageTest, OverTheNetworkAChangeClosesTheProgramAndNoSendsNothing) {
    context.connectionType = kNetwork;
    view.answers = {false};
    apply();
    EXPECT_EQ(view.questions, std::vector<std::string>{kNetworkQuestion});
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0700});

    choose(1);
    view.answers = {true};
    apply();
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0700, 0x0701, 0x0603}));
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(sleeps.pauses().empty());
    EXPECT_TRUE(view.messages.empty());  // the results are not shown
}

TEST_F(NetworkPageTest, AFailedReadIsReportedOnce) {
    NetworkPage second(view, context);
    force(0x0700, 33);
    second.onShown();
    second.onShown();
    EXPECT_EQ(view.messages,
              (std::vector<test::FakePanelView::Message>{
                  {"Unable to retreive network data from the card", MessageIcon::Error}}));
    EXPECT_EQ(view.busyDepth, 0);
}

}  // namespace
}  // namespace vorl::panel
