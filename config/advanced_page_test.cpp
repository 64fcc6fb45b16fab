#include "config/advanced_page.h"

#include <gtest/gtest.h>

#include "cardsim/sim_network_group.h"
#include "config/panel_ids.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

constexpr const char* kMacQuestion =
    "Are you sure you want to change the MAC address?This involved a reset of the card. The "
    "application will close and you will have to reconnect";

class AdvancedPageTest : public test::PanelFixture {
protected:
    AdvancedPageTest() : page(view, context) { page.onShown(); }
    void applyMac(const std::string& text) {
        view.texts[IDC_NEW_MAC] = text;
        page.onCommand(IDC_MAC_APPLY, ControlEvent::Clicked);
    }

    AdvancedPage page;
};

TEST_F(AdvancedPageTest, ShowsTheCardsMacOnce) {
    EXPECT_EQ(view.texts[IDC_CURRENT_MAC], "02:00:4B:38:00:01");
    page.onShown();
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0800});

    AdvancedPage failing(view, context);
    force(0x0800, 30);
    failing.onShown();
    EXPECT_EQ(view.messages, (std::vector<test::FakePanelView::Message>{
                                 {"Unable to retreive data from the card", MessageIcon::Error}}));
}

TEST_F(AdvancedPageTest, OnlyAnExactMacTextIsOffered) {
    for (const char* text :
         {"00:2A:3B:4C:5D:1D ", "00:2A:3B:4C:5D:1", "00-2A-3B-4C-5D-1D", "00:2A:3B:4C:5D:1G", ""}) {
        SCOPED_TRACE(text);
        view.messages.clear();
        applyMac(text);
        EXPECT_EQ(view.messageTexts(),
                  std::vector<std::string>{"The MAC Address you entered is not valid"});
    }
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0800});
}

TEST_F(AdvancedPageTest, AMacChangeWritesResetsToDefaultsAndCloses) {
    view.answers = {false};
    applyMac("00:2a:3b:4c:5d:1d");
    EXPECT_EQ(view.questions, std::vector<std::string>{kMacQuestion});
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0800});

    view.answers = {true};
    applyMac("00:2a:3b:4c:5d:1d");
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0800, 0x0801, 0x0901}));
    EXPECT_EQ(last(0x0801).payload, (std::vector<uint8_t>{0x00, 0x2A, 0x3B, 0x4C, 0x5D, 0x1D, 99}));
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>{3000});
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(view.busyDepth, 0);
}

TEST_F(AdvancedPageTest, AFailedMacWriteLeavesTheCardUnresetAndTheProgramOpen) {
    force(0x0801, 34);
    view.answers = {true};
    applyMac("00:2A:3B:4C:5D:1D");
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Error Setting MAC address!!\n"});
    EXPECT_EQ(sent(0x0901), 0u);
    EXPECT_EQ(view.closes, 0);
}

TEST_F(AdvancedPageTest, ResetAsksThenResetsToDefaultsAndCloses) {
    view.answers = {false, true};
    page.onCommand(IDC_RESET_CARD, ControlEvent::Clicked);
    EXPECT_EQ(sent(0x0901), 0u);
    EXPECT_EQ(view.closes, 0);
    force(0x0901, 33);  // the result is not shown: the card restarts either way
    page.onCommand(IDC_RESET_CARD, ControlEvent::Clicked);
    EXPECT_EQ(view.questions.back(),
              "Are you sure you want to reset the Card? Once the card is reset the application "
              "will close");
    EXPECT_EQ(sent(0x0901), 1u);
    EXPECT_EQ(view.closes, 1);
    EXPECT_TRUE(view.messages.empty());
}

}  // namespace
}  // namespace vorl::panel
