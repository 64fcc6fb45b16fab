// The word checks of the -Net, -Gen and -HB groups.
#include "cli/settings_words.h"

#include <gtest/gtest.h>

#include "cli/card_clock_text.h"

namespace vorl::cli {
namespace {

TEST(DecimalWord, ReadsLikeAtoiButRefusesWhatDoesNotFit) {
    struct Case {
        const char* word;
        int32_t value;
    } cases[] = {{"240", 240}, {"abc", 0},
                 {"-5", -5},   {"  77x", 77},
                 {"+12", 12},  {"2147483647", 2147483647},
                 {"", 0},      {"-2147483648", INT32_MIN}};
    for (const Case& c : cases) {
        int32_t value = 99;
        EXPECT_TRUE(readDecimalWord(c.word, value)) << c.word;
        EXPECT_EQ(c.value, value) << c.word;
    }
    int32_t value = 99;
    EXPECT_FALSE(readDecimalWord("2147483648", value));
    EXPECT_FALSE(readDecimalWord("-2147483649", value));
    EXPECT_FALSE(readDecimalWord("99999999999999999999999", value));
    EXPECT_EQ(99, value);
}

TEST(DateWord, ChecksTheCalendarAndTheCardClockRange) {
    int32_t seconds = 0;
    for (const char* ok : {"022912002004.00", "123123592037.59", "010100002000.00"}) {
        EXPECT_TRUE(cardTimeFromDateWord(ok, seconds)) << ok;
    }
    for (const char* bad :
         {"130112002004.00", "010012002004.00", "022912002003.00", "043112002004.00",
          "012424002004.00", "012412602004.00", "012412002004.60", "01241200200400", "garbage", "",
          // outside the card's 32-bit clock
          "010100002040.00", "010100001969.00", "010100001899.00"}) {
        EXPECT_FALSE(cardTimeFromDateWord(bad, seconds)) << bad;
    }
}

TEST(CardTimeText, TwentyFourCharactersOrTheRawSeconds) {
    EXPECT_EQ(24u, cardTimeText(86400).size());
    EXPECT_EQ(24u, cardTimeText(INT32_MAX).size());
    EXPECT_EQ("-1 (invalid time)", cardTimeText(-1));
}

}  // namespace
}  // namespace vorl::cli
