// The card exchanges of one vorl_exporter probe (every collector), made directly through the
// library N times against one card: bench/exporter_bench.py sets its CPU per probe beside the
// exporter's. Usage: exporter_direct ADDRESS COUNT. Prints "cpu_per_probe_ms X failures N".
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "exporter/card_probe.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vorl::exporter;
    if (argc != 3) {
        std::fprintf(stderr, "usage: exporter_direct ADDRESS COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    Target target;
    if (!parseTarget(argv[1], target) || count <= 0) {
        std::fprintf(stderr, "exporter_direct: bad address or count\n");
        return 2;
    }
    Module module;
    module.user = "admin";
    module.password = "vorladmin";
    int failures = 0;
    const double start = cpuSeconds();
    for (int i = 0; i < count; ++i) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (const auto& result : probeCard(target, module, deadline).results)
            if (!result.ok) {
                ++failures;
                break;
            }
    }
    std::printf("cpu_per_probe_ms %.4f failures %d\n", (cpuSeconds() - start) * 1000 / count,
                failures);
    return 0;
}
