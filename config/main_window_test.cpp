#include "config/main_window.h"

#include <gtest/gtest.h>

#include "config/panel_ids.h"
#include "hostifc/host_interface.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"
#include "tests/support/scripted_scsi_device.h"

namespace vorl::panel {
namespace {

struct RecordingWindow : MainWindowView {
    void showPage(int index) override { shown.push_back(index); }
    bool ask(std::string_view question) override {
        questions.emplace_back(question);
        return answer;
    }
    void showNotice(std::string_view title, std::string_view text) override {
        notices.emplace_back(std::string(title) + "|" + std::string(text));
    }
    void showError(std::string_view text) override { errors.emplace_back(text); }
    void close() override { ++closes; }

    std::vector<int> shown;
    std::vector<std::string> errors;
    std::vector<std::string> questions;
    std::vector<std::string> notices;
    bool answer = false;
    int closes = 0;
};

TEST(MainWindowTest, TabsComeInTheirOrderWithTheirPages) {
    const char* titles[] = {"User Manager", "Network Configuration", "Firmware Flash", "Advanced",
                            "Server Information"};
    const int dialogs[] = {IDD_USER_PAGE, IDD_NETWORK_PAGE, IDD_FLASH_PAGE, IDD_ADVANCED_PAGE,
                           IDD_SERVER_INFO_PAGE};
    for (size_t i = 0; i < kPages.size(); ++i) {
        EXPECT_STREQ(kPages[i].tabTitle, titles[i]);
        EXPECT_EQ(kPages[i].dialogId, dialogs[i]);
        EXPECT_NE(kPages[i].make, nullptr);
    }
}

TEST(MainWindowTest, ExitAsksAndOnlyYesCloses) {
    CardSession session(std::make_unique<test::FakeTransport>());
    PageContext context{session, kNetwork};
    RecordingWindow window;
    MainWindow main(window, context);
    main.exitPressed();
    EXPECT_EQ(window.closes, 0);
    window.answer = true;
    main.exitPressed();
    EXPECT_EQ(window.closes, 1);
    EXPECT_EQ(window.questions,
              std::vector<std::string>(2, "Are you sure you want to quit the application?"));
    main.tabChanged(3);
    EXPECT_EQ(window.shown, std::vector<int>{3});

    // A page that cannot be created is named, and the program closes without a question.
    main.pageNotCreated(2);
    EXPECT_EQ(window.errors, std::vector<std::string>{"The Firmware Flash page could not be "
                                                      "created. The application will close."});
    EXPECT_EQ(window.closes, 2);
    EXPECT_EQ(window.questions.size(), 2u);
}

TEST(MainWindowTest, MediaArrivalShowsTheNoticeOnlyOverTheHostInterface) {
    const std::string notice =
        "CD Redirection Has Been Started|CD Redirection has been started on the card \nIn order "
        "to view the CD on this Server System you may have to exit this application, eject and "
        "reinsert the CD on the remote console. You can restart this application once you are "
        "able to view the CD";
    {
        CardSession network(std::make_unique<test::FakeTransport>());
        PageContext context{network, kNetwork};
        RecordingWindow window;
        MainWindow(window, context).mediaArrived(1u << 3);
        EXPECT_TRUE(window.notices.empty());
    }
    platform::SleepRecorder sleeps;
    CardSession host(std::make_unique<HostInterface>(test::makeMachineWithCard()));
    ASSERT_EQ(host.connect(), 0);
    PageContext context{host, kHostInterface};
    RecordingWindow window;
    MainWindow main(window, context);
    main.mediaArrived(0);
    EXPECT_TRUE(window.notices.empty());
    // Any medium, on any drive: one notice per drive in the report.
    main.mediaArrived((1u << 3) | (1u << 25));
    EXPECT_EQ(window.notices, std::vector<std::string>(2, notice));
}

}  // namespace
}  // namespace vorl::panel
