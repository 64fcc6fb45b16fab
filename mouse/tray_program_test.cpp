#include "mouse/tray_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "mouse/resource_ids.h"

namespace vorl::mouse {
namespace {

using Calls = std::vector<std::string>;

class FakeShell : public TrayShell {
public:
    bool otherInstanceRunning() override { return note("find", otherInstance); }
    bool createMainWindow() override { return note("window", windowCreated); }
    void addTrayIcon(const std::string& tip) override { note("icon+ " + tip); }
    void removeTrayIcon() override { note("icon-"); }
    void loadAccelerators() override { note("accelerators"); }
    bool startRedirectionThread() override { return note("thread", threadStarted); }
    void closeThreadHandle() override { note("close thread"); }
    void showError(const char* text, const char* caption) override {
        note(std::string("error ") + caption + ": " + text);
    }
    void loadTrayMenu() override { note("menu"); }
    void destroyMenus() override { note("menus-"); }
    int runMessageLoop() override {
        note("loop");
        return quitCode;
    }
    void showTrayMenuAtCursor() override { note("popup"); }
    void showAboutBox() override { note("about"); }
    void destroyMainWindow() override { note("destroy"); }
    void hideMainWindow() override { note("hide"); }
    void postQuit(int code) override { note("quit " + std::to_string(code)); }

    bool note(const std::string& call, bool result = true) {
        calls.push_back(call);
        return result;
    }

    bool otherInstance = false;
    bool windowCreated = true;
    bool threadStarted = true;
    int quitCode = 0;
    Calls calls;
};

TEST(TrayProgramTest, StartsInOrderAndEndsWithTheQuitValue) {
    FakeShell shell;
    shell.quitCode = 0;
    TrayProgram program(shell);
    EXPECT_EQ(program.run(), 0);
    EXPECT_EQ(shell.calls, (Calls{"find", "window", "icon+ VORL Cursift v1.5.11.0", "accelerators",
                                  "thread", "menu", "loop", "menus-"}));
    EXPECT_TRUE(program.redirecting());

    FakeShell other;
    other.quitCode = 7;
    EXPECT_EQ(TrayProgram(other).run(), 7);
}

TEST(TrayProgramTest, SecondInstanceAndWindowFailureEndAtOnce) {
    FakeShell second;
    second.otherInstance = true;
    EXPECT_EQ(TrayProgram(second).run(), 0);
    EXPECT_EQ(second.calls, Calls{"find"});

    FakeShell noWindow;
    noWindow.windowCreated = false;
    EXPECT_EQ(TrayProgram(noWindow).run(), 0);
    EXPECT_EQ(noWindow.calls, (Calls{"find", "window"}));
}

TEST(TrayProgramTest, ThreadFailureIsShownAndEndsTheProgram) {
    FakeShell shell;
    shell.threadStarted = false;
    TrayProgram program(shell);
    EXPECT_EQ(program.run(), 0);
    EXPECT_EQ(shell.calls.back(), "error Cursift Error: Unable to create Mouse Redirection Thread");
    EXPECT_EQ(std::count(shell.calls.begin(), shell.calls.end(), "loop"), 0);
    EXPECT_FALSE(program.redirecting());
}

TEST(TrayProgramTest, OnlyRightButtonUpOnTheIconOpensTheMenu) {
    FakeShell shell;
    TrayProgram program(shell);
    for (uint32_t message : {0x0200u, 0x0201u, 0x0202u, 0x0203u, 0x0204u, 0x0206u})
        EXPECT_TRUE(program.onTrayCallback(message));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_TRUE(program.onTrayCallback(0x0205));
    EXPECT_EQ(shell.calls, Calls{"popup"});
    EXPECT_EQ(kTrayCallbackMessage, 1025u);
}

TEST(TrayProgramTest, MenuCommandsAndWindowMessages) {
    FakeShell shell;
    TrayProgram program(shell);
    EXPECT_TRUE(program.onCommand(IDM_ABOUT));
    EXPECT_EQ(shell.calls, Calls{"about"});

    shell.calls.clear();
    EXPECT_FALSE(program.onCommand(106));  // default processing
    EXPECT_FALSE(program.onCommand(0));
    EXPECT_TRUE(shell.calls.empty());

    EXPECT_TRUE(program.onCommand(IDM_EXIT));
    EXPECT_EQ(shell.calls, (Calls{"icon-", "close thread", "destroy"}));

    shell.calls.clear();
    EXPECT_FALSE(program.onClose());  // the default processing destroys the window
    EXPECT_TRUE(program.onMinimized());
    EXPECT_TRUE(program.onDestroy());
    EXPECT_EQ(shell.calls, (Calls{"icon-", "hide", "quit 0"}));
}

TEST(TrayProgramTest, TextsAndIdentifiers) {
    EXPECT_EQ(trayTip(), "VORL Cursift v1.5.11.0");
    EXPECT_LT(trayTip().size(), 128u);  // the tray record's tip field
    EXPECT_EQ(aboutTitle(), "VORL Cursift Version ");
    EXPECT_STREQ(kPaintedText, "Kelvane-K8 Host Application");
}

}  // namespace
}  // namespace vorl::mouse
