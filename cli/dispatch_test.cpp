#include "cli/dispatch.h"

#include <gtest/gtest.h>

#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"

namespace vorl::cli {
namespace {

TEST(IsSubCommand, ComparesTheTextAfterTheFirstCharacterInAnyCase) {
    EXPECT_TRUE(isSubCommand("-listAll", "listAll"));
    EXPECT_TRUE(isSubCommand("-LISTALL", "listAll"));
    EXPECT_TRUE(isSubCommand("/nw", "nw"));
    EXPECT_TRUE(isSubCommand("xNW", "nw"));
    EXPECT_FALSE(isSubCommand("-listAl", "listAll"));
    EXPECT_FALSE(isSubCommand("-listAllUser", "listAll"));
    EXPECT_FALSE(isSubCommand("listAll", "listAll"));
    EXPECT_FALSE(isSubCommand("", "nw"));
    EXPECT_FALSE(isSubCommand("-", "nw"));
}

TEST(FindGroupHandler, MatchesEveryKeywordInAnyCase) {
    struct Case {
        const char* word;
        GroupHandler handler;
    };
    const Case cases[] = {
        {"-user", runUserGroup},
        {"-USER", runUserGroup},
        {"-Sel", runSelGroup},
        {"-pef", runPefGroup},
        {"-flash", runFlashGroup},
        {"-CARDMODE", runFlashGroup},
        {"-File", runFlashGroup},
        {"-Net", runNetGroup},
        {"-gen", runGenGroup},
        {"-hb", runHbGroup},
        {"-sdk", runSdkGroup},
        {"-modemcfg", runModemCfg},
        {"-PPPCfg", runPppCfg},
        {"-asrcfg", runAsrCfg},
        {"-Setserverinfo", runSetServerInfo},
        {"-Getserverinfo", runGetServerInfo},
        {"-getcardhealth", runGetCardHealth},
        {"-geti2ccfg", runGetI2cCfg},
        {"-SETI2CCFG", runSetI2cCfg},
        {"-getipmicfg", runGetIpmiCfg},
        {"-setipmicfg", runSetIpmiCfg},
        {"-hostctrl", runHostCtrl},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        EXPECT_EQ(findGroupHandler(c.word), c.handler);
    }
}

TEST(FindGroupHandler, RefusesWordsWithoutTheDashOrWithoutAKeyword) {
    for (const char* word : {"user", "/user", "+user", "-", "", "-users", "-use", "-server"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(findGroupHandler(word), nullptr);
    }
}

TEST(DispatchCommand, InvalidGroupWordsReturnMinusOneWithoutTraffic) {
    auto owned = std::make_unique<test::FakeTransport>();
    test::FakeTransport* transport = owned.get();
    CardSession session(std::move(owned));
    EXPECT_EQ(dispatchCommand(session, {}), -1);
    EXPECT_EQ(dispatchCommand(session, {"admin"}), -1);
    EXPECT_EQ(dispatchCommand(session, {"admin", "user", "-listAllUser"}), -1);
    EXPECT_EQ(dispatchCommand(session, {"admin", "-nosuch", "-listAllUser"}), -1);
    EXPECT_TRUE(transport->requests.empty());

    // The leading word is not looked at.
    EXPECT_EQ(dispatchCommand(session, {"-user", "-User", "-listAllUser"}), 0);
    ASSERT_EQ(transport->requests.size(), 1u);
    EXPECT_EQ(transport->requests[0].command, 0x0503);
}

}  // namespace
}  // namespace vorl::cli
