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

// Each group word, in any case, reaches its group: the command it names is the first to reach
// the card.
TEST(DispatchCommand, EveryGroupWordInAnyCaseReachesItsGroup) {
    struct Case {
        Words words;
        uint16_t firstCommand;
    };
    const Case cases[] = {
        {{"-USER", "-listAllUser"}, 0x0503},
        {{"-Sel", "-selInfo"}, 0x0400},
        {{"-pef", "-ARInfoGet", "1"}, 0x040F},
        {{"-flash", "-get"}, 0x0608},
        {{"-CARDMODE", "-get"}, 0x0608},
        {{"-File", "-get"}, 0x0608},
        {{"-Net", "-GetMac"}, 0x0800},
        {{"-gen", "-GetTime"}, 0x090B},
        {{"-hb", "-GetHB"}, 0x0A00},
        {{"-sdk", "-deleteSDK"}, 0x0200},
        {{"-modemcfg", "-get", "ttyS2"}, 0x0C02},
        {{"-PPPCfg", "-get"}, 0x0C00},
        {{"-asrcfg", "-get"}, 0x0C06},
        {{"-Setserverinfo", "-ServerName", "a", "-ServerLocn", "b", "-ServerOS", "c", "-ServerDesc",
          "d"},
         0x0904},
        {{"-Getserverinfo"}, 0x0905},
        {{"-getcardhealth"}, 0x0100},
        {{"-geti2ccfg"}, 0x0C08},
        {{"-SETI2CCFG", "0x20"}, 0x0C09},
        {{"-getipmicfg"}, 0x0C0A},
        {{"-setipmicfg", "y", "0x20", "n", "n", "n"}, 0x0C0B},
        {{"-hostctrl", "PowerUp"}, 0x0300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words[0]);
        auto owned = std::make_unique<test::FakeTransport>();
        test::FakeTransport* transport = owned.get();
        CardSession session(std::move(owned));
        Words words{"admin"};
        words.insert(words.end(), c.words.begin(), c.words.end());
        dispatchCommand(session, words);
        ASSERT_FALSE(transport->requests.empty());
        EXPECT_EQ(transport->requests[0].command, c.firstCommand);
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
