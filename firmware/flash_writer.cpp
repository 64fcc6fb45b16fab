#include "firmware/flash_writer.h"

#include <cstring>
#include <optional>

#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {

FlashWriter::FlashWriter(CardSession& session, FlashListener& listener, int totalBlocks)
    : session_(session),
      listener_(listener),
      record_(std::make_unique<FlashBlockRecord>()),
      total_(totalBlocks) {}

FlashWriter::~FlashWriter() = default;

void FlashWriter::emit(FlashStep step, int status) {
    FlashEvent event{step};
    event.status = status;
    event.written = written_;
    event.total = total_;
    listener_.on(event);
}

void FlashWriter::saveMac() {
    emit(FlashStep::MacReadStarted);
    macKnown_ = session_.getMacAddress(mac_) == kStatusSuccess;
    emit(macKnown_ ? FlashStep::MacRead : FlashStep::MacReadFailed);
}

void FlashWriter::restoreMac() {
    emit(FlashStep::MacWriteStarted);
    // Without an address read from the card there is nothing true to write back.
    if (!macKnown_)
        emit(FlashStep::MacWriteSkipped);
    else if (session_.setMacAddressFromText(mac_) == kStatusSuccess)
        emit(FlashStep::MacWritten);
    else
        emit(FlashStep::MacWriteFailed);
}

bool FlashWriter::loadImageBlock(std::FILE* image, long fileOffset) {
    if (fileOffset < 0 || std::fseek(image, fileOffset, SEEK_SET) != 0) return false;
    return readFully(image, record_->data(), kFlashBlockSize) == kFlashBlockSize;
}

bool FlashWriter::checkImageBlock(std::FILE* image, long fileOffset) {
    if (loadImageBlock(image, fileOffset)) return true;
    emit(FlashStep::ImageReadFailed);
    return false;
}

int FlashWriter::writeBlocks(uint32_t firstBlock, uint32_t count, const char* module,
                             const BlockSteps& steps, const std::function<bool(uint32_t)>& load) {
    FlashEvent event{FlashStep::BlockStarted};  // each tell sets its step
    event.count = static_cast<int>(count);
    event.total = total_;
    event.module = module;
    const auto tell = [&](std::optional<FlashStep> step) {
        if (!step) return;
        event.step = *step;
        listener_.on(event);
    };
    for (uint32_t i = 0; i < count; ++i) {
        event.block = firstBlock + i;
        event.position = static_cast<int>(i + 1);
        event.written = written_;
        tell(steps.started);
        if (!load(i)) return kImageShort;
        tell(steps.loaded);
        record_->setBlockNumber(event.block);
        const int status = session_.writeFlashBlock(*record_);
        if (status != kStatusSuccess) {
            event.status = status;
            tell(steps.failed);
            return status;
        }
        if (steps.counted) event.written = ++written_;
        tell(steps.written);
    }
    return kStatusSuccess;
}

int FlashWriter::writeFromImage(std::FILE* image, long fileOffset, uint32_t firstBlock,
                                uint32_t count, const char* module) {
    static constexpr BlockSteps kImageSteps{FlashStep::BlockStarted, FlashStep::BlockLoaded,
                                            FlashStep::BlockWritten, FlashStep::BlockFailed, true};
    return writeBlocks(firstBlock, count, module, kImageSteps, [&](uint32_t i) {
        // A short read is never flashed: the record would hold the previous block's bytes.
        return checkImageBlock(image, fileOffset + static_cast<long>(i) * kFlashBlockSize);
    });
}

int FlashWriter::writeSection(const uint8_t* data, uint32_t firstBlock, uint32_t count) {
    static constexpr BlockSteps kSectionSteps{FlashStep::SectionBlockStarted, std::nullopt,
                                              std::nullopt, FlashStep::SectionBlockFailed, false};
    return writeBlocks(firstBlock, count, "", kSectionSteps, [&](uint32_t i) {
        std::memcpy(record_->data(), data + static_cast<size_t>(i) * kFlashBlockSize,
                    kFlashBlockSize);
        return true;
    });
}

int readFlashBlocks(CardSession& session, uint32_t firstBlock, uint32_t count,
                    const std::function<bool(uint32_t index, const uint8_t* data)>& take) {
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t i = 0; i < count; ++i) {
        record->setBlockNumber(firstBlock + i);
        const int status = session.readFlashBlock(*record);
        if (status != kStatusSuccess) return status;
        if (!take(i, record->data())) return -1;
    }
    return kStatusSuccess;
}

}  // namespace vorl
