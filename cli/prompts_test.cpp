#include "cli/prompts.h"

#include <gtest/gtest.h>

#include "tests/support/fake_console.h"

namespace vorl::cli {
namespace {

using test::FakeConsole;

const std::string kPrompt = "Please Enter Password : ";

TEST(ReadPassword, EndsAtCrLfOrEndOfInputAndEchoesOneStarPerCharacter) {
    struct Case {
        std::string input;
        std::string password;
        std::string left;  // what the next reads of standard input see
    };
    const Case cases[] = {
        {"secret\ny\n", "secret", "y\n"},
        {"secret\rX", "secret", "X"},
        {"secret\r\ny\n", "secret", "y\n"},
        {"secret\r\r\n", "secret", "\r\n"},
        {"secret", "secret", ""},
        {"", "", ""},
        {"\n", "", ""},
        {"pass word\n", "pass word", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        FakeConsole console(c.input);
        EXPECT_EQ(readPassword(console), c.password);
        EXPECT_EQ(console.output, kPrompt + std::string(c.password.size(), '*'));
        std::string left;
        for (int ch = console.readChar(); ch >= 0; ch = console.readChar()) {
            left.push_back(static_cast<char>(ch));
        }
        EXPECT_EQ(left, c.left);
    }
}

TEST(ReadPassword, CrLfCountsOnceAlsoForTheNextPrompt) {
    FakeConsole console("secret\r\nyes\n");
    EXPECT_EQ(readPassword(console), "secret");
    // The LF of the pair must not be taken for an empty answer or a pressed Enter.
    EXPECT_EQ(askYesNo(console, "?"), 'Y');
}

TEST(ReadPassword, BackspaceRemovesTheLastKeptCharacter) {
    FakeConsole console(
        "\bab\bc\x7f"
        "d\n");
    EXPECT_EQ(readPassword(console), "ad");
    EXPECT_EQ(console.output, kPrompt + "\b \b**\b \b*\b \b*");
}

TEST(ReadPassword, KeepsTheFirst255CharactersButEchoesEveryOne) {
    std::string typed;
    for (int i = 0; i < 300; ++i) typed.push_back(static_cast<char>('a' + i % 26));
    FakeConsole console(typed + "\n");
    EXPECT_EQ(readPassword(console), typed.substr(0, 255));
    EXPECT_EQ(console.output, kPrompt + std::string(300, '*'));
}

TEST(AskYesNo, AnswersTheFirstCharacterOfTheFirstWordInUpperCase) {
    struct Case {
        std::string input;
        char answer;
    };
    const Case cases[] = {
        {"y\n", 'Y'},
        {"Yes please\n", 'Y'},
        {"\n\n  \t yep\n", 'Y'},
        {"no\n", 'N'},
        {"x\n", 'X'},
        {"1\n", '1'},
        {"y", 'Y'},
        // A closed input never confirms.
        {"", 'N'},
        {"\n \n", 'N'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        FakeConsole console(c.input);
        EXPECT_EQ(askYesNo(console, "Sure (y/n)?"), c.answer);
        EXPECT_EQ(console.output, "Sure (y/n)?\n");
    }
}

TEST(AskYesNo, ReadsOneWordOfAtMost27CharactersAndLeavesTheRest) {
    FakeConsole console("y\nnext");
    EXPECT_EQ(askYesNo(console, ""), 'Y');
    EXPECT_EQ(console.rest(), "\nnext");

    FakeConsole longWord(std::string(27, 'n') + "yes\n");
    EXPECT_EQ(askYesNo(longWord, ""), 'N');
    EXPECT_EQ(longWord.rest(), "yes\n");
    EXPECT_EQ(askYesNo(longWord, ""), 'Y');
}

}  // namespace
}  // namespace vorl::cli
