#include "mouse/tray_program.h"

#include "mouse/resource_ids.h"

namespace vorl::mouse {

std::string trayTip() {
    return std::string(kCardName) + " Cursift v" + kVersion;
}

std::string aboutTitle() {
    return std::string(kCardName) + " Cursift Version ";
}

int TrayProgram::run() {
    if (shell_.otherInstanceRunning()) return 0;
    if (!shell_.createMainWindow()) return 0;
    shell_.addTrayIcon(trayTip());
    shell_.loadAccelerators();
    if (!shell_.startRedirectionThread()) {
        shell_.showError(kThreadFailureText, kThreadFailureCaption);
        return 0;
    }
    running_ = true;
    shell_.loadTrayMenu();
    const int code = shell_.runMessageLoop();
    shell_.destroyMenus();
    return code;
}

bool TrayProgram::onTrayCallback(uint32_t mouseMessage) {
    if (mouseMessage == kRightButtonUp) shell_.showTrayMenuAtCursor();
    return true;
}

bool TrayProgram::onCommand(int command) {
    switch (command) {
        case IDM_ABOUT:
            shell_.showAboutBox();
            return true;
        case IDM_EXIT:
            shell_.removeTrayIcon();
            shell_.closeThreadHandle();
            shell_.destroyMainWindow();
            return true;
        default:
            return false;
    }
}

bool TrayProgram::onMinimized() {
    shell_.hideMainWindow();
    return true;
}

bool TrayProgram::onClose() {
    shell_.removeTrayIcon();
    return false;
}

bool TrayProgram::onDestroy() {
    shell_.postQuit(0);
    return true;
}

}  // namespace vorl::mouse
