// The connection dialog, and the program's loop of connection dialogs.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>

#include "config/connection.h"
#include "config/dialogs_win32.h"
#include "config/panel_ids.h"
#include "protocol/card_session.h"

namespace vorl::panel {
namespace {

struct ConnectionWindow {
    DialogView view;
    Connection presenter;

    ConnectionWindow()
        : presenter(view, makeCardSession, [this](CardSession& session, int type) {
              // Out of the way while the main window runs: this dialog owns the session, and
              // a second OK must not replace it under the main window.
              ShowWindow(view.window(), SW_HIDE);
              runMainWindow(session, type);
          }) {}
};

INT_PTR CALLBACK connectionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = dialogState<ConnectionWindow>(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        state->view.attach(dialog);
        HICON icon = LoadIconA(programInstance(), MAKEINTRESOURCEA(IDI_PANEL));
        SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        state->presenter.onCreated();
        state->presenter.onShown();
        return TRUE;
    }
    if (state == nullptr || message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_NETWORK_CHOICE:
            state->presenter.networkChosen();
            return TRUE;
        case IDC_HOST_CHOICE:
            state->presenter.hostChosen();
            return TRUE;
        case IDC_CONNECT_OK:
        case IDOK:
            switch (state->presenter.okPressed()) {
                case Connection::Outcome::Stay:
                    break;
                case Connection::Outcome::Retry:
                    EndDialog(dialog, IDOK);
                    break;
                case Connection::Outcome::Quit:
                    EndDialog(dialog, IDCANCEL);
                    break;
            }
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

INT_PTR runConnectionDialog() {
    // The dialog's window and its session end together with this frame.
    ConnectionWindow window;
    return DialogBoxParamA(programInstance(), MAKEINTRESOURCEA(IDD_CONNECTION), nullptr,
                           connectionProc, reinterpret_cast<LPARAM>(&window));
}

}  // namespace vorl::panel
