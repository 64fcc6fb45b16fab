// The one dialog procedure of every page: it hands the page's events to its presenter.
#include "config/dialogs_win32.h"
// After windows.h, which it needs.
#include <commctrl.h>

#include <string_view>

namespace vorl::panel {
namespace {

// A list view's row check box about to change: the presenter may refuse it.
INT_PTR rowChanging(HWND page, PagePresenter& presenter, const NMLISTVIEW& change) {
    if ((change.uChanged & LVIF_STATE) == 0) return FALSE;
    // State image 1 is the empty box, 2 the checked one; 0 means the change leaves it alone.
    const UINT before = (change.uOldState & LVIS_STATEIMAGEMASK) >> 12;
    const UINT after = (change.uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (after == 0 || after == before) return FALSE;
    const bool allowed =
        presenter.onRowCheckChanging(static_cast<int>(change.hdr.idFrom), change.iItem, after == 2);
    SetWindowLongPtrA(page, DWLP_MSGRESULT, allowed ? FALSE : TRUE);
    return TRUE;
}

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
        case WM_NOTIFY: {
            const auto* note = reinterpret_cast<const NMHDR*>(lParam);
            if (state == nullptr || note->code != LVN_ITEMCHANGING) return FALSE;
            return rowChanging(page, *state->presenter,
                               *reinterpret_cast<const NMLISTVIEW*>(lParam));
        }
        case kWorkerProgressMessage:
            if (state == nullptr) return FALSE;
            state->presenter->onWorkerProgress(static_cast<int>(wParam),
                                               *reinterpret_cast<const std::string_view*>(lParam));
            return TRUE;
        case kWorkerQueuedProgressMessage:
            if (state == nullptr) return FALSE;
            state->presenter->onWorkerProgress(static_cast<int>(wParam),
                                               *reinterpret_cast<const std::string*>(lParam));
            return TRUE;
        case kWorkerEndMessage:
            if (state == nullptr) return FALSE;
            state->presenter->onWorkerEnded(wParam != 0);
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
