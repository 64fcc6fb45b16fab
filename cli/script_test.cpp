#include "cli/script.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace vorl::cli {
namespace {

TEST(SplitScriptLine, SplitsAtRunsOfAnyDelimiter) {
    Words words{"lead"};
    EXPECT_EQ(splitScriptLine("-user,-listAll\n", words), 2u);
    EXPECT_EQ(words, (Words{"lead", "-user", "-listAll"}));

    words.clear();
    EXPECT_EQ(splitScriptLine(" ,;! -user;;-add  bob!!pass,,\n", words), 4u);
    EXPECT_EQ(words, (Words{"-user", "-add", "bob", "pass"}));

    words.clear();
    EXPECT_EQ(splitScriptLine("-a\t-b.c", words), 1u);  // tab and dot are no delimiters
    EXPECT_EQ(words, (Words{"-a\t-b.c"}));

    words.clear();
    EXPECT_EQ(splitScriptLine(" ,;!\n", words), 0u);
    EXPECT_EQ(splitScriptLine("", words), 0u);
    EXPECT_TRUE(words.empty());
}

class ScriptReaderTest : public ::testing::Test {
protected:
    void TearDown() override { std::filesystem::remove(path_); }

    std::vector<std::string> readAll(const std::string& content) {
        {
            std::ofstream out(path_, std::ios::binary);
            out << content;
        }
        std::FILE* file = std::fopen(path_.string().c_str(), "r");
        EXPECT_NE(file, nullptr);
        std::vector<std::string> lines;
        if (!file) return lines;
        ScriptReader reader(file);
        std::string line;
        while (reader.next(line)) lines.push_back(reader.tooLong() ? "TOO LONG " + line : line);
        EXPECT_FALSE(reader.failed());
        std::fclose(file);
        return lines;
    }

    // Unique per run, so test programs of other build directories do not collide.
    std::filesystem::path path_ =
        std::filesystem::temp_directory_path() /
        ("vorlcli_script_" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + ".scr");
};

TEST_F(ScriptReaderTest, ReadsLinesWithTheirNewlineAndCrLfAsLf) {
    EXPECT_EQ(readAll("-user -listall\n\n-net\r\nlast"),
              (std::vector<std::string>{"-user -listall\n", "\n", "-net\n", "last"}));
}

TEST_F(ScriptReaderTest, ALongerLineIsRefusedWholeNotReadAsTwoCommands) {
    const std::string exact(254, 'a');
    const std::string longer(300, 'b');
    // 253 characters and CR LF: the CR fills the read, its LF comes after (Windows' text mode
    // has made both an LF already).
    const std::string crlf = std::string(253, 'c') + "\r\n";
    std::vector<std::string> lines =
        readAll(exact + "\n" + longer + "\n" + crlf + "\nafter\n" + longer);
    ASSERT_EQ(lines.size(), 6u);
    if (lines[2].back() == '\n') lines[2].pop_back();
    EXPECT_EQ(lines, (std::vector<std::string>{exact, "TOO LONG " + longer.substr(0, 254),
                                               std::string(253, 'c'), "\n", "after\n",
                                               "TOO LONG " + longer.substr(0, 254)}));
    EXPECT_EQ(readAll(exact), (std::vector<std::string>{exact}));
}

}  // namespace
}  // namespace vorl::cli
