// The complete and module-mode flashes of the configuration program.
#include "firmware/panel_flash.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {
constexpr int kIoError = 21;
const char* const kConfigInfoError = "Error getting current config info from card";
const char* const kFlashError = "Error during flash operation..Please retry after resetting card";
const char* const kImageReadError = "Error Reading Image file";

std::string format(const char* pattern, int a, int b) {
    char text[128];
    std::snprintf(text, sizeof text, pattern, a, b);
    return text;
}

// Reads one block of the image from `offset`; a short read is an error, never a flash of
// whatever the record held before.
bool readImageAt(std::FILE* image, long offset, FlashBlockRecord& record) {
    if (std::fseek(image, offset, SEEK_SET) != 0) return false;
    return readFully(image, record.data(), kFlashBlockSize) == kFlashBlockSize;
}

// Reads the MAC address before flashing; false (after the warning) when it could not be read.
bool saveMac(CardSession& session, char mac[18], int written, FlashReporter& reporter) {
    reporter.progress(written, "Getting current MAC Address");
    if (session.getMacAddress(mac) == 0) return true;
    reporter.alert(
        "Unable to retreive MAC address from card. Flashing may cause MAC address loss.");
    return false;
}

// Writes the saved MAC address back; a skipped write-back is reported as a failed one.
void restoreMac(CardSession& session, const char* mac, bool macKnown, int written,
                FlashReporter& reporter) {
    reporter.progress(written, "Preserving MAC Address");
    if (!macKnown || session.setMacAddressFromText(mac) != 0)
        reporter.alert("Unable to set MAC address back to original");
}

// Writes the snapshot back when the section still has the layout it was taken from.
int restoreSnapshot(CardSession& session, const ConfigSnapshot& snapshot, int written,
                    FlashReporter& reporter) {
    reporter.progress(written, "Preserving Existing configuration");
    SectionInfo info;
    FirmwareImage::moduleSignature("CONFIG", info.signature);
    const bool layoutKnown =
        snapshot.taken && session.getSectionInfo(info) == 0 &&
        info.blockCount == snapshot.blockCount &&
        info.firstBlock + info.blockCount <= kFlashBlockCount &&
        snapshot.data.size() == static_cast<size_t>(snapshot.blockCount) * kFlashBlockSize;
    if (!layoutKnown) {
        reporter.alert(kConfigInfoError);
        return 0;
    }
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t j = 0; j < info.blockCount; ++j) {
        record->setBlockNumber(info.firstBlock + j);
        std::memcpy(record->data(), snapshot.data.data() + static_cast<size_t>(j) * kFlashBlockSize,
                    kFlashBlockSize);
        const int status = session.writeFlashBlock(*record);
        if (status != 0) {
            reporter.alert(kFlashError);
            return status;
        }
    }
    return 0;
}

void finish(int written, FlashReporter& reporter) {
    reporter.progress(written, "100% Complete");
    reporter.completed();
}

}  // namespace

void prepareCompleteFlash(CardSession& session, bool retainConfig, ConfigSnapshot& snapshot,
                          FlashReporter& reporter) {
    reporter.progress(0, "Making permanent current card configuration");
    if (session.saveConfiguration() != 0)
        reporter.alert("Error while trying to make permanent current configuration");
    snapshot.taken = false;
    if (retainConfig && takeConfigSnapshot(session, snapshot) != 0)
        reporter.alert(kConfigInfoError);
}

int flashCompleteImage(CardSession& session, std::FILE* image, bool includeBootBlock,
                       bool retainConfig, const ConfigSnapshot& snapshot, FlashReporter& reporter) {
    int written = 0;
    char mac[18] = {};
    const bool macKnown = saveMac(session, mac, written, reporter);

    const uint32_t first = includeBootBlock ? 0 : 1;
    const int total = kFlashBlockCount - static_cast<int>(first);
    auto record = std::make_unique<FlashBlockRecord>();
    for (uint32_t block = first; block < kFlashBlockCount; ++block) {
        const std::string text = format("Flashing Block %d of %d", written + 1, total);
        reporter.progress(written, text);
        if (!readImageAt(image, static_cast<long>(block * kFlashBlockSize), *record)) {
            reporter.alert(kImageReadError);
            return kIoError;
        }
        record->setBlockNumber(block);
        const int status = session.writeFlashBlock(*record);
        if (status != 0) {
            reporter.alert(kFlashError);
            return status;
        }
        reporter.progress(++written, text);
    }

    restoreMac(session, mac, macKnown, written, reporter);
    if (retainConfig) {
        const int status = restoreSnapshot(session, snapshot, written, reporter);
        if (status != 0) return status;
    }
    finish(written, reporter);
    return 0;
}

int selectedBlockCount(const ModuleEntries& entries) {
    int total = 0;
    for (const ModuleEntry& entry : entries)
        if (entry.selected) total += entry.card.blockCount;
    return total;
}

bool prepareModuleFlash(CardSession& session, const ModuleEntries& entries,
                        FlashReporter& reporter) {
    if (selectedBlockCount(entries) == 0) return false;
    reporter.progress(0, "Making permanent current card configuration");
    if (session.saveConfiguration() != 0)
        reporter.alert("Error while trying to make permanent current configuration");
    return true;
}

int flashSelectedModules(CardSession& session, std::FILE* image, const ModuleEntries& entries,
                         FlashReporter& reporter) {
    const int total = selectedBlockCount(entries);
    if (total == 0) return 0;
    int written = 0;
    char mac[18] = {};
    const bool macKnown = saveMac(session, mac, written, reporter);

    auto record = std::make_unique<FlashBlockRecord>();
    for (const ModuleEntry& entry : entries) {
        if (!entry.selected) continue;
        for (uint32_t c = 0; c < entry.card.blockCount; ++c) {
            char text[160];
            std::snprintf(text, sizeof text, "Flashing Module %s Block %d of %d. (Total Blocks %d)",
                          entry.name.c_str(), static_cast<int>(c + 1), entry.card.blockCount,
                          total);
            reporter.progress(written, text);
            // A module that is not in the image has no blocks to read.
            const long offset = entry.fileOffset + static_cast<long>(c * kFlashBlockSize);
            if (entry.fileOffset < 0 || !readImageAt(image, offset, *record)) {
                reporter.alert(kImageReadError);
                return kIoError;
            }
            record->setBlockNumber(entry.card.firstBlock + c);
            const int status = session.writeFlashBlock(*record);
            if (status != 0) {
                reporter.alert(kFlashError);
                return status;
            }
            reporter.progress(++written, text);
        }
    }

    restoreMac(session, mac, macKnown, written, reporter);
    finish(written, reporter);
    return 0;
}

}  // namespace vorl
