#pragma once
// The tray program's behaviour, apart from the window system: start-up (one instance per
// desktop, the hidden window, the tray icon, the redirection thread, the message loop) and the
// hidden window's messages. TrayShell is the window system; its Win32 side stays thin.
#include <cstdint>
#include <string>

namespace vorl::mouse {

constexpr const char* kVersion = "1.5.11.0";
constexpr const char* kCardName = "VORL";
// Tray callback message (WM_USER + 1) and the mouse message that opens the menu there.
constexpr uint32_t kTrayCallbackMessage = 0x0400 + 1;
constexpr uint32_t kRightButtonUp = 0x0205;
constexpr const char* kThreadFailureText = "Unable to create Mouse Redirection Thread";
constexpr const char* kThreadFailureCaption = "Cursift Error";
constexpr const char* kPaintedText = "Kelvane-K8 Host Application";
constexpr const char* kAboutNotice = "Feeds the card's remote console pointer to this server.";

// "VORL Cursift v1.5.11.0": the tray icon's tip.
std::string trayTip();
// "VORL Cursift Version ": the about box's first line.
std::string aboutTitle();

class TrayShell {
public:
    virtual ~TrayShell() = default;
    // True when a window of the program's class exists already (another instance).
    virtual bool otherInstanceRunning() = 0;
    // Registers the window class and creates the hidden main window. False on failure.
    virtual bool createMainWindow() = 0;
    // Adds the tray icon with this tip and the tray callback message.
    virtual void addTrayIcon(const std::string& tip) = 0;
    virtual void removeTrayIcon() = 0;
    virtual void loadAccelerators() = 0;
    // Starts the redirection thread. False when it could not be created.
    virtual bool startRedirectionThread() = 0;
    virtual void closeThreadHandle() = 0;
    // A message box without owner with an OK button.
    virtual void showError(const char* text, const char* caption) = 0;
    virtual void loadTrayMenu() = 0;
    virtual void destroyMenus() = 0;
    // Runs the message loop (through the accelerators); the quit message's value.
    virtual int runMessageLoop() = 0;
    // Brings the window to the foreground and tracks the tray menu at the cursor.
    virtual void showTrayMenuAtCursor() = 0;
    // The about box, modal; its texts come from aboutTitle(), kVersion and kAboutNotice.
    virtual void showAboutBox() = 0;
    virtual void destroyMainWindow() = 0;
    virtual void hideMainWindow() = 0;
    virtual void postQuit(int code) = 0;
};

class TrayProgram {
public:
    explicit TrayProgram(TrayShell& shell) : shell_(shell) {}

    // Start-up and the message loop. The exit code: 0 when another instance runs or start-up
    // fails, otherwise the quit message's value.
    int run();

    // The hidden window's messages. Each returns true when handled, false when the window
    // system's default processing is to follow.
    bool onTrayCallback(uint32_t mouseMessage);
    bool onCommand(int command);
    bool onMinimized();
    // Removes the tray icon; default processing (which destroys the window) follows.
    bool onClose();
    bool onDestroy();

    bool redirecting() const { return running_; }

private:
    TrayShell& shell_;
    bool running_ = false;
};

}  // namespace vorl::mouse
