// The probe's deadline from Prometheus's scrape-timeout header.
#include "exporter/exporter_server.h"

#include <gtest/gtest.h>

namespace vorl::exporter {
namespace {

using std::chrono::milliseconds;

TEST(ExporterServer, DeadlineIsTheShorterOfTimeoutAndScrapeTimeoutLessMargin) {
    const auto start = std::chrono::steady_clock::time_point(std::chrono::seconds(1000));
    auto after = [&](const char* header, int timeoutMs) {
        return std::chrono::duration_cast<milliseconds>(
                   probeDeadline(header, milliseconds(timeoutMs), start) - start)
            .count();
    };
    EXPECT_EQ(10000, after(nullptr, 10000));
    EXPECT_EQ(9500, after("10", 10000));   // Prometheus's default: 10 s, less 0.5 s
    EXPECT_EQ(3000, after("10", 3000));    // the module's own timeout is shorter
    EXPECT_EQ(2000, after("2.5", 10000));  // fractions of a second
    EXPECT_EQ(400, after("0.8", 10000));   // too short for the margin: half of it
    for (const char* ignored : {"", "soon", "-5", "0", "1e9", "10s", "nan"})
        EXPECT_EQ(10000, after(ignored, 10000)) << ignored;
}

}  // namespace
}  // namespace vorl::exporter
