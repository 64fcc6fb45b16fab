// PanelView over real dialog windows, and the generic modal dialog it opens for presenters.
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <commdlg.h>

#include <optional>

#include "config/dialogs_win32.h"

namespace vorl::panel {
namespace {

struct ModalDialog {
    DialogPresenter& presenter;
    DialogView view;
};

INT_PTR CALLBACK modalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = dialogState<ModalDialog>(dialog, message, lParam);
    if (message == WM_INITDIALOG) {
        state->view.attach(dialog);
        state->presenter.onCreated(state->view);
        return TRUE;
    }
    if (state == nullptr || message != WM_COMMAND) return FALSE;
    const int id = LOWORD(wParam);
    if (id == IDOK) {
        if (state->presenter.onOk()) EndDialog(dialog, IDOK);
    } else if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
    } else if (ControlEvent event; controlEventOf(HIWORD(wParam), event)) {
        state->presenter.onCommand(id, event);
    }
    return TRUE;
}

}  // namespace

HINSTANCE programInstance() {
    return GetModuleHandleA(nullptr);
}

bool controlEventOf(WORD notification, ControlEvent& event) {
    // BN_CLICKED is 0; LBN_SELCHANGE and CBN_SELCHANGE are both 1.
    if (notification == BN_CLICKED) {
        event = ControlEvent::Clicked;
        return true;
    }
    if (notification == LBN_SELCHANGE) {
        event = ControlEvent::SelectionChanged;
        return true;
    }
    return false;
}

std::string DialogView::text(int id) {
    const int length = GetWindowTextLengthA(control(id));
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    const UINT copied = GetDlgItemTextA(dialog_, id, text.data(), static_cast<int>(text.size()));
    text.resize(copied);
    return text;
}

void DialogView::setText(int id, std::string_view text) {
    SetDlgItemTextA(dialog_, id, std::string(text).c_str());
}

