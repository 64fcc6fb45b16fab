// What an operator is told about a failed probe: the log line's fields (values quoted where
// logfmt needs it) and the debug page, which never shows the module's credentials.
#include "exporter/probe_debug.h"

#include <gtest/gtest.h>

namespace vorl::exporter {
namespace {

TEST(ProbeDebug, FailureFieldsNameTargetModuleStepAndReason) {
    const Target target{0x7F000001, 6577};
    EXPECT_EQ(
        "target=127.0.0.1:6577 module=default collector=connect reason=\"connection "
        "refused\"",
        probeFailureFields(target, "default",
                           cardread::failedReading(kHealth, "connect", "connection refused")));
    CardReading whole;
    whole.results.push_back({kHealth, true, 0.01, 0});
    EXPECT_EQ("", probeFailureFields(target, "default", whole));
    EXPECT_EQ("\"a \\\"b\\\" c\\\\\"", logfmtValue("a \"b\" c\\"));
    EXPECT_EQ("\"x=y\"", logfmtValue("x=y"));
    EXPECT_EQ("\"\"", logfmtValue(""));
    EXPECT_EQ("sensors", logfmtValue("sensors"));
}

TEST(ProbeDebug, PageListsExchangesAndMasksCredentials) {
    Module module;
    module.user = "operator-7";
    module.password = "Xq7-secret";
    module.collectors = kHealth | kClock;
    ProbeLog log;
    log.connectTried = log.connected = true;
    log.exchanges.push_back({0x0002, 104, 0, 0, 32, 0.001, 0.0004, "", false});
    log.exchanges.push_back({0x0100, 32, 1, 0, 0, 0.002, 0.25, "no answer in time", false});
    CardReading reading = cardread::failedReading(kHealth | kClock);
    reading.failedStep = "health";
    reading.failureReason = "command 0x0100: no answer in time";
    const Target target{0x0A000102, 6577};
    const std::string page =
        probeDebugPage(target, "default", module, log, reading, false, "vorl_up 0\n");
    for (const char* line : {
             "Probe of 10.0.1.2:6577 with module default\n",
             "Result: failed at health: command 0x0100: no answer in time\n",
             "0x0002 login (user and digest masked): sent 104 bytes, status 0, received 32 "
             "bytes in 0.4 ms\n",
             "0x0100 card health: sent 32 bytes, no answer: no answer in time in 250.0 ms\n",
             "Metrics that would have been returned:\nvorl_up 0\n",
             "  user: <masked>\n  password: <masked>\n  timeout: 10000ms\n"
             "  collectors: [health, clock]\n",
         })
        EXPECT_NE(std::string::npos, page.find(line)) << line << page;
    EXPECT_EQ(std::string::npos, page.find("operator-7")) << page;
    EXPECT_EQ(std::string::npos, page.find("Xq7-secret")) << page;
    // A reading shared with a probe another request started has no exchanges of this one.
    EXPECT_NE(std::string::npos,
              probeDebugPage(target, "default", module, ProbeLog{}, reading, true, "")
                  .find("none recorded: this request shared the reading"));
}

}  // namespace
}  // namespace vorl::exporter
