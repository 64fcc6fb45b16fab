#include "config/flash_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>

#include "cardsim/sim_flash_group.h"
#include "cardsim/sim_server.h"
#include "config/panel_ids.h"
#include "firmware/image_builder.h"
#include "tests/support/allocation_counter.h"
#include "tests/support/fake_panel_view.h"
#include "tests/support/temp_dir.h"
#include "wire/byte_order.h"

namespace vorl::panel {
namespace {

constexpr const char* kFlashQuestion =
    "Are you sure you want to flash? Once flash is complete the card will be reset. You should "
    "not quit the application during flashing";
constexpr const char* kConfigQuestion =
    "Flashing the config section will result in loss of existing card configuration.Are you "
    "sure?";
constexpr const char* kSdkQuestion =
    "Flashing the SDK section will result in loss of existing card sensor information.Are you "
    "sure?";
constexpr const char* kFlashError =
    "Error during flash operation..Please retry after resetting card";
constexpr const char* kDone =
    "Firmware upgrade is complete. The Card will be reset and the application will close";
constexpr int kList = IDC_MODULE_LIST;

// The block number of a block write.
uint32_t blockOf(const test::RecordedRequest& request) {
    return request.payload.size() >= 4 ? getBe32(request.payload.data()) : 0xFFFFFFFF;
}

std::vector<uint32_t> range(uint32_t first, uint32_t last) {
    std::vector<uint32_t> blocks;
    for (uint32_t b = first; b <= last; ++b) blocks.push_back(b);
    return blocks;
}

class FlashPageTest : public test::PanelFixture {
protected:
    FlashPageTest() { open(page); }

    // Creates and shows a page, as the main window does.
    void open(FlashPage& presenter) {
        view.attachPage(presenter);
        presenter.onCreated();
        presenter.onShown();
    }
    std::string imageFile(const ImageBuilder& builder, const std::string& name = "") {
        const std::string path =
            dir.file(name.empty() ? "img" + std::to_string(files++) + ".ima" : name);
        ImageBuilder::writeFile(path, builder.build());
        return path;
    }
    void choose(FlashPage& presenter, const std::optional<std::string>& path) {
        view.files.push_back(path);
        presenter.onCommand(IDC_BROWSE_IMAGE, ControlEvent::Clicked);
    }
    void choose(const std::optional<std::string>& path) { choose(page, path); }
    void clickCompleteMode() {
        view.checked[IDC_COMPLETE_FLASH] = !view.checked[IDC_COMPLETE_FLASH];
        page.onCommand(IDC_COMPLETE_FLASH, ControlEvent::Clicked);
    }
    // "&Flash", then the window's message loop handles what the worker queued.
    void flash(FlashPage& presenter) {
        presenter.onCommand(IDC_START_FLASH, ControlEvent::Clicked);
        view.inlineWorker.deliverQueued();
    }
    void flash() { flash(page); }
    std::vector<uint32_t> writtenBlocks() const {
        std::vector<uint32_t> blocks;
        for (const test::RecordedRequest& r : wire->requests)
            if (r.command == 0x0601) blocks.push_back(blockOf(r));
        return blocks;
    }
    std::vector<bool> checks() { return view.rowChecks[kList]; }
    std::vector<std::string> column(int c) {
        std::vector<std::string> out;
        for (int row = 0; row < 6; ++row) out.push_back(view.cell(kList, row, c));
        return out;
    }
    const std::vector<std::string>& statusTexts() { return view.textHistory[IDC_FLASH_STATUS]; }
    sim::SimFlashGroup& cardFlash() { return *card.group<sim::SimFlashGroup>(); }

    test::TempDir dir;
    int files = 0;
    FlashPage page{view, context};
};

TEST_F(FlashPageTest, ShowsTheCardsModulesOnceAndWaitsForAnImage) {
    EXPECT_EQ(view.columns[kList],
              (std::vector<std::pair<std::string, int>>{{"Module Name", 70},
                                                        {"Card Version", 70},
                                                        {"File Version", 70},
                                                        {"Allocation Check", 120}}));
    EXPECT_TRUE(view.rowCheckBoxes[kList]);
    for (int control : {kList, IDC_COMPLETE_FLASH, IDC_BOOT_BLOCK, IDC_RETAIN_CONFIG})
        EXPECT_FALSE(view.enabled.at(control)) << control;
    EXPECT_EQ(view.lists[kList],
              (std::vector<std::string>{"OS", "DIAG", "WEB", "FPGA", "CONFIG", "SDK"}));
    EXPECT_EQ(column(kCardVersionColumn),
              (std::vector<std::string>{"1.2.3", "1.2.3", "1.2.3", "1.1.2", "1.2.3", "1.2.1"}));
    EXPECT_TRUE(view.messages.empty());
    page.onShown();
    EXPECT_EQ(sent(0x0605), 6u);
    EXPECT_EQ(view.busyDepth, 0);

    // Flash with nothing chosen yet.
    flash();
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"Please select a valid image file to flash"});
    EXPECT_EQ(sent(0x0603), 0u);
}

