// Saving the card's configuration section to a file and putting it back.
#include <cstring>
#include <memory>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kLocalFailure = -1;
constexpr int kUnableToOpenFile = 14;
constexpr int kInsufficientSpace = 18;

int configSectionInfo(CardSession& session, SectionInfo& info) {
    info = SectionInfo{};
    FirmwareImage::moduleSignature("CONFIG", info.signature);
    const int status = session.getSectionInfo(info);
    if (status != 0) return status;
    // A layout the flash cannot hold is not one to copy blocks by.
    if (info.blockCount == 0 || info.firstBlock + info.blockCount > kFlashBlockCount)
        return kStatusGeneralError;
    return 0;
}

}  // namespace

int saveConfigSection(CardSession& session, const std::string& path) {
    FilePtr file = openFile(path, "wb");
    if (!file) return kUnableToOpenFile;
    SectionInfo info;
    const int status = configSectionInfo(session, info);
    if (status != 0) return status;
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t j = 0; j < info.blockCount; ++j) {
        record->setBlockNumber(info.firstBlock + j);
        if (session.readFlashBlock(*record) != 0) return kStatusGeneralError;
        if (std::fwrite(record->data(), 1, kFlashBlockSize, file.get()) != kFlashBlockSize)
            return kInsufficientSpace;
    }
    return std::fflush(file.get()) == 0 ? 0 : kInsufficientSpace;
}

int restoreConfigSection(CardSession& session, const std::string& path, FlashObserver& observer) {
    FilePtr file = openFile(path, "rb");
    if (!file) {
        observer.on(FlashEvent::ConfigOpenFailed, 0, 0);
        return kLocalFailure;
    }
    uint8_t headerBytes[ModuleHeader::kSize];
    if (readFully(file.get(), headerBytes, sizeof headerBytes) != sizeof headerBytes) {
        observer.on(FlashEvent::ConfigFileIncomplete, 0, 0);
        return kLocalFailure;
    }
    const ModuleHeader header = ModuleHeader::decode(headerBytes);

    SectionInfo info;
    const int status = configSectionInfo(session, info);
    if (status != 0) {
        observer.on(FlashEvent::SectionInfoFailed, status, 0);
        return status;
    }
    if (header.allocatedSize != info.size) {
        observer.on(FlashEvent::SectionSizeMismatch, 0, 0);
        return kLocalFailure;
    }

    // The whole section is read before the first block is written: a short file must not
    // leave the card with half a configuration.
    const size_t sectionBytes = static_cast<size_t>(info.blockCount) * kFlashBlockSize;
    std::vector<uint8_t> section(sectionBytes);
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 ||
        readFully(file.get(), section.data(), sectionBytes) != sectionBytes) {
        observer.on(FlashEvent::ConfigFileIncomplete, 0, 0);
        return kLocalFailure;
    }

    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t j = 0; j < info.blockCount; ++j) {
        record->setBlockNumber(info.firstBlock + j);
        std::memcpy(record->data(), section.data() + static_cast<size_t>(j) * kFlashBlockSize,
                    kFlashBlockSize);
        observer.on(FlashEvent::ConfigBlockStarted, static_cast<int>(j + 1), info.blockCount);
        const int written = session.writeFlashBlock(*record);
        if (written != 0) {
            observer.on(FlashEvent::ConfigBlockFailed, written, 0);
            return written;
        }
    }
    observer.on(FlashEvent::ConfigDone, 0, 0);
    return 0;
}

}  // namespace vorl
