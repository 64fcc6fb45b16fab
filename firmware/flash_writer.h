#pragma once
// The one block loop of every flash procedure: blocks written from an image file or from
// memory, strictly in order and each once, with the card's MAC address read before and written
// back after. Each step is told to a FlashListener, stamped with the count of image blocks
// written so far. One writer serves one flash on one thread; it owns its 64 KiB block record.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>

#include "firmware/flash_events.h"

namespace vorl {

class CardSession;
struct FlashBlockRecord;

class FlashWriter {
public:
    // What writeFromImage returns when the image falls short: a local failure, never a card
    // status.
    static constexpr int kImageShort = -1;

    // `totalBlocks`: the image blocks this flash writes (the events carry it).
    FlashWriter(CardSession& session, FlashListener& listener, int totalBlocks);
    ~FlashWriter();
    FlashWriter(const FlashWriter&) = delete;
    FlashWriter& operator=(const FlashWriter&) = delete;

    // Tells the listener `step` with the writer's counts.
    void emit(FlashStep step, int status = 0);

    // MacReadStarted, then MacRead or MacReadFailed (a warning only).
    void saveMac();
    // MacWriteStarted, then MacWritten or MacWriteFailed; MacWriteSkipped, with nothing sent,
    // when saveMac could not read the address.
    void restoreMac();

    // Writes `count` blocks from flash block `firstBlock` on, read from `image` at `fileOffset`
    // on (65,536 bytes each; a negative offset reads nothing). Per block: BlockStarted,
    // BlockLoaded, BlockWritten. Returns 0; kImageShort after ImageReadFailed (a short block is
    // never sent); the write's status after BlockFailed. `module` names the run in the events (""
    // for a whole image).
    int writeFromImage(std::FILE* image, long fileOffset, uint32_t firstBlock, uint32_t count,
                       const char* module = "");

    // Reads the image block at `fileOffset` without writing it; false after ImageReadFailed.
    bool checkImageBlock(std::FILE* image, long fileOffset);

    // Writes `count` blocks of `data` (count × 65,536 bytes) from flash block `firstBlock` on:
    // SectionBlockStarted per block; 0, or the first failed write's status after
    // SectionBlockFailed. Not counted as image blocks.
    int writeSection(const uint8_t* data, uint32_t firstBlock, uint32_t count);

private:
    // The events of one kind of block write; a step left out is not told.
    struct BlockSteps {
        std::optional<FlashStep> started, loaded, written, failed;
        bool counted;  // the blocks count as image blocks written
    };
    // The one block loop: `load(i)` puts block i's bytes into the record (false: stop with
    // kImageShort, it has said why).
    int writeBlocks(uint32_t firstBlock, uint32_t count, const char* module,
                    const BlockSteps& steps, const std::function<bool(uint32_t)>& load);
    bool loadImageBlock(std::FILE* image, long fileOffset);

    CardSession& session_;
    FlashListener& listener_;
    std::unique_ptr<FlashBlockRecord> record_;
    char mac_[18] = {};
    bool macKnown_ = false;
    int written_ = 0;
    int total_ = 0;
};

// Reads `count` flash blocks from `firstBlock` on, in order, and hands each block's 65,536
// data bytes to `take` with its index from 0. Returns 0; the first failed read's status; or -1
// when `take` returns false.
int readFlashBlocks(CardSession& session, uint32_t firstBlock, uint32_t count,
                    const std::function<bool(uint32_t index, const uint8_t* data)>& take);

}  // namespace vorl
