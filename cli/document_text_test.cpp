#include "cli/document_text.h"

#include <gtest/gtest.h>

namespace vorl::cli {
namespace {

TEST(DocumentText, TellsUtf8FromEverythingElse) {
    EXPECT_TRUE(isUtf8(""));
    EXPECT_TRUE(isUtf8("plain"));
    EXPECT_TRUE(isUtf8("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x92\xA1"));
    EXPECT_FALSE(isUtf8("\xE9t\xE9"));         // Latin-1
    EXPECT_FALSE(isUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(isUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(isUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
    EXPECT_FALSE(isUtf8("\xE2\x82"));          // cut short
    EXPECT_FALSE(isUtf8("\x80"));              // a continuation byte alone
}

TEST(DocumentText, KeepsEveryByteOfACardTextAndItsHexBesideIt) {
    Json data = {{"name", "Caf\xE9"},
                 {"version", "2.4\xFF"},
                 {"version_as_received", "2.4\xFF\n"},
                 {"plain", "ok"},
                 {"groups", {{{"name", "\x80\x81"}}}},
                 {"words", {"a\xE9"}}};
    keepExactText(data, true);
    // Two texts that differ stay different: nothing collapses into U+FFFD.
    EXPECT_EQ(data["name"], "Caf\xC3\xA9");
    EXPECT_EQ(data["name_as_received_hex"], "436166e9");
    EXPECT_EQ(data["version"], "2.4\xC3\xBF");
    // The card's own text carries the bytes; the member derived from it adds none of its own.
    EXPECT_EQ(data["version_as_received"], "2.4\xC3\xBF\n");
    EXPECT_EQ(data["version_as_received_hex"], "322e34ff0a");
    EXPECT_EQ(data.size(), 8u);
    EXPECT_EQ(data["plain"], "ok");
    EXPECT_FALSE(data.contains("plain_as_received_hex"));
    EXPECT_EQ(data["groups"][0]["name"], "\xC2\x80\xC2\x81");
    EXPECT_EQ(data["groups"][0]["name_as_received_hex"], "8081");
    EXPECT_EQ(data["words"][0], "a\xC3\xA9");
    // The whole document now dumps without a replacement.
    EXPECT_NO_THROW(data.dump());
}

}  // namespace
}  // namespace vorl::cli
