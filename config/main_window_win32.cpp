// The main window: a tab control with the five pages, the Exit button, the about item of the
// system menu and the device-arrival broadcast.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <dbt.h>

#include <array>
#include <memory>
#include <string>

#include "config/dialogs_win32.h"
#include "config/main_window.h"
#include "config/panel_ids.h"

namespace vorl::panel {
namespace {

// Pages sit this many pixels right of the first tab's header and below it.
constexpr int kPageOffset = 2;

// Where a page goes in its tab control's client area: its top-left corner just right of and
// below the first tab's header, its bottom-right corner that of the display area, so that the
// page covers the area the tab control paints around it.
RECT pageRectangle(HWND tabControl) {
    RECT header = {};
    SendMessageA(tabControl, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&header));
    RECT area = {};
    GetClientRect(tabControl, &area);
    SendMessageA(tabControl, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    return {header.left + kPageOffset, header.bottom + kPageOffset, area.right, area.bottom};
}

class MainWindowAdapter : public MainWindowView {
public:
    MainWindowAdapter(CardSession& session, int connectionType)
        : context_{session, connectionType}, presenter_(*this, context_) {}

    void showPage(int index) override {
        for (size_t i = 0; i < pages_.size(); ++i)
            ShowWindow(pages_[i]->window, static_cast<int>(i) == index ? SW_SHOW : SW_HIDE);
        HWND shown = pages_[static_cast<size_t>(index)]->window;
        SetFocus(shown);
        PostMessageA(shown, kPageShownMessage, 0, 0);
    }
    bool ask(std::string_view question) override {
        return MessageBoxA(window_, std::string(question).c_str(), kMessageCaption,
                           MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
    void showNotice(std::string_view title, std::string_view text) override {
        MessageBoxA(window_, std::string(text).c_str(), std::string(title).c_str(),
                    MB_OK | MB_SYSTEMMODAL | MB_TOPMOST | MB_SETFOREGROUND);
    }
    void showError(std::string_view text) override {
        MessageBoxA(window_, std::string(text).c_str(), kMessageCaption, MB_OK | MB_ICONERROR);
    }
    void close() override { EndDialog(window_, IDOK); }

    void open(HWND window);
    MainWindow& presenter() { return presenter_; }
    HWND tabs() const { return GetDlgItem(window_, IDC_PAGE_TABS); }

private:
    HWND window_ = nullptr;
    PageContext context_;
    MainWindow presenter_;
    std::array<std::unique_ptr<PageWindow>, kPages.size()> pages_;
};

void MainWindowAdapter::open(HWND window) {
    window_ = window;
    if (HMENU systemMenu = GetSystemMenu(window, FALSE)) {
        AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, std::string(kAboutMenuItem).c_str());
    }
    SetWindowTextA(window, std::string(kMainTitle).c_str());
    HICON icon = LoadIconA(programInstance(), MAKEINTRESOURCEA(IDI_PANEL));
    SendMessageA(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));

    HWND tabControl = tabs();
    for (size_t i = 0; i < kPages.size(); ++i) {
        std::string title = kPages[i].tabTitle;
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title.data();
        SendMessageA(tabControl, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
    }
    const RECT place = pageRectangle(tabControl);
    for (size_t i = 0; i < kPages.size(); ++i) {
        pages_[i] = std::make_unique<PageWindow>(
            PageWindow{DialogView(window), context_, kPages[i].make, nullptr, nullptr});
        if (!createPageDialog(tabControl, kPages[i].dialogId, *pages_[i])) {
            presenter_.pageNotCreated(static_cast<int>(i));
            return;
        }
        SetWindowPos(pages_[i]->window, nullptr, place.left, place.top, place.right - place.left,
                     place.bottom - place.top, SWP_NOZORDER);
    }
    showPage(0);
}

// A volume whose medium arrived: the drives it names, or 0.
DWORD arrivedMedia(WPARAM event, LPARAM data) {
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (event != DBT_DEVICEARRIVAL || header == nullptr ||
        header->dbch_devicetype != DBT_DEVTYP_VOLUME)
        return 0;
    const auto* volume = reinterpret_cast<const DEV_BROADCAST_VOLUME*>(data);
    return (volume->dbcv_flags & DBTF_MEDIA) != 0 ? volume->dbcv_unitmask : 0;
}

INT_PTR CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* adapter = dialogState<MainWindowAdapter>(window, message, lParam);
    switch (message) {
        case WM_INITDIALOG:
            adapter->open(window);
            return FALSE;  // the focus went to the first page
        case WM_COMMAND:
            if (adapter == nullptr) return FALSE;
            if (LOWORD(wParam) == IDC_EXIT || LOWORD(wParam) == IDOK)
                adapter->presenter().exitPressed();
            // Disabled, the window belongs to a running flash: it does not close under it.
            if (LOWORD(wParam) == IDCANCEL && IsWindowEnabled(window)) EndDialog(window, IDCANCEL);
            return TRUE;
        case WM_NOTIFY: {
            const auto* note = reinterpret_cast<const NMHDR*>(lParam);
            if (adapter == nullptr || note->idFrom != IDC_PAGE_TABS || note->code != TCN_SELCHANGE)
                return FALSE;
            adapter->presenter().tabChanged(
                static_cast<int>(SendMessageA(adapter->tabs(), TCM_GETCURSEL, 0, 0)));
            return TRUE;
        }
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) != IDM_ABOUTBOX) return FALSE;
            runAboutBox(window);
            return TRUE;
        case WM_DEVICECHANGE:
            if (adapter != nullptr) {
                if (const DWORD drives = arrivedMedia(wParam, lParam))
                    adapter->presenter().mediaArrived(drives);
            }
            return FALSE;  // default handling follows
        default:
            return FALSE;
    }
}

INT_PTR CALLBACK aboutBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    if (message == WM_INITDIALOG) {
        SetWindowTextA(box, std::string(kAboutTitle).c_str());
        SetDlgItemTextA(box, IDC_ABOUT_VERSION, std::string(kAboutVersion).c_str());
        SetDlgItemTextA(box, IDC_ABOUT_LINE, std::string(kAboutLine).c_str());
        HICON icon = LoadIconA(programInstance(), MAKEINTRESOURCEA(IDI_PANEL));
        SendDlgItemMessageA(box, IDC_ABOUT_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(box, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void runMainWindow(CardSession& session, int connectionType) {
    MainWindowAdapter adapter(session, connectionType);
    DialogBoxParamA(programInstance(), MAKEINTRESOURCEA(IDD_MAIN), nullptr, mainWindowProc,
                    reinterpret_cast<LPARAM>(&adapter));
}

void runAboutBox(HWND owner) {
    DialogBoxParamA(programInstance(), MAKEINTRESOURCEA(IDD_ABOUT), owner, aboutBoxProc, 0);
}

}  // namespace vorl::panel