TEST_F(FlashPageTest, FailedSectionRequestsAreReportedPerModuleAndOnceForTheCard) {
    intercept = [](const test::RecordedRequest& r, test::ScriptedResponse& answer) {
        if (r.command != 0x0605 ||
            std::string(r.payload.begin(), r.payload.begin() + 8) != std::string("$$DIAG$$", 8))
            return false;
        answer.status = 33;
        return true;
    };
    FlashPage diagFails(view, context);
    open(diagFails);
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Error getting module information"});
    EXPECT_EQ(view.lists[kList].size(), 6u);  // the row is there all the same
    EXPECT_EQ(view.cell(kList, 1, kCardVersionColumn), "");

    view.messages.clear();
    force(0x0605, 30);
    FlashPage allFail(view, context);
    open(allFail);
    std::vector<std::string> expected(6, "Error getting module information");
    expected.push_back("Error retreving data from card");
    EXPECT_EQ(view.messageTexts(), expected);
}

TEST_F(FlashPageTest, AnImageThatMatchesLeavesEveryRowUncheckedAndTheListEnabled) {
    const std::string path = imageFile(ImageBuilder());
    choose(path);
    EXPECT_EQ(view.defaultExtensions, std::vector<std::string>{".ima"});
    EXPECT_EQ(view.texts[IDC_IMAGE_PATH], path);
    EXPECT_EQ(column(kFileVersionColumn), column(kCardVersionColumn));
    EXPECT_EQ(column(kAllocationColumn), std::vector<std::string>(6, "Matches"));
    EXPECT_EQ(checks(), std::vector<bool>(6, false));
    EXPECT_TRUE(view.enabled[kList]);
    EXPECT_TRUE(view.enabled[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.checked[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.enabled[IDC_BOOT_BLOCK]);
    EXPECT_TRUE(view.questions.empty());
    EXPECT_TRUE(view.messages.empty());

    // Module mode with no row checked starts nothing.
    flash();
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"No Modules have been selected for flashing"});
    EXPECT_TRUE(view.questions.empty());
    EXPECT_EQ(sent(0x0603), 0u);
    EXPECT_TRUE(view.windowLog.empty());
}

TEST_F(FlashPageTest, CheckingConfigOrSdkAsksFirstAndNoLeavesTheRowUnchecked) {
    ImageBuilder newer;
    newer.module("OS")->version = 0x1204;
    newer.module("CONFIG")->version = 0x1300;
    view.answers = {false};
    choose(imageFile(newer));
    EXPECT_EQ(view.questions, std::vector<std::string>{kConfigQuestion});
    EXPECT_EQ(checks(), (std::vector<bool>{true, false, false, false, false, false}));
    EXPECT_EQ(view.cell(kList, 4, kFileVersionColumn), "1.3.0");

    // The user's own clicks: SDK and CONFIG ask, other rows and unchecking do not.
    view.answers = {true, true};
    view.clickRowCheck(kList, 5);
    view.clickRowCheck(kList, 4);
    view.clickRowCheck(kList, 1);
    view.clickRowCheck(kList, 4);
    EXPECT_EQ(view.questions,
              (std::vector<std::string>{kConfigQuestion, kSdkQuestion, kConfigQuestion}));
    EXPECT_EQ(checks(), (std::vector<bool>{true, true, false, false, false, true}));
}

