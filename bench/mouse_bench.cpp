// The tray program's packet loop. Per packet: the conversion and injection work against a
// recording injector (time, and heap allocations, which must be none). Against a simulated card
// on loopback, with the real 20 ms pacing: the packets per second the loop reaches (about 50 by
// design) and the CPU share of the redirection thread (the goal is under 1 % of a core).
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "bench/bench_card.h"
#include "hostifc/host_interface.h"
#include "mouse/pointer_redirection.h"
#include "mouse/pointer_translator.h"
#include "tests/support/allocation_counter.h"

namespace {

using namespace vorl;

constexpr uint16_t kLinkPort = 16580;

// A path across the screen with a click every eighth packet.
void BM_TranslateAndInject(benchmark::State& state) {
    MousePacket packets[64];
    for (int i = 0; i < 64; ++i)
        packets[i] =
            MousePacket::make(MousePacket::kKindPointer, i % 8 == 0 ? 1 : 0,
                              static_cast<uint16_t>(i * 16), static_cast<uint16_t>(i * 12));
    mouse::PointerTranslator translator;
    platform::RecordingPointerInput input(1024);
    size_t i = 0;
    size_t allocations = 0;
    {
        test::AllocationCounter counter;
        for (auto _ : state) {
            mouse::PointerTranslator::Events events;
            const size_t count = translator.translate(packets[i++ & 63], events);
            for (size_t e = 0; e < count; ++e) input.send(events[e]);
            if (input.count() >= 1024) input.clear();
        }
        allocations = counter.count();
    }
    state.counters["events_per_packet"] = 1.0 + 2.0 / 8.0;  // the move; a down, later an up
    state.counters["allocations"] = static_cast<double>(allocations);
}
BENCHMARK(BM_TranslateAndInject);

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The real loop (20 ms pacing, real sleeps) against vorlsim's device link for a few seconds,
// with pointer packets queued for the whole run.
void BM_LoopAgainstSimulatedCard(benchmark::State& state) {
    std::string path = "1:0:0:0";
    for (int i = 1; i < 1000; ++i)
        path += ",1:" + std::to_string(i % 10 == 0) + ":" + std::to_string(i % 1024) + ":" +
                std::to_string(i % 768);
    bench::BenchCard card(kLinkPort, {{"mouse-packets", path}});
    if (!card.ready()) {
        state.SkipWithError("device link did not start");
        return;
    }
    HostInterface host(card.backend());
    platform::RecordingPointerInput input(1 << 16);
    const auto priority = platform::makeSystemThreadPriority();
    mouse::PointerRedirection redirection(host, input, *priority);

    const double seconds = 5.0;
    uint64_t passes = 0;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        std::atomic<bool> stop{false};
        std::thread loop([&] {
            redirection.start();
            const double cpuStart = threadCpuSeconds();
            const auto wallStart = std::chrono::steady_clock::now();
            while (!stop) {
                redirection.step();
                ++passes;
            }
            cpu = threadCpuSeconds() - cpuStart;
            wall =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        });
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        stop = true;
        loop.join();
    }
    state.counters["packets_per_s"] = static_cast<double>(passes) / wall;
    state.counters["cpu_percent_of_a_core"] = 100.0 * cpu / wall;
    state.counters["cpu_us_per_packet"] = 1e6 * cpu / static_cast<double>(passes);
    state.counters["events"] = static_cast<double>(input.count());
}
BENCHMARK(BM_LoopAgainstSimulatedCard)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
