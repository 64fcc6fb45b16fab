#include "firmware/panel_flash_texts.h"

#include <algorithm>
#include <cstdio>

namespace vorl {
namespace {
const char* const kConfigInfoError = "Error getting current config info from card";
const char* const kFlashError = "Error during flash operation..Please retry after resetting card";

}  // namespace

std::string_view PanelFlashTexts::blockText(const FlashEvent& event) {
    int length;
    if (event.module[0] != '\0')
        length = std::snprintf(text_, sizeof text_,
                               "Flashing Module %s Block %d of %d. (Total Blocks %d)", event.module,
                               event.position, event.count, event.total);
    else
        length = std::snprintf(text_, sizeof text_, "Flashing Block %d of %d", event.position,
                               event.total);
    if (length < 0) return {};
    return std::string_view(text_, std::min(static_cast<size_t>(length), sizeof text_ - 1));
}

void PanelFlashTexts::on(const FlashEvent& event) {
    switch (event.step) {
        case FlashStep::ConfigSaveStarted:
            reporter_.progress(event.written, "Making permanent current card configuration");
            break;
        case FlashStep::ConfigSaveFailed:
            reporter_.alert("Error while trying to make permanent current configuration");
            break;
        case FlashStep::SnapshotFailed:
        case FlashStep::SnapshotUnavailable:
            reporter_.alert(kConfigInfoError);
            break;
        case FlashStep::MacReadStarted:
            reporter_.progress(event.written, "Getting current MAC Address");
            break;
        case FlashStep::MacReadFailed:
            reporter_.alert(
                "Unable to retreive MAC address from card. Flashing may cause MAC address loss.");
            break;
        case FlashStep::BlockStarted:
        case FlashStep::BlockWritten:
            reporter_.progress(event.written, blockText(event));
            break;
        case FlashStep::ImageReadFailed:
            reporter_.alert("Error Reading Image file");
            break;
        case FlashStep::BlockFailed:
        case FlashStep::SectionBlockFailed:
            reporter_.alert(kFlashError);
            break;
        case FlashStep::MacWriteStarted:
            reporter_.progress(event.written, "Preserving MAC Address");
            break;
        // The page has no word for a skipped write-back: the address is not back either way.
        case FlashStep::MacWriteFailed:
        case FlashStep::MacWriteSkipped:
            reporter_.alert("Unable to set MAC address back to original");
            break;
        case FlashStep::SnapshotRestoreStarted:
            reporter_.progress(event.written, "Preserving Existing configuration");
            break;
        case FlashStep::Completed:
            reporter_.completed(event.written, "100% Complete");
            break;
        default:
            break;
    }
}

}  // namespace vorl
