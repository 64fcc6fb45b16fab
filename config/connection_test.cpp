#include "config/connection.h"

#include <gtest/gtest.h>

#include "config/panel_ids.h"
#include "protocol/card_session.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

using test::FakeTransport;

class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest()
        : connection(
              view,
              [this](int type, const std::string& ip) {
                  // What the user saw while the attempt blocked the window.
                  statusDuringAttempt = view.texts[IDC_CONNECT_STATUS];
                  repaintsBeforeAttempt = view.repaints;
                  created.push_back({type, ip});
                  auto transport = std::make_unique<FakeTransport>();
                  wire = transport.get();
                  wire->connectResult = connectResult;
                  for (auto& answer : loginAnswers) wire->queue(answer);
                  return std::make_unique<CardSession>(std::move(transport));
              },
              [this](CardSession&, int type) { mainWindows.push_back(type); }) {
        connection.onCreated();
        connection.onShown();
    }

    // Network choice with an address, a user and a password typed in.
    void typeNetworkLogin(const std::string& user, const std::string& password) {
        connection.networkChosen();
        view.typeAddress(IDC_CARD_IP, {127, 0, 0, 1});
        view.texts[IDC_LOGIN_NAME] = user;
        view.texts[IDC_LOGIN_PASSWORD] = password;
    }

    test::FakePanelView view;
    Connection connection;
    std::vector<std::pair<int, std::string>> created;
    std::vector<int> mainWindows;
    FakeTransport* wire = nullptr;
    int connectResult = 0;
    std::vector<test::ScriptedResponse> loginAnswers;
    std::string statusDuringAttempt;
    int repaintsBeforeAttempt = 0;
};

TEST_F(ConnectionTest, OpensWithTheHostChoiceAndTheLoginFieldsDisabled) {
    EXPECT_TRUE(view.checked[IDC_HOST_CHOICE]);
    EXPECT_EQ(view.texts[IDC_HOST_CHOICE], "I am on the server which has a VORL plugged in");
    EXPECT_EQ(view.texts[IDC_NETWORK_CHOICE], "I want to connect to a VORL card on the network");
    for (int control : {IDC_CARD_IP, IDC_LOGIN_NAME, IDC_LOGIN_PASSWORD})
        EXPECT_FALSE(view.enabled[control]) << control;

    view.typeAddress(IDC_CARD_IP, {127, 0, 0, 8});
    connection.networkChosen();
    EXPECT_EQ(connection.connectionType(), kNetwork);
    EXPECT_EQ(view.addresses[IDC_CARD_IP].filledParts, 0);  // cleared
    EXPECT_EQ(view.focused, IDC_CARD_IP);
    EXPECT_EQ(view.limits[IDC_LOGIN_NAME], 30);
    EXPECT_EQ(view.limits[IDC_LOGIN_PASSWORD], 30);
    for (int control : {IDC_CARD_IP, IDC_LOGIN_NAME, IDC_LOGIN_PASSWORD})
        EXPECT_TRUE(view.enabled[control]) << control;
    connection.hostChosen();
    EXPECT_EQ(connection.connectionType(), kHostInterface);
    EXPECT_FALSE(view.enabled[IDC_LOGIN_NAME]);
}

TEST_F(ConnectionTest, HostInterfaceIgnoresTheLoginFieldsAndRunsTheMainWindow) {
    typeNetworkLogin("admin", "vorladmin");
    connection.hostChosen();
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Quit);
    EXPECT_EQ(created, (std::vector<std::pair<int, std::string>>{{kHostInterface, ""}}));
    EXPECT_EQ(statusDuringAttempt, "Connecting...Please Wait");
    EXPECT_EQ(repaintsBeforeAttempt, 1);
    EXPECT_TRUE(wire->requests.empty());  // no login
    EXPECT_EQ(mainWindows, std::vector<int>{kHostInterface});
}

TEST_F(ConnectionTest, ABlankAddressKeepsTheDialogAndCreatesNothing) {
    connection.networkChosen();
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Stay);
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"The IP address you entered is invalid"});
    EXPECT_EQ(view.texts[IDC_CONNECT_STATUS], "");  // no attempt under way
    EXPECT_TRUE(created.empty());
}

TEST_F(ConnectionTest, FailuresEndTheDialogForAFreshOne) {
    connectResult = 33;
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Retry);
    typeNetworkLogin("admin", "vorladmin");
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Retry);
    EXPECT_EQ(view.messages,
              (std::vector<test::FakePanelView::Message>{
                  {"Could not connect to the VORL.Please check if the VORL is connected to the "
                   "server through the USB cable",
                   MessageIcon::Stop},
                  {"Could not connect to the VORL.Please check the IP and your network "
                   "connectivity",
                   MessageIcon::Stop}}));
    EXPECT_EQ(created.back(), (std::pair<int, std::string>{kNetwork, "127.0.0.1"}));

    connectResult = 0;
    loginAnswers = {{0, std::vector<uint8_t>(8, 7)}, {1, {}}};
    view.messages.clear();
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Retry);
    EXPECT_EQ(view.messages, (std::vector<test::FakePanelView::Message>{
                                 {"Invalid Username or Password !", MessageIcon::Stop}}));
    EXPECT_TRUE(mainWindows.empty());
}

TEST_F(ConnectionTest, LogsInWithTheTypedTextsCutTo31Characters) {
    loginAnswers = {{0, std::vector<uint8_t>(8, 7)}, {0, {}}};
    typeNetworkLogin(std::string(40, 'u'), "vorladmin");
    EXPECT_EQ(connection.okPressed(), Connection::Outcome::Quit);
    ASSERT_EQ(wire->requests.size(), 2u);
    const auto& login = wire->requests[1];
    EXPECT_EQ(login.command, 0x0002);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(login.payload.data())),
              std::string(31, 'u'));
    EXPECT_EQ(mainWindows, std::vector<int>{kNetwork});
}

}  // namespace
}  // namespace vorl::panel
