// vorlpulse's cost while it waits between beats. The heartbeat service runs natively, as the
// service manager would run it (a dispatcher thread and a service thread), against a simulated
// card on loopback (vorlsim's device link in this process) that asks for a beat once an hour.
// After the first beat, the benchmark watches the service's two threads for an idle stretch
// (VORL_BENCH_IDLE_SECONDS, default 10) and reports their CPU time and wakeups per minute.
// Linux only: the figures come from /proc/self/task.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "bench/bench_card.h"
#include "heartbeat/heartbeat_service.h"
#include "platform/service_manager.h"
#include "tests/support/fake_service_manager.h"

namespace {

using namespace vorl;

constexpr uint16_t kLinkPort = 16579;

struct ThreadCost {
    uint64_t cpuNs = 0;
    uint64_t wakeups = 0;  // voluntary context switches: each is a sleep that ended
};

ThreadCost threadCost(unsigned long tid) {
    ThreadCost cost;
    const std::string task = "/proc/self/task/" + std::to_string(tid);
    std::ifstream schedstat(task + "/schedstat");
    schedstat >> cost.cpuNs;
    std::ifstream status(task + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0)
            cost.wakeups = std::stoull(line.substr(line.find(':') + 1));
    }
    return cost;
}

void BM_IdleBetweenBeats(benchmark::State& state) {
    const char* setting = std::getenv("VORL_BENCH_IDLE_SECONDS");
    const int idleSeconds = setting != nullptr && std::atoi(setting) > 0 ? std::atoi(setting) : 10;
    const bench::BenchCard card(kLinkPort, {{"heartbeat-interval", "3600"}});
    if (!card.ready()) {
        state.SkipWithError("device link did not start");
        return;
    }
    test::FakeServiceManager manager;
    HeartbeatService service(manager, [&card] { return card.backend(); });
    std::thread dispatcher([&] {
        char name[] = "vorlpulse";
        char* argv[] = {name, nullptr};
        service.runProgram(1, argv);
    });
    manager.waitForState(platform::service::kRunning);
    // Heartbeat start and the first beat take milliseconds; then the hour's wait begins.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    const unsigned long threads[] = {manager.serviceThread(), manager.dispatcherThread()};
    ThreadCost before[2];
    ThreadCost after[2];
    for (auto _ : state) {
        for (int i = 0; i < 2; ++i) before[i] = threadCost(threads[i]);
        std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
        for (int i = 0; i < 2; ++i) after[i] = threadCost(threads[i]);
    }
    manager.control(platform::service::kControlStop);
    dispatcher.join();

    const double perMinute = 60.0 / idleSeconds;
    const char* names[] = {"worker", "dispatcher"};
    for (int i = 0; i < 2; ++i) {
        state.counters[std::string(names[i]) + "_cpu_ms_per_min"] =
            static_cast<double>(after[i].cpuNs - before[i].cpuNs) / 1e6 * perMinute;
        state.counters[std::string(names[i]) + "_wakeups_per_min"] =
            static_cast<double>(after[i].wakeups - before[i].wakeups) * perMinute;
    }
    state.counters["idle_seconds"] = idleSeconds;
}

BENCHMARK(BM_IdleBetweenBeats)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
