// The host interface against a simulated card on loopback: SCSI commands and pauses per
// transaction (which must be exactly what the message layer prescribes) and the time per
// transaction, for a header-only request and for a 65,546-byte flash block write (0x0601).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "cardsim/device_link.h"
#include "cardsim/sim_card.h"
#include "hostifc/host_interface.h"
#include "platform/sim_device.h"
#include "platform/sleep.h"
#include "platform/sockets.h"
#include "protocol/card_session.h"

namespace {

using namespace vorl;

constexpr uint16_t kLinkPort = 16578;
constexpr uint32_t kBusyPolls = 3;

// Counts the pass-through requests that reach the device.
struct Counts {
    uint64_t commands = 0;
};

class CountingDevice : public platform::ScsiDevice {
public:
    CountingDevice(std::unique_ptr<platform::ScsiDevice> inner, Counts& counts)
        : inner_(std::move(inner)), counts_(counts) {}
    platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t length, uint8_t* buffer,
                                            uint32_t size, platform::DataDirection direction,
                                            uint32_t timeout) override {
        ++counts_.commands;
        return inner_->passThrough(cdb, length, buffer, size, direction, timeout);
    }

private:
    std::unique_ptr<platform::ScsiDevice> inner_;
    Counts& counts_;
};

class CountingBackend : public platform::DeviceBackend {
public:
    CountingBackend(std::unique_ptr<platform::DeviceBackend> inner, Counts& counts)
        : inner_(std::move(inner)), counts_(counts) {}
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        return inner_->queryDosDevice(name, buffer, capacity);
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char* path) override {
        auto device = inner_->openDevice(path);
        if (!device) return nullptr;
        return std::make_unique<CountingDevice>(std::move(device), counts_);
    }

private:
    std::unique_ptr<platform::DeviceBackend> inner_;
    Counts& counts_;
};

// One simulated card with its device link on 127.0.0.1, shared by the benchmarks.
struct Card {
    Card() {
        platform::startNetworking();
        options.add("devlink-listen", "127.0.0.1");
        options.add("devlink-port", std::to_string(kLinkPort));
        options.add("busy-polls", std::to_string(kBusyPolls));
        card = std::make_unique<sim::SimCard>(std::filesystem::path(), options);
        ready = link.start(*card, options);
    }
    ~Card() { link.stop(); }
    sim::SimOptions options;
    std::unique_ptr<sim::SimCard> card;
    sim::DeviceLink link;
    bool ready = false;
};

Card& sharedCard() {
    static Card card;
    return card;
}

void runTransactions(benchmark::State& state, uint16_t command, uint32_t payload) {
    if (!sharedCard().ready) {
        state.SkipWithError("device link did not start");
        return;
    }
    uint32_t address = 0;
    platform::parseIpv4("127.0.0.1", address);
    Counts counts;
    CardSession session(std::make_unique<HostInterface>(std::make_unique<CountingBackend>(
        platform::makeSimDeviceBackend(address, kLinkPort), counts)));
    if (session.connect() != 0) {
        state.SkipWithError("no card drive on the device link");
        return;
    }
    std::vector<uint8_t> buffer(CardSession::MaxPayload, 0);
    uint32_t length = 0;

    // One counted transaction, pauses recorded instead of slept.
    uint64_t pauses = 0;
    counts.commands = 0;
    {
        platform::SleepRecorder recorder;
        session.transact(command, buffer.data(), payload, length, 0,
                         static_cast<uint32_t>(buffer.size()));
        pauses = recorder.count();
    }
    const uint64_t commands = counts.commands;

    for (auto _ : state) {
        length = 0;
        const int status = session.transact(command, buffer.data(), payload, length, 0,
                                            static_cast<uint32_t>(buffer.size()));
        if (status == 33) {
            state.SkipWithError("transaction failed");
            break;
        }
    }
    // What the message layer prescribes: the block, ceil(request/512) pieces, the busy polls
    // plus the one that finds the answer, ceil(answer/512) pieces, the final read.
    const uint64_t request = 32 + payload;
    state.counters["scsi_commands"] = static_cast<double>(commands);
    state.counters["prescribed"] = static_cast<double>(1 + (request + 511) / 512 + kBusyPolls + 1 +
                                                       (32 + length + 511) / 512 + 1);
    state.counters["pauses"] = static_cast<double>(pauses);
    state.counters["request_bytes"] = static_cast<double>(request);
}

void BM_HeaderOnlyRequest(benchmark::State& state) {
    runTransactions(state, 0x0603, 0);
}
void BM_FlashBlockWrite(benchmark::State& state) {
    runTransactions(state, 0x0601, 65546);
}

BENCHMARK(BM_HeaderOnlyRequest)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FlashBlockWrite)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
