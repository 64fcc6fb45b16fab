// Firmware figures: validating a 4 MiB image against zlib's crc32 over the same bytes, and
// writing and reading back all 64 blocks against an in-process simulated card, over loopback
// TCP and over the host interface's simulated device link.
// Reported: bytes per second, and for the host interface the SCSI commands per block.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "cardsim/device_link.h"
#include "cardsim/sim_card.h"
#include "cardsim/sim_server.h"
#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/image_builder.h"
#include "hostifc/host_interface.h"
#include "platform/sim_device.h"
#include "platform/sleep.h"
#include "platform/sockets.h"
#include "protocol/card_session.h"

namespace {

using namespace vorl;

constexpr const char* kHost = "127.0.0.1";
constexpr uint16_t kDeviceLinkPort = 6598;
constexpr double kImageBytes = 64.0 * kFlashBlockSize;

std::string imagePath() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() / "vorl-firmware-bench.ima";
        ImageBuilder::writeFile(file.string(), ImageBuilder().build());
        return file.string();
    }();
    return path;
}

void BM_ValidateImage(benchmark::State& state) {
    const std::string path = imagePath();
    for (auto _ : state) {
        if (FirmwareImage::validateImageFile(path) != 0)
            return state.SkipWithError("image not valid");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_ValidateImage)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor for the validation: zlib's crc32 over the same 4 MiB, already in memory.
void BM_RawCrc32(benchmark::State& state) {
    const std::vector<uint8_t> image = ImageBuilder().build();
    for (auto _ : state) {
        benchmark::DoNotOptimize(::crc32(0, image.data(), static_cast<uInt>(image.size())));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
}
BENCHMARK(BM_RawCrc32)->Unit(benchmark::kMillisecond)->UseRealTime();

// Counts pass-through requests on the way to the device link.
std::atomic<uint64_t> scsiCommands{0};

class CountingDevice : public platform::ScsiDevice {
public:
    explicit CountingDevice(std::unique_ptr<platform::ScsiDevice> inner)
        : inner_(std::move(inner)) {}
    platform::PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                            uint32_t size, platform::DataDirection direction,
                                            uint32_t timeoutSeconds) override {
        ++scsiCommands;
        return inner_->passThrough(cdb, cdbLength, buffer, size, direction, timeoutSeconds);
    }

private:
    std::unique_ptr<platform::ScsiDevice> inner_;
};

class CountingBackend : public platform::DeviceBackend {
public:
    explicit CountingBackend(std::unique_ptr<platform::DeviceBackend> inner)
        : inner_(std::move(inner)) {}
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        return inner_->queryDosDevice(name, buffer, capacity);
    }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char* path) override {
        auto device = inner_->openDevice(path);
        if (!device) return nullptr;
        return std::make_unique<CountingDevice>(std::move(device));
    }
    std::unique_ptr<platform::NamedMutex> createNamedMutex(const char* name) override {
        return inner_->createNamedMutex(name);
    }

private:
    std::unique_ptr<platform::DeviceBackend> inner_;
};

// One simulated card with its TCP server and device link, and a session over each.
struct Card {
    sim::SimOptions options;
    std::unique_ptr<sim::SimCard> card;
    std::unique_ptr<sim::SimServer> server;
    sim::DeviceLink deviceLink;
    std::unique_ptr<CardSession> network;
    std::unique_ptr<CardSession> host;

    Card() {
        platform::startNetworking();
        options.add("devlink-listen", kHost);
        options.add("devlink-port", std::to_string(kDeviceLinkPort));
        card = std::make_unique<sim::SimCard>(std::filesystem::path(), options);
        server = std::make_unique<sim::SimServer>(*card, sim::SimFaults{});
        if (server->listen(kHost, 0)) {
            server->start();
            network = std::make_unique<CardSession>(1, kHost, server->port());
            if (network->connect() != 0 || network->login("admin", "vorladmin") != 0)
                network.reset();
        }
        uint32_t address = 0;
        uint16_t port = 0;
        const std::string link =
            "sim:" + std::string(kHost) + ":" + std::to_string(kDeviceLinkPort);
        if (deviceLink.start(*card, options) &&
            platform::parseSimDeviceAddress(link.c_str(), address, port)) {
            host = std::make_unique<CardSession>(std::make_unique<HostInterface>(
                std::make_unique<CountingBackend>(platform::makeSimDeviceBackend(address, port))));
            if (host->connect() != 0) host.reset();
        }
    }
    ~Card() {
        host.reset();
        deviceLink.stop();
        network.reset();
        if (server) server->stop();
    }
};

Card& card() {
    static Card instance;
    return instance;
}

// The update's block writes without its reset (the card must stay up between iterations):
// the whole validated image, 64 blocks, one acknowledged block after another.
void updateBlocks(benchmark::State& state, CardSession* session) {
    if (!session) return state.SkipWithError("no simulated card");
    const std::string path = imagePath();
    const uint64_t before = scsiCommands;
    for (auto _ : state) {
        if (writeImageToFlash(*session, path) != 0) return state.SkipWithError("update failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
    state.counters["scsi_per_block"] =
        benchmark::Counter(static_cast<double>(scsiCommands - before) /
                           (static_cast<double>(state.iterations()) * 64));
}

void readBack(benchmark::State& state, CardSession* session) {
    if (!session) return state.SkipWithError("no simulated card");
    const std::string path =
        (std::filesystem::temp_directory_path() / "vorl-firmware-bench-back.ima").string();
    SilentListener quiet;
    const uint64_t before = scsiCommands;
    for (auto _ : state) {
        if (readFlashToFile(*session, path, quiet) != 0) return state.SkipWithError("read failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageBytes));
    state.counters["scsi_per_block"] =
        benchmark::Counter(static_cast<double>(scsiCommands - before) /
                           (static_cast<double>(state.iterations()) * 64));
}

void BM_WriteImageTcp(benchmark::State& state) {
    updateBlocks(state, card().network.get());
}
void BM_ReadBackTcp(benchmark::State& state) {
    readBack(state, card().network.get());
}
void BM_WriteImageHostInterface(benchmark::State& state) {
    updateBlocks(state, card().host.get());
}
void BM_ReadBackHostInterface(benchmark::State& state) {
    readBack(state, card().host.get());
}
BENCHMARK(BM_WriteImageTcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadBackTcp)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteImageHostInterface)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadBackHostInterface)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
