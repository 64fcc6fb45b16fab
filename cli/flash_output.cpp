#include "cli/flash_output.h"

#include <cstdio>

#include "cli/prompts.h"
#include "cli/report.h"
#include "firmware/firmware_image.h"

namespace vorl::cli {
namespace {

constexpr const char* kOk = "\t\t\t[ OK ]\n";
constexpr const char* kFailed = "\t\t\t[ FAILED ]\n";
constexpr const char* kSkipped = "\t\t\t[ SKIPPED ]\n";

void print(const char* text) {
    std::fputs(text, stdout);
}

// Lines of the full update and of the module flash. Block 0 is the boot block step: one outcome,
// no progress line. `fail` prints a line that explains a local failure.
template <typename Fail>
bool updateLine(const FlashEvent& event, const std::string& path, Fail fail) {
    const bool bootBlock = event.block == 0;
    switch (event.step) {
        case FlashStep::ValidateStarted:
            print("Validating Image File :");
            break;
        case FlashStep::ImageInvalid:
            print(kFailed);
            fail(
                "The Image file you specified is not in the correct format or is corrupted."
                "Please specify a valid image file!\n");
            break;
        case FlashStep::OpenStarted:
            print("Opening Image File : ");
            break;
        case FlashStep::ImageOpenFailed:
            print(kFailed);
            fail(formatted("Unable to open image file, %s\n", path).c_str());
            break;
        case FlashStep::MacReadStarted:
            print("Getting MAC address : ");
            break;
        case FlashStep::MacReadFailed:
            print(kFailed);
            print(
                "\nUnable to retreive existing MAC address from card. Flashing may cause MAC "
                "address loss.\n");
            break;
        case FlashStep::BootBlockStarted:
            print("Boot Block Flash : ");
            break;
        case FlashStep::BootBlockSkipped:
        case FlashStep::MacWriteSkipped:
            print(kSkipped);
            break;
        case FlashStep::ImageReadFailed:
            fail("Unable to read from image file !\n");
            break;
        case FlashStep::ConfigSaveStarted:
            print("Saving Configuration : ");
            break;
        case FlashStep::BlockLoaded:
            if (event.module[0] != '\0')
                std::printf("Flashing %s ... Block %d of %d \r", event.module, event.position,
                            event.count);
            else if (!bootBlock)
                std::printf("Flashing ... Block %d of %d \r", static_cast<int>(event.block),
                            kFlashBlockCount);
            break;
        case FlashStep::BlockWritten:
            if (bootBlock) print(kOk);
            break;
        case FlashStep::BlockFailed:
            print(bootBlock ? kFailed : "\nError during flashing\t\t\t\t\n");
            break;
        case FlashStep::BlocksDone:
            print("Flashing :       ");
            print(kOk);
            break;
        case FlashStep::MacWriteStarted:
            print("Saving MAC Address : ");
            break;
        case FlashStep::ResetRetainingStarted:
            std::printf("Resetting %s (Config Retained):", "VORL");
            break;
        case FlashStep::ResetToDefaultsStarted:
            std::printf("Resetting %s (Config Defaults):", "VORL");
            break;
        case FlashStep::ImageValid:
        case FlashStep::ImageOpened:
        case FlashStep::ConfigSaved:
        case FlashStep::MacRead:
        case FlashStep::MacWritten:
        case FlashStep::ResetDone:
            print(kOk);
            break;
        case FlashStep::ConfigSaveFailed:
        case FlashStep::MacWriteFailed:
        case FlashStep::ResetFailed:
            print(kFailed);
            break;
        default:
            return false;
    }
    return true;
}

// Lines of the read-back and of putting the configuration section back.
template <typename Fail>
void fileLine(const FlashEvent& event, const std::string& path, Fail fail) {
    switch (event.step) {
        case FlashStep::FileCreateFailed:
            fail(formatted("Unable to open/create image file, %s\n", path).c_str());
            break;
        case FlashStep::ReadStarted:
            print("Reading from Flash ... \n");
            break;
        case FlashStep::BlockRead:
            std::printf("Reading Block... %d of %d \r", static_cast<int>(event.block), event.count);
            break;
        case FlashStep::BlockReadFailed:
            print("Error during reading from flash...\n");
            break;
        case FlashStep::FileWriteFailed:
            fail(formatted("Error writing file %s, check disk space ! \n", path).c_str());
            break;
        case FlashStep::ReadDone:
            std::printf("Reading Block... %d. Done \n", event.count);
            std::printf("Firmware stored in file %s. \n", path.c_str());
            break;

        case FlashStep::ConfigFileOpenFailed:
            fail(formatted("Unable to open config file %s\n", path).c_str());
            break;
        case FlashStep::ConfigFileIncomplete:
            fail("Unable to get config info from file ! Aborting\n");
            break;
        case FlashStep::SectionInfoFailed:
            std::printf("Unbale to read from %s %s\n", "VORL", path.c_str());
            break;
        case FlashStep::SectionSizeMismatch:
            fail("Config section size mismatch ! Can not put back the config section.\n");
            break;
        case FlashStep::SectionBlockStarted:
            std::printf("Flashing the config section block %d of %d\r", event.position,
                        event.count);
            break;
        case FlashStep::SectionRestored:
            print("\nConfig section put back successfully. Restart the card...\n");
            break;
        default:
            break;
    }
}

}  // namespace

void ConsoleFlashOutput::on(const FlashEvent& event) {
    tally(event);
    const auto fail = [this](const char* text) { failure(text); };
    if (!updateLine(event, path_, fail)) fileLine(event, path_, fail);
    // Progress shows as it happens, also when standard output is a pipe.
    std::fflush(stdout);
}

void ConsoleFlashOutput::failure(const char* text) {
    // Text mode prints it where the progress goes; the lines before it are flushed already.
    std::fflush(stdout);
    report_.message(text);
}

void ConsoleFlashOutput::tally(const FlashEvent& event) {
    switch (event.step) {
        case FlashStep::BlockWritten:
            blocksWritten_ = event.written;
            if (event.module[0] != '\0' && event.position == event.count)
                modulesWritten_.emplace_back(event.module);
            break;
        case FlashStep::BlockRead:
            ++blocksRead_;
            break;
        case FlashStep::MacWritten:
            macRestored_ = true;
            break;
        case FlashStep::ResetRetainingStarted:
            reset_ = "config_retained";
            break;
        case FlashStep::ResetToDefaultsStarted:
            reset_ = "config_defaults";
            break;
        default:
            break;
    }
}

bool confirmFirmwareFlash() {
    std::printf("\n");
    return askYesNo(
               "Firmware upgrade is a crucial operation.This operation should not be "
               "interrupted.\n The VORL will also be reset after this command is completed.Are "
               "you Sure (y/n)?") == 'Y';
}

}  // namespace vorl::cli
