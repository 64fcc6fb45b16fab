// The process_* figures from /proc texts: a command name holding blanks and ')' does not shift
// the fields, and a text that cannot be read leaves its metrics out instead of giving zeros.
#include "exporter/process_metrics.h"

#include <gtest/gtest.h>

namespace vorl::exporter {
namespace {

TEST(ProcessMetrics, FieldsAfterTheLastParenthesisAndSoftLimits) {
    ProcessStats stats;
    readProcStat(
        "4242 (vorl ex) (1)) S 1 4242 4242 0 -1 4194560 900 0 0 0 250 130 0 0 20 0 9 0 "
        "6000 123456789 3000 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0\n",
        "cpu  1 2 3\nbtime 1700000000\nprocesses 9\n", stats);
    readProcStatus("Name:\tvorl_exporter\nVmRSS:\t   16384 kB\nThreads:\t9\n", stats);
    readProcLimits(
        "Limit                     Soft Limit           Hard Limit           Units\n"
        "Max open files            1024                 524288               files\n"
        "Max address space         unlimited            unlimited            bytes\n",
        stats);
    EXPECT_DOUBLE_EQ(3.8, *stats.cpuSeconds);
    EXPECT_DOUBLE_EQ(1700000060, *stats.startTimeSeconds);
    EXPECT_DOUBLE_EQ(123456789, *stats.virtualBytes);
    EXPECT_DOUBLE_EQ(16384.0 * 1024, *stats.residentBytes);
    EXPECT_DOUBLE_EQ(1024, *stats.maxFds);
    EXPECT_DOUBLE_EQ(18446744073709551615.0, *stats.maxVirtualBytes);

    const std::string text = processMetricsText(stats);
    EXPECT_NE(std::string::npos, text.find("# TYPE process_cpu_seconds_total counter\n"
                                           "process_cpu_seconds_total 3.8\n"))
        << text;
    EXPECT_NE(std::string::npos, text.find("process_start_time_seconds 1700000060\n")) << text;
}

TEST(ProcessMetrics, UnreadableTextsLeaveTheirMetricsOut) {
    ProcessStats stats;
    readProcStat("4242 (cut short) S 1 2 3", "btime 1700000000\n", stats);
    readProcStat("no parenthesis", "", stats);
    readProcStatus("VmRSS: lots\n", stats);
    readProcLimits("", stats);
    EXPECT_FALSE(stats.cpuSeconds || stats.startTimeSeconds || stats.residentBytes || stats.maxFds);
    stats.openFds = 7;
    EXPECT_EQ(
        "# HELP process_open_fds Number of open file descriptors.\n"
        "# TYPE process_open_fds gauge\nprocess_open_fds 7\n",
        processMetricsText(stats));
}

}  // namespace
}  // namespace vorl::exporter
