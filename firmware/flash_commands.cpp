// Flash blocks, sections, configuration saving, flash mode and file chunks: group 0x06.
#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "protocol/record_exchange.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr uint16_t kWriteFlashBlock = 0x0601;
constexpr uint16_t kReadFlashBlock = 0x0602;
constexpr uint16_t kSaveConfiguration = 0x0603;
constexpr uint16_t kGetSectionInfo = 0x0605;
constexpr uint16_t kSaveSdk = 0x0606;
constexpr uint16_t kSetFlashMode = 0x0607;
constexpr uint16_t kGetCardMode = 0x0608;
constexpr uint16_t kReadFileChunk = 0x060A;
constexpr uint16_t kWriteFileChunk = 0x060B;
// Answers the host does not read (or reads one byte of) still land somewhere: room for a
// generous one. A longer answer is refused by transact with 33.
constexpr uint32_t kSmallAnswerCapacity = 512;

}  // namespace

int CardSession::writeFlashBlock(FlashBlockRecord& record) {
    record.setCrc(FirmwareImage::crc32(record.data(), kFlashBlockSize));
    putBe16(record.bytes + 8, 0);
    // The answer is not read; if the card sends one it lands in the record, which the caller
    // refills for the next block.
    return sendFixed(*this, kWriteFlashBlock, record.bytes, FlashBlockRecord::kSize,
                     FlashBlockRecord::kSize);
}

int CardSession::readFlashBlock(FlashBlockRecord& record) {
    record.setCrc(0);
    putBe16(record.bytes + 8, 0);
    const int status = exchangeFixed(*this, kReadFlashBlock, record.bytes, FlashBlockRecord::kSize,
                                     FlashBlockRecord::kHeadSize, FlashBlockRecord::kSize);
    if (status != kStatusSuccess) return status;
    if (FirmwareImage::crc32(record.data(), kFlashBlockSize) != record.crc())
        return kStatusChecksumError;
    return kStatusSuccess;
}

int CardSession::saveConfiguration() {
    return sendEmpty<kSmallAnswerCapacity>(*this, kSaveConfiguration);
}

int CardSession::getSectionInfo(SectionInfo& info) {
    return queryRecord(*this, kGetSectionInfo, info);
}

int CardSession::saveSdk() {
    return sendEmpty<kSmallAnswerCapacity>(*this, kSaveSdk);
}

int CardSession::setFlashMode() {
    return sendEmpty<kSmallAnswerCapacity>(*this, kSetFlashMode);
}

int CardSession::getCardMode(uint8_t& mode) {
    return fetchByte<kSmallAnswerCapacity>(*this, kGetCardMode, mode);
}

int CardSession::readCardFileChunk(FileChunkRecord& record, uint32_t& responseLength) {
    responseLength = 0;
    const int status = transact(kReadFileChunk, record.bytes, FileChunkRecord::kHeadSize,
                                responseLength, 0, FileChunkRecord::kSize);
    if (status != kStatusSuccess) return status;
    if (responseLength < FileChunkRecord::kHeadSize) return kStatusConnectError;
    return kStatusSuccess;
}

int CardSession::writeCardFileChunk(FileChunkRecord& record) {
    return sendFixed(*this, kWriteFileChunk, record.bytes, FileChunkRecord::kSize,
                     FileChunkRecord::kSize);
}

}  // namespace vorl
