#include "config/user_manager_page.h"

#include <gtest/gtest.h>

#include <cstring>

#include "config/panel_ids.h"
#include "tests/support/fake_panel_view.h"

namespace vorl::panel {
namespace {

using test::FakePanelView;

// The card's answer to 0x0502 for `names` (passwords "pw-" + name).
std::vector<uint8_t> userList(const std::vector<std::string>& names) {
    std::vector<uint8_t> bytes(64 * names.size(), 0);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string password = "pw-" + names[i];
        std::memcpy(&bytes[32 * i], names[i].data(), names[i].size());
        std::memcpy(&bytes[32 * (names.size() + i)], password.data(), password.size());
    }
    return bytes;
}

class UserManagerPageTest : public test::PanelFixture {
protected:
    UserManagerPageTest() : page(view, context) { page.onCreated(); }

    void addAccount(const std::string& name, const std::string& password) {
        onCard([&](CardSession& s) { return s.addUser(name, password); });
    }
    void addSnmp(const std::string& name, const char* auth, const char* priv) {
        SnmpUserRecord record;
        setField(record.name, 32, name);
        setField(record.authProtocol, 32, auth);
        setField(record.privProtocol, 32, priv);
        setField(record.password, 32, "snmp-pass");
        onCard([&](CardSession& s) { return s.addSnmpUser(record); });
    }
    // Plays the user dialog: fills its controls, then presses OK (Cancel when `ok` is false).
    void answerDialog(std::function<void(FakePanelView&)> fill, bool ok = true) {
        view.dialog = [this, fill, ok](int, DialogPresenter& presenter) {
            dialogView = FakePanelView{};  // a fresh dialog each time
            presenter.onCreated(dialogView);
            fill(dialogView);
            return ok && presenter.onOk();
        };
    }
    // bob on the card and on the page, selected.
    void selectBob() {
        addAccount("bob", "bob-pass");
        page.onShown();
        select(1);
    }
    void select(int line) {
        view.selectLine(IDC_USER_LIST, line);
        page.onCommand(IDC_USER_LIST, ControlEvent::SelectionChanged);
    }
    std::vector<std::string> cardAccounts() {
        UserRecord users[16];
        int count = 0;
        onCard([&](CardSession& s) { return s.listUsers(users, 16, count); });
        std::vector<std::string> names;
        for (int i = 0; i < count; ++i) names.push_back(fieldText(users[i].name, 32));
        return names;
    }

