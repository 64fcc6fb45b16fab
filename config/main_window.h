#pragma once
// The main window: five tabbed pages over one card session, the Exit question, the about box's
// texts and the CD-redirection notice.
#include <array>
#include <cstdint>
#include <string_view>

#include "config/page_presenter.h"

namespace vorl::panel {

struct PageSlot {
    const char* tabTitle;
    int dialogId;
    PageFactory make;
};

// The tabs in their order; each page is created from its dialog resource.
extern const std::array<PageSlot, 5> kPages;

inline constexpr std::string_view kMainTitle = "VORL Config Application Dialog";
inline constexpr std::string_view kAboutMenuItem = "&About V8IdozedIze...";
inline constexpr std::string_view kAboutTitle = "AboutVORL ConfigApp ";
inline constexpr std::string_view kAboutVersion = "VORLConfigApp 1.5.16.0";
inline constexpr std::string_view kAboutLine =
    "Configures a VORL card over the network or the host interface";

// What the main window shows beyond the pages.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    // Brings page `index` to the front, hides the others and gives it the focus.
    virtual void showPage(int index) = 0;
    virtual bool ask(std::string_view question) = 0;
    // A system-modal box on top of every window, with a title of its own and an OK button.
    virtual void showNotice(std::string_view title, std::string_view text) = 0;
    // A box with the error icon and an OK button.
    virtual void showError(std::string_view text) = 0;
    // Ends the main window (and the program).
    virtual void close() = 0;
};

class MainWindow {
public:
    MainWindow(MainWindowView& view, PageContext& context) : view_(view), context_(context) {}

    void tabChanged(int index) { view_.showPage(index); }
    // The Exit button and the Enter key; Escape and the title bar close without asking.
    void exitPressed();
    // A device-arrival report for logical volumes whose flags say a medium arrived; bit 0 of
    // `driveMask` is drive A.
    void mediaArrived(uint32_t driveMask);
    // Page `index` could not be created: the program says so and closes rather than show an
    // empty tab.
    void pageNotCreated(int index);

private:
    MainWindowView& view_;
    PageContext& context_;
};

}  // namespace vorl::panel
