#include "exporter/process_metrics.h"

#include <prometheus/metric_family.h>
#include <prometheus/text_serializer.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

namespace vorl::exporter {
namespace {

// The kernel reports process times in USER_HZ ticks, 100 a second on every Linux that
// userspace sees (the client libraries take the same figure).
constexpr double kTicksPerSecond = 100;

std::optional<double> number(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    try {
        return std::stod(text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// The words of the line of `text` that starts with `label`; empty when there is none.
std::vector<std::string> lineAfter(const std::string& text, const std::string& label) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(label, 0) != 0) continue;
        std::istringstream words(line.substr(label.size()));
        std::vector<std::string> found;
        for (std::string word; words >> word;) found.push_back(word);
        return found;
    }
    return {};
}

std::string fileText(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::optional<double> limit(const std::vector<std::string>& words) {
    if (words.empty()) return std::nullopt;
    if (words[0] == "unlimited") return static_cast<double>(std::numeric_limits<uint64_t>::max());
    return number(words[0]);
}

}  // namespace

void readProcStat(const std::string& stat, const std::string& bootStat, ProcessStats& stats) {
    // The command name in parentheses may hold blanks and ')': the fields follow the last ')'.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos) return;
    std::istringstream in(stat.substr(close + 1));
    std::vector<std::string> fields;  // fields[0] is the state, field 3 of proc(5)
    for (std::string field; in >> field;) fields.push_back(field);
    if (fields.size() < 22) return;
    const auto user = number(fields[11]), system = number(fields[12]);
    if (user && system) stats.cpuSeconds = (*user + *system) / kTicksPerSecond;
    const auto started = number(fields[19]);
    const auto bootWords = lineAfter(bootStat, "btime ");
    const auto boot = bootWords.empty() ? std::nullopt : number(bootWords[0]);
    if (started && boot) stats.startTimeSeconds = *boot + *started / kTicksPerSecond;
    stats.virtualBytes = number(fields[20]);
}

void readProcStatus(const std::string& status, ProcessStats& stats) {
    const auto words = lineAfter(status, "VmRSS:");
    if (words.size() == 2 && words[1] == "kB")
        if (const auto kilobytes = number(words[0])) stats.residentBytes = *kilobytes * 1024;
}

void readProcLimits(const std::string& limits, ProcessStats& stats) {
    stats.maxFds = limit(lineAfter(limits, "Max open files"));
    stats.maxVirtualBytes = limit(lineAfter(limits, "Max address space"));
}

std::string processMetricsText(const ProcessStats& stats) {
    using prometheus::MetricType;
    std::vector<prometheus::MetricFamily> families;
    auto add = [&](const char* name, const char* help, MetricType type,
                   const std::optional<double>& value) {
        if (!value) return;
        prometheus::ClientMetric metric;
        if (type == MetricType::Counter)
            metric.counter.value = *value;
        else
            metric.gauge.value = *value;
        families.push_back({name, help, type, {metric}});
    };
    add("process_cpu_seconds_total", "Total user and system CPU time spent in seconds.",
        MetricType::Counter, stats.cpuSeconds);
    add("process_max_fds", "Maximum number of open file descriptors.", MetricType::Gauge,
        stats.maxFds);
    add("process_open_fds", "Number of open file descriptors.", MetricType::Gauge, stats.openFds);
    add("process_resident_memory_bytes", "Resident memory size in bytes.", MetricType::Gauge,
        stats.residentBytes);
    add("process_start_time_seconds", "Start time of the process since unix epoch in seconds.",
        MetricType::Gauge, stats.startTimeSeconds);
    add("process_virtual_memory_bytes", "Virtual memory size in bytes.", MetricType::Gauge,
        stats.virtualBytes);
    add("process_virtual_memory_max_bytes", "Maximum amount of virtual memory available in bytes.",
        MetricType::Gauge, stats.maxVirtualBytes);
    return prometheus::TextSerializer().Serialize(families);
}

std::string processMetricsText() {
    ProcessStats stats;
    readProcStat(fileText("/proc/self/stat"), fileText("/proc/stat"), stats);
    readProcStatus(fileText("/proc/self/status"), stats);
    readProcLimits(fileText("/proc/self/limits"), stats);
    std::error_code error;
    size_t open = 0;
    for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
         it.increment(error))
        ++open;
    if (!error) stats.openFds = static_cast<double>(open);
    return processMetricsText(stats);
}

}  // namespace vorl::exporter