    FakePanelView dialogView;
    UserManagerPage page;
};

TEST_F(UserManagerPageTest, ListsAccountsWithTheirSnmpSettingsAndRereadsOnSelection) {
    addAccount("bob", "bob-pass");
    addAccount("carol", "carol-pass");
    addSnmp("bob", "SHA", "NONE");
    addSnmp("Carol", "MD5", "DES");  // another name: case counts
    EXPECT_FALSE(view.enabled[IDC_AUTH_PROTOCOL]);
    EXPECT_FALSE(view.enabled[IDC_CANCEL_USER]);

    page.onShown();
    EXPECT_EQ(view.lists[IDC_USER_LIST], (std::vector<std::string>{"admin", "bob", "carol"}));
    EXPECT_EQ(view.selectedLine(IDC_USER_LIST), 0);
    EXPECT_EQ(view.texts[IDC_USER_NAME], "admin");
    EXPECT_FALSE(view.checked[IDC_SNMP_ACCESS]);
    EXPECT_EQ(view.busySpells, 1);
    EXPECT_TRUE(view.messages.empty());

    view.texts[IDC_CURRENT_PASSWORD] = "typed";
    select(1);
    EXPECT_EQ(sent(0x0502), 2u);  // a selection reads the card again
    EXPECT_EQ(view.texts[IDC_USER_NAME], "bob");
    EXPECT_TRUE(view.checked[IDC_SNMP_ACCESS]);
    EXPECT_TRUE(view.enabled[IDC_AUTH_PROTOCOL] && view.enabled[IDC_PRIV_PROTOCOL]);
    EXPECT_EQ(view.selectedLine(IDC_AUTH_PROTOCOL), 1);  // SHA
    EXPECT_EQ(view.selectedLine(IDC_PRIV_PROTOCOL), 0);  // "NONE" shows as None
    EXPECT_EQ(view.texts[IDC_CURRENT_PASSWORD], "");

    select(2);
    EXPECT_FALSE(view.checked[IDC_SNMP_ACCESS]);
    EXPECT_FALSE(view.enabled[IDC_AUTH_PROTOCOL]);
    EXPECT_EQ(view.selectedLine(IDC_AUTH_PROTOCOL), 1);  // left as it was

    page.onShown();  // showing the page again does not read the card
    EXPECT_EQ(sent(0x0502), 3u);
}

TEST_F(UserManagerPageTest, FailedReadsShowTheirMessagesAndWhatWasRead) {
    force(0x0507, 30);  // the card's answer when it has no SNMP users
    addAccount("bob", "bob-pass");
    page.onShown();
    EXPECT_EQ(view.lists[IDC_USER_LIST].size(), 2u);
    EXPECT_TRUE(view.messages.empty());

    force(0x0507, 2);
    addAccount("dave", "dave-pass");
    page.load();
    EXPECT_EQ(view.messageTexts(),
              (std::vector<std::string>{"Cannot get snmp users from k8",
                                        "Unable to retreive data from the card"}));
    EXPECT_EQ(view.messages[1].icon, MessageIcon::Error);
    EXPECT_EQ(view.lists[IDC_USER_LIST].size(), 3u);  // the new names, without SNMP settings

    view.messages.clear();
    force(0x0502, 33);
    page.load();
    EXPECT_EQ(view.messageTexts(),
              (std::vector<std::string>{"Cannot get users from k8",
                                        "Unable to retreive data from the card"}));
    EXPECT_EQ(view.lists[IDC_USER_LIST].size(), 3u);  // the lines stay
}

TEST_F(UserManagerPageTest, HoldsSixteenAccountsWhateverTheCardLists) {
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) names.push_back("user" + std::to_string(i));
    force(0x0502, 0, userList(names));
    page.onShown();
    EXPECT_EQ(page.userCount(), 16);
    EXPECT_EQ(view.lists[IDC_USER_LIST].size(), 16u);
    EXPECT_EQ(fieldText(page.entry(15).account.password, 32), "pw-user15");

    page.addUser();
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"Max number of users limit reached. User can't be added."});
    EXPECT_TRUE(view.dialogsRun.empty());

    names.resize(15);
    force(0x0502, 0, userList(names));
    page.load();
    answerDialog([](FakePanelView&) {}, false);
    page.addUser();
    EXPECT_EQ(view.dialogsRun, std::vector<int>{IDD_USER_DIALOG});
}

TEST_F(UserManagerPageTest, AddSendsTheDialogsAccountSavesAndReloads) {
    page.onShown();
    answerDialog([](FakePanelView& d) {
        d.texts[IDC_USER_NAME] = "newuser";
        d.texts[IDC_NEW_PASSWORD] = d.texts[IDC_CONFIRM_PASSWORD] = "password1";
    });
    page.addUser();
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0502, 0x0507, 0x0500, 0x0603, 0x0502, 0x0507}));
    EXPECT_EQ(field(last(0x0500), 0, 32), "newuser");
    EXPECT_EQ(field(last(0x0500), 32, 32), "password1");
    EXPECT_EQ(view.lists[IDC_USER_LIST], (std::vector<std::string>{"admin", "newuser"}));
    EXPECT_TRUE(view.messages.empty());

    // SNMPv3 access with no protocol chosen sends the second entries.
    answerDialog([](FakePanelView& d) {
        d.texts[IDC_USER_NAME] = "snmpuser";
        d.texts[IDC_NEW_PASSWORD] = d.texts[IDC_CONFIRM_PASSWORD] = "password2";
        d.checked[IDC_SNMP_ACCESS] = true;
    });
    page.addUser();
    const auto& snmp = last(0x0506);
    EXPECT_EQ(field(snmp, 0, 32), "snmpuser");
    EXPECT_EQ(field(snmp, 32, 32), "SHA");
    EXPECT_EQ(field(snmp, 64, 32), "DES");
    EXPECT_EQ(field(snmp, 96, 32), "password2");
    EXPECT_EQ(sent(0x0603), 2u);

    // A refused add is reported, not saved, and the page shows the card's state.
    answerDialog([](FakePanelView& d) {
        d.texts[IDC_USER_NAME] = "newuser";
        d.texts[IDC_NEW_PASSWORD] = d.texts[IDC_CONFIRM_PASSWORD] = "password1";
    });
    page.addUser();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Error Adding New User"});
    EXPECT_EQ(sent(0x0603), 2u);
    EXPECT_EQ(commands().back(), 0x0507);
}

