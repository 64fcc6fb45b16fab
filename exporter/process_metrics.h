#pragma once
// The process_* metrics that Prometheus's client libraries give every program, with their
// names and meanings: CPU seconds, resident and virtual memory, open and maximum file
// descriptors, start time. Read from Linux's /proc on every scrape of /metrics.
#include <optional>
#include <string>

namespace vorl::exporter {

struct ProcessStats {
    std::optional<double> cpuSeconds;        // user and system
    std::optional<double> startTimeSeconds;  // since the Unix epoch
    std::optional<double> virtualBytes;
    std::optional<double> residentBytes;
    std::optional<double> openFds;
    std::optional<double> maxFds;
    std::optional<double> maxVirtualBytes;
};

// Each reader fills what its /proc text gives and leaves the rest; text it cannot read leaves
// its fields empty. `stat` is /proc/self/stat, `bootStat` /proc/stat (its btime line).
void readProcStat(const std::string& stat, const std::string& bootStat, ProcessStats& stats);
// /proc/self/status: VmRSS.
void readProcStatus(const std::string& status, ProcessStats& stats);
// /proc/self/limits: the soft limits of open files and address space.
void readProcLimits(const std::string& limits, ProcessStats& stats);

// The exposition of this process's stats (a metric whose /proc source cannot be read is left
// out rather than given a false value).
std::string processMetricsText();
std::string processMetricsText(const ProcessStats& stats);

}  // namespace vorl::exporter
