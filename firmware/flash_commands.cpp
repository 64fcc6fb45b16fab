// Flash blocks, sections, configuration saving, flash mode and file chunks: group 0x06.
#include "firmware/flash_records.h"
#include "protocol/card_session.h"
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

int sendEmpty(CardSession& session, uint16_t command) {
    uint8_t answer[kSmallAnswerCapacity];
    uint32_t responseLength = 0;
    return session.transact(command, answer, 0, responseLength, 0, sizeof answer);
}

}  // namespace

int CardSession::writeFlashBlock(FlashBlockRecord& record) {
    record.setCrc(FirmwareImage::crc32(record.data(), kFlashBlockSize));
    putBe16(record.bytes + 8, 0);
    uint32_t responseLength = 0;
    // The answer is not read; if the card sends one it lands in the record, which the caller
    // refills for the next block.
    return transact(kWriteFlashBlock, record.bytes, FlashBlockRecord::kSize, responseLength, 0,
                    FlashBlockRecord::kSize);
}

int CardSession::readFlashBlock(FlashBlockRecord& record) {
    record.setCrc(0);
    putBe16(record.bytes + 8, 0);
    uint32_t responseLength = 0;
    const int status = transact(kReadFlashBlock, record.bytes, FlashBlockRecord::kHeadSize,
                                responseLength, 0, FlashBlockRecord::kSize);
    if (status != 0) return status;
    if (responseLength != FlashBlockRecord::kSize) return kStatusConnectError;
    if (FirmwareImage::crc32(record.data(), kFlashBlockSize) != record.crc())
        return kStatusChecksumError;
    return 0;
}

int CardSession::saveConfiguration() {
    return sendEmpty(*this, kSaveConfiguration);
}

int CardSession::getSectionInfo(SectionInfo& info) {
    uint8_t buffer[SectionInfo::kSize] = {};
    info.encode(buffer);
    uint32_t responseLength = 0;
    const int status =
        transact(kGetSectionInfo, buffer, sizeof buffer, responseLength, 0, sizeof buffer);
    if (status != 0) return status;
    if (responseLength != SectionInfo::kSize) return kStatusConnectError;
    info = SectionInfo::decode(buffer);
    return 0;
}

int CardSession::saveSdk() {
    return sendEmpty(*this, kSaveSdk);
}

int CardSession::setFlashMode() {
    return sendEmpty(*this, kSetFlashMode);
}

int CardSession::getCardMode(uint8_t& mode) {
    uint8_t buffer[kSmallAnswerCapacity] = {};
    uint32_t responseLength = 0;
    const int status = transact(kGetCardMode, buffer, 0, responseLength, 0, sizeof buffer);
    if (status != 0) return status;
    if (responseLength < 1) return kStatusConnectError;
    mode = buffer[0];
    return 0;
}

int CardSession::readCardFileChunk(FileChunkRecord& record, uint32_t& responseLength) {
    responseLength = 0;
    const int status = transact(kReadFileChunk, record.bytes, FileChunkRecord::kHeadSize,
                                responseLength, 0, FileChunkRecord::kSize);
    if (status != 0) return status;
    if (responseLength < FileChunkRecord::kHeadSize) return kStatusConnectError;
    return 0;
}

int CardSession::writeCardFileChunk(FileChunkRecord& record) {
    uint32_t responseLength = 0;
    return transact(kWriteFileChunk, record.bytes, FileChunkRecord::kSize, responseLength, 0,
                    FileChunkRecord::kSize);
}

}  // namespace vorl