TEST_F(FlashPageTest, AnyMismatchForcesCompleteModeAndASpaceMismatchOfConfigEndsRetention) {
    ImageBuilder moved;
    moved.module("CONFIG")->firstBlock = 56;
    choose(imageFile(moved));
    EXPECT_EQ(view.cell(kList, 4, kAllocationColumn), "Location Mismatch");
    EXPECT_TRUE(view.checked[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.enabled[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.enabled[kList]);
    EXPECT_TRUE(view.enabled[IDC_BOOT_BLOCK]);
    EXPECT_TRUE(view.enabled[IDC_RETAIN_CONFIG]);  // a moved section keeps its size
    view.checked[IDC_RETAIN_CONFIG] = true;

    ImageBuilder resized;
    resized.module("CONFIG")->allocatedSize = 5 * kFlashBlockSize;
    choose(imageFile(resized));
    EXPECT_EQ(view.cell(kList, 4, kAllocationColumn), "Space Mismatch");
    EXPECT_FALSE(view.enabled[IDC_RETAIN_CONFIG]);
    EXPECT_FALSE(view.checked[IDC_RETAIN_CONFIG]);

    // For the page's life: neither another mismatch nor a matching image nor the mode box
    // brings it back.
    choose(imageFile(moved));
    EXPECT_FALSE(view.enabled[IDC_RETAIN_CONFIG]);
    choose(imageFile(ImageBuilder()));
    EXPECT_TRUE(view.enabled[kList]);
    EXPECT_FALSE(view.checked[IDC_COMPLETE_FLASH]);
    clickCompleteMode();
    EXPECT_FALSE(view.enabled[kList]);
    EXPECT_TRUE(view.enabled[IDC_BOOT_BLOCK]);
    EXPECT_FALSE(view.enabled[IDC_RETAIN_CONFIG]);
    EXPECT_FALSE(page.retainPossible());

    // A check forced onto the disabled box retains nothing: no snapshot, no write-back.
    view.checked[IDC_RETAIN_CONFIG] = true;
    view.answers = {true};
    flash();
    EXPECT_EQ(sent(0x0602), 0u);
    EXPECT_EQ(writtenBlocks(), range(1, 63));

    // Back to module mode: the list again, the two boxes off.
    FlashPage fresh(view, context);
    open(fresh);
    view.checked[IDC_COMPLETE_FLASH] = false;
    fresh.onCommand(IDC_COMPLETE_FLASH, ControlEvent::Clicked);
    EXPECT_TRUE(view.enabled[kList]);
    EXPECT_FALSE(view.enabled[IDC_BOOT_BLOCK]);
    EXPECT_FALSE(view.enabled[IDC_RETAIN_CONFIG]);
}

TEST_F(FlashPageTest, ABrokenUnreadableOrMisnamedImageIsRefusedAndForgotten) {
    choose(imageFile(ImageBuilder()));
    ASSERT_TRUE(page.imageHeld());

    auto broken = ImageBuilder().build();
    ImageBuilder::breakModuleData(broken, 3);
    const std::string brokenPath = dir.file("broken.ima");
    ImageBuilder::writeFile(brokenPath, broken);
    const std::string misnamed = imageFile(ImageBuilder(), "image.bin");
    for (const std::string& path : {brokenPath, dir.file("missing.ima"), misnamed}) {
        SCOPED_TRACE(path);
        view.messages.clear();
        choose(path);
        EXPECT_EQ(view.messageTexts(), std::vector<std::string>{"Image file validation failed"});
        EXPECT_EQ(view.texts[IDC_IMAGE_PATH], "");
        EXPECT_FALSE(page.imageHeld());  // the image held before is gone too
    }
    view.messages.clear();
    flash();
    EXPECT_EQ(view.messageTexts(),
              std::vector<std::string>{"Please select a valid image file to flash"});
    EXPECT_EQ(sent(0x0603), 0u);
}

TEST_F(FlashPageTest, CancellingTheFileDialogKeepsTheHeldImageWithItsForcedMode) {
    choose(std::nullopt);
    EXPECT_FALSE(page.imageHeld());
    EXPECT_FALSE(view.enabled[kList]);

    ImageBuilder moved;
    moved.module("OS")->version = 0x1204;  // preselected: it must not be flashed on its own
    moved.module("CONFIG")->firstBlock = 56;
    choose(imageFile(moved));
    choose(std::nullopt);
    EXPECT_TRUE(page.imageHeld());
    EXPECT_TRUE(view.checked[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.enabled[IDC_COMPLETE_FLASH]);
    EXPECT_FALSE(view.enabled[kList]);
    EXPECT_EQ(view.cell(kList, 0, kFileVersionColumn), "1.2.4");

    // Even a mode box unchecked behind the page's back flashes the whole image.
    view.checked[IDC_COMPLETE_FLASH] = false;
    view.answers = {true};
    flash();
    EXPECT_EQ(writtenBlocks(), range(1, 63));
}

TEST_F(FlashPageTest, NoToTheFlashQuestionSendsNothing) {
    ImageBuilder newer;
    newer.module("OS")->version = 0x1204;
    choose(imageFile(newer));
    view.answers = {false};
    flash();
    EXPECT_EQ(view.questions, std::vector<std::string>{kFlashQuestion});
    EXPECT_EQ(view.progressMax[IDC_FLASH_PROGRESS], 28);
    EXPECT_EQ(sent(0x0603), 0u);
    EXPECT_TRUE(view.windowLog.empty());
    EXPECT_EQ(view.inlineWorker.starts, 0);
}

TEST_F(FlashPageTest, AModuleFlashShowsItsProgressThenResetsTheCardAndCloses) {
    ImageBuilder newer;
    newer.module("OS")->version = 0x1204;
    newer.module("OS")->seed = 9;
    const std::vector<uint8_t> image = newer.build();
    choose(imageFile(newer));
    ASSERT_EQ(checks(), (std::vector<bool>{true, false, false, false, false, false}));
    view.answers = {true};
    std::vector<std::string> atStart;
    std::vector<uint16_t> sentBefore;
    view.inlineWorker.whileRunning = [&] {
        atStart = view.windowLog;
        sentBefore = commands();
    };
    page.onCommand(IDC_START_FLASH, ControlEvent::Clicked);

    // The windows were disabled and the configuration made permanent before the worker began.
    EXPECT_EQ(atStart, (std::vector<std::string>{"main off", "dialog off"}));
    EXPECT_EQ(sentBefore.back(), 0x0603);
    EXPECT_EQ(view.progressMax[IDC_FLASH_PROGRESS], 28);
    std::vector<std::string> expected{"Making permanent current card configuration",
                                      "Getting current MAC Address"};
    for (int block = 1; block <= 28; ++block) {
        const std::string text =
            "Flashing Module OS Block " + std::to_string(block) + " of 28. (Total Blocks 28)";
        expected.insert(expected.end(), 2, text);  // before and after the block
    }
    expected.push_back("Preserving MAC Address");
    EXPECT_EQ(statusTexts(), expected);
    // The worker has ended; its last progress notice and its end wait in the window's queue.
    EXPECT_EQ(view.inlineWorker.queued.size(), 2u);
    EXPECT_EQ(sent(0x0901), 0u);

    view.inlineWorker.deliverQueued();
    expected.push_back("100% Complete");
    EXPECT_EQ(statusTexts(), expected);
    const std::vector<int>& positions = view.progressHistory[IDC_FLASH_PROGRESS];
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 28);
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kDone});
    EXPECT_EQ(view.windowLog,
              (std::vector<std::string>{"main off", "dialog off", "main on", "dialog on"}));
    EXPECT_EQ(writtenBlocks(), range(3, 30));
    EXPECT_EQ(sent(0x0801), 1u);
    EXPECT_EQ(commands().back(), 0x0901);
    EXPECT_EQ(sleeps.pauses(), std::vector<uint32_t>{3000});
    EXPECT_EQ(view.closes, 1);
    EXPECT_EQ(view.busyDepth, 0);
    EXPECT_TRUE(std::equal(image.begin() + 3 * kFlashBlockSize,
                           image.begin() + 31 * kFlashBlockSize, cardFlash().block(3)));
}

