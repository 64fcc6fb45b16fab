// The command-line forms of the web layer's settings: listen addresses, durations, limits.
#include "web/limits.h"

#include <gtest/gtest.h>

#include <tuple>

#include "web/listen_address.h"
#include "web/log.h"

namespace vorl::web {
namespace {

TEST(ListenAddress, Forms) {
    std::string host;
    int port = 0;
    const std::tuple<const char*, const char*, int> good[] = {{"localhost:9577", "127.0.0.1", 9577},
                                                              {":9577", "0.0.0.0", 9577},
                                                              {"127.1.2.3:1", "127.1.2.3", 1},
                                                              {"[::1]:65535", "::1", 65535}};
    for (const auto& [text, wantHost, wantPort] : good) {
        ASSERT_TRUE(parseListenAddress(text, host, port)) << text;
        EXPECT_EQ(wantHost, host);
        EXPECT_EQ(wantPort, port);
    }
    for (const char* bad : {"9577", "localhost", "host:0", "host:65536", "host:95x7", "::1:9577",
                            "host:", "host:1234567"})
        EXPECT_FALSE(parseListenAddress(bad, host, port)) << bad;
    EXPECT_TRUE(parseListenAddress("127.0.0.1:0", host, port, true));  // a test's free port
}

TEST(Limits, DurationsAndOptions) {
    Milliseconds parsed{};
    const std::pair<const char*, long> good[] = {
        {"5s", 5000}, {"500ms", 500}, {"1m30s", 90000}, {"2h", 7200000}, {"1m5ms", 60005}};
    for (const auto& [text, millis] : good) {
        ASSERT_TRUE(parseDuration(text, parsed)) << text;
        EXPECT_EQ(millis, parsed.count()) << text;
    }
    for (const char* bad : {"", "5", "s", "-5s", "5 s", "5sec", "1.5s", "9999999999s", "200h"})
        EXPECT_FALSE(parseDuration(bad, parsed)) << bad;

    Limits limits;
    std::string error;
    EXPECT_EQ(LimitOption::Applied, applyLimitOption("--web.header-timeout", "2s", limits, error));
    EXPECT_EQ(2000, limits.headerTimeout.count());
    EXPECT_EQ(LimitOption::Applied, applyLimitOption("--web.max-connections", "10", limits, error));
    EXPECT_EQ(10u, limits.maxConnections);
    EXPECT_EQ(LimitOption::NotMine, applyLimitOption("--web.config.file", "x", limits, error));
    // A deadline of zero or a cap of zero connections would lock every client out.
    for (const auto& [name, value] : {std::pair{"--web.idle-timeout", "0s"},
                                      {"--web.write-timeout", "soon"},
                                      {"--web.max-connections", "0"},
                                      {"--web.max-header-bytes", "100"},
                                      {"--web.max-body-bytes", "-1"}}) {
        error.clear();
        EXPECT_EQ(LimitOption::Bad, applyLimitOption(name, value, limits, error)) << name;
        EXPECT_NE(std::string::npos, error.find(name)) << error;
    }
}

TEST(Log, LogfmtAndJsonKeepOneEventOnOneLine) {
    const std::string hostile = "a \"quoted\" word\nwith=\xE9";
    EXPECT_EQ(
        "ts=T level=warn msg=\"bind failed\" address=127.0.0.1:9577 count=3 "
        "reason=\"a \\\"quoted\\\" word\\nwith=\\xe9\"\n",
        log::format(log::Format::Logfmt, "T", log::Level::Warn, "bind failed",
                    {{"address", "127.0.0.1:9577"}, {"count", 3}, {"reason", hostile}}));
    EXPECT_EQ(
        "{\"ts\":\"T\",\"level\":\"debug\",\"msg\":\"x\",\"ok\":true,\"seconds\":0.25,"
        "\"reason\":\"a \\\"quoted\\\" word\\nwith=\\u00e9\"}\n",
        log::format(log::Format::Json, "T", log::Level::Debug, "x",
                    {{"ok", true}, {"seconds", 0.25}, {"reason", hostile}}));

    std::vector<std::string> lines;
    log::setSink([&](std::string_view line) { lines.emplace_back(line); });
    std::string error;
    EXPECT_EQ(log::Option::Applied, log::applyOption("--log.level", "warn", error));
    log::info("not shown");
    log::error("shown", {{"n", 1}});
    EXPECT_EQ(log::Option::Applied, log::applyOption("--log.format", "json", error));
    log::warn("as json");
    EXPECT_EQ(log::Option::Bad, log::applyOption("--log.level", "verbose", error));
    EXPECT_EQ(log::Option::Bad, log::applyOption("--log.format", "text", error));
    EXPECT_EQ(log::Option::NotMine, log::applyOption("--web.config.file", "x", error));
    log::setSink(nullptr);
    log::setLevel(log::Level::Info);
    log::setFormat(log::Format::Logfmt);
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find(" level=error msg=shown n=1\n")) << lines[0];
    EXPECT_EQ(0u, lines[0].find("ts=20"));
    EXPECT_NE(std::string::npos, lines[1].find("\"level\":\"warn\",\"msg\":\"as json\"}"))
        << lines[1];
}

}  // namespace
}  // namespace vorl::web
