#include "cardsim/sim_flash_group.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "cardsim/sim_card.h"
#include "firmware/flash_records.h"
#include "firmware/image_builder.h"
#include "protocol/card_session.h"
#include "tests/support/sim_session.h"
#include "tests/support/temp_dir.h"
#include "wire/command_header.h"

namespace vorl::sim {
namespace {

class SimFlashTest : public ::testing::Test, protected test::SimSession {
protected:
    test::TempDir dir;
};

TEST_F(SimFlashTest, SectionTableMatchesTheDefaultImage) {
    start();
    const auto image = ImageBuilder().build();
    EXPECT_EQ(flash->flash(), image);
    for (const ModuleSpec& entry : defaultModuleLayout()) {
        SectionInfo info;
        std::memcpy(info.signature, entry.signature, 8);
        ASSERT_EQ(session->getSectionInfo(info), 0) << entry.name;
        EXPECT_EQ(info.firstBlock, entry.firstBlock);
        EXPECT_EQ(info.blockCount, entry.blockCount);
        EXPECT_EQ(info.size, entry.allocatedSize);
        EXPECT_EQ(info.version, entry.version);
    }
    SectionInfo unknown;
    std::memcpy(unknown.signature, "$$NONE$$", 8);
    EXPECT_EQ(session->getSectionInfo(unknown), 16);
}

TEST_F(SimFlashTest, BlockWritesAreCheckedKeptAcrossRestartsAndBootedOnRestart) {
    start(dir.path().string());
    ImageBuilder newer;
    newer.module("OS")->version = 0x2001;
    const auto image = newer.build();
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t block = 3; block < 31; ++block) {
        record->setBlockNumber(block);
        std::memcpy(record->data(), image.data() + block * kFlashBlockSize, kFlashBlockSize);
        ASSERT_EQ(session->writeFlashBlock(*record), 0);
    }
    uint8_t mode = 0;
    EXPECT_EQ(session->getCardMode(mode), 0);
    EXPECT_NE(mode, 0);
    EXPECT_EQ(flash->runningVersion("$$$OS$$$"), 0x1203);  // still running the old one
    card->restart(false);
    EXPECT_EQ(flash->runningVersion("$$$OS$$$"), 0x2001);
    EXPECT_EQ(flash->mode(), 0);

    // A new card on the same state directory has the same flash.
    start(dir.path().string());
    EXPECT_EQ(flash->flash(), image);
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "flash.bin"), 4u << 20);

    // The card refuses a record whose CRC does not match, and block numbers past 63.
    SimRequest request;
    std::vector<uint8_t> payload(FlashBlockRecord::kSize, 0);
    putBe32(payload.data(), 5);
    putBe32(payload.data() + 4, 1);
    request.command = 0x0601;
    request.payload = payload.data();
    request.length = static_cast<uint32_t>(payload.size());
    std::vector<uint8_t> answer(CommandHeader::kMaxPayload);
    SimReply reply;
    reply.payload = answer.data();
    card->execute(request, reply);
    EXPECT_EQ(reply.status, 34);
    putBe32(payload.data(), 64);
    reply = SimReply{};
    reply.payload = answer.data();
    card->execute(request, reply);
    EXPECT_EQ(reply.status, 26);
    EXPECT_EQ(flash->flash(), image);
}

