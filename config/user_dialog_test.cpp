#include "config/user_dialog.h"

#include <gtest/gtest.h>

#include "config/panel_ids.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

struct Typed {
    const char* name;
    const char* password;
    const char* confirmation;
    const char* refusal;  // nullptr: accepted
};

TEST(UserDialogTest, ChecksRunInOrderAndTheFirstFailureKeepsTheDialogOpen) {
    const Typed cases[] = {
        {"bad name", "bad pass", "", "Username contains invalid characters"},
        {"", "bad pass", "", "Password contains invalid characters"},
        {"ok", "", "password1", "Passwords cannot be empty"},
        {"ok", "short", "", "Passwords cannot be empty"},
        {"ok", "seven_7", "seven_7", "Passwords cannot be less than 8 characters in length"},
        {"ok", "password1", "password2", "Passwords do not match"},
        {"", "password1", "password1", nullptr},  // an empty name passes the dialog
        {"a-b_C9", "pass-wo_rd", "pass-wo_rd", nullptr},
    };
    for (const Typed& c : cases) {
        SCOPED_TRACE(std::string(c.name) + "/" + c.password + "/" + c.confirmation);
        test::FakePanelView view;
        UserDialog dialog;
        dialog.onCreated(view);
        view.texts[IDC_USER_NAME] = c.name;
        view.texts[IDC_NEW_PASSWORD] = c.password;
        view.texts[IDC_CONFIRM_PASSWORD] = c.confirmation;
        EXPECT_EQ(dialog.onOk(), c.refusal == nullptr);
        if (c.refusal != nullptr) {
            EXPECT_EQ(view.messageTexts(), std::vector<std::string>{c.refusal});
        } else {
            EXPECT_TRUE(view.messages.empty());
            EXPECT_EQ(dialog.account().name, c.name);
            EXPECT_EQ(dialog.account().password, c.password);
        }
    }
}

TEST(UserDialogTest, SnmpSettingsStartDisabledWithNothingSelected) {
    test::FakePanelView view;
    UserDialog dialog;
    dialog.onCreated(view);
    EXPECT_EQ(view.limits[IDC_USER_NAME], 30);
    EXPECT_EQ(view.limits[IDC_NEW_PASSWORD], 30);
    EXPECT_EQ(view.limits[IDC_CONFIRM_PASSWORD], 30);
    EXPECT_EQ(view.lists[IDC_AUTH_PROTOCOL], (std::vector<std::string>{"MD5", "SHA"}));
    EXPECT_EQ(view.lists[IDC_PRIV_PROTOCOL], (std::vector<std::string>{"None", "DES"}));
    EXPECT_FALSE(view.enabled[IDC_AUTH_PROTOCOL] || view.enabled[IDC_PRIV_PROTOCOL]);

    view.checked[IDC_SNMP_ACCESS] = true;
    dialog.onCommand(IDC_SNMP_ACCESS, ControlEvent::Clicked);
    EXPECT_TRUE(view.enabled[IDC_AUTH_PROTOCOL] && view.enabled[IDC_PRIV_PROTOCOL]);

    view.texts[IDC_USER_NAME] = "snmp";
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "password1";
    ASSERT_TRUE(dialog.onOk());
    EXPECT_TRUE(dialog.account().snmpAccess);
    EXPECT_EQ(dialog.account().authProtocol, -1);
    EXPECT_EQ(dialog.account().privProtocol, -1);

    view.checked[IDC_SNMP_ACCESS] = false;
    dialog.onCommand(IDC_SNMP_ACCESS, ControlEvent::Clicked);
    EXPECT_FALSE(view.enabled[IDC_AUTH_PROTOCOL] || view.enabled[IDC_PRIV_PROTOCOL]);
}

}  // namespace
}  // namespace vorl::panel
