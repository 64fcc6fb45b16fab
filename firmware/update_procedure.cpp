// Writing a whole image to the card: the full update with its MAC and reset ceremony, and the
// plain write without it.
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

// Reads the next image block into the record; a short read is never flashed.
bool readImageBlock(std::FILE* file, FlashBlockRecord& record, uint32_t block) {
    record.setBlockNumber(block);
    return readFully(file, record.data(), kFlashBlockSize) == kFlashBlockSize;
}

}  // namespace

int updateFirmware(CardSession& session, const std::string& imagePath, bool flashBootBlock,
                   bool retainConfig, FlashObserver& observer) {
    observer.on(FlashEvent::ValidateStarted, 0, 0);
    if (FirmwareImage::validateImageFile(imagePath) != 0) {
        observer.on(FlashEvent::ValidateFailed, 0, 0);
        return kLocalFailure;
    }
    observer.on(FlashEvent::ValidateOk, 0, 0);

    observer.on(FlashEvent::OpenStarted, 0, 0);
    FilePtr file = openFile(imagePath, "rb");
    if (!file) {
        observer.on(FlashEvent::OpenFailed, 0, 0);
        return kLocalFailure;
    }
    observer.on(FlashEvent::OpenOk, 0, 0);

    observer.on(FlashEvent::MacReadStarted, 0, 0);
    char mac[18] = {};
    const bool macKnown = session.getMacAddress(mac) == 0;
    observer.on(macKnown ? FlashEvent::MacReadOk : FlashEvent::MacReadFailed, 0, 0);

    auto record = std::make_unique<FlashBlockRecord>();
    observer.on(FlashEvent::BootBlockStarted, 0, 0);
    if (!readImageBlock(file.get(), *record, 0)) {
        observer.on(FlashEvent::ImageReadFailed, 0, 0);
        return kLocalFailure;
    }
    if (flashBootBlock) {
        const int status = session.writeFlashBlock(*record);
        if (status != 0) {
            observer.on(FlashEvent::BootBlockFailed, status, 0);
            return status;
        }
        observer.on(FlashEvent::BootBlockOk, 0, 0);
    } else {
        observer.on(FlashEvent::BootBlockSkipped, 0, 0);
    }

    for (uint32_t block = 1; block < kFlashBlockCount; ++block) {
        if (!readImageBlock(file.get(), *record, block)) {
            observer.on(FlashEvent::ImageReadFailed, 0, 0);
            return kLocalFailure;
        }
        observer.on(FlashEvent::BlockStarted, static_cast<int>(block), kFlashBlockCount);
        const int status = session.writeFlashBlock(*record);
        if (status != 0) {
            observer.on(FlashEvent::BlockFailed, static_cast<int>(block), status);
            return status;
        }
    }
    observer.on(FlashEvent::FlashDone, 0, 0);

    // Without an address read from the card there is nothing true to write back.
    observer.on(FlashEvent::MacWriteStarted, 0, 0);
    if (!macKnown) {
        observer.on(FlashEvent::MacWriteSkipped, 0, 0);
    } else if (session.setMacAddressFromText(mac) == 0) {
        observer.on(FlashEvent::MacWriteOk, 0, 0);
    } else {
        observer.on(FlashEvent::MacWriteFailed, 0, 0);
    }

    observer.on(FlashEvent::ResetStarted, retainConfig ? 1 : 0, 0);
    const int status = retainConfig ? session.resetCard() : session.resetCardToDefaults();
    observer.on(status == 0 ? FlashEvent::ResetOk : FlashEvent::ResetFailed, status, 0);
    return status;
}

int writeImageToFlash(CardSession& session, const std::string& imagePath) {
    if (FirmwareImage::validateImageFile(imagePath) != 0) return kStatusInvalidArgument;
    FilePtr file = openFile(imagePath, "rb");
    if (!file) return kUnableToOpenFile;
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t block = 0; block < kFlashBlockCount; ++block) {
        if (!readImageBlock(file.get(), *record, block)) return kIoError;
        if (session.writeFlashBlock(*record) != 0) return kStatusGeneralError;
    }
    return 0;
}

}  // namespace vorl