void DialogView::limitText(int id, int characters) {
    SendDlgItemMessageA(dialog_, id, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void DialogView::enable(int id, bool enabled) {
    EnableWindow(control(id), enabled ? TRUE : FALSE);
}

void DialogView::focus(int id) {
    SetFocus(control(id));
}

bool DialogView::isChecked(int id) {
    return IsDlgButtonChecked(dialog_, id) == BST_CHECKED;
}

void DialogView::setChecked(int id, bool checked) {
    CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool DialogView::isComboBox(int id) const {
    char name[32] = {};
    GetClassNameA(control(id), name, sizeof name);
    return lstrcmpiA(name, "ComboBox") == 0;
}

bool DialogView::isListView(int id) const {
    char name[32] = {};
    GetClassNameA(control(id), name, sizeof name);
    return lstrcmpiA(name, WC_LISTVIEWA) == 0;
}

void DialogView::clearList(int id) {
    if (isListView(id)) {
        SendDlgItemMessageA(dialog_, id, LVM_DELETEALLITEMS, 0, 0);
        return;
    }
    SendDlgItemMessageA(dialog_, id, isComboBox(id) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

void DialogView::addListLine(int id, std::string_view line) {
    std::string text(line);
    if (isListView(id)) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(SendDlgItemMessageA(dialog_, id, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = text.data();
        SendDlgItemMessageA(dialog_, id, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return;
    }
    SendDlgItemMessageA(dialog_, id, isComboBox(id) ? CB_ADDSTRING : LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(text.c_str()));
}

void DialogView::addListColumn(int id, std::string_view title, int width) {
    std::string text(title);
    HWND header = reinterpret_cast<HWND>(SendDlgItemMessageA(dialog_, id, LVM_GETHEADER, 0, 0));
    const LRESULT columns = header != nullptr ? SendMessageA(header, HDM_GETITEMCOUNT, 0, 0) : 0;
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = width;
    column.pszText = text.data();
    column.iSubItem = static_cast<int>(columns);
    SendDlgItemMessageA(dialog_, id, LVM_INSERTCOLUMNA, static_cast<WPARAM>(columns),
                        reinterpret_cast<LPARAM>(&column));
}

void DialogView::showRowCheckBoxes(int id) {
    const LPARAM styles = LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT;
    SendDlgItemMessageA(dialog_, id, LVM_SETEXTENDEDLISTVIEWSTYLE, styles, styles);
}

void DialogView::setCell(int id, int row, int column, std::string_view text) {
    std::string cell(text);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = cell.data();
    SendDlgItemMessageA(dialog_, id, LVM_SETITEMTEXTA, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
}

bool DialogView::isRowChecked(int id, int row) {
    const LRESULT state = SendDlgItemMessageA(dialog_, id, LVM_GETITEMSTATE,
                                              static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK);
    return ((static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

void DialogView::setRowChecked(int id, int row, bool checked) {
    // The list view asks the page (LVN_ITEMCHANGING) before it changes the box.
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendDlgItemMessageA(dialog_, id, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                        reinterpret_cast<LPARAM>(&item));
}

void DialogView::setProgressRange(int id, int maximum) {
    SendDlgItemMessageA(dialog_, id, PBM_SETRANGE32, 0, maximum);
}

void DialogView::setProgressPosition(int id, int position) {
    SendDlgItemMessageA(dialog_, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool DialogView::chooseFileToOpen(std::string_view defaultExtension, std::string& path) {
    // The dialog wants the extension without its point.
    std::string extension(defaultExtension.substr(defaultExtension.starts_with('.') ? 1 : 0));
    char file[4 * MAX_PATH] = {};
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner();
    dialog.lpstrFilter = "Firmware Images (*.ima)\0*.ima\0All Files (*.*)\0*.*\0";
    dialog.lpstrFile = file;
    dialog.nMaxFile = sizeof file;
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameA(&dialog)) return false;
    path = file;
    return true;
}

void DialogView::enableDialog(bool enabled) {
    EnableWindow(dialog_, enabled ? TRUE : FALSE);
}

void DialogView::enableMainWindow(bool enabled) {
    EnableWindow(mainWindow_ != nullptr ? mainWindow_ : owner(), enabled ? TRUE : FALSE);
}

int DialogView::selectedLine(int id) {
    const LRESULT line =
        SendDlgItemMessageA(dialog_, id, isComboBox(id) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    return line < 0 ? -1 : static_cast<int>(line);
}

void DialogView::selectLine(int id, int index) {
    SendDlgItemMessageA(dialog_, id, isComboBox(id) ? CB_SETCURSEL : LB_SETCURSEL,
                        static_cast<WPARAM>(index), 0);
}

IpAddressEntry DialogView::ipAddress(int id) {
    DWORD address = 0;
    IpAddressEntry entry;
    entry.filledParts = static_cast<int>(
        SendDlgItemMessageA(dialog_, id, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)));
    entry.parts[0] = static_cast<uint8_t>(FIRST_IPADDRESS(address));
    entry.parts[1] = static_cast<uint8_t>(SECOND_IPADDRESS(address));
    entry.parts[2] = static_cast<uint8_t>(THIRD_IPADDRESS(address));
    entry.parts[3] = static_cast<uint8_t>(FOURTH_IPADDRESS(address));
    return entry;
}

void DialogView::setIpAddress(int id, const uint8_t parts[4]) {
    SendDlgItemMessageA(dialog_, id, IPM_SETADDRESS, 0,
                        MAKEIPADDRESS(parts[0], parts[1], parts[2], parts[3]));
}

void DialogView::clearIpAddress(int id) {
    SendDlgItemMessageA(dialog_, id, IPM_CLEARADDRESS, 0, 0);
}

HWND DialogView::owner() const {
    return GetAncestor(dialog_, GA_ROOT);
}

bool DialogView::ask(std::string_view question) {
    return MessageBoxA(owner(), std::string(question).c_str(), kMessageCaption,
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void DialogView::showMessage(std::string_view text, MessageIcon icon) {
    UINT style = MB_OK;
    if (icon == MessageIcon::Error) style |= MB_ICONERROR;
    if (icon == MessageIcon::Stop) style |= MB_ICONSTOP;
    MessageBoxA(owner(), std::string(text).c_str(), kMessageCaption, style);
}

bool DialogView::runDialog(int dialogId, DialogPresenter& presenter) {
    ModalDialog state{presenter, DialogView(mainWindow_)};
    return DialogBoxParamA(programInstance(), MAKEINTRESOURCEA(dialogId), owner(), modalDialogProc,
                           reinterpret_cast<LPARAM>(&state)) == IDOK;
}

void DialogView::setBusy(bool busy) {
    if (busy) {
        if (busyDepth_++ == 0) previousCursor_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    } else if (busyDepth_ > 0 && --busyDepth_ == 0) {
        SetCursor(previousCursor_ != nullptr ? previousCursor_ : LoadCursorA(nullptr, IDC_ARROW));
    }
}

void DialogView::repaint() {
    RedrawWindow(dialog_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

void DialogView::closeProgram() {
    if (mainWindow_ != nullptr) EndDialog(mainWindow_, IDOK);
}

}  // namespace vorl::panel
