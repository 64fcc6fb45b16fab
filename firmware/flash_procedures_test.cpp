#include "firmware/flash_procedures.h"

#include <gtest/gtest.h>

#include <memory>

#include "firmware/flash_records.h"
#include "firmware/image_builder.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"
#include "tests/support/sim_session.h"
#include "tests/support/temp_dir.h"

namespace vorl {
namespace {

struct EventLog : FlashListener {
    void on(const FlashEvent& event) override { events.push_back(event); }
    bool saw(FlashStep step) const {
        for (const auto& e : events)
            if (e.step == step) return true;
        return false;
    }
    std::vector<FlashEvent> events;
};

// Procedures against the in-process simulated card; every request is recorded.
class ProcedureTest : public ::testing::Test, protected test::SimSession {
protected:
    std::string writeImage(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        test::TempDir::write(path, bytes);
        return path;
    }
    static std::vector<uint8_t> newerImage() {
        ImageBuilder builder;
        for (ModuleSpec& entry : builder.modules()) {
            entry.version = 0x2000;
            entry.seed = 9;
        }
        return builder.build();
    }

    platform::SleepRecorder sleeps;
    test::TempDir dir;
    EventLog log;
};

TEST_F(ProcedureTest, UpdateWritesBlocks1To63OnceInOrderThenMacThenReset) {
    start();
    const auto image = newerImage();
    const auto before = flash->flash();
    const std::string path = writeImage("new.ima", image);
    EXPECT_EQ(updateFirmware(*session, path, false, true, log), 0);

    std::vector<uint32_t> expected;
    for (uint32_t b = 1; b < 64; ++b) expected.push_back(b);
    EXPECT_EQ(writtenBlocks(), expected);
    const auto codes = commands();
    ASSERT_EQ(codes.size(), 1u + 63u + 2u);
    EXPECT_EQ(codes.front(), 0x0800);
    EXPECT_EQ(codes[codes.size() - 2], 0x0801);
    EXPECT_EQ(codes.back(), 0x0900);
    EXPECT_EQ(sleeps.totalMs(), 3000u);
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + kFlashBlockSize, flash->block(0)));
    EXPECT_TRUE(std::equal(image.begin() + kFlashBlockSize, image.end(), flash->block(1)));

    start();
    EXPECT_EQ(updateFirmware(*session, path, true, false, log), 0);
    EXPECT_EQ(writtenBlocks().front(), 0u);
    EXPECT_EQ(writtenBlocks().size(), 64u);
    EXPECT_EQ(commands().back(), 0x0901);
    EXPECT_EQ(flash->flash(), image);
}

TEST_F(ProcedureTest, UpdateStopsAtAFailedBlockWithoutMacOrReset) {
    options.add("flash-fail-block", "12");
    start();
    EXPECT_EQ(updateFirmware(*session, writeImage("new.ima", newerImage()), false, true, log), 21);
    EXPECT_EQ(writtenBlocks().size(), 12u);  // 1..12, the last one refused
    EXPECT_EQ(commands().back(), 0x0601);
    EXPECT_TRUE(log.saw(FlashStep::BlockFailed));
    EXPECT_FALSE(log.saw(FlashStep::MacWriteStarted));
    EXPECT_EQ(sleeps.count(), 0u);
}

TEST_F(ProcedureTest, UpdateNeverFlashesAShortBlockOrAnInvalidImage) {
    start();
    auto image = ImageBuilder().build();
    image.resize(55 * kFlashBlockSize + 100);  // every module intact, the file cut short
    EXPECT_EQ(updateFirmware(*session, writeImage("cut.ima", image), false, true, log), -1);
    EXPECT_TRUE(log.saw(FlashStep::ImageReadFailed));
    EXPECT_TRUE(wire->requests.empty());  // found before the first block, not at block 55

    start();
    auto broken = ImageBuilder().build();
    ImageBuilder::breakModuleData(broken, 3);
    EXPECT_EQ(updateFirmware(*session, writeImage("bad.ima", broken), false, true, log), -1);
    EXPECT_TRUE(wire->requests.empty());
}

