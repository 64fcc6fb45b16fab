#include "firmware/flash_writer.h"

#include <cstring>

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

int FlashWriter::writeFromImage(std::FILE* image, long fileOffset, uint32_t firstBlock,
                                uint32_t count, const char* module) {
    FlashEvent event{FlashStep::BlockStarted};
    event.count = static_cast<int>(count);
    event.total = total_;
    event.module = module;
    for (uint32_t i = 0; i < count; ++i) {
        event.block = firstBlock + i;
        event.position = static_cast<int>(i + 1);
        event.written = written_;
        event.step = FlashStep::BlockStarted;
        listener_.on(event);
        // A short read is never flashed: the record would hold the previous block's bytes.
        if (!loadImageBlock(image, fileOffset + static_cast<long>(i) * kFlashBlockSize)) {
            emit(FlashStep::ImageReadFailed);
            return kImageShort;
        }
        event.step = FlashStep::BlockLoaded;
        listener_.on(event);
        record_->setBlockNumber(event.block);
        const int status = session_.writeFlashBlock(*record_);
        if (status != kStatusSuccess) {
            event.step = FlashStep::BlockFailed;
            event.status = status;
            listener_.on(event);
            return status;
        }
        event.written = ++written_;
        event.step = FlashStep::BlockWritten;
        listener_.on(event);
    }
    return kStatusSuccess;
}

int FlashWriter::writeSection(const uint8_t* data, uint32_t firstBlock, uint32_t count) {
    FlashEvent event{FlashStep::SectionBlockStarted};
    event.count = static_cast<int>(count);
    event.written = written_;
    event.total = total_;
    for (uint32_t i = 0; i < count; ++i) {
        event.block = firstBlock + i;
        event.position = static_cast<int>(i + 1);
        event.step = FlashStep::SectionBlockStarted;
        listener_.on(event);
        record_->setBlockNumber(event.block);
        std::memcpy(record_->data(), data + static_cast<size_t>(i) * kFlashBlockSize,
                    kFlashBlockSize);
        const int status = session_.writeFlashBlock(*record_);
        if (status != kStatusSuccess) {
            event.step = FlashStep::SectionBlockFailed;
            event.status = status;
            listener_.on(event);
            return status;
        }
    }
    return kStatusSuccess;
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
