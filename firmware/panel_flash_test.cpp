#include "firmware/panel_flash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "firmware/image_builder.h"
#include "firmware/panel_flash_texts.h"
#include "platform/sleep.h"
#include "protocol/card_session.h"
#include "tests/support/fake_transport.h"
#include "tests/support/sim_session.h"
#include "tests/support/temp_dir.h"

namespace vorl {
namespace {

struct Recorder : FlashReporter {
    void progress(int written, std::string_view text) override {
        texts.emplace_back(text);
        counts.push_back(written);
    }
    void alert(std::string_view text) override { alerts.emplace_back(text); }
    void completed(int written, std::string_view text) override {
        progress(written, text);
        ++completions;
    }
    std::vector<std::string> texts;
    std::vector<int> counts;
    std::vector<std::string> alerts;
    int completions = 0;
};

class PanelFlashTest : public ::testing::Test, protected test::SimSession {
protected:
    PanelFlashTest() { start(); }
    FilePtr open(const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file("img" + std::to_string(files++) + ".ima");
        test::TempDir::write(path, bytes);
        return openFile(path, "rb");
    }

    platform::SleepRecorder sleeps;
    test::TempDir dir;
    int files = 0;
    Recorder reporter;
    PanelFlashTexts texts{reporter};
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
    prepareCompleteFlash(*session, true, snapshot, texts);
    ASSERT_TRUE(snapshot.taken);
    EXPECT_EQ(flash->saveConfigurationCount(), 1);

    ImageBuilder builder;
    builder.module("CONFIG")->seed = 77;
    const auto image = builder.build();
    auto file = open(image);
    wire->requests.clear();
    reporter = Recorder{};
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, true, snapshot, texts), 0);

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
    EXPECT_EQ(flashCompleteImage(*session, file.get(), true, false, snapshot, texts), 0);
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(), "Flashing Block 64 of 64"),
              reporter.texts.end());
    EXPECT_EQ(flash->flash(), image);
}

TEST_F(PanelFlashTest, NoSnapshotMeansNoConfigurationWriteBackAndNoSecondBox) {
    ConfigSnapshot snapshot;  // never taken: its failure was reported when it was taken
    auto file = open(ImageBuilder().build());
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, true, snapshot, texts), 0);
    EXPECT_EQ(writtenBlocks().size(), 63u);
    EXPECT_TRUE(reporter.alerts.empty());
    EXPECT_EQ(reporter.texts[reporter.texts.size() - 2], "Preserving Existing configuration");
}

TEST_F(PanelFlashTest, ModuleFlashRewritesWholeSections) {
    ModuleEntries entries = makeModuleEntries();
    ASSERT_EQ(loadCardModules(*session, entries), 0);
    FirmwareImage image;
    auto file = open(ImageBuilder().build());
    compareImageWithCard(image, file.get(), entries);
    for (ModuleEntry& e : entries) e.selected = e.name == "CONFIG" || e.name == "SDK";
    EXPECT_EQ(selectedBlockCount(entries), 8);
    ASSERT_TRUE(prepareModuleFlash(*session, entries, texts));
    wire->requests.clear();
    EXPECT_EQ(flashSelectedModules(*session, file.get(), entries, texts), 0);
    EXPECT_EQ(writtenBlocks(), (std::vector<uint32_t>{47, 48, 49, 50, 51, 52, 53, 54}));
    EXPECT_NE(std::find(reporter.texts.begin(), reporter.texts.end(),
                        "Flashing Module SDK Block 4 of 4. (Total Blocks 8)"),
              reporter.texts.end());
    EXPECT_EQ(reporter.completions, 1);

    for (ModuleEntry& e : entries) e.selected = false;
    EXPECT_FALSE(prepareModuleFlash(*session, entries, texts));
}

TEST_F(PanelFlashTest, WorkerStopsOnAFailedBlockWithoutCompletion) {
    options.add("flash-fail-block", "5");
    start();
    ConfigSnapshot snapshot;
    auto file = open(ImageBuilder().build());
    EXPECT_EQ(flashCompleteImage(*session, file.get(), false, false, snapshot, texts), 21);
    EXPECT_EQ(reporter.alerts,
              std::vector<std::string>{
                  "Error during flash operation..Please retry after resetting card"});
    EXPECT_EQ(reporter.completions, 0);
}

TEST(PanelFlashWithoutMac, WarnsBeforeAndAfterAndStillCompletes) {
    platform::SleepRecorder sleeps;
    test::TempDir dir;
    auto owned = std::make_unique<test::FakeTransport>();
    owned->fallback = [](const test::RecordedRequest& r) {
        return test::ScriptedResponse{static_cast<uint16_t>(r.command == 0x0800 ? 5 : 0), {}};
    };
    test::FakeTransport* fake = owned.get();
    CardSession session(std::move(owned));
    const std::string path = dir.file("img.ima");
    test::TempDir::write(path, ImageBuilder().build());
    FilePtr file = openFile(path, "rb");
    Recorder reporter;
    PanelFlashTexts texts(reporter);
    ConfigSnapshot snapshot;
    EXPECT_EQ(flashCompleteImage(session, file.get(), false, false, snapshot, texts), 0);
    EXPECT_EQ(reporter.alerts,
              (std::vector<std::string>{
                  "Unable to retreive MAC address from card. Flashing may cause MAC address loss.",
                  "Unable to set MAC address back to original"}));
    for (const auto& r : fake->requests) EXPECT_NE(r.command, 0x0801);  // no made-up address
    EXPECT_EQ(reporter.texts.front(), "Getting current MAC Address");
    EXPECT_EQ(reporter.texts[reporter.texts.size() - 2], "Preserving MAC Address");
    EXPECT_EQ(reporter.completions, 1);
}

}  // namespace
}  // namespace vorl