TEST_F(SimFlashTest, FailingBlockOptionAndFlashMode) {
    options.add("flash-fail-block", "7");
    start();
    auto record = std::make_unique<FlashBlockRecord>();
    record->setBlockNumber(7);
    EXPECT_EQ(session->writeFlashBlock(*record), 21);
    record->setBlockNumber(8);
    EXPECT_EQ(session->writeFlashBlock(*record), 0);
    EXPECT_EQ(flash->writeLog(), std::vector<uint32_t>{8});

    start();
    uint8_t mode = 9;
    EXPECT_EQ(session->getCardMode(mode), 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(session->setFlashMode(), 0);
    EXPECT_EQ(session->getCardMode(mode), 0);
    EXPECT_EQ(mode, 1);
}

TEST_F(SimFlashTest, FileStoreRoundTripAndDefaults) {
    start(dir.path().string());
    ASSERT_NE(flash->file("k8config/serverInfo.conf"), nullptr);
    ASSERT_NE(flash->file("/k8sdk/k8sdk.dat"), nullptr);

    for (size_t size : {size_t{0}, size_t{65536}, size_t{65537}, size_t{200000}}) {
        std::vector<uint8_t> content(size);
        for (size_t i = 0; i < size; ++i) content[i] = static_cast<uint8_t>(i * 13 + size);
        const std::string up = dir.file("up.bin"), down = dir.file("down.bin");
        test::TempDir::write(up, content);
        ASSERT_EQ(session->uploadFileToCard(up, "data/file.bin"), 0);
        if (size == 0) continue;  // an empty upload sends nothing, so nothing is created
        EXPECT_EQ(*flash->file("data/file.bin"), content) << size;
        ASSERT_EQ(session->downloadFileFromCard("data/file.bin", down), 0);
        EXPECT_EQ(test::TempDir::read(down), content) << size;
    }
    // A shorter upload replaces a longer file whole.
    test::TempDir::write(dir.file("small"), {1, 2, 3});
    ASSERT_EQ(session->uploadFileToCard(dir.file("small"), "data/file.bin"), 0);
    start(dir.path().string());
    EXPECT_EQ(*flash->file("data/file.bin"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(session->downloadFileFromCard("no/such", dir.file("x")), 30);
}

// A chunk write (0x060B) straight to the card: `index` of `path`, a full chunk of `fill`.
uint16_t writeChunk(CardSession& session, const std::string& path, uint16_t index,
                    uint16_t state = kChunkLast, uint8_t fill = 0x5A) {
    auto record = std::make_unique<FileChunkRecord>();
    record->setPath(path);
    record->setChunkIndex(index);
    std::memset(record->data(), fill, kFlashBlockSize);
    record->setDataLength(static_cast<uint32_t>(kFlashBlockSize));
    record->setState(state);
    record->setCrc(FirmwareImage::crc32(record->data(), kFlashBlockSize));
    return static_cast<uint16_t>(session.writeCardFileChunk(*record));
}

TEST_F(SimFlashTest, TheFileStoreIsBoundedLikeFlash) {
    start();
    constexpr int kInsufficientSpace = 18;
    // One chunk far into a file would make it 16 MiB on its own: refused, nothing kept.
    EXPECT_EQ(writeChunk(*session, "big", 255), kInsufficientSpace);
    EXPECT_EQ(flash->file("big"), nullptr);
    // Chunks up to the total are taken, the one beyond is refused.
    const size_t room = (SimFlashGroup::kMaxStoreBytes - flash->storeBytes()) / kFlashBlockSize;
    for (size_t i = 0; i < room; ++i)
        ASSERT_EQ(writeChunk(*session, "fill", static_cast<uint16_t>(i)), 0) << i;
    EXPECT_EQ(writeChunk(*session, "fill", static_cast<uint16_t>(room)), kInsufficientSpace);
    EXPECT_LE(flash->storeBytes(), SimFlashGroup::kMaxStoreBytes);
    // Starting a file anew gives its old bytes back first.
    EXPECT_EQ(writeChunk(*session, "fill", 0, kChunkMore), 0);
    EXPECT_EQ(flash->file("fill")->size(), kFlashBlockSize);

    // The number of files is bounded too.
    size_t files = 0;
    for (int i = 0; i < 100; ++i) {
        const uint16_t status = writeChunk(*session, "f" + std::to_string(i), 0, kChunkMore);
        if (status != 0) {
            EXPECT_EQ(status, kInsufficientSpace);
            break;
        }
        ++files;
    }
    EXPECT_LT(files, 100u);
    EXPECT_EQ(writeChunk(*session, "f0", 0, kChunkMore), 0);  // an existing file may be rewritten
}

}  // namespace
}  // namespace vorl::sim
