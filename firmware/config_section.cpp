// Saving the card's configuration section to a file and putting it back.
#include <cstring>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/flash_procedures.h"
#include "firmware/flash_records.h"
#include "firmware/flash_writer.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kLocalFailure = -1;

void tell(FlashListener& listener, FlashStep step, int status = 0) {
    FlashEvent event{step};
    event.status = status;
    listener.on(event);
}

}  // namespace

int configSectionLayout(CardSession& session, SectionInfo& info) {
    info = SectionInfo{};
    FirmwareImage::moduleSignature("CONFIG", info.signature);
    const int status = session.getSectionInfo(info);
    if (status != kStatusSuccess) return status;
    // A layout the flash cannot hold is not one to copy blocks by.
    if (info.blockCount == 0 || info.firstBlock + info.blockCount > kFlashBlockCount)
        return kStatusGeneralError;
    return kStatusSuccess;
}

int saveConfigSection(CardSession& session, const std::string& path) {
    FilePtr file = openFile(path, "wb");
    if (!file) return kStatusUnableToOpenFile;
    SectionInfo info;
    const int status = configSectionLayout(session, info);
    if (status != kStatusSuccess) return status;
    bool written = true;
    const int read = readFlashBlocks(
        session, info.firstBlock, info.blockCount, [&](uint32_t, const uint8_t* data) {
            return written = std::fwrite(data, 1, kFlashBlockSize, file.get()) == kFlashBlockSize;
        });
    if (!written) return kStatusInsufficientSpace;
    if (read != kStatusSuccess) return kStatusGeneralError;
    return std::fflush(file.get()) == 0 ? kStatusSuccess : kStatusInsufficientSpace;
}

int restoreConfigSection(CardSession& session, const std::string& path, FlashListener& listener) {
    FilePtr file = openFile(path, "rb");
    if (!file) {
        tell(listener, FlashStep::ConfigFileOpenFailed);
        return kLocalFailure;
    }
    uint8_t headerBytes[ModuleHeader::kSize];
    if (readFully(file.get(), headerBytes, sizeof headerBytes) != sizeof headerBytes) {
        tell(listener, FlashStep::ConfigFileIncomplete);
        return kLocalFailure;
    }
    const ModuleHeader header = ModuleHeader::decode(headerBytes);

    SectionInfo info;
    const int status = configSectionLayout(session, info);
    if (status != kStatusSuccess) {
        tell(listener, FlashStep::SectionInfoFailed, status);
        return status;
    }
    if (header.allocatedSize != info.size) {
        tell(listener, FlashStep::SectionSizeMismatch);
        return kLocalFailure;
    }

    // The whole section is read before the first block is written: a short file must not
    // leave the card with half a configuration.
    const size_t sectionBytes = static_cast<size_t>(info.blockCount) * kFlashBlockSize;
    std::vector<uint8_t> section(sectionBytes);
    if (std::fseek(file.get(), 0, SEEK_SET) != 0 ||
        readFully(file.get(), section.data(), sectionBytes) != sectionBytes) {
        tell(listener, FlashStep::ConfigFileIncomplete);
        return kLocalFailure;
    }

    FlashWriter writer(session, listener, 0);
    const int written = writer.writeSection(section.data(), info.firstBlock, info.blockCount);
    if (written != kStatusSuccess) return written;
    tell(listener, FlashStep::SectionRestored);
    return kStatusSuccess;
}

}  // namespace vorl
