#include "config/main_window.h"

#include <string>

#include "config/advanced_page.h"
#include "config/flash_page.h"
#include "config/network_page.h"
#include "config/panel_ids.h"
#include "config/server_info_page.h"
#include "config/user_manager_page.h"
#include "protocol/card_session.h"

namespace vorl::panel {
namespace {

template <class Page>
std::unique_ptr<PagePresenter> makePage(PanelView& view, PageContext& context) {
    return std::make_unique<Page>(view, context);
}

constexpr int kDrives = 26;  // A to Z

}  // namespace

const std::array<PageSlot, 5> kPages = {{
    {"User Manager", IDD_USER_PAGE, &makePage<UserManagerPage>},
    {"Network Configuration", IDD_NETWORK_PAGE, &makePage<NetworkPage>},
    {"Firmware Flash", IDD_FLASH_PAGE, &makePage<FlashPage>},
    {"Advanced", IDD_ADVANCED_PAGE, &makePage<AdvancedPage>},
    {"Server Information", IDD_SERVER_INFO_PAGE, &makePage<ServerInfoPage>},
}};

void MainWindow::exitPressed() {
    if (view_.ask("Are you sure you want to quit the application?")) view_.close();
}

void MainWindow::pageNotCreated(int index) {
    view_.showError("The " + std::string(kPages.at(static_cast<size_t>(index)).tabTitle) +
                    " page could not be created. The application will close.");
    view_.close();
}

void MainWindow::mediaArrived(uint32_t driveMask) {
    for (int drive = 0; drive < kDrives; ++drive) {
        if ((driveMask & (1u << drive)) == 0) continue;
        // Only a host-interface session knows the card's drive; any medium arriving while the
        // card presents its drive means the card has started a redirection.
        char letter = 0;
        if (context_.session.getDriveLetter(letter) != 0 || letter == 0) continue;
        view_.showNotice("CD Redirection Has Been Started",
                         "CD Redirection has been started on the card \nIn order to view the CD "
                         "on this Server System you may have to exit this application, eject and "
                         "reinsert the CD on the remote console. You can restart this application "
                         "once you are able to view the CD");
    }
}

}  // namespace vorl::panel
