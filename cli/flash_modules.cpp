#include "cli/flash_modules.h"

#include <cstdio>
#include <cstring>

#include "cli/flash_output.h"
#include "cli/report.h"
#include "firmware/panel_flash.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int kLocalFailure = -1;

// An image set against the card.
struct Comparison {
    ModuleEntries entries = makeModuleEntries();
    ImageComparison verdict;
    int cardStatus = kStatusSuccess;  // the first failed section request
    FilePtr file;                     // the image, open for a flash
};

bool cardKnown(const ModuleEntry& entry) {
    return entry.cardStatus == kStatusSuccess;
}

bool versionDiffers(const ModuleEntry& entry) {
    return cardKnown(entry) && entry.fileOffset >= 0 &&
           entry.fileHeader.version != entry.card.version;
}

const char* allocationWord(const std::string& verdict) {
    if (verdict == kVerdictMatches) return "matches";
    if (verdict == kVerdictSpaceMismatch) return "space_mismatch";
    return "location_mismatch";
}

const char* verdictText(const std::string& word) {
    if (word == "matches") return kVerdictMatches;
    if (word == "space_mismatch") return kVerdictSpaceMismatch;
    return kVerdictLocationMismatch;
}

// Module names are enumeration words in the documents ("os"); the console shows the image's
// own ("OS").
std::string moduleWord(const std::string& name) {
    return enumerationWord(name);
}

std::string moduleText(const Json& word) {
    std::string text = word.get<std::string>();
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void tell(ConsoleFlashOutput& output, FlashStep step) {
    output.on(FlashEvent{step});
}

// Validates and opens the image, reads the card's sections and compares. 0, or -1 after the
// message that says what is wrong with the image.
int compare(CardSession& session, const std::string& path, ConsoleFlashOutput& output,
            Comparison& result) {
    std::printf("Firmware Image File : \t\t\t[ %s ]\n", path.c_str());
    tell(output, FlashStep::ValidateStarted);
    if (FirmwareImage::validateImageFile(path) != kStatusSuccess) {
        tell(output, FlashStep::ImageInvalid);
        return kLocalFailure;
    }
    tell(output, FlashStep::ImageValid);
    result.file = openFile(path, "rb");
    if (!result.file) {
        tell(output, FlashStep::OpenStarted);
        tell(output, FlashStep::ImageOpenFailed);
        return kLocalFailure;
    }
    loadCardModules(session, result.entries);
    for (const ModuleEntry& entry : result.entries) {
        if (!cardKnown(entry) && result.cardStatus == kStatusSuccess)
            result.cardStatus = entry.cardStatus;
    }
    FirmwareImage image;
    result.verdict = compareImageWithCard(image, result.file.get(), result.entries);
    return kStatusSuccess;
}

Json comparisonData(const std::string& path, const Comparison& comparison) {
    Json modules = Json::array();
    int index = 1;
    for (const ModuleEntry& entry : comparison.entries) {
        modules.push_back(
            {{"index", index++},
             {"name", moduleWord(entry.name)},
             {"card_version", cardKnown(entry) ? Json(entry.cardVersionText) : Json()},
             {"file_version", entry.fileOffset >= 0 ? Json(entry.fileVersionText) : Json()},
             {"allocation", allocationWord(entry.verdict)},
             {"differs", versionDiffers(entry)},
             {"newer_in_file", entry.selected}});
    }
    return {{"file", path},
            {"modules", std::move(modules)},
            {"complete_flash_required", comparison.verdict.anyMismatch},
            {"config_retainable", !comparison.verdict.configSpaceMismatch}};
}

const char* versionOrDash(const Json& version) {
    return version.is_null() ? "-" : textOf(version);
}

// One line per module, then what the comparison means for a flash.
void printComparison(const Json& data, int status) {
    if (status != kStatusSuccess)
        std::printf("Unable to read the flash sections of the VORL : %s\n", statusMessage(status));
    std::printf("Module   VORL        Image File  Allocation\n");
    std::string differing;
    for (const Json& module : data["modules"]) {
        const bool differs = module["differs"].get<bool>();
        const char* note = !differs                              ? ""
                           : module["newer_in_file"].get<bool>() ? "newer in the image file"
                                                                 : "older in the image file";
        char line[128];
        const std::string name = moduleText(module["name"]);
        std::snprintf(line, sizeof line, "%-8s %-11s %-11s %-18s %s", name.c_str(),
                      versionOrDash(module["card_version"]), versionOrDash(module["file_version"]),
                      verdictText(module["allocation"].get<std::string>()), note);
        size_t end = std::strlen(line);
        while (end > 0 && line[end - 1] == ' ') --end;
        std::printf("%.*s\n", static_cast<int>(end), line);
        if (differs) differing += " " + name;
    }
    if (data["complete_flash_required"].get<bool>())
        std::printf(
            "The image does not fit the flash sections of the VORL : only a complete flash "
            "(-flash -update) can write it.\n");
    else if (!differing.empty())
        std::printf("Modules that differ :%s\n", differing.c_str());
    else
        std::printf("Every module of the image is the same version as on the VORL.\n");
    if (!data["config_retainable"].get<bool>())
        std::printf("The CONFIG module has another size : the configuration cannot be retained.\n");
}

void printModules(const Json& data, int status) {
    if (data["cancelled"].get<bool>())
        std::printf("\nCommand cancelled by user\n");
    else if (status == kStatusSuccess && data["flashed"].empty())
        std::printf("Nothing to flash.\n");
}

// Flashes the selected modules the way the configuration program does, then resets the card
// with its configuration defaults. Returns the reset's status or the flash's failure.
int flashSelected(CardSession& session, Comparison& comparison, ConsoleFlashOutput& output) {
    prepareModuleFlash(session, comparison.entries, output);
    const int status =
        flashSelectedModules(session, comparison.file.get(), comparison.entries, output);
    if (status != kStatusSuccess) return status;
    tell(output, FlashStep::ResetToDefaultsStarted);
    const int reset = session.resetCardToDefaults();
    FlashEvent done{reset == kStatusSuccess ? FlashStep::ResetDone : FlashStep::ResetFailed};
    done.status = reset;
    output.on(done);
    return reset;
}

}  // namespace

