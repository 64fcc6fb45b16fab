#include "cardsim/sim_flash_group.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "cardsim/sim_card.h"
#include "cardsim/sim_groups.h"
#include "cardsim/sim_options.h"
#include "cardsim/sim_state_file.h"
#include "firmware/flash_records.h"
#include "firmware/image_builder.h"
#include "wire/status_codes.h"

namespace vorl::sim {
namespace {
// The card's own command table, kept apart from protocol/ on purpose (sim_groups.h).
constexpr uint16_t kWriteBlock = 0x0601;
constexpr uint16_t kReadBlock = 0x0602;
constexpr uint16_t kSaveConfiguration = 0x0603;
constexpr uint16_t kSectionInfo = 0x0605;
constexpr uint16_t kSaveSdk = 0x0606;
constexpr uint16_t kSetFlashMode = 0x0607;
constexpr uint16_t kGetCardMode = 0x0608;
constexpr uint16_t kReadChunk = 0x060A;
constexpr uint16_t kWriteChunk = 0x060B;

constexpr const char* kServerInfoText =
    "ServerName=server\nServerLocation=rack 1\nServerOS=Linux\nServerDescription=VORL host\n";

std::vector<uint8_t> defaultSdk() {
    std::vector<uint8_t> bytes(2048);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 31 + 7);
    return bytes;
}

// Option value as a block number 0..63; the process ends on a bad one, like any bad option.
int blockOption(SimOptions& options, const char* key) {
    const auto value = options.take(key);
    if (!value) return -1;
    char* end = nullptr;
    const long n = std::strtol(value->c_str(), &end, 10);
    if (value->empty() || *end != '\0' || n < 0 || n >= kFlashBlockCount) {
        std::fprintf(stderr, "vorlsim: --%s needs a block number 0..63\n", key);
        std::exit(2);
    }
    return static_cast<int>(n);
}

// The block a block request names: 0 and its number, or the status to answer with (28 for a
// request of the wrong length, 26 for a block past the flash).
uint16_t requestedBlock(const SimRequest& request, bool lengthOk, uint32_t& number) {
    if (!lengthOk) return kStatusInvalidArgument;
    number = getBe32(request.payload);
    return number < static_cast<uint32_t>(kFlashBlockCount) ? kStatusSuccess : kStatusOutOfRange;
}

}  // namespace

std::unique_ptr<SimGroup> makeFlashGroup(SimCard& card, SimOptions& options) {
    if (const auto path = options.take("write-image")) {
        // A user without a real image gets the one this card ships with, then vorlsim ends.
        if (path->empty() || !ImageBuilder::writeFile(*path, ImageBuilder().build())) {
            std::fprintf(stderr, "vorlsim: cannot write the default image to '%s'\n",
                         path->c_str());
            std::exit(1);
        }
        std::printf("vorlsim: default image written to %s\n", path->c_str());
        std::fflush(stdout);
        std::exit(0);
    }
    SimFlashGroup::Faults faults;
    faults.failBlock = blockOption(options, "flash-fail-block");
    faults.vanishAfter = blockOption(options, "flash-vanish-after");
    return std::make_unique<SimFlashGroup>(faults, card.stateDir());
}

SimFlashGroup::SimFlashGroup(Faults faults, std::filesystem::path stateDir)
    : faults_(faults), stateDir_(std::move(stateDir)) {}

bool SimFlashGroup::handles(uint16_t command) const {
    return (command >> 8) == 0x06;
}

void SimFlashGroup::handle(const SimRequest& request, SimReply& reply) {
    reply.status = kStatusSuccess;
    reply.length = 0;
    switch (request.command) {
        case kWriteBlock:
            writeBlock(request, reply);
            break;
        case kReadBlock:
            readBlock(request, reply);
            break;
        case kSaveConfiguration:
            ++saveConfigurationCount_;
            break;
        case kSectionInfo:
            sectionInfo(request, reply);
            break;
        case kSaveSdk:
            break;
        case kSetFlashMode:
            mode_ = 1;
            break;
        case kGetCardMode:
            reply.payload[0] = mode_;
            reply.length = 1;
            break;
        case kReadChunk:
            readChunk(request, reply);
            break;
        case kWriteChunk:
            writeChunk(request, reply);
            break;
        default:
            reply.status = kStatusUnsupported;
    }
}

