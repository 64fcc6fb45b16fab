#include <gtest/gtest.h>

#include <memory>

#include "firmware/flash_records.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"
#include "tests/support/temp_dir.h"

namespace vorl {
namespace {

using test::FakeTransport;
using test::TempDir;

class FlashCommandTest : public ::testing::Test {
protected:
    FlashCommandTest() {
        auto owned = std::make_unique<FakeTransport>();
        fake = owned.get();
        session = std::make_unique<CardSession>(std::move(owned));
    }

    // A block answer: number, CRC (of the data unless given), the data.
    static std::vector<uint8_t> blockAnswer(uint32_t block, uint8_t fill, bool goodCrc = true) {
        auto record = std::make_unique<FlashBlockRecord>();
        record->setBlockNumber(block);
        std::memset(record->data(), fill, kFlashBlockSize);
        uint32_t crc = FirmwareImage::crc32(record->data(), kFlashBlockSize);
        record->setCrc(goodCrc ? crc : crc ^ 1);
        return std::vector<uint8_t>(record->bytes, record->bytes + FlashBlockRecord::kSize);
    }

    // A chunk answer carrying `data` as chunk `index` in `state`.
    static std::vector<uint8_t> chunkAnswer(uint16_t index, const std::vector<uint8_t>& data,
                                            uint16_t state) {
        std::vector<uint8_t> answer(FileChunkRecord::kHeadSize + data.size(), 0);
        putBe16(answer.data() + 80, index);
        putBe32(answer.data() + 82, static_cast<uint32_t>(data.size()));
        putBe16(answer.data() + 86, state);
        putBe32(answer.data() + 88, FirmwareImage::crc32(data.data(), data.size()));
        std::copy(data.begin(), data.end(), answer.begin() + FileChunkRecord::kHeadSize);
        return answer;
    }

