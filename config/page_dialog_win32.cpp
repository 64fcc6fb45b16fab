// The one dialog procedure of every page: it hands the page's events to its presenter.
#include "config/dialogs_win32.h"

namespace vorl::panel {
namespace {

INT_PTR CALLBACK pageDialogProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = dialogState<PageWindow>(page, message, lParam);
    switch (message) {
        case WM_INITDIALOG:
            state->view.attach(page);
            state->presenter = state->make(state->view, state->context);
            state->presenter->onCreated();
            return FALSE;
        case kPageShownMessage:
            if (state == nullptr) return FALSE;
            // Paint the page before a first load blocks the window.
            UpdateWindow(GetAncestor(page, GA_ROOT));
            state->presenter->onShown();
            return TRUE;
        case WM_COMMAND: {
            ControlEvent event;
            if (state == nullptr || !controlEventOf(HIWORD(wParam), event)) return FALSE;
            state->presenter->onCommand(LOWORD(wParam), event);
            return TRUE;
        }
        case WM_NCDESTROY:
            SetWindowLongPtrA(page, DWLP_USER, 0);
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace

bool createPageDialog(HWND tabs, int dialogId, PageWindow& page) {
    page.window = CreateDialogParamA(programInstance(), MAKEINTRESOURCEA(dialogId), tabs,
                                     pageDialogProc, reinterpret_cast<LPARAM>(&page));
    return page.window != nullptr;
}

}  // namespace vorl::panel
