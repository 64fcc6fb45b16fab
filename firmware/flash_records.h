#pragma once
// Records of the flash and file-transfer commands (group 0x06). The block and chunk records are
// larger than 64 KiB: they hold their wire bytes and expose the numeric fields through
// big-endian accessors, so one allocation serves a whole loop and callers see host order.
// Allocate them on the heap (std::make_unique), never on a small stack.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "firmware/firmware_image.h"
#include "protocol/text_field.h"
#include "wire/byte_order.h"

namespace vorl {

struct FlashBlockRecord {
    static constexpr size_t kHeadSize = 10;
    static constexpr size_t kSize = kHeadSize + kFlashBlockSize;  // 65,546

    uint8_t bytes[kSize] = {};

    uint32_t blockNumber() const { return getBe32(bytes); }
    void setBlockNumber(uint32_t block) { putBe32(bytes, block); }
    uint32_t crc() const { return getBe32(bytes + 4); }
    void setCrc(uint32_t crc) { putBe32(bytes + 4, crc); }
    uint8_t* data() { return bytes + kHeadSize; }
    const uint8_t* data() const { return bytes + kHeadSize; }
};

struct SectionInfo {
    static constexpr size_t kSize = 26;

    char signature[8] = {};  // a module signature, filled in by the host
    uint32_t field8 = 0;     // belongs to the card's firmware
    uint32_t size = 0;       // size of the section on the card, in bytes
    uint32_t field16 = 0;    // belongs to the card's firmware
    uint16_t firstBlock = 0;
    uint16_t blockCount = 0;
    uint16_t version = 0;

    void encode(uint8_t* out) const {
        std::memcpy(out, signature, 8);
        putBe32(out + 8, field8);
        putBe32(out + 12, size);
        putBe32(out + 16, field16);
        putBe16(out + 20, firstBlock);
        putBe16(out + 22, blockCount);
        putBe16(out + 24, version);
    }
    void decode(const uint8_t* in) {
        std::memcpy(signature, in, 8);
        field8 = getBe32(in + 8);
        size = getBe32(in + 12);
        field16 = getBe32(in + 16);
        firstBlock = getBe16(in + 20);
        blockCount = getBe16(in + 22);
        version = getBe16(in + 24);
    }
};

// Transfer states of a file chunk.
constexpr uint16_t kChunkMore = 5;  // a short chunk (write), a request (read)
constexpr uint16_t kChunkLast = 6;  // a full chunk (write), the last chunk (read answer)

struct FileChunkRecord {
    static constexpr size_t kHeadSize = 92;
    static constexpr size_t kPathWidth = 80;
    static constexpr size_t kMaxPath = kPathWidth - 1;
    static constexpr size_t kSize = kHeadSize + kFlashBlockSize;  // 65,628

    uint8_t bytes[kSize] = {};

    std::string path() const { return getTextField(bytes, kPathWidth); }
    // False (the field holds a cut text) when `path` has more than 79 characters.
    bool setPath(const std::string& path) {
        putTextField(bytes, kPathWidth, path);
        return path.size() <= kMaxPath;
    }
    uint16_t chunkIndex() const { return getBe16(bytes + 80); }
    void setChunkIndex(uint16_t index) { putBe16(bytes + 80, index); }
    uint32_t dataLength() const { return getBe32(bytes + 82); }
    void setDataLength(uint32_t length) { putBe32(bytes + 82, length); }
    uint16_t state() const { return getBe16(bytes + 86); }
    void setState(uint16_t state) { putBe16(bytes + 86, state); }
    uint32_t crc() const { return getBe32(bytes + 88); }
    void setCrc(uint32_t crc) { putBe32(bytes + 88, crc); }
    uint8_t* data() { return bytes + kHeadSize; }
    const uint8_t* data() const { return bytes + kHeadSize; }
};

}  // namespace vorl
