#include "firmware/panel_flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "cardsim/sim_card.h"
#include "cardsim/sim_flash_group.h"
#include "firmware/image_builder.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"
#include "tests/support/temp_dir.h"

namespace vorl {
namespace {

struct Recorder : FlashReporter {
    void progress(int written, const std::string& text) override {
        texts.push_back(text);
        counts.push_back(written);
    }
    void alert(const std::string& text) override { alerts.push_back(text); }
    void completed() override { ++completions; }
    std::vector<std::string> texts;
    std::vector<int> counts;
    std::vector<std::string> alerts;
    int completions = 0;
};

class PanelFlashTest : public ::testing::Test {
protected:
    PanelFlashTest() {
        card = std::make_unique<sim::SimCard>(std::string(), options);
        auto transport = std::make_unique<test::SimCardTransport>(*card);
        wire = transport.get();
        session = std::make_unique<CardSession>(std::move(transport));
        flash = card->group<sim::SimFlashGroup>();
    }
    FilePtr open(const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file("img" + std::to_string(files++) + ".ima");
        test::TempDir::write(path, bytes);
        return openFile(path, "rb");
    }
    std::vector<uint32_t> writtenBlocks() const {
        std::vector<uint32_t> blocks;
        for (const auto& r : wire->requests)
            if (r.command == 0x0601) blocks.push_back(getBe32(r.payload.data()));
        return blocks;
    }

    platform::SleepRecorder sleeps;
    sim::SimOptions options;
    std::unique_ptr<sim::SimCard> card;
    std::unique_ptr<CardSession> session;
    test::SimCardTransport* wire = nullptr;
    sim::SimFlashGroup* flash = nullptr;
    test::TempDir dir;
    int files = 0;
    Recorder reporter;
};

TEST_F(PanelFlashTest, CompareGivesVerdictsAndPreselectsNewerModules) {
    ModuleEntries entries = makeModuleEntries();
    ASSERT_EQ(loadCardModules(*session, entries), 0);
    EXPECT_EQ(entries[0].cardVersionText, "1.2.3");

    ImageBuilder builder;
    builder.module("OS")->version = 0x1204;    // newer
    builder.module("DIAG")->version = 0x1103;  // older
    FirmwareImage image;
    auto same = open(builder.build());
    ImageComparison result = compareImageWithCard(image, same.get(), entries);
    EXPECT_FALSE(result.anyMismatch);
    for (const ModuleEntry& e : entries) {
        EXPECT_EQ(e.verdict, "Matches") << e.name;
        EXPECT_EQ(e.selected, e.name == "OS") << e.name;
    }
    EXPECT_EQ(entries[0].fileVersionText, "1.2.4");

    ImageBuilder moved;
    moved.module("CONFIG")->firstBlock = 56;
    auto movedFile = open(moved.build());
    result = compareImageWithCard(image, movedFile.get(), entries);
    EXPECT_TRUE(result.anyMismatch);
    EXPECT_FALSE(result.configSpaceMismatch);
    EXPECT_EQ(entries[4].verdict, "Location Mismatch");

    ImageBuilder resized;
    resized.module("CONFIG")->allocatedSize = 5 * kFlashBlockSize;
    auto resizedFile = open(resized.build());
    result = compareImageWithCard(image, resizedFile.get(), entries);
    EXPECT_TRUE(result.configSpaceMismatch);
    EXPECT_EQ(entries[4].verdict, "Space Mismatch");

    // A module whose section could not be read is never matched or preselected.
    entries[0].cardStatus = 33;
    result = compareImageWithCard(image, same.get(), entries);
    EXPECT_EQ(entries[0].verdict, "Location Mismatch");
    EXPECT_FALSE(entries[0].selected);
    EXPECT_TRUE(result.anyMismatch);
}

TEST_F(PanelFlashTest, CompleteFlashCountsBlocksAndKeepsTheConfiguration) {
    const auto original = flash->flash();
    ConfigSnapshot snapshot;
    prepareCompleteFlash(*session, true, snapshot, reporter);
    ASSERT_TRUE(snapshot.taken);
    EXPECT_EQ(flash->saveConfigurationCount(), 1);

    ImageBuilder builder;
    builder.module("CONFIG")->seed = 77;
    const auto image = builder.build();
    auto file = open(image);
    wire->requests.clear();
    reporter = Recorder{};
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, true, snapshot, reporter), 0);

