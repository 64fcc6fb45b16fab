#pragma once
// vorlpanel's windows: the Win32 adapters between dialog resources and the presenters.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "config/page_presenter.h"
#include "config/page_worker.h"
#include "config/panel_view.h"

namespace vorl::panel {

// Private message a page receives after it has been brought to the front.
constexpr UINT kPageShownMessage = WM_APP + 1;
// The notices of a page's worker: progress, sent (wParam the count, lParam a std::string_view
// that lives for the call); progress, posted (lParam a std::string that outlives the worker);
// the end, posted (wParam 1 when the work completed).
constexpr UINT kWorkerProgressMessage = WM_APP + 2;
constexpr UINT kWorkerQueuedProgressMessage = WM_APP + 3;
constexpr UINT kWorkerEndMessage = WM_APP + 4;

// A page's worker thread, whose notices are window messages to the page.
class WindowPageWorker : public PageWorker {
public:
    WindowPageWorker() = default;
    ~WindowPageWorker() override { join(); }
    WindowPageWorker(WindowPageWorker&& other) noexcept;
    WindowPageWorker(const WindowPageWorker&) = delete;
    WindowPageWorker& operator=(const WindowPageWorker&) = delete;

    void attach(HWND page) { page_ = page; }
    bool start(std::function<void()> work) override;
    void join() override;
    void sendProgress(int count, std::string_view text) override;
    void postProgress(int count, const std::string& text) override;
    void postEnd(bool completed) override;

private:
    static DWORD WINAPI run(LPVOID self);

    HWND page_ = nullptr;
    HANDLE thread_ = nullptr;
    std::function<void()> work_;
};

// A PanelView over a dialog window. `mainWindow` is the window closeProgram() ends (none for
// the connection dialog).
class DialogView : public PanelView {
public:
    explicit DialogView(HWND mainWindow = nullptr) : mainWindow_(mainWindow) {}
    void attach(HWND dialog) {
        dialog_ = dialog;
        worker_.attach(dialog);
    }
    HWND window() const { return dialog_; }

    std::string text(int control) override;
    void setText(int control, std::string_view text) override;
    void limitText(int control, int characters) override;
    void enable(int control, bool enabled) override;
    void focus(int control) override;
    bool isChecked(int control) override;
    void setChecked(int control, bool checked) override;
    void clearList(int control) override;
    void addListLine(int control, std::string_view line) override;
    int selectedLine(int control) override;
    void selectLine(int control, int index) override;
    void addListColumn(int control, std::string_view title, int width) override;
    void showRowCheckBoxes(int control) override;
    void setCell(int control, int row, int column, std::string_view text) override;
    bool isRowChecked(int control, int row) override;
    void setRowChecked(int control, int row, bool checked) override;
    void setProgressRange(int control, int maximum) override;
    void setProgressPosition(int control, int position) override;
    bool chooseFileToOpen(std::string_view defaultExtension, std::string& path) override;
    void enableDialog(bool enabled) override;
    void enableMainWindow(bool enabled) override;
    PageWorker& worker() override { return worker_; }
    IpAddressEntry ipAddress(int control) override;
    void setIpAddress(int control, const uint8_t parts[4]) override;
    void clearIpAddress(int control) override;
    bool ask(std::string_view question) override;
    void showMessage(std::string_view text, MessageIcon icon) override;
    bool runDialog(int dialogId, DialogPresenter& presenter) override;
    void setBusy(bool busy) override;
    void repaint() override;
    void closeProgram() override;

private:
    HWND control(int id) const { return GetDlgItem(dialog_, id); }
    bool isComboBox(int id) const;
    bool isListView(int id) const;
    // Message boxes belong to the top-level window, also when asked for by a page.
    HWND owner() const;

    HWND dialog_ = nullptr;
    HWND mainWindow_ = nullptr;
    HCURSOR previousCursor_ = nullptr;
    int busyDepth_ = 0;
    WindowPageWorker worker_;
};

// The caption of vorlpanel's message boxes.
inline constexpr const char* kMessageCaption = "VORLConfigApp";

// The object a dialog procedure serves: handed over by WM_INITDIALOG's lParam and kept in the
// window's DWLP_USER slot. Null for the few messages before WM_INITDIALOG.
template <class State>
State* dialogState(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    return reinterpret_cast<State*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The program's module (its resources).
HINSTANCE programInstance();

// ControlEvent of a WM_COMMAND notification code, or false for the codes pages ignore.
bool controlEventOf(WORD notification, ControlEvent& event);

// A page: its view, its presenter (built when the dialog is created) and its window. Owned by
// the main window, which outlives the page windows.
struct PageWindow {
    DialogView view;
    PageContext& context;
    PageFactory make;
    std::unique_ptr<PagePresenter> presenter;
    HWND window = nullptr;
};

// Creates the page as a borderless child dialog of `tabs` from resource `dialogId`.
bool createPageDialog(HWND tabs, int dialogId, PageWindow& page);

// The modal windows.
void runMainWindow(CardSession& session, int connectionType);
void runAboutBox(HWND owner);
// Returns the dialog's end code: IDOK (a fresh dialog follows) or IDCANCEL (the program ends).
INT_PTR runConnectionDialog();

}  // namespace vorl::panel
