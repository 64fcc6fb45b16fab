#include "config/flash_page.h"

#include <utility>

#include "config/page_worker.h"
#include "config/panel_ids.h"
#include "firmware/panel_flash_texts.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::panel {
namespace {

constexpr const char* kFlashQuestion =
    "Are you sure you want to flash? Once flash is complete the card will be reset. You should "
    "not quit the application during flashing";

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = {
    {"Module Name", 70}, {"Card Version", 70}, {"File Version", 70}, {"Allocation Check", 120}};

// The steps before the worker starts, on the window thread: shown at once.
class WindowReporter : public FlashReporter {
public:
    explicit WindowReporter(PanelView& view) : view_(view) {}
    void progress(int count, std::string_view text) override {
        view_.setProgressPosition(IDC_FLASH_PROGRESS, count);
        view_.setText(IDC_FLASH_STATUS, text);
        view_.repaint();
    }
    void alert(std::string_view text) override { view_.showMessage(text, MessageIcon::Error); }
    void completed(int /*count*/, std::string_view /*text*/) override {}

private:
    PanelView& view_;
};

// The worker's steps: progress through the page's notices; failures and warnings in message
// boxes raised from the worker itself, which waits for them.
class WorkerReporter : public FlashReporter {
public:
    WorkerReporter(PanelView& view, PageWorker& worker, std::string& finalText)
        : view_(view), worker_(worker), finalText_(finalText) {}
    void progress(int count, std::string_view text) override { worker_.sendProgress(count, text); }
    void alert(std::string_view text) override { view_.showMessage(text, MessageIcon::Error); }
    void completed(int count, std::string_view text) override {
        // Queued: the page reads the text after the worker has ended.
        finalText_.assign(text);
        worker_.postProgress(count, finalText_);
        completed_ = true;
    }
    bool completedWell() const { return completed_; }

private:
    PanelView& view_;
    PageWorker& worker_;
    std::string& finalText_;
    bool completed_ = false;
};

}  // namespace

FlashPage::FlashPage(PanelView& view, PageContext& context)
    : view_(view), context_(context), entries_(makeModuleEntries()) {}

FlashPage::~FlashPage() {
    view_.worker().join();
}

void FlashPage::onCreated() {
    for (const Column& column : kColumns)
        view_.addListColumn(IDC_MODULE_LIST, column.title, column.width);
    view_.showRowCheckBoxes(IDC_MODULE_LIST);
    for (int control : {IDC_MODULE_LIST, IDC_COMPLETE_FLASH, IDC_BOOT_BLOCK, IDC_RETAIN_CONFIG})
        view_.enable(control, false);
}

void FlashPage::onShown() {
    // The card side is read once: its sections do not change until the card is flashed, and
    // the program ends then.
    if (!cardSidePending_) return;
    cardSidePending_ = false;
    loadCardSide();
}

void FlashPage::onCommand(int control, ControlEvent event) {
    if (event != ControlEvent::Clicked) return;
    if (control == IDC_BROWSE_IMAGE) chooseImage();
    if (control == IDC_COMPLETE_FLASH) modeClicked();
    if (control == IDC_START_FLASH) startFlash();
}

void FlashPage::loadCardSide() {
    int status;
    {
        BusyCursor busy(view_);
        view_.clearList(IDC_MODULE_LIST);
        status = loadCardModules(context_.session, entries_);
    }
    for (size_t row = 0; row < entries_.size(); ++row) {
        const ModuleEntry& entry = entries_[row];
        view_.addListLine(IDC_MODULE_LIST, entry.name);
        view_.setCell(IDC_MODULE_LIST, static_cast<int>(row), kCardVersionColumn,
                      entry.cardVersionText);
        if (entry.cardStatus != kStatusSuccess)
            view_.showMessage("Error getting module information", MessageIcon::Error);
    }
    if (status != kStatusSuccess) {
        view_.showMessage("Error retreving data from card", MessageIcon::Error);
        return;
    }
    view_.repaint();
}

