#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include "config/dialogs_win32.h"
#include "config/program.h"

namespace vorl::panel {

int runProgram() {
    INITCOMMONCONTROLSEX controls = {};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES | ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);
    // A failed attempt ends its dialog with OK and a fresh one follows; Cancel, or the main
    // window closing, ends the program.
    while (runConnectionDialog() == IDOK) {
    }
    return 0;
}

}  // namespace vorl::panel