TEST_F(UserManagerPageTest, TypedTextsAreCutToTheirRecordFields) {
    page.onShown();
    const std::string name(40, 'n');
    answerDialog([&](FakePanelView& d) {
        d.texts[IDC_USER_NAME] = name;  // more than the edit would take
        d.texts[IDC_NEW_PASSWORD] = d.texts[IDC_CONFIRM_PASSWORD] = std::string(45, 'p');
    });
    page.addUser();
    const auto& add = last(0x0500);
    ASSERT_EQ(add.payload.size(), 64u);
    EXPECT_EQ(std::string(add.payload.begin(), add.payload.begin() + 32), std::string(32, 'n'));
    EXPECT_EQ(std::string(add.payload.begin() + 32, add.payload.end()), std::string(32, 'p'));
}

TEST_F(UserManagerPageTest, DeleteNeedsTheCurrentPasswordAndAYes) {
    selectBob();
    const size_t before = wire->requests.size();

    view.texts[IDC_CURRENT_PASSWORD] = "bob-Pass";
    page.deleteUser();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Current Passwords do not match\n"});
    EXPECT_EQ(wire->requests.size(), before);  // nothing sent, no question

    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.answers = {false};
    page.deleteUser();
    EXPECT_EQ(sent(0x0501), 0u);
    EXPECT_EQ(commands().back(), 0x0507);  // read again after No too

    select(1);
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.answers = {true};
    page.deleteUser();
    EXPECT_EQ(view.questions.back(), "Are you sure you want to delete this user?");
    EXPECT_EQ(field(last(0x0501), 0, 32), "bob");
    EXPECT_EQ(field(last(0x0501), 32, 32), "bob-pass");
    EXPECT_EQ(sent(0x0603), 1u);
    EXPECT_EQ(cardAccounts(), std::vector<std::string>{"admin"});
}

TEST_F(UserManagerPageTest, DeleteAndModifyWithoutASelectedLineDoNothing) {
    page.onShown();
    force(0x0502, 0, {});  // the last account went away
    page.load();
    EXPECT_EQ(view.selectedLine(IDC_USER_LIST), -1);
    EXPECT_EQ(view.texts[IDC_USER_NAME], "");
    const size_t before = wire->requests.size();
    page.deleteUser();
    page.modifyUser();
    EXPECT_EQ(wire->requests.size(), before);
    EXPECT_TRUE(view.messages.empty());
    EXPECT_TRUE(view.questions.empty());
}

TEST_F(UserManagerPageTest, ModifyChecksPasswordsThenReplacesTheAccount) {
    selectBob();
    const size_t before = wire->requests.size();

    view.texts[IDC_CURRENT_PASSWORD] = "wrong";
    page.modifyUser();
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.texts[IDC_NEW_PASSWORD] = "new-one";
    view.texts[IDC_CONFIRM_PASSWORD] = "new-two";
    page.modifyUser();
    EXPECT_EQ(view.messageTexts(),
              (std::vector<std::string>{
                  "You have to enter the current password correctly to perform this operation",
                  "New password and confirmation password do not match"}));
    EXPECT_EQ(wire->requests.size(), before);

    // Both new fields empty: the current password is kept; SNMP settings as the page shows.
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "";
    view.checked[IDC_SNMP_ACCESS] = true;
    view.selectLine(IDC_AUTH_PROTOCOL, 0);
    view.selectLine(IDC_PRIV_PROTOCOL, 1);
    page.modifyUser();
    // The password stays, so the account is not deleted: only the SNMP user is added.
    EXPECT_EQ(commands(), (std::vector<uint16_t>{0x0502, 0x0507, 0x0502, 0x0507, 0x0502, 0x0507,
                                                 0x0506, 0x0603, 0x0502, 0x0507}));
    const auto& snmp = last(0x0506);
    EXPECT_EQ(field(snmp, 0, 32), "bob");
    EXPECT_EQ(field(snmp, 32, 32), "MD5");
    EXPECT_EQ(field(snmp, 64, 32), "DES");
    EXPECT_EQ(field(snmp, 96, 32), "bob-pass");
    EXPECT_EQ(view.messages.size(), 2u);
}