TEST_F(FlashPageTest, ACompleteFlashCountsEveryBlockThenPreservesTheMac) {
    for (bool bootBlock : {false, true}) {
        SCOPED_TRACE(bootBlock);
        wire->requests.clear();
        view.textHistory.clear();
        FlashPage fresh(view, context);
        open(fresh);
        choose(fresh, imageFile(ImageBuilder()));
        view.checked[IDC_COMPLETE_FLASH] = true;
        fresh.onCommand(IDC_COMPLETE_FLASH, ControlEvent::Clicked);
        EXPECT_FALSE(view.enabled[kList]);
        EXPECT_TRUE(view.enabled[IDC_BOOT_BLOCK]);
        view.checked[IDC_BOOT_BLOCK] = bootBlock;
        view.answers = {true};
        flash(fresh);

        const int total = bootBlock ? 64 : 63;
        const std::string last =
            "Flashing Block " + std::to_string(total) + " of " + std::to_string(total);
        EXPECT_EQ(view.progressMax[IDC_FLASH_PROGRESS], total);
        EXPECT_EQ(view.progress[IDC_FLASH_PROGRESS], total);
        EXPECT_EQ(writtenBlocks(), range(bootBlock ? 0 : 1, 63));
        const auto& texts = statusTexts();
        ASSERT_GE(texts.size(), 3u);
        EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
                  (std::vector<std::string>{last, "Preserving MAC Address", "100% Complete"}));
        EXPECT_EQ(
            std::count(texts.begin(), texts.end(), "Flashing Block 1 of " + std::to_string(total)),
            2);
    }
    EXPECT_EQ(view.closes, 2);
    EXPECT_EQ(sent(0x0602), 0u);  // no snapshot without "Try to retain Configuration"
}

