#include "cli/usage.h"

#include <gtest/gtest.h>

#include "tests/support/fake_console.h"

namespace vorl::cli {
namespace {

using test::FakeConsole;

TEST(ProgramFileName, DropsEverythingUpToTheLastBackslashOrSlash) {
    EXPECT_EQ(programFileName("C:\\tools\\vorlcli.exe"), "vorlcli.exe");
    EXPECT_EQ(programFileName("/usr/local/bin/vorlcli"), "vorlcli");
    EXPECT_EQ(programFileName("..\\bin/tools\\cli"), "cli");
    EXPECT_EQ(programFileName("vorlcli"), "vorlcli");
    EXPECT_EQ(programFileName(""), "");
    EXPECT_EQ(programFileName(nullptr), "");
}

TEST(PrintUsage, WaitsForOneCharacterBetweenPagesAndGoesOnAtEndOfInput) {
    FakeConsole typed("abcdefg");
    printUsage(typed, "/opt/x/vorlcli", false);
    EXPECT_EQ(typed.rest(), "fg");  // five pauses, none after the last page

    FakeConsole closed;
    printUsage(closed, "/opt/x/vorlcli", false);
    EXPECT_EQ(closed.reads, 5);
    EXPECT_EQ(closed.output, typed.output);
}

TEST(PrintUsage, NamesTheProgramByItsFileName) {
    FakeConsole console;
    printUsage(console, "C:\\tools\\card.exe", false);
    EXPECT_NE(console.output.find(" Usage   : card.exe -[nw IP username] [cd] <arguments> \n"),
              std::string::npos);
    EXPECT_NE(console.output.find(" -------   card.exe -cd -sel -listall to connect via host"),
              std::string::npos);
    // The banner and the script example keep the product's own name.
    EXPECT_NE(console.output.find("\nvorlcli version 1.6.4.3\n"), std::string::npos);
    EXPECT_NE(console.output.find("For e.g : vorlcli -script myscr.scr\n"), std::string::npos);
    EXPECT_EQ(console.output.find("tools"), std::string::npos);
}

TEST(PrintUsage, DetailedFormAddsOnlyTheRareCommands) {
    FakeConsole brief;
    printUsage(brief, "vorlcli", false);
    FakeConsole detailed;
    printUsage(detailed, "vorlcli", true);

    const std::string sel =
        "     -sel -add moduleNum eventId severity (F-Fatal, W-Warning, I-Information)\n"
        "     -sel -del recordNum\n";
    const std::string file =
        "\nFile Upload/Download commands \n"
        "-----------------------------\n"
        "     -file -upload src-filename dst-filename \n"
        "     -file -download src-filename dst-filename \n "
        "     -file -uploadServerInfo filename \n"
        "        All the filenames are in full path. \n";
    std::string expected = brief.output;
    expected.insert(expected.find("     -sel -listAll\n"), sel);
    expected.insert(expected.find("\nHost HeartBeat commands \n"), file);
    EXPECT_EQ(detailed.output, expected);
}

}  // namespace
}  // namespace vorl::cli
