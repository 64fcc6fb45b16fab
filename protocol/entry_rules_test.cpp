// The rules for texts an administrator types, shared by vorlcli and the configuration program.
#include "protocol/entry_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "protocol/advanced_records.h"

namespace vorl {
namespace {

TEST(IpText, ReadsAsTheDottedPatternDoes) {
    for (const char* ok :
         {"10.0.0.1", "255.255.255.0", "0.0.0.0", "010.001.000.009", "10.0.0.1abc", "10.0.0.1.5"}) {
        EXPECT_TRUE(isValidIpText(ok)) << ok;
    }
    for (const char* bad : {"10.0.0.300", "10.0.0", "10.0.0.-1", "1000.0.0.1", "a.b.c.d", "",
                            "10-0-0-1", "10.0.0.1                        x"}) {
        EXPECT_FALSE(isValidIpText(bad)) << bad;
    }
    // 31 characters still fit the field with its NUL; 32 do not.
    EXPECT_TRUE(isValidIpText("10.0.0.1" + std::string(23, 'x')));
    EXPECT_FALSE(isValidIpText("10.0.0.1" + std::string(24, 'x')));
}

TEST(CardName, LettersDigitsAndThreeMarksUpTo32) {
    EXPECT_TRUE(isValidCardName(""));
    EXPECT_TRUE(isValidCardName("Rack7*-_"));
    EXPECT_TRUE(isValidCardName(std::string(32, 'a')));
    EXPECT_FALSE(isValidCardName(std::string(33, 'a')));
    for (const char* bad : {"a b", "a.b", "a/b", "\xe9t\xe9"}) EXPECT_FALSE(isValidCardName(bad));
}

TEST(AccountText, AcceptsLettersDigitsDashAndUnderscoreOnly) {
    EXPECT_TRUE(isValidAccountText(""));
    EXPECT_TRUE(isValidAccountText("Admin_2-ops"));
    EXPECT_TRUE(isValidAccountText("azAZ09-_"));
    for (const char* bad : {"a.b", "a@b", "a b", "tab\t", "caf\xc3\xa9", "x\x7f", "semi;"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(isValidAccountText(bad));
    }
}

TEST(MacText, ExactlySixHexPairsWithColons) {
    EXPECT_TRUE(isExactMacText("00:2A:3B:4C:5D:1D"));
    EXPECT_TRUE(isExactMacText("00:2a:3b:4c:5d:1d"));
    for (const char* bad : {"00:2A:3B:4C:5D:1D ", "00:2A:3B:4C:5D:1", "00-2A-3B-4C-5D-1D",
                            "00:2A:3B:4C:5D:1G", "002A:3B:4C:5D:1D:", "", "0:02A:3B:4C:5D:1D"}) {
        EXPECT_FALSE(isExactMacText(bad)) << bad;
    }
}

TEST(CardWords, ModemAndRestartWords) {
    EXPECT_TRUE(isModemPort("ttyS2"));
    EXPECT_TRUE(isModemPort("ttyS3"));
    EXPECT_FALSE(isModemPort("TTYS2"));
    EXPECT_FALSE(isModemPort("ttyS1"));
    for (const char* speed : {"9600", "19200", "38400", "57600"}) EXPECT_TRUE(isModemSpeed(speed));
    for (const char* speed : {"", "115200", "9600 "}) EXPECT_FALSE(isModemSpeed(speed));

    uint8_t value = 99;
    EXPECT_TRUE(readAsrState("enabled", value));
    EXPECT_EQ(value, kAsrEnabled);
    EXPECT_TRUE(readAsrMethod("PowerCycle", value));
    EXPECT_EQ(value, kAsrPowerCycle);
    EXPECT_FALSE(readAsrMethod("POWER_CYCLE", value));
    EXPECT_EQ(value, kAsrPowerCycle);
    EXPECT_FALSE(readAsrState("ENABLE", value));
}

}  // namespace
}  // namespace vorl
