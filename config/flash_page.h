#pragma once
// The Firmware Flash page: the six flash modules with the card's version, an image file's
// version and whether the image's layout fits the card; flashes the whole image or the checked
// modules on the page's worker while the page and the main window are disabled; after a flash
// that ended well it resets the card and closes the program. The procedures themselves are the
// firmware library's (firmware/panel_flash.h).
#include <functional>
#include <string>
#include <string_view>

#include "config/page_presenter.h"
#include "firmware/firmware_image.h"
#include "firmware/panel_flash.h"

namespace vorl::panel {

// Columns of the module list.
enum FlashColumn { kModuleColumn, kCardVersionColumn, kFileVersionColumn, kAllocationColumn };

class FlashPage : public PagePresenter {
public:
    FlashPage(PanelView& view, PageContext& context);
    // Waits for a worker that is still ending.
    ~FlashPage() override;
    FlashPage(const FlashPage&) = delete;
    FlashPage& operator=(const FlashPage&) = delete;

    void onCreated() override;
    void onShown() override;
    void onCommand(int control, ControlEvent event) override;
    bool onRowCheckChanging(int control, int row, bool checked) override;
    void onWorkerProgress(int count, std::string_view text) override;
    void onWorkerEnded(bool completed) override;

    void loadCardSide();
    void chooseImage();
    void modeClicked();
    void startFlash();

    const ModuleEntries& entries() const { return entries_; }
    bool imageHeld() const { return imageFile_ != nullptr; }
    bool retainPossible() const { return retainPossible_; }

private:
    // Shows the comparison of the held image: file versions, verdicts, the forced mode.
    void showComparison(bool setChecks);
    void applyMode();
    void enableRetain();
    void startCompleteFlash(bool includeBootBlock, bool retainConfig);
    void startModuleFlash();
    // The page and the main window: disabled while a flash runs.
    void enableWindows(bool enabled);
    // Runs `procedure` on the worker with the page's worker texts; the page hears of its end.
    void runWorker(std::function<int(FlashListener&)> procedure);

    PanelView& view_;
    PageContext& context_;
    ModuleEntries entries_;
    bool cardSidePending_ = true;
    FirmwareImage image_;
    FilePtr imageFile_;
    ImageComparison comparison_;
    bool retainPossible_ = true;
    ConfigSnapshot snapshot_;
    // The text of the worker's last, queued, progress notice: it outlives the worker.
    std::string finalText_;
};

}  // namespace vorl::panel
