// The card and image sides of the six modules, and the configuration snapshot.
#include <cstring>

#include "firmware/flash_procedures.h"
#include "firmware/flash_writer.h"
#include "firmware/panel_flash.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {

const char* const kVerdictMatches = "Matches";
const char* const kVerdictSpaceMismatch = "Space Mismatch";
const char* const kVerdictLocationMismatch = "Location Mismatch";

ModuleEntries makeModuleEntries() {
    static const char* const kPageOrder[6] = {"OS", "DIAG", "WEB", "FPGA", "CONFIG", "SDK"};
    ModuleEntries entries;
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].name = kPageOrder[i];
        FirmwareImage::moduleSignature(kPageOrder[i], entries[i].signature);
    }
    return entries;
}

int loadCardModules(CardSession& session, ModuleEntries& entries) {
    int status = 0;
    for (ModuleEntry& entry : entries) {
        entry.card = SectionInfo{};
        std::memcpy(entry.card.signature, entry.signature, 8);
        status = session.getSectionInfo(entry.card);
        entry.cardStatus = status;
        entry.cardVersionText = status == 0 ? FirmwareImage::versionText(entry.card.version) : "";
    }
    return status;
}

ImageComparison compareImageWithCard(FirmwareImage& image, std::FILE* file,
                                     ModuleEntries& entries) {
    ImageComparison result;
    for (ModuleEntry& entry : entries) {
        entry.fileOffset = image.findModule(file, entry.signature, entry.fileHeader);
        entry.selected = false;
        if (entry.fileOffset < 0) {
            entry.fileVersionText.clear();
            entry.verdict = kVerdictLocationMismatch;
            result.anyMismatch = true;
            continue;
        }
        entry.fileVersionText = FirmwareImage::versionText(entry.fileHeader.version);
        // Without the card's layout nothing can be matched or compared.
        if (entry.cardStatus != 0) {
            entry.verdict = kVerdictLocationMismatch;
            result.anyMismatch = true;
            continue;
        }
        entry.selected =
            FirmwareImage::isNewerVersion(entry.fileHeader.version, entry.card.version);
        if (entry.fileOffset / static_cast<long>(kFlashBlockSize) != entry.card.firstBlock) {
            entry.verdict = kVerdictLocationMismatch;
            result.anyMismatch = true;
        } else if (entry.fileHeader.allocatedSize != entry.card.size) {
            entry.verdict = kVerdictSpaceMismatch;
            result.anyMismatch = true;
            if (std::memcmp(entry.signature, "$$CONF$$", 8) == 0) result.configSpaceMismatch = true;
        } else {
            entry.verdict = kVerdictMatches;
        }
    }
    return result;
}

int takeConfigSnapshot(CardSession& session, ConfigSnapshot& snapshot) {
    snapshot.taken = false;
    SectionInfo info;
    const int status = configSectionLayout(session, info);
    if (status != kStatusSuccess) return status;

    snapshot.blockCount = info.blockCount;
    snapshot.data.assign(static_cast<size_t>(info.blockCount) * kFlashBlockSize, 0);
    const int read = readFlashBlocks(
        session, info.firstBlock, info.blockCount, [&](uint32_t j, const uint8_t* data) {
            std::memcpy(snapshot.data.data() + static_cast<size_t>(j) * kFlashBlockSize, data,
                        kFlashBlockSize);
            return true;
        });
    if (read != kStatusSuccess) return kStatusGeneralError;
    snapshot.taken = true;
    return kStatusSuccess;
}

}  // namespace vorl