TEST_F(FlashPageTest, RetainingPutsTheCardsConfigurationBackAndAPartialSnapshotNever) {
    const std::vector<uint8_t> original = cardFlash().flash();
    ImageBuilder other;
    other.module("CONFIG")->seed = 77;
    const std::vector<uint8_t> image = other.build();
    const std::string path = imageFile(other);
    const auto retainingFlash = [&](FlashPage& presenter) {
        choose(presenter, path);
        view.checked[IDC_COMPLETE_FLASH] = true;
        presenter.onCommand(IDC_COMPLETE_FLASH, ControlEvent::Clicked);
        EXPECT_TRUE(view.enabled[IDC_RETAIN_CONFIG]);
        view.checked[IDC_RETAIN_CONFIG] = true;
        view.answers = {true};
        flash(presenter);
    };
    retainingFlash(page);
    std::vector<uint32_t> expected = range(1, 63);
    for (uint32_t b : range(47, 50)) expected.push_back(b);
    EXPECT_EQ(writtenBlocks(), expected);
    EXPECT_TRUE(std::equal(original.begin() + 47 * kFlashBlockSize,
                           original.begin() + 51 * kFlashBlockSize, cardFlash().block(47)));
    EXPECT_TRUE(std::equal(image.begin() + kFlashBlockSize, image.begin() + 47 * kFlashBlockSize,
                           cardFlash().block(1)));
    const auto& texts = statusTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts[texts.size() - 2], "Preserving Existing configuration");
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kDone});

    // Nothing is written back, and one box says so, when the snapshot was cut short by a failed
    // block read, and when the section cannot be found again after the flash.
    const auto flashFailing = [&](const decltype(intercept)& failure) {
        intercept = failure;
        wire->requests.clear();
        view.messages.clear();
        FlashPage again(view, context);
        open(again);
        retainingFlash(again);
        EXPECT_EQ(writtenBlocks(), range(1, 63));
        EXPECT_EQ(view.messageTexts(),
                  (std::vector<std::string>{"Error getting current config info from card", kDone}));
    };
    flashFailing([](const test::RecordedRequest& r, test::ScriptedResponse& answer) {
        if (r.command != 0x0602 || blockOf(r) != 49) return false;
        answer.status = 30;
        return true;
    });
    auto flashing = std::make_shared<bool>(false);
    flashFailing([flashing](const test::RecordedRequest& r, test::ScriptedResponse& answer) {
        if (r.command == 0x0601) *flashing = true;
        if (r.command != 0x0605 || !*flashing) return false;
        answer.status = 30;
        return true;
    });
    EXPECT_EQ(view.closes, 3);
}

