#include "cli/flash_output.h"

#include <cstdio>

namespace vorl::cli {
namespace {

constexpr const char* kOk = "\t\t\t[ OK ]\n";
constexpr const char* kFailed = "\t\t\t[ FAILED ]\n";
constexpr const char* kSkipped = "\t\t\t[ SKIPPED ]\n";

void print(const char* text) {
    std::fputs(text, stdout);
}

// Lines of the update and the read-back.
bool updateLine(FlashEvent event, int a, int b, const std::string& path) {
    switch (event) {
        case FlashEvent::ValidateStarted:
            print("Validating Image File :");
            break;
        case FlashEvent::ValidateFailed:
            print(kFailed);
            print(
                "The Image file you specified is not in the correct format or is corrupted."
                "Please specify a valid image file!\n");
            break;
        case FlashEvent::OpenStarted:
            print("Opening Image File : ");
            break;
        case FlashEvent::OpenFailed:
            print(kFailed);
            std::printf("Unable to open image file, %s\n", path.c_str());
            break;
        case FlashEvent::MacReadStarted:
            print("Getting MAC address : ");
            break;
        case FlashEvent::MacReadFailed:
            print(kFailed);
            print(
                "\nUnable to retreive existing MAC address from card. Flashing may cause MAC "
                "address loss.\n");
            break;
        case FlashEvent::BootBlockStarted:
            print("Boot Block Flash : ");
            break;
        case FlashEvent::BootBlockFailed:
            print(kFailed);
            break;
        case FlashEvent::BootBlockSkipped:
            print(kSkipped);
            break;
        case FlashEvent::ImageReadFailed:
            print("Unable to read from image file !\n");
            break;
        case FlashEvent::BlockStarted:
            std::printf("Flashing ... Block %d of %d \r", a, b);
            break;
        case FlashEvent::BlockFailed:
            print("\nError during flashing\t\t\t\t\n");
            break;
        case FlashEvent::FlashDone:
            print("Flashing :       ");
            print(kOk);
            break;
        case FlashEvent::MacWriteStarted:
            print("Saving MAC Address : ");
            break;
        case FlashEvent::MacWriteFailed:
            print(kFailed);
            break;
        case FlashEvent::MacWriteSkipped:
            print(kSkipped);
            break;
        case FlashEvent::ResetStarted:
            std::printf(a ? "Resetting %s (Config Retained):" : "Resetting %s (Config Defaults):",
                        "VORL");
            break;
        case FlashEvent::ResetFailed:
            print(kFailed);
            break;
        case FlashEvent::ValidateOk:
        case FlashEvent::OpenOk:
        case FlashEvent::MacReadOk:
        case FlashEvent::BootBlockOk:
        case FlashEvent::MacWriteOk:
        case FlashEvent::ResetOk:
            print(kOk);
            break;

        case FlashEvent::CreateFailed:
            std::printf("Unable to open/create image file, %s\n", path.c_str());
            break;
        case FlashEvent::ReadStarted:
            print("Reading from Flash ... \n");
            break;
        case FlashEvent::BlockRead:
            std::printf("Reading Block... %d of %d \r", a, b);
            break;
        case FlashEvent::BlockReadFailed:
            print("Error during reading from flash...\n");
            break;
        case FlashEvent::FileWriteFailed:
            std::printf("Error writing file %s, check disk space ! \n", path.c_str());
            break;
        case FlashEvent::ReadDone:
            std::printf("Reading Block... %d. Done \n", a);
            std::printf("Firmware stored in file %s. \n", path.c_str());
            break;
        default:
            return false;
    }
    return true;
}

// Lines of the configuration section restore.
void configLine(FlashEvent event, int a, int b, const std::string& path) {
    switch (event) {
        case FlashEvent::ConfigOpenFailed:
            std::printf("Unable to open config file %s\n", path.c_str());
            break;
        case FlashEvent::ConfigFileIncomplete:
            print("Unable to get config info from file ! Aborting\n");
            break;
        case FlashEvent::SectionInfoFailed:
            std::printf("Unbale to read from %s %s\n", "VORL", path.c_str());
            break;
        case FlashEvent::SectionSizeMismatch:
            print("Config section size mismatch ! Can not put back the config section.\n");
            break;
        case FlashEvent::ConfigBlockStarted:
            std::printf("Flashing the config section block %d of %d\r", a, b);
            break;
        case FlashEvent::ConfigDone:
            print("\nConfig section put back successfully. Restart the card...\n");
            break;
        default:
            break;
    }
}

}  // namespace

void ConsoleFlashObserver::on(FlashEvent event, int a, int b) {
    if (!updateLine(event, a, b, path_)) configLine(event, a, b, path_);
    // Progress shows as it happens, also when standard output is a pipe.
    std::fflush(stdout);
}

}  // namespace vorl::cli
