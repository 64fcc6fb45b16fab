#include "cardsim/sim_faults.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "cardsim/sim_command_line.h"
#include "wire/command_header.h"

namespace vorl::sim {
namespace {

// The tools' signature search: a mismatching byte restarts the count and is not tested again.
// Returns the offset just behind the signature, or -1.
long naiveSearch(const std::vector<uint8_t>& stream) {
    size_t matched = 0;
    for (size_t i = 0; i < stream.size(); ++i) {
        matched = stream[i] == CommandHeader::kSignature[matched] ? matched + 1 : 0;
        if (matched == 8) return static_cast<long>(i + 1);
    }
    return -1;
}

TEST(SimFaultsTest, StrayPrefixNeverHidesTheSignatureFromANaiveSearch) {
    for (size_t n = 0; n <= 64; ++n) {
        SimFaults faults;
        faults.strayBytes = n;
        std::vector<uint8_t> stream = faults.strayPrefix();
        ASSERT_EQ(stream.size(), n);
        stream.insert(stream.end(), CommandHeader::kSignature, CommandHeader::kSignature + 8);
        EXPECT_EQ(naiveSearch(stream), static_cast<long>(n + 8)) << n;
    }
    SimFaults faults;
    faults.strayBytes = 20;
    const std::vector<uint8_t> junk = faults.strayPrefix();
    const uint8_t partial[] = {'Z', 'O', 'R', ' ', 'U', 0xAA};
    EXPECT_NE(std::search(junk.begin(), junk.end(), partial, partial + 6), junk.end());
}

TEST(SimFaultsTest, TakesCodesInHexDecimalAndLists) {
    SimOptions options;
    options.add("no-reply", "0x0502,1283");
    options.add("bad-checksum", "0X0001");
    options.add("half-reply", "65535");
    options.add("force-status", "0x0500:18,2:0x0");
    options.add("stray-bytes", "7");
    options.add("reply-delay", "0x0701:1500,5:0");
    options.add("stall-reply", "0x0502:8");
    options.add("fault-on", "0x0500:2,0x0501:1-3");
    SimFaults faults;
    std::string error;
    ASSERT_TRUE(faults.take(options, error)) << error;
    EXPECT_EQ(faults.replyDelayMs, (std::map<uint16_t, uint32_t>{{0x0701, 1500}, {5, 0}}));
    EXPECT_EQ(faults.stallAfterBytes, (std::map<uint16_t, uint32_t>{{0x0502, 8}}));
    EXPECT_EQ(faults.noReply, (std::set<uint16_t>{0x0502, 0x0503}));
    EXPECT_EQ(faults.badChecksum, (std::set<uint16_t>{0x0001}));
    EXPECT_EQ(faults.halfReply, (std::set<uint16_t>{0xFFFF}));
    EXPECT_EQ(faults.forceStatus, (std::map<uint16_t, uint16_t>{{0x0500, 18}, {2, 0}}));
    EXPECT_EQ(faults.strayBytes, 7u);
    EXPECT_TRUE(faults.counted(0x0500) && !faults.counted(0x0502));
    EXPECT_EQ(
        std::vector<bool>({faults.hits(0x0500, 1), faults.hits(0x0500, 2), faults.hits(0x0500, 3),
                           faults.hits(0x0501, 3), faults.hits(0x0501, 4), faults.hits(0x0502, 9)}),
        std::vector<bool>({false, true, false, true, false, true}));
    EXPECT_TRUE(options.unused().empty());
    for (const char* bad : {"0x0500", "0x0500:0", "0x0500:3-2", "0x0500:1-", "x:1"}) {
        SimOptions refused;
        refused.add("fault-on", bad);
        EXPECT_FALSE(SimFaults().take(refused, error)) << bad;
    }
}

TEST(SimFaultsTest, RefusesMalformedValues) {
    const std::pair<const char*, const char*> bad[] = {
        {"no-reply", ""},           {"no-reply", "0x"},
        {"no-reply", "0x10000"},    {"no-reply", "65536"},
        {"no-reply", "12a"},        {"no-reply", "1,,2"},
        {"force-status", "0x0500"}, {"force-status", "0x0500:"},
        {"force-status", ":5"},     {"stray-bytes", "-1"},
        {"stray-bytes", "65537"},   {"stray-bytes", ""},
        {"bad-checksum", "-3"},     {"half-reply", "0x00000001x"},
        {"reply-delay", "0x0701"},  {"reply-delay", "1:3600001"},
        {"stall-reply", "1:x"}};
    for (const auto& [key, value] : bad) {
        SimOptions options;
        options.add(key, value);
        SimFaults faults;
        std::string error;
        EXPECT_FALSE(faults.take(options, error)) << key << "=" << value;
        EXPECT_FALSE(error.empty());
    }
}

TEST(SimCommandLineTest, CoreOptionsInBothFormsAndTheRestForModules) {
    const char* argv[] = {"vorlsim",  "--listen=127.0.0.5", "--port",      "7000", "--state-dir",
                          "/tmp/x y", "--no-reply=0x0502",  "--stuck-busy"};
    SimCommandLine line;
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parseCommandLine(8, argv, line, options, error)) << error;
    EXPECT_EQ(line.listen, "127.0.0.5");
    EXPECT_EQ(line.port, 7000);
    EXPECT_EQ(line.stateDir, "/tmp/x y");
    EXPECT_FALSE(line.help);
    EXPECT_EQ(options.take("no-reply"), "0x0502");
    EXPECT_EQ(options.take("--stuck-busy"), "");
    EXPECT_TRUE(options.unused().empty());
}

TEST(SimCommandLineTest, DefaultsAndErrors) {
    const char* none[] = {"vorlsim"};
    SimCommandLine line;
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parseCommandLine(1, none, line, options, error));
    EXPECT_EQ(line.listen, "127.0.0.1");
    EXPECT_EQ(line.port, 6577);
    EXPECT_TRUE(line.stateDir.empty());

    const std::vector<std::vector<const char*>> bad = {
        {"vorlsim", "--port"},        {"vorlsim", "--port", "65536"},
        {"vorlsim", "--port=6x"},     {"vorlsim", "--listen", "card.local"},
        {"vorlsim", "--state-dir="},  {"vorlsim", "6577"},
        {"vorlsim", "-port", "6577"}, {"vorlsim", "--"}};
    for (const auto& args : bad) {
        SimCommandLine l;
        SimOptions o;
        EXPECT_FALSE(parseCommandLine(static_cast<int>(args.size()), args.data(), l, o, error))
            << args.back();
    }
}

}  // namespace
}  // namespace vorl::sim
