// Copying the card's flash to the host: into a new file, over an existing image, and the boot
// block comparison.
#include <cstring>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/flash_writer.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kLocalFailure = -1;

bool writeBlock(std::FILE* file, const uint8_t* data) {
    return std::fwrite(data, 1, kFlashBlockSize, file) == kFlashBlockSize;
}

void tell(FlashListener& listener, FlashStep step, int status = 0, uint32_t block = 0) {
    FlashEvent event{step};
    event.status = status;
    event.block = block;
    event.count = kFlashBlockCount;
    listener.on(event);
}

}  // namespace

int readFlashToFile(CardSession& session, const std::string& path, FlashListener& listener) {
    FilePtr file = openFile(path, "wb");
    if (!file) {
        tell(listener, FlashStep::FileCreateFailed);
        return kLocalFailure;
    }
    tell(listener, FlashStep::ReadStarted);
    bool written = true;
    const int status =
        readFlashBlocks(session, 0, kFlashBlockCount, [&](uint32_t block, const uint8_t* data) {
            tell(listener, FlashStep::BlockRead, 0, block);
            return written = writeBlock(file.get(), data);
        });
    if (!written) {
        tell(listener, FlashStep::FileWriteFailed);
        return kLocalFailure;
    }
    if (status != kStatusSuccess) {
        tell(listener, FlashStep::BlockReadFailed, status);
        return status;
    }
    // Bytes still buffered must reach the disk before the file is reported stored.
    if (std::fflush(file.get()) != 0) {
        tell(listener, FlashStep::FileWriteFailed);
        return kLocalFailure;
    }
    tell(listener, FlashStep::ReadDone);
    return kStatusSuccess;
}

int readFlashIntoImage(CardSession& session, const std::string& imagePath) {
    if (FirmwareImage::validateImageFile(imagePath) != kStatusSuccess)
        return kStatusInvalidArgument;
    FilePtr file = openFile(imagePath, "wb");
    if (!file) return kStatusUnableToOpenFile;
    bool written = true;
    const int status = readFlashBlocks(
        session, 0, kFlashBlockCount,
        [&](uint32_t, const uint8_t* data) { return written = writeBlock(file.get(), data); });
    if (!written) return kStatusIoError;
    if (status != kStatusSuccess) return kStatusGeneralError;
    return std::fflush(file.get()) == 0 ? kStatusSuccess : kStatusIoError;
}

int compareBootBlock(CardSession& session, const uint8_t* data, size_t length) {
    if (data == nullptr || length != kFlashBlockSize) return 1;
    bool same = false;
    const int status = readFlashBlocks(session, 0, 1, [&](uint32_t, const uint8_t* block) {
        same = std::memcmp(block, data, kFlashBlockSize) == 0;
        return true;
    });
    if (status != kStatusSuccess) return status;
    return same ? 0 : 1;
}

}  // namespace vorl