    std::vector<uint32_t> expected;
    for (uint32_t b = 1; b < 64; ++b) expected.push_back(b);
    for (uint32_t b = 47; b < 51; ++b) expected.push_back(b);  // the configuration put back
    EXPECT_EQ(writtenBlocks(), expected);
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(), "Flashing Block 1 of 63"),
              reporter.texts.end());
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(), "Flashing Block 63 of 63"),
              reporter.texts.end());
    EXPECT_EQ(reporter.texts.back(), "100% Complete");
    EXPECT_EQ(reporter.counts.back(), 63);
    EXPECT_EQ(reporter.completions, 1);
    EXPECT_TRUE(reporter.alerts.empty());
    EXPECT_TRUE(std::equal(original.begin() + 47 * kFlashBlockSize,
                           original.begin() + 51 * kFlashBlockSize, flash->block(47)));

    reporter = Recorder{};
    EXPECT_EQ(flashCompleteImage(*session, file.get(), true, false, snapshot, reporter), 0);
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(), "Flashing Block 64 of 64"),
              reporter.texts.end());
    EXPECT_EQ(flash->flash(), image);
}

TEST_F(PanelFlashTest, NoSnapshotMeansNoConfigurationWriteBack) {
    ConfigSnapshot snapshot;  // never taken
    auto file = open(ImageBuilder().build());
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, true, snapshot, reporter), 0);
    EXPECT_EQ(writtenBlocks().size(), 63u);
    EXPECT_EQ(reporter.alerts,
              std::vector<std::string>{"Error getting current config info from card"});
}

TEST_F(PanelFlashTest, ModuleFlashRewritesWholeSections) {
    ModuleEntries entries = makeModuleEntries();
    ASSERT_EQ(loadCardModules(*session, entries), 0);
    FirmwareImage image;
    auto file = open(ImageBuilder().build());
    compareImageWithCard(image, file.get(), entries);
    for (ModuleEntry& e : entries) e.selected = e.name == "CONFIG" || e.name == "SDK";
    EXPECT_EQ(selectedBlockCount(entries), 8);
    ASSERT_TRUE(prepareModuleFlash(*session, entries, reporter));
    wire->requests.clear();
    EXPECT_EQ(flashSelectedModules(*session, file.get(), entries, reporter), 0);
    EXPECT_EQ(writtenBlocks(), (std::vector<uint32_t>{47, 48, 49, 50, 51, 52, 53, 54}));
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(),
                        "Flashing Module SDK Block 4 of 4. (Total Blocks 8)"),
              reporter.texts.end());
    EXPECT_EQ(reporter.completions, 1);

    for (ModuleEntry& e : entries) e.selected = false;
    EXPECT_FALSE(prepareModuleFlash(*session, entries, reporter));
}

TEST_F(PanelFlashTest, WorkerStopsOnAFailedBlockWithoutCompletion) {
    options.add("flash-fail-block", "5");
    card = std::make_unique<sim::SimCard>(std::string(), options);
    session = std::make_unique<CardSession>(std::make_unique<test::SimCardTransport>(*card));
    ConfigSnapshot snapshot;
    auto file = open(ImageBuilder().build());
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, false, snapshot, reporter), 21);
    EXPECT_EQ(reporter.alerts,
              std::vector<std::string>{
                  "Error during flash operation..Please retry after resetting card"});
    EXPECT_EQ(reporter.completions, 0);
}

}  // namespace
}  // namespace vorl