bool FlashPage::onRowCheckChanging(int control, int row, bool checked) {
    if (control != IDC_MODULE_LIST || !checked || row < 0 ||
        row >= static_cast<int>(entries_.size()))
        return true;
    const std::string& name = entries_[static_cast<size_t>(row)].name;
    if (name == "CONFIG")
        return view_.ask(
            "Flashing the config section will result in loss of existing card "
            "configuration.Are you sure?");
    if (name == "SDK")
        return view_.ask(
            "Flashing the SDK section will result in loss of existing card sensor "
            "information.Are you sure?");
    return true;
}

void FlashPage::chooseImage() {
    for (size_t row = 0; row < entries_.size(); ++row)
        view_.setCell(IDC_MODULE_LIST, static_cast<int>(row), kFileVersionColumn, "");
    view_.setChecked(IDC_COMPLETE_FLASH, false);
    std::string path;
    if (!view_.chooseFileToOpen(".ima", path)) {
        // Nothing else was chosen: the held image stays, with the mode its comparison forced
        // (a mismatched image flashed module by module would land in the wrong blocks).
        if (imageFile_) showComparison(false);
        return;
    }
    view_.setText(IDC_IMAGE_PATH, path);
    // The image held before goes, whatever comes of the new one.
    imageFile_.reset();
    FilePtr file = openFile(path, "rb");
    if (!file || FirmwareImage::validateImageFile(path) != kStatusSuccess) {
        view_.showMessage("Image file validation failed", MessageIcon::Error);
        view_.setText(IDC_IMAGE_PATH, "");
        return;
    }
    imageFile_ = std::move(file);
    {
        BusyCursor busy(view_);
        comparison_ = compareImageWithCard(image_, imageFile_.get(), entries_);
    }
    // For the page's whole life: the card's configuration cannot go into a section of
    // another size.
    if (comparison_.configSpaceMismatch) retainPossible_ = false;
    showComparison(true);
}

void FlashPage::showComparison(bool setChecks) {
    for (size_t i = 0; i < entries_.size(); ++i) {
        const ModuleEntry& entry = entries_[i];
        const int row = static_cast<int>(i);
        if (setChecks && entry.fileOffset < 0)
            view_.showMessage("Error finding module information from image file",
                              MessageIcon::Error);
        view_.setCell(IDC_MODULE_LIST, row, kFileVersionColumn, entry.fileVersionText);
        // Checking CONFIG or SDK asks first; a No leaves the row unchecked.
        if (setChecks) view_.setRowChecked(IDC_MODULE_LIST, row, entry.selected);
        view_.setCell(IDC_MODULE_LIST, row, kAllocationColumn, entry.verdict);
    }
    applyMode();
    view_.repaint();
}

void FlashPage::applyMode() {
    if (comparison_.anyMismatch) {
        // Single modules would not land where the card keeps them: the whole image or nothing.
        view_.setChecked(IDC_COMPLETE_FLASH, true);
        view_.enable(IDC_COMPLETE_FLASH, false);
        view_.enable(IDC_MODULE_LIST, false);
        view_.enable(IDC_BOOT_BLOCK, true);
        enableRetain();
    } else {
        view_.enable(IDC_MODULE_LIST, true);
        view_.enable(IDC_COMPLETE_FLASH, true);
    }
}

void FlashPage::enableRetain() {
    view_.enable(IDC_RETAIN_CONFIG, retainPossible_);
    // A disabled box must not keep a check that would still retain.
    if (!retainPossible_) view_.setChecked(IDC_RETAIN_CONFIG, false);
}

void FlashPage::modeClicked() {
    if (view_.isChecked(IDC_COMPLETE_FLASH)) {
        view_.enable(IDC_MODULE_LIST, false);
        view_.enable(IDC_BOOT_BLOCK, true);
        enableRetain();
    } else {
        view_.enable(IDC_MODULE_LIST, true);
        view_.enable(IDC_BOOT_BLOCK, false);
        view_.enable(IDC_RETAIN_CONFIG, false);
    }
}