    FakeTransport* fake = nullptr;
    std::unique_ptr<CardSession> session;
    TempDir dir;
};

TEST_F(FlashCommandTest, WriteBlockSendsNumberCrcAndDataBigEndian) {
    auto record = std::make_unique<FlashBlockRecord>();
    record->setBlockNumber(0x01020304);
    std::memset(record->data(), 0xA5, kFlashBlockSize);
    EXPECT_EQ(session->writeFlashBlock(*record), 0);

    ASSERT_EQ(fake->requests.size(), 1u);
    const auto& sent = fake->requests[0];
    EXPECT_EQ(sent.command, 0x0601);
    ASSERT_EQ(sent.payload.size(), 65546u);
    EXPECT_EQ(std::vector<uint8_t>(sent.payload.begin(), sent.payload.begin() + 4),
              (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(getBe32(sent.payload.data() + 4),
              FirmwareImage::crc32(record->data(), kFlashBlockSize));
    EXPECT_EQ(getBe16(sent.payload.data() + 8), 0);
    EXPECT_EQ(sent.payload[10], 0xA5);
    EXPECT_EQ(sent.payload.back(), 0xA5);
}

TEST_F(FlashCommandTest, ReadBlockChecksTheAnswer) {
    auto record = std::make_unique<FlashBlockRecord>();
    fake->queue(0, blockAnswer(7, 0x3C));
    record->setBlockNumber(7);
    EXPECT_EQ(session->readFlashBlock(*record), 0);
    EXPECT_EQ(fake->requests[0].command, 0x0602);
    EXPECT_EQ(fake->requests[0].payload, (std::vector<uint8_t>{0, 0, 0, 7, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(record->data()[kFlashBlockSize - 1], 0x3C);

    fake->queue(0, blockAnswer(7, 0x3C, false));
    EXPECT_EQ(session->readFlashBlock(*record), 34);

    auto shortAnswer = blockAnswer(7, 0x3C);
    shortAnswer.resize(100);
    fake->queue(0, shortAnswer);
    EXPECT_EQ(session->readFlashBlock(*record), 33);

    fake->queue(26);
    EXPECT_EQ(session->readFlashBlock(*record), 26);
}

TEST_F(FlashCommandTest, SectionInfoAndCardMode) {
    std::vector<uint8_t> answer(26, 0);
    std::memcpy(answer.data(), "$$CONF$$", 8);
    putBe32(answer.data() + 12, 0x40000);
    putBe16(answer.data() + 20, 47);
    putBe16(answer.data() + 22, 4);
    putBe16(answer.data() + 24, 0x1203);
    fake->queue(0, answer);
    SectionInfo info;
    std::memcpy(info.signature, "$$CONF$$", 8);
    EXPECT_EQ(session->getSectionInfo(info), 0);
    EXPECT_EQ(fake->requests[0].command, 0x0605);
    EXPECT_EQ(fake->requests[0].payload.size(), 26u);
    EXPECT_EQ(std::string(fake->requests[0].payload.begin(), fake->requests[0].payload.begin() + 8),
              "$$CONF$$");
    EXPECT_EQ(info.size, 0x40000u);
    EXPECT_EQ(info.firstBlock, 47);
    EXPECT_EQ(info.blockCount, 4);
    EXPECT_EQ(info.version, 0x1203);

    fake->queue(0, std::vector<uint8_t>(20, 0));  // not a whole record
    EXPECT_EQ(session->getSectionInfo(info), 33);

    uint8_t mode = 0;
    fake->queue(0, {0x02, 0x00});
    EXPECT_EQ(session->getCardMode(mode), 0);
    EXPECT_EQ(mode, 0x02);
    fake->queue(0, {});
    EXPECT_EQ(session->getCardMode(mode), 33);
}

TEST_F(FlashCommandTest, UploadSplitsIntoChunksByLength) {
    struct Case {
        size_t size;
        std::vector<std::pair<uint32_t, uint16_t>> chunks;  // length and state
    };
    const Case cases[] = {
        {0, {}},
        {65536, {{65536, 6}}},
        {65537, {{65536, 6}, {1, 5}}},
        {100, {{100, 5}}},
    };
    for (const Case& c : cases) {
        fake->requests.clear();
        std::vector<uint8_t> content(c.size);
        for (size_t i = 0; i < c.size; ++i) content[i] = static_cast<uint8_t>(i * 7);
        const std::string path = dir.file("up.bin");
        TempDir::write(path, content);
        EXPECT_EQ(session->uploadFileToCard(path, "k8config/serverInfo.conf"), 0);
        ASSERT_EQ(fake->requests.size(), c.chunks.size()) << c.size;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            const auto& p = fake->requests[i].payload;
            EXPECT_EQ(fake->requests[i].command, 0x060B);
            ASSERT_EQ(p.size(), 65628u);
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.data())),
                      "k8config/serverInfo.conf");
            EXPECT_EQ(getBe16(p.data() + 80), i);
            EXPECT_EQ(getBe32(p.data() + 82), c.chunks[i].first);
            EXPECT_EQ(getBe16(p.data() + 86), c.chunks[i].second);
            EXPECT_EQ(getBe32(p.data() + 88),
                      FirmwareImage::crc32(content.data() + 65536 * i, c.chunks[i].first));
        }
    }
}

TEST_F(FlashCommandTest, UploadFailures) {
    const std::string path = dir.file("up.bin");
    TempDir::write(path, std::vector<uint8_t>(10, 1));
    EXPECT_EQ(session->uploadFileToCard(dir.file("missing"), "x"), 14);
    EXPECT_EQ(session->uploadFileToCard(path, std::string(80, 'p')), 26);
    EXPECT_TRUE(fake->requests.empty());
    EXPECT_EQ(session->uploadFileToCard(path, std::string(79, 'p')), 0);

    fake->queue(18);  // the card's own status is not passed on
    EXPECT_EQ(session->uploadFileToCard(path, "x"), 30);
}

TEST_F(FlashCommandTest, DownloadPlacesChunksByTheCardsIndex) {
    const std::vector<uint8_t> first(65536, 0x11), second(10, 0x22);
    fake->queue(0, chunkAnswer(1, second, 5));  // out of order
    fake->queue(0, chunkAnswer(0, first, 6));
    const std::string path = dir.file("down.bin");
    EXPECT_EQ(session->downloadFileFromCard("/k8sdk/k8sdk.dat", path), 0);

    ASSERT_EQ(fake->requests.size(), 2u);
    for (uint16_t i = 0; i < 2; ++i) {
        const auto& p = fake->requests[i].payload;
        EXPECT_EQ(fake->requests[i].command, 0x060A);
        ASSERT_EQ(p.size(), 92u);
        EXPECT_EQ(getBe16(p.data() + 80), i);
        EXPECT_EQ(getBe16(p.data() + 86), 5);
        EXPECT_EQ(getBe32(p.data() + 82), 0u);
    }
    const auto written = TempDir::read(path);
    ASSERT_EQ(written.size(), 65546u);
    EXPECT_EQ(written[0], 0x11);
    EXPECT_EQ(written[65535], 0x11);
    EXPECT_EQ(written[65536], 0x22);
}

TEST_F(FlashCommandTest, DownloadRefusesBadAnswers) {
    const std::string path = dir.file("down.bin");
    auto damaged = chunkAnswer(0, std::vector<uint8_t>(50, 3), 6);
    damaged[FileChunkRecord::kHeadSize] ^= 1;
    fake->queue(0, damaged);
    EXPECT_EQ(session->downloadFileFromCard("f", path), 34);

    auto tooLong = chunkAnswer(0, std::vector<uint8_t>(50, 3), 6);
    putBe32(tooLong.data() + 82, 65537);
    fake->queue(0, tooLong);
    EXPECT_EQ(session->downloadFileFromCard("f", path), 30);

    auto beyondAnswer = chunkAnswer(0, std::vector<uint8_t>(50, 3), 6);
    putBe32(beyondAnswer.data() + 82, 51);
    fake->queue(0, beyondAnswer);
    EXPECT_EQ(session->downloadFileFromCard("f", path), 30);

    fake->queue(23);
    EXPECT_EQ(session->downloadFileFromCard("f", path), 30);

    const size_t sent = fake->requests.size();
    EXPECT_EQ(session->downloadFileFromCard(std::string(80, 'p'), dir.file("never")), 26);
    EXPECT_EQ(fake->requests.size(), sent);
    EXPECT_FALSE(std::filesystem::exists(dir.file("never")));
}

}  // namespace
}  // namespace vorl
