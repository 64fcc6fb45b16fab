#include "config/connection.h"

#include <cstdio>

#include "config/panel_ids.h"
#include "protocol/card_session.h"

namespace vorl::panel {
namespace {

// The login fields are read as at most this many characters (they take 30 from the keyboard).
constexpr size_t kLoginTextWidth = 31;
constexpr int kLoginTextLimit = 30;

}  // namespace

std::unique_ptr<CardSession> makeCardSession(int connectionType, const std::string& ip) {
    return std::make_unique<CardSession>(connectionType, ip.c_str(), CardSession::kCardPort);
}

Connection::Connection(PanelView& view, SessionFactory makeSession, MainWindowRunner runMainWindow)
    : view_(view), makeSession_(std::move(makeSession)), runMainWindow_(std::move(runMainWindow)) {}

Connection::~Connection() = default;

void Connection::onCreated() {
    view_.setChecked(IDC_HOST_CHOICE, true);
    view_.setChecked(IDC_NETWORK_CHOICE, false);
    connectionType_ = kHostInterface;
    view_.setText(IDC_HOST_CHOICE, "I am on the server which has a VORL plugged in");
    view_.setText(IDC_NETWORK_CHOICE, "I want to connect to a VORL card on the network");
}

void Connection::onShown() {
    hostChosen();
}

void Connection::networkChosen() {
    connectionType_ = kNetwork;
    for (int control : {IDC_CARD_IP, IDC_LOGIN_NAME, IDC_LOGIN_PASSWORD})
        view_.enable(control, true);
    view_.limitText(IDC_LOGIN_NAME, kLoginTextLimit);
    view_.limitText(IDC_LOGIN_PASSWORD, kLoginTextLimit);
    view_.clearIpAddress(IDC_CARD_IP);
    view_.focus(IDC_CARD_IP);
}

void Connection::hostChosen() {
    connectionType_ = kHostInterface;
    for (int control : {IDC_CARD_IP, IDC_LOGIN_NAME, IDC_LOGIN_PASSWORD})
        view_.enable(control, false);
}

Connection::Outcome Connection::fail(const std::string& message) {
    view_.showMessage(message, MessageIcon::Stop);
    return Outcome::Retry;
}

Connection::Outcome Connection::okPressed() {
    // The attempt blocks the window: say so before it starts.
    view_.setText(IDC_CONNECT_STATUS, "Connecting...Please Wait");
    view_.repaint();

    std::string ip;
    std::string user;
    std::string password;
    std::string failure;
    if (connectionType_ == kNetwork) {
        const IpAddressEntry address = view_.ipAddress(IDC_CARD_IP);
        if (address.filledParts == 0) {
            view_.showMessage("The IP address you entered is invalid", MessageIcon::None);
            view_.setText(IDC_CONNECT_STATUS, "");  // no attempt is under way
            return Outcome::Stay;
        }
        char text[16];
        std::snprintf(text, sizeof text, "%d.%d.%d.%d", address.parts[0], address.parts[1],
                      address.parts[2], address.parts[3]);
        ip = text;
        user = fieldBounded(view_.text(IDC_LOGIN_NAME), kLoginTextWidth);
        password = fieldBounded(view_.text(IDC_LOGIN_PASSWORD), kLoginTextWidth);
        failure = "Could not connect to the VORL.Please check the IP and your network connectivity";
    } else {
        failure =
            "Could not connect to the VORL.Please check if the VORL is connected to the server "
            "through the USB cable";
    }

    session_ = makeSession_(connectionType_, ip);
    if (session_->connect() != 0) return fail(failure);
    if (connectionType_ == kNetwork && session_->login(user, password) != 0)
        return fail("Invalid Username or Password !");
    const int type = connectionType_;
    connector_ =
        std::make_unique<CardConnector>([this, type, ip] { return makeSession_(type, ip); },
                                        type == kNetwork ? CardLogin{user, password} : CardLogin{});
    session_->setConnector(connector_.get());

    runMainWindow_(*session_, connectionType_);
    return Outcome::Quit;
}

}  // namespace vorl::panel
