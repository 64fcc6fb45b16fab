#include "config/server_info_page.h"

#include <gtest/gtest.h>

#include <cstring>

#include "config/panel_ids.h"
#include "protocol/general_records.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

class ServerInfoPageTest : public test::PanelFixture {
protected:
    ServerInfoPageTest() : page(view, context) { page.onCreated(); }
    ServerInfoPage page;
};

TEST_F(ServerInfoPageTest, ReadsTheCardTheFirstTimeOnly) {
    ServerInfo info;
    std::strcpy(info.name, "db-01");
    std::strcpy(info.description, "rack 4");
    onCard([&](CardSession& s) { return s.setServerInfo(info); });
    EXPECT_EQ(view.limits[IDC_SERVER_NAME], 32);
    EXPECT_EQ(view.limits[IDC_SERVER_DESCRIPTION], 56);

    page.onShown();
    page.onShown();
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0905});
    EXPECT_EQ(view.texts[IDC_SERVER_NAME], "db-01");
    EXPECT_EQ(view.texts[IDC_SERVER_LOCATION], "");
    EXPECT_EQ(view.texts[IDC_SERVER_DESCRIPTION], "rack 4");
}

TEST_F(ServerInfoPageTest, AFailedReadLeavesTheEditsEmpty) {
    force(0x0905, 33);
    page.onShown();
    EXPECT_EQ(view.messages, (std::vector<test::FakePanelView::Message>{
                                 {"Unable to retreive data from the card", MessageIcon::Error}}));
    EXPECT_TRUE(view.texts.empty());
}

TEST_F(ServerInfoPageTest, ApplySendsEachTextInItsFieldSavesAndSaysSo) {
    view.texts[IDC_SERVER_NAME] = std::string(32, 'N');      // fills its field: no NUL
    view.texts[IDC_SERVER_LOCATION] = std::string(40, 'L');  // more than the edit takes
    view.texts[IDC_SERVER_OS] = "Linux";
    view.texts[IDC_SERVER_DESCRIPTION] = std::string(56, 'D');
    page.onCommand(IDC_SERVER_APPLY, ControlEvent::Clicked);
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0904, 0x0603}));
    const auto& payload = last(0x0904).payload;
    ASSERT_EQ(payload.size(), 152u);
    EXPECT_EQ(std::string(payload.begin(), payload.begin() + 32), std::string(32, 'N'));
    EXPECT_EQ(std::string(payload.begin() + 32, payload.begin() + 64), std::string(32, 'L'));
    EXPECT_EQ(field(last(0x0904), 64, 32), "Linux");
    EXPECT_EQ(std::string(payload.begin() + 96, payload.end()), std::string(56, 'D'));
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"Server Information has been set successfully!!\n"});
    EXPECT_TRUE(view.questions.empty());

    ServerInfo stored;
    onCard([&](CardSession& s) { return s.getServerInfo(stored); });
    EXPECT_EQ(std::string(stored.os), "Linux");
}

TEST_F(ServerInfoPageTest, ARefusedWriteIsNotSaved) {
    force(0x0904, 28);
    page.onCommand(IDC_SERVER_APPLY, ControlEvent::Clicked);
    EXPECT_EQ(commands(), std::vector<uint16_t>{0x0904});
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"Error setting Server Information!!\n"});
}

}  // namespace
}  // namespace vorl::panel
