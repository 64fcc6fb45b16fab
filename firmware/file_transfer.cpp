// Whole files between the host and the card's file system, in chunks of 65,536 bytes.
#include <climits>
#include <cstring>
#include <memory>

#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
// The chunk index is 16 bits: no file has more chunks than this, and a card that never marks
// a last chunk cannot keep a download going for ever.
constexpr uint32_t kMaxChunks = 0x10000;

void fillHead(FileChunkRecord& record, const std::string& cardPath, uint32_t index, uint32_t length,
              uint16_t state, uint32_t crc) {
    std::memset(record.bytes, 0, FileChunkRecord::kHeadSize);
    record.setPath(cardPath);
    record.setChunkIndex(static_cast<uint16_t>(index));
    record.setDataLength(length);
    record.setState(state);
    record.setCrc(crc);
}

}  // namespace

int CardSession::uploadFileToCard(const std::string& localPath, const std::string& cardPath) {
    if (cardPath.size() > FileChunkRecord::kMaxPath) return kStatusOutOfRange;
    FilePtr file = openFile(localPath, "rb");
    if (!file) return kStatusUnableToOpenFile;
    auto record = std::make_unique<FileChunkRecord>();

    for (uint32_t index = 0;; ++index) {
        const size_t got = readFully(file.get(), record->data(), kFlashBlockSize);
        if (std::ferror(file.get())) return kStatusUnableToOpenFile;
        if (got == 0) return 0;
        if (index >= kMaxChunks) return kStatusGeneralError;
        std::memset(record->data() + got, 0, kFlashBlockSize - got);
        fillHead(*record, cardPath, index, static_cast<uint32_t>(got),
                 got == kFlashBlockSize ? kChunkLast : kChunkMore,
                 FirmwareImage::crc32(record->data(), got));
        if (writeCardFileChunk(*record) != 0) return kStatusGeneralError;
        if (got < kFlashBlockSize) return 0;
    }
}

int CardSession::downloadFileFromCard(const std::string& cardPath, const std::string& localPath) {
    if (cardPath.size() > FileChunkRecord::kMaxPath) return kStatusOutOfRange;
    FilePtr file = openFile(localPath, "wb");
    if (!file) return kStatusUnableToOpenFile;
    auto record = std::make_unique<FileChunkRecord>();

    for (uint32_t counter = 0; counter < kMaxChunks; ++counter) {
        std::memset(record->data(), 0, kFlashBlockSize);
        fillHead(*record, cardPath, counter, 0, kChunkMore, 0);
        uint32_t responseLength = 0;
        if (readCardFileChunk(*record, responseLength) != 0) return kStatusGeneralError;

        // The length comes from the card: it must fit the data area and the answer itself.
        const uint32_t length = record->dataLength();
        if (length > kFlashBlockSize || length > responseLength - FileChunkRecord::kHeadSize)
            return kStatusGeneralError;
        if (FirmwareImage::crc32(record->data(), length) != record->crc())
            return kStatusChecksumError;

        const unsigned long long offset =
            static_cast<unsigned long long>(record->chunkIndex()) * kFlashBlockSize;
        if (offset > static_cast<unsigned long long>(LONG_MAX)) return kStatusGeneralError;
        if (std::fseek(file.get(), static_cast<long>(offset), SEEK_SET) != 0)
            return kStatusInsufficientSpace;
        if (std::fwrite(record->data(), 1, length, file.get()) != length)
            return kStatusInsufficientSpace;
        if (record->state() == kChunkLast) {
            // Buffered bytes that cannot be written are a short write too.
            return std::fflush(file.get()) == 0 ? 0 : kStatusInsufficientSpace;
        }
    }
    return kStatusGeneralError;
}

}  // namespace vorl
