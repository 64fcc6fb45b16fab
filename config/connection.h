#pragma once
// The connection dialog "Choose Connection Type": the host interface of this server, or a card
// on the network with a login. It owns the session from OK until the dialog is destroyed; the
// main window runs inside its OK.
#include <functional>
#include <memory>
#include <string>

#include "config/page_presenter.h"
#include "protocol/card_connector.h"

namespace vorl::panel {

class Connection {
public:
    // Builds the session for a transport type and the card's address text.
    using SessionFactory =
        std::function<std::unique_ptr<CardSession>(int connectionType, const std::string& ip)>;
    // Shows the main window modally over a connected session and returns when it has closed.
    using MainWindowRunner = std::function<void(CardSession& session, int connectionType)>;

    // How the dialog ends after OK.
    enum class Outcome {
        Stay,   // the dialog stays open (blank address)
        Retry,  // ended with OK: a fresh connection dialog follows
        Quit,   // ended with Cancel: the program ends
    };

    Connection(PanelView& view, SessionFactory makeSession, MainWindowRunner runMainWindow);
    ~Connection();

    void onCreated();
    // The first time the dialog is shown.
    void onShown();
    void networkChosen();
    void hostChosen();
    Outcome okPressed();

    int connectionType() const { return connectionType_; }

private:
    Outcome fail(const std::string& message);

    PanelView& view_;
    SessionFactory makeSession_;
    MainWindowRunner runMainWindow_;
    int connectionType_ = kHostInterface;
    std::unique_ptr<CardSession> session_;
    // The session's way back to the card, with the login typed (a password change of that
    // account keeps it working through this).
    std::unique_ptr<CardConnector> connector_;
};

// The session vorlpanel uses: CardSession by transport type, on the card's port.
std::unique_ptr<CardSession> makeCardSession(int connectionType, const std::string& ip);

}  // namespace vorl::panel