int compareImage(CardSession& session, const std::string& path, Report& report) {
    ConsoleFlashOutput output(path, report);
    Comparison comparison;
    if (compare(session, path, output, comparison) != kStatusSuccess) return kLocalFailure;
    report.result(comparison.cardStatus, comparisonData(path, comparison), Change::Reads,
                  printComparison);
    return comparison.cardStatus;
}

int flashModules(CardSession& session, const std::string& path, Report& report) {
    ConsoleFlashOutput output(path, report);
    Comparison comparison;
    if (compare(session, path, output, comparison) != kStatusSuccess) return kLocalFailure;
    Json data = comparisonData(path, comparison);
    data["flashed"] = Json::array();
    data["cancelled"] = false;
    data["blocks_written"] = 0;
    data["mac_address_restored"] = false;
    data["reset"] = nullptr;
    // What will be flashed is shown before the question that lets it happen.
    printComparison(data, comparison.cardStatus);

    int status = comparison.cardStatus;
    bool anyDiffers = false;
    for (ModuleEntry& entry : comparison.entries) {
        entry.selected = versionDiffers(entry);
        anyDiffers = anyDiffers || entry.selected;
    }
    if (status == kStatusSuccess && comparison.verdict.anyMismatch) {
        report.message("A complete flash is required : -flash -modules wrote nothing.\n");
        status = kStatusInvalidArgument;
    }
    if (status != kStatusSuccess || !anyDiffers) {
        report.result(status, std::move(data), Change::Unchanged, printModules);
        return status;
    }
    if (!confirmFirmwareFlash()) {
        data["cancelled"] = true;
        report.notDone("Command cancelled by user");
        report.result(kStatusSuccess, std::move(data), Change::Unchanged, printModules);
        return kStatusSuccess;
    }
    status = flashSelected(session, comparison, output);
    for (const std::string& name : output.modulesWritten())
        data["flashed"].push_back(moduleWord(name));
    data["blocks_written"] = output.blocksWritten();
    data["mac_address_restored"] = output.macRestored();
    if (output.reset()[0] != '\0') data["reset"] = output.reset();
    report.result(status, std::move(data), Change::Writes, printModules);
    return status;
}

}  // namespace vorl::cli
