// vorlpoint: the tray program that feeds the card's remote-console pointer into this machine's
// mouse input. One instance per desktop; Exit from the tray icon's menu ends it.
#include <windows.h>

#include "mouse/tray_program.h"
#include "mouse/tray_shell_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    vorl::mouse::Win32TrayShell shell(instance);
    vorl::mouse::TrayProgram program(shell);
    shell.attach(program);
    return program.run();
}