void FlashPage::startFlash() {
    // A mismatched image is flashed whole, whatever the box says.
    const bool complete = view_.isChecked(IDC_COMPLETE_FLASH) || comparison_.anyMismatch;
    const bool includeBootBlock = view_.isChecked(IDC_BOOT_BLOCK);
    const bool retainConfig = view_.isChecked(IDC_RETAIN_CONFIG) && retainPossible_;
    if (!imageFile_) {
        view_.showMessage("Please select a valid image file to flash", MessageIcon::None);
        return;
    }
    if (complete)
        startCompleteFlash(includeBootBlock, retainConfig);
    else
        startModuleFlash();
}

void FlashPage::startCompleteFlash(bool includeBootBlock, bool retainConfig) {
    view_.setProgressRange(IDC_FLASH_PROGRESS,
                           includeBootBlock ? kFlashBlockCount : kFlashBlockCount - 1);
    view_.setProgressPosition(IDC_FLASH_PROGRESS, 0);
    if (!view_.ask(kFlashQuestion)) return;
    enableWindows(false);
    {
        BusyCursor busy(view_);
        WindowReporter reporter(view_);
        PanelFlashTexts texts(reporter);
        prepareCompleteFlash(context_.session, retainConfig, snapshot_, texts);
    }
    std::FILE* image = imageFile_.get();
    runWorker([this, image, includeBootBlock, retainConfig](FlashListener& listener) {
        return flashCompleteImage(context_.session, image, includeBootBlock, retainConfig,
                                  snapshot_, listener);
    });
}

void FlashPage::startModuleFlash() {
    for (size_t row = 0; row < entries_.size(); ++row)
        entries_[row].selected = view_.isRowChecked(IDC_MODULE_LIST, static_cast<int>(row));
    const int total = selectedBlockCount(entries_);
    if (total == 0) {
        view_.showMessage("No Modules have been selected for flashing", MessageIcon::None);
        return;
    }
    view_.setProgressRange(IDC_FLASH_PROGRESS, total);
    view_.setProgressPosition(IDC_FLASH_PROGRESS, 0);
    if (!view_.ask(kFlashQuestion)) return;
    {
        BusyCursor busy(view_);
        WindowReporter reporter(view_);
        PanelFlashTexts texts(reporter);
        prepareModuleFlash(context_.session, entries_, texts);
    }
    enableWindows(false);
    std::FILE* image = imageFile_.get();
    runWorker([this, image](FlashListener& listener) {
        return flashSelectedModules(context_.session, image, entries_, listener);
    });
}

void FlashPage::runWorker(std::function<int(FlashListener&)> procedure) {
    PageWorker& worker = view_.worker();
    const bool started = worker.start([this, &worker, procedure = std::move(procedure)] {
        WorkerReporter reporter(view_, worker, finalText_);
        PanelFlashTexts texts(reporter);
        const int status = procedure(texts);
        worker.postEnd(status == kStatusSuccess && reporter.completedWell());
    });
    if (!started) enableWindows(true);
}

void FlashPage::enableWindows(bool enabled) {
    view_.enableMainWindow(enabled);
    view_.enableDialog(enabled);
}

void FlashPage::onWorkerProgress(int count, std::string_view text) {
    view_.setProgressPosition(IDC_FLASH_PROGRESS, count);
    view_.setText(IDC_FLASH_STATUS, text);
}

void FlashPage::onWorkerEnded(bool completed) {
    view_.worker().join();
    enableWindows(true);
    // A failed flash has said what failed; the card is neither reset nor left by the program,
    // so the user can retry or quit.
    if (!completed) return;
    view_.showMessage(
        "Firmware upgrade is complete. The Card will be reset and the application will close",
        MessageIcon::None);
    {
        BusyCursor busy(view_);
        // The card restarts with the new firmware whatever the answer says.
        context_.session.resetCardToDefaults();
    }
    view_.closeProgram();
}

}  // namespace vorl::panel