TEST(UpdateWithoutMac, SkipsTheWriteBackButStillResets) {
    platform::SleepRecorder sleeps;
    test::TempDir dir;
    auto owned = std::make_unique<test::FakeTransport>();
    test::FakeTransport* fake = owned.get();
    fake->fallback = [](const test::RecordedRequest& r) {
        return test::ScriptedResponse{static_cast<uint16_t>(r.command == 0x0800 ? 5 : 0), {}};
    };
    CardSession session(std::move(owned));
    const std::string path = dir.file("img.ima");
    test::TempDir::write(path, ImageBuilder().build());
    EventLog log;
    EXPECT_EQ(updateFirmware(session, path, false, false, log), 0);
    EXPECT_TRUE(log.saw(FlashStep::MacReadFailed));
    EXPECT_TRUE(log.saw(FlashStep::MacWriteSkipped));
    for (const auto& r : fake->requests) EXPECT_NE(r.command, 0x0801);
    EXPECT_EQ(fake->requests.back().command, 0x0901);
}

TEST_F(ProcedureTest, ReadBackEqualsTheCardsFlashAndComparesItsBootBlock) {
    start();
    const std::string path = dir.file("back.ima");
    EXPECT_EQ(readFlashToFile(*session, path, log), 0);
    const auto file = test::TempDir::read(path);
    EXPECT_EQ(file, flash->flash());
    EXPECT_EQ(log.events.back().step, FlashStep::ReadDone);

    wire->requests.clear();
    EXPECT_EQ(compareBootBlock(*session, file.data(), kFlashBlockSize - 1), 1);
    EXPECT_TRUE(wire->requests.empty());
    EXPECT_EQ(compareBootBlock(*session, file.data(), kFlashBlockSize), 0);
    std::vector<uint8_t> other(file.begin(), file.begin() + kFlashBlockSize);
    other[100] ^= 1;
    EXPECT_EQ(compareBootBlock(*session, other.data(), kFlashBlockSize), 1);
    EXPECT_EQ(readFlashToFile(*session, dir.file("no/such/dir.ima"), log), -1);
}

TEST_F(ProcedureTest, ImageWriteAndReadWithoutCeremony) {
    start();
    const std::string notImage = writeImage("junk.ima", std::vector<uint8_t>(1000, 7));
    EXPECT_EQ(readFlashIntoImage(*session, notImage), 28);
    EXPECT_EQ(test::TempDir::read(notImage), std::vector<uint8_t>(1000, 7));
    EXPECT_EQ(writeImageToFlash(*session, notImage), 28);
    EXPECT_TRUE(wire->requests.empty());

    const auto image = newerImage();
    EXPECT_EQ(writeImageToFlash(*session, writeImage("new.ima", image)), 0);
    EXPECT_EQ(flash->flash(), image);
    EXPECT_EQ(writtenBlocks().size(), 64u);
    for (uint16_t code : commands()) EXPECT_EQ(code, 0x0601);  // no MAC, no reset

    const std::string target = writeImage("old.ima", ImageBuilder().build());
    EXPECT_EQ(readFlashIntoImage(*session, target), 0);
    EXPECT_EQ(test::TempDir::read(target), image);
}

TEST_F(ProcedureTest, ConfigSectionSaveAndRestore) {
    start();
    const std::string saved = dir.file("config.bin");
    EXPECT_EQ(saveConfigSection(*session, saved), 0);
    const auto section = test::TempDir::read(saved);
    ASSERT_EQ(section.size(), 4u * kFlashBlockSize);
    EXPECT_TRUE(std::equal(section.begin(), section.end(), flash->block(47)));

    // Another size in the header: nothing is written.
    auto resized = section;
    putBe32(resized.data() + 16, 5 * kFlashBlockSize);
    wire->requests.clear();
    EXPECT_EQ(restoreConfigSection(*session, writeImage("resized.bin", resized), log), -1);
    EXPECT_TRUE(log.saw(FlashStep::SectionSizeMismatch));
    EXPECT_TRUE(writtenBlocks().empty());

    // A file that holds less than the whole section: nothing is written either.
    auto cut = section;
    cut.resize(2 * kFlashBlockSize + 10);
    EXPECT_EQ(restoreConfigSection(*session, writeImage("cut.bin", cut), log), -1);
    EXPECT_TRUE(log.saw(FlashStep::ConfigFileIncomplete));
    EXPECT_TRUE(writtenBlocks().empty());

    auto changed = section;
    changed[1000] ^= 0xFF;
    log.events.clear();
    EXPECT_EQ(restoreConfigSection(*session, writeImage("changed.bin", changed), log), 0);
    EXPECT_EQ(writtenBlocks(), (std::vector<uint32_t>{47, 48, 49, 50}));
    EXPECT_TRUE(std::equal(changed.begin(), changed.end(), flash->block(47)));
    EXPECT_EQ(log.events.back().step, FlashStep::SectionRestored);
    EXPECT_EQ(restoreConfigSection(*session, dir.file("missing.bin"), log), -1);
}

}  // namespace
}  // namespace vorl