TEST_F(UserManagerPageTest, ModifyWithSnmpAccessKeepsTheLoginAccount) {
    selectBob();
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "changed-2";
    view.checked[IDC_SNMP_ACCESS] = true;
    view.selectLine(IDC_AUTH_PROTOCOL, 1);
    view.selectLine(IDC_PRIV_PROTOCOL, 0);
    page.modifyUser();
    // The card keeps SNMP users apart from the accounts that log in: the SNMP user alone would
    // have left bob without a login.
    EXPECT_TRUE(view.messages.empty());
    EXPECT_EQ(field(last(0x0500), 32, 32), "changed-2");
    EXPECT_EQ(field(last(0x0506), 96, 32), "changed-2");
    EXPECT_EQ(cardAccounts(), (std::vector<std::string>{"admin", "bob"}));
    EXPECT_TRUE(page.entry(1).snmpAccess);
    EXPECT_EQ(sent(0x0603), 1u);
}

TEST_F(UserManagerPageTest, AFailedModifyPutsTheOldAccountBack) {
    selectBob();
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "changed-1";
    force(0x0506, 28);  // the new account is refused
    view.checked[IDC_SNMP_ACCESS] = true;
    page.modifyUser();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Error Modifying user info"});
    EXPECT_EQ(sent(0x0603), 0u);
    EXPECT_EQ(field(last(0x0500), 0, 32), "bob");
    EXPECT_EQ(field(last(0x0500), 32, 32), "bob-pass");
    EXPECT_EQ(cardAccounts(), (std::vector<std::string>{"admin", "bob"}));
    EXPECT_EQ(view.lists[IDC_USER_LIST], (std::vector<std::string>{"admin", "bob"}));
}

TEST_F(UserManagerPageTest, ARestoredSnmpAccountGetsItsSettingsBack) {
    selectBob();
    addSnmp("bob", "MD5", "DES");
    select(1);
    ASSERT_TRUE(page.entry(1).snmpAccess);
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    // A new password: with the same one there is nothing to replace.
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "changed-3";
    view.checked[IDC_SNMP_ACCESS] = false;
    force(0x0500, 18);  // the re-add fails
    page.modifyUser();
    // The restore sends the SNMP user as the card listed it; this card keeps SNMP users apart
    // from accounts and refuses it (15), so the account itself is sent too.
    const auto& snmp = last(0x0506);
    EXPECT_EQ(field(snmp, 0, 32), "bob");
    EXPECT_EQ(field(snmp, 32, 32), "MD5");
    EXPECT_EQ(field(snmp, 64, 32), "DES");
    EXPECT_EQ(field(snmp, 96, 32), "snmp-pass");
    EXPECT_EQ(sent(0x0500), 2u);
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Error Modifying user info"});
}

TEST_F(UserManagerPageTest, AFailedDeleteInModifyIsReportedAndTheAddStillSent) {
    selectBob();
    view.texts[IDC_CURRENT_PASSWORD] = "bob-pass";
    view.texts[IDC_NEW_PASSWORD] = view.texts[IDC_CONFIRM_PASSWORD] = "changed-4";
    force(0x0501, 16);
    page.modifyUser();
    // The add meets the account that is still there: nothing to put back.
    EXPECT_EQ(view.messageTexts(),
              (std::vector<std::string>{"Error Modifying user\n", "Error Modifying user info"}));
    EXPECT_EQ(sent(0x0500), 1u);
}

}  // namespace
}  // namespace vorl::panel
