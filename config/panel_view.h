#pragma once
// What a presenter may do to its dialog: the whole of it. The Win32 adapters implement it over
// real windows; tests implement it with a recording fake. Controls are named by their resource
// identifiers (config/panel_ids.h).
#include <cstdint>
#include <string>
#include <string_view>

namespace vorl::panel {

enum class MessageIcon { None, Error, Stop };
enum class ControlEvent { Clicked, SelectionChanged };
class PanelView;
class PageWorker;

// A modal dialog opened from a page: the view is handed over once the dialog exists.
class DialogPresenter {
public:
    virtual ~DialogPresenter() = default;
    virtual void onCreated(PanelView& view) = 0;
    virtual void onCommand(int /*control*/, ControlEvent /*event*/) {}
    // OK pressed: true lets the dialog close.
    virtual bool onOk() = 0;
};

// The four parts of an IP-address control. A blank part reads as 0.
struct IpAddressEntry {
    int filledParts = 0;  // 0: the control is entirely blank
    uint8_t parts[4] = {};
};

class PanelView {
public:
    virtual ~PanelView() = default;

    // Text controls (edits, statics, buttons' captions).
    virtual std::string text(int control) = 0;
    virtual void setText(int control, std::string_view text) = 0;
    // The most characters an edit accepts from the keyboard.
    virtual void limitText(int control, int characters) = 0;
    virtual void enable(int control, bool enabled) = 0;
    virtual void focus(int control) = 0;

    // Check boxes and radio buttons.
    virtual bool isChecked(int control) = 0;
    virtual void setChecked(int control, bool checked) = 0;

    // List boxes and drop-down lists; clearList and addListLine also serve list views (a new
    // row at the end, with `line` in its first column).
    virtual void clearList(int control) = 0;
    virtual void addListLine(int control, std::string_view line) = 0;
    virtual int selectedLine(int control) = 0;  // -1: none
    virtual void selectLine(int control, int index) = 0;

    // List views in report view: columns (width in pixels), a check box on every row, cells.
    virtual void addListColumn(int control, std::string_view title, int width) = 0;
    virtual void showRowCheckBoxes(int control) = 0;
    virtual void setCell(int control, int row, int column, std::string_view text) = 0;
    virtual bool isRowChecked(int control, int row) = 0;
    // Goes through the page's PagePresenter::onRowCheckChanging first, as a click does.
    virtual void setRowChecked(int control, int row, bool checked) = 0;

    // Progress bars: the range runs from 0 to `maximum`.
    virtual void setProgressRange(int control, int maximum) = 0;
    virtual void setProgressPosition(int control, int position) = 0;

    // IP-address controls.
    virtual IpAddressEntry ipAddress(int control) = 0;
    virtual void setIpAddress(int control, const uint8_t parts[4]) = 0;
    virtual void clearIpAddress(int control) = 0;

    // A Yes/No question with the question icon: true for Yes.
    virtual bool ask(std::string_view question) = 0;
    // A message box with an OK button. A page's worker raises its own from its thread, and
    // waits there until it is answered.
    virtual void showMessage(std::string_view text, MessageIcon icon) = 0;
    // Runs a modal dialog (resource `dialogId`) over this one: true when it ended with OK.
    virtual bool runDialog(int dialogId, DialogPresenter& presenter) = 0;
    // The platform's file-open dialog; a name typed without extension gets `defaultExtension`
    // (".ima"). True, and the chosen path, unless the user cancelled.
    virtual bool chooseFileToOpen(std::string_view defaultExtension, std::string& path) = 0;
    // Takes input away from this dialog as a whole, or gives it back; the same for the main
    // window.
    virtual void enableDialog(bool enabled) = 0;
    virtual void enableMainWindow(bool enabled) = 0;
    // The dialog's background worker (pages that flash the card use it).
    virtual PageWorker& worker() = 0;
    // The hourglass while a card operation blocks the window.
    virtual void setBusy(bool busy) = 0;
    // Paints the dialog now (before a step that blocks the window).
    virtual void repaint() = 0;
    // Ends the main window, and with it the program.
    virtual void closeProgram() = 0;
};

// The hourglass for the life of a scope.
class BusyCursor {
public:
    explicit BusyCursor(PanelView& view) : view_(view) { view_.setBusy(true); }
    ~BusyCursor() { view_.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    PanelView& view_;
};

// The first `width` characters of a text typed into a dialog: what fits the card field it goes
// to, whatever the edit let through.
inline std::string fieldBounded(std::string text, size_t width) {
    if (text.size() > width) text.resize(width);
    return text;
}

}  // namespace vorl::panel
