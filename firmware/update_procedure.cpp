// Writing a whole image to the card: the full update with its MAC and reset ceremony, and the
// plain write without it.
#include <cstdio>
#include <memory>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/flash_records.h"
#include "firmware/flash_writer.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kLocalFailure = -1;
// Blocks 1 to 63 follow the boot block in the image as on the card.
constexpr uint32_t kBlocksAfterBoot = kFlashBlockCount - 1;

// A file cut short after its modules passes the module checks. Finding that out at the block
// where it ends would leave the card half written, so the length is checked before any write.
bool holdsEveryBlock(std::FILE* file) {
    const bool measured = std::fseek(file, 0, SEEK_END) == 0;
    const long size = measured ? std::ftell(file) : -1;
    std::rewind(file);
    return size >= static_cast<long>(kFlashBlockCount) * static_cast<long>(kFlashBlockSize);
}
}  // namespace

int updateFirmware(CardSession& session, const std::string& imagePath, bool flashBootBlock,
                   bool retainConfig, FlashListener& listener) {
    FlashWriter writer(session, listener, flashBootBlock ? kFlashBlockCount : kBlocksAfterBoot);
    writer.emit(FlashStep::ValidateStarted);
    if (FirmwareImage::validateImageFile(imagePath) != kStatusSuccess) {
        writer.emit(FlashStep::ImageInvalid);
        return kLocalFailure;
    }
    writer.emit(FlashStep::ImageValid);

    writer.emit(FlashStep::OpenStarted);
    FilePtr file = openFile(imagePath, "rb");
    if (!file) {
        writer.emit(FlashStep::ImageOpenFailed);
        return kLocalFailure;
    }
    if (!holdsEveryBlock(file.get())) {
        writer.emit(FlashStep::ImageReadFailed);
        return kLocalFailure;
    }
    writer.emit(FlashStep::ImageOpened);

    writer.saveMac();

    // Block 0 is read from the file even when it is not flashed: a file that cannot give it
    // is no image to flash.
    writer.emit(FlashStep::BootBlockStarted);
    if (flashBootBlock) {
        const int status = writer.writeFromImage(file.get(), 0, 0, 1);
        if (status != kStatusSuccess)
            return status == FlashWriter::kImageShort ? kLocalFailure : status;
    } else {
        if (!writer.checkImageBlock(file.get(), 0)) return kLocalFailure;
        writer.emit(FlashStep::BootBlockSkipped);
    }

    const int status =
        writer.writeFromImage(file.get(), static_cast<long>(kFlashBlockSize), 1, kBlocksAfterBoot);
    if (status != kStatusSuccess)
        return status == FlashWriter::kImageShort ? kLocalFailure : status;
    writer.emit(FlashStep::BlocksDone);

    writer.restoreMac();

    writer.emit(retainConfig ? FlashStep::ResetRetainingStarted
                             : FlashStep::ResetToDefaultsStarted);
    const int reset = retainConfig ? session.resetCard() : session.resetCardToDefaults();
    writer.emit(reset == kStatusSuccess ? FlashStep::ResetDone : FlashStep::ResetFailed, reset);
    return reset;
}

int writeImageToFlash(CardSession& session, const std::string& imagePath) {
    if (FirmwareImage::validateImageFile(imagePath) != kStatusSuccess)
        return kStatusInvalidArgument;
    FilePtr file = openFile(imagePath, "rb");
    if (!file) return kStatusUnableToOpenFile;
    if (!holdsEveryBlock(file.get())) return kStatusIoError;
    SilentListener silent;
    FlashWriter writer(session, silent, kFlashBlockCount);
    const int status = writer.writeFromImage(file.get(), 0, 0, kFlashBlockCount);
    if (status == FlashWriter::kImageShort) return kStatusIoError;
    return status == kStatusSuccess ? kStatusSuccess : kStatusGeneralError;
}

}  // namespace vorl
