// Copying the card's flash to the host: into a new file, over an existing image, and the boot
// block comparison.
#include <cstring>
#include <memory>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kLocalFailure = -1;
constexpr int kUnableToOpenFile = 14;
constexpr int kIoError = 21;

bool writeBlock(std::FILE* file, const FlashBlockRecord& record) {
    return std::fwrite(record.data(), 1, kFlashBlockSize, file) == kFlashBlockSize;
}

}  // namespace

int readFlashToFile(CardSession& session, const std::string& path, FlashObserver& observer) {
    FilePtr file = openFile(path, "wb");
    if (!file) {
        observer.on(FlashEvent::CreateFailed, 0, 0);
        return kLocalFailure;
    }
    observer.on(FlashEvent::ReadStarted, 0, 0);
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t block = 0; block < kFlashBlockCount; ++block) {
        record->setBlockNumber(block);
        const int status = session.readFlashBlock(*record);
        if (status != 0) {
            observer.on(FlashEvent::BlockReadFailed, status, 0);
            return status;
        }
        observer.on(FlashEvent::BlockRead, static_cast<int>(block), kFlashBlockCount);
        if (!writeBlock(file.get(), *record)) {
            observer.on(FlashEvent::FileWriteFailed, 0, 0);
            return kLocalFailure;
        }
    }
    // Bytes still buffered must reach the disk before the file is reported stored.
    if (std::fflush(file.get()) != 0) {
        observer.on(FlashEvent::FileWriteFailed, 0, 0);
        return kLocalFailure;
    }
    observer.on(FlashEvent::ReadDone, kFlashBlockCount, 0);
    return 0;
}

int readFlashIntoImage(CardSession& session, const std::string& imagePath) {
    if (FirmwareImage::validateImageFile(imagePath) != 0) return kStatusInvalidArgument;
    FilePtr file = openFile(imagePath, "wb");
    if (!file) return kUnableToOpenFile;
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t block = 0; block < kFlashBlockCount; ++block) {
        record->setBlockNumber(block);
        if (session.readFlashBlock(*record) != 0) return kStatusGeneralError;
        if (!writeBlock(file.get(), *record)) return kIoError;
    }
    return std::fflush(file.get()) == 0 ? 0 : kIoError;
}

int compareBootBlock(CardSession& session, const uint8_t* data, size_t length) {
    if (data == nullptr || length != kFlashBlockSize) return 1;
    auto record = std::make_unique<FlashBlockRecord>();
    record->setBlockNumber(0);
    const int status = session.readFlashBlock(*record);
    if (status != 0) return status;
    return std::memcmp(record->data(), data, kFlashBlockSize) == 0 ? 0 : 1;
}

}  // namespace vorl