void SimFlashGroup::setDefaults() {
    if (!initialised_) {
        initialised_ = true;
        flash_ = ImageBuilder().build();
        dirtyBlocks_.assign(kFlashBlockCount, false);
        files_.clear();
        const std::string info = kServerInfoText;
        files_["k8config/serverInfo.conf"] = std::vector<uint8_t>(info.begin(), info.end());
        files_["/k8sdk/k8sdk.dat"] = defaultSdk();
    }
    boot();
}

void SimFlashGroup::boot() {
    mode_ = 0;
    running_.clear();
    for (const ModuleSpec& entry : defaultModuleLayout()) {
        const uint8_t* start = block(entry.firstBlock);
        const ModuleHeader header = ModuleHeader::decode(start);
        const bool valid = std::memcmp(header.signature, entry.signature, 8) == 0 &&
                           FirmwareImage::headerChecksum(start) == header.checksum;
        running_[std::string(entry.signature, 8)] = valid ? header.version : 0;
    }
}

uint16_t SimFlashGroup::runningVersion(const char* signature) const {
    const auto it = running_.find(std::string(signature, 8));
    return it == running_.end() ? 0 : it->second;
}

void SimFlashGroup::writeBlock(const SimRequest& request, SimReply& reply) {
    uint32_t number = 0;
    reply.status = requestedBlock(request, request.length == FlashBlockRecord::kSize, number);
    if (reply.status != kStatusSuccess) return;
    const uint8_t* data = request.payload + FlashBlockRecord::kHeadSize;
    if (FirmwareImage::crc32(data, kBlock) != getBe32(request.payload + 4)) {
        reply.status = kStatusChecksumError;
        return;
    }
    if (static_cast<int>(number) == faults_.failBlock) {
        reply.status = kStatusIoError;
        return;
    }
    std::memcpy(flash_.data() + number * kBlock, data, kBlock);
    dirtyBlocks_[number] = true;
    writeLog_.push_back(number);
    if (mode_ == 0) mode_ = 2;
    reply.stateChanged = true;
    if (static_cast<int>(number) == faults_.vanishAfter) {
        // The card loses power right after this block: it is kept, but never acknowledged,
        // and nothing answers any more.
        if (!stateDir_.empty()) save(stateDir_);
        std::fprintf(stderr, "vorlsim: card gone after writing block %u\n", number);
        std::fflush(stderr);
        std::_Exit(3);
    }
}

void SimFlashGroup::readBlock(const SimRequest& request, SimReply& reply) {
    uint32_t number = 0;
    reply.status = requestedBlock(request, request.length >= FlashBlockRecord::kHeadSize, number);
    if (reply.status != kStatusSuccess) return;
    putBe32(reply.payload, number);
    putBe32(reply.payload + 4, FirmwareImage::crc32(block(static_cast<int>(number)), kBlock));
    std::memcpy(reply.payload + FlashBlockRecord::kHeadSize, block(static_cast<int>(number)),
                kBlock);
    reply.length = FlashBlockRecord::kSize;
}

void SimFlashGroup::sectionInfo(const SimRequest& request, SimReply& reply) const {
    if (request.length < SectionInfo::kSize) {
        reply.status = kStatusInvalidArgument;
        return;
    }
    for (const ModuleSpec& entry : defaultModuleLayout()) {
        if (std::memcmp(request.payload, entry.signature, 8) != 0) continue;
        SectionInfo info;
        std::memcpy(info.signature, entry.signature, 8);
        info.size = entry.allocatedSize;
        info.firstBlock = entry.firstBlock;
        info.blockCount = entry.blockCount;
        info.version = runningVersion(entry.signature);
        info.encode(reply.payload);
        reply.length = SectionInfo::kSize;
        return;
    }
    reply.status = kStatusResourceNotExist;
}

}  // namespace vorl::sim