TEST_F(FlashPageTest, AFailedBlockEndsTheWorkerWithoutResetAndTheProgramStaysUsable) {
    ImageBuilder newer;
    newer.module("OS")->version = 0x1204;
    choose(imageFile(newer));
    intercept = [](const test::RecordedRequest& r, test::ScriptedResponse& answer) {
        if (r.command != 0x0601 || blockOf(r) != 10) return false;
        answer.status = 21;
        return true;
    };
    view.answers = {true};
    flash();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kFlashError});
    EXPECT_EQ(writtenBlocks(), range(3, 10));
    EXPECT_EQ(sent(0x0801), 0u);  // nothing is written back after a failed block
    EXPECT_EQ(sent(0x0901), 0u);
    EXPECT_EQ(view.closes, 0);
    EXPECT_EQ(view.windowLog,
              (std::vector<std::string>{"main off", "dialog off", "main on", "dialog on"}));
    EXPECT_EQ(statusTexts().back(), "Flashing Module OS Block 8 of 28. (Total Blocks 28)");
    EXPECT_TRUE(page.imageHeld());

    // The user retries once the card is well again.
    intercept = nullptr;
    view.messages.clear();
    view.answers = {true};
    flash();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kDone});
    EXPECT_EQ(sent(0x0901), 1u);
    EXPECT_EQ(view.closes, 1);

    // A worker that cannot start gives the windows back and flashes nothing.
    wire->requests.clear();
    view.windowLog.clear();
    view.inlineWorker.refuseStart = true;
    view.answers = {true};
    flash();
    EXPECT_EQ(writtenBlocks(), std::vector<uint32_t>{});
    EXPECT_EQ(view.windowLog,
              (std::vector<std::string>{"main off", "dialog off", "main on", "dialog on"}));
}

TEST_F(FlashPageTest, OnItsOwnThreadTheWorkerWaitsUntilEachProgressNoticeIsHandled) {
    test::ThreadedPageWorker threaded;
    view.activeWorker = &threaded;
    std::atomic<int> blocksSent{0};
    intercept = [&](const test::RecordedRequest& r, test::ScriptedResponse&) {
        if (r.command == 0x0601) ++blocksSent;
        return false;
    };
    ImageBuilder newer;
    newer.module("OS")->version = 0x1204;
    choose(imageFile(newer));
    view.answers = {true};
    page.onCommand(IDC_START_FLASH, ControlEvent::Clicked);
    int notices = 0;
    int ahead = 0;
    threaded.runWindowLoop(page, [&](int count, std::string_view text) {
        ++notices;
        // The worker is held while its notice is handled: it has written exactly `count`.
        if (text.substr(0, 8) == "Flashing" && blocksSent != count) ++ahead;
    });
    EXPECT_EQ(ahead, 0);
    EXPECT_EQ(notices, 1 + 56 + 1 + 1);  // MAC, 28 blocks twice, MAC, "100% Complete"
    EXPECT_EQ(statusTexts().back(), "100% Complete");
    EXPECT_EQ(view.closes, 1);
    view.activeWorker = &view.inlineWorker;
}

// Over a real network session to a card on loopback: the worker's blocks cost no heap.
TEST(FlashPageAllocations, AModuleFlashAllocatesNothingPerBlock) {
    platform::SleepRecorder sleeps;
    sim::SimOptions options;
    sim::SimCard card{std::filesystem::path(), options};
    sim::SimServer server{card, sim::SimFaults()};
    ASSERT_TRUE(server.listen("127.0.0.1", 0));
    server.start();
    CardSession session(kNetwork, "127.0.0.1", server.port());
    ASSERT_EQ(session.connect(), 0);
    ASSERT_EQ(session.login("admin", "vorladmin"), 0);
    PageContext context{session, kNetwork};
    test::FakePanelView view;
    FlashPage page(view, context);
    view.attachPage(page);
    page.onCreated();
    page.onShown();
    test::TempDir dir;
    const std::string path = dir.file("img.ima");
    ImageBuilder::writeFile(path, ImageBuilder().build());
    view.files.push_back(path);
    page.onCommand(IDC_BROWSE_IMAGE, ControlEvent::Clicked);
    ASSERT_TRUE(page.imageHeld());
    view.keepHistory = false;
    view.questions.reserve(8);
    view.windowLog.reserve(32);

    const auto flashOnly = [&](int row) {
        view.rowChecks[kList].assign(6, false);
        view.rowChecks[kList][static_cast<size_t>(row)] = true;
        view.answers = {true};
        test::AllocationCounter counter;
        page.onCommand(IDC_START_FLASH, ControlEvent::Clicked);
        const size_t allocations = counter.count();
        view.inlineWorker.queued.clear();  // no reset: the card stays up for the next run
        return allocations;
    };
    flashOnly(0);                     // the view's texts reach their length
    const size_t sdk = flashOnly(5);  // 4 blocks
    const size_t os = flashOnly(0);   // 28 blocks
    EXPECT_EQ(os, sdk);
    EXPECT_TRUE(view.messages.empty());
    server.stop();
}

}  // namespace
}  // namespace vorl::panel
