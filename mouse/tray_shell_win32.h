#pragma once
// The tray program's window system on Win32: the hidden window and its class, the tray icon,
// the menus, the about box and the redirection thread.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "mouse/tray_program.h"

namespace vorl::mouse {

class Win32TrayShell : public TrayShell {
public:
    explicit Win32TrayShell(HINSTANCE instance);
    ~Win32TrayShell() override;
    // The program whose window procedure this shell's window runs. Set before run().
    void attach(TrayProgram& program) { program_ = &program; }

    bool otherInstanceRunning() override;
    bool createMainWindow() override;
    void addTrayIcon(const std::string& tip) override;
    void removeTrayIcon() override;
    void loadAccelerators() override;
    bool startRedirectionThread() override;
    void closeThreadHandle() override;
    void showError(const char* text, const char* caption) override;
    void loadTrayMenu() override;
    void destroyMenus() override;
    int runMessageLoop() override;
    void showTrayMenuAtCursor() override;
    void showAboutBox() override;
    void destroyMainWindow() override;
    void hideMainWindow() override;
    void postQuit(int code) override;

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void paint(HWND window);

    HINSTANCE instance_;
    TrayProgram* program_ = nullptr;
    char title_[100] = {};
    char className_[100] = {};
    HWND window_ = nullptr;
    NOTIFYICONDATAA tray_ = {};
    HACCEL accelerators_ = nullptr;
    HANDLE thread_ = nullptr;
    HMENU menuResource_ = nullptr;
    HMENU trayMenu_ = nullptr;
};

}  // namespace vorl::mouse
