// The complete and module-mode flashes of the configuration program.
#include "firmware/panel_flash.h"

#include "firmware/flash_procedures.h"
#include "firmware/flash_writer.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

// The page reports an image that falls short as an I/O error.
int workerStatus(int status) {
    return status == FlashWriter::kImageShort ? kStatusIoError : status;
}

void makeConfigurationPermanent(CardSession& session, FlashWriter& writer) {
    writer.emit(FlashStep::ConfigSaveStarted);
    writer.emit(session.saveConfiguration() == kStatusSuccess ? FlashStep::ConfigSaved
                                                              : FlashStep::ConfigSaveFailed);
}

// Writes the snapshot back when the section still has the layout it was taken of. Without a
// snapshot there is nothing to write back, and its failure has been reported already.
int restoreSnapshot(CardSession& session, const ConfigSnapshot& snapshot, FlashWriter& writer) {
    writer.emit(FlashStep::SnapshotRestoreStarted);
    if (!snapshot.taken) return kStatusSuccess;
    SectionInfo info;
    const bool layoutKnown =
        configSectionLayout(session, info) == kStatusSuccess &&
        info.blockCount == snapshot.blockCount &&
        snapshot.data.size() == static_cast<size_t>(snapshot.blockCount) * kFlashBlockSize;
    if (!layoutKnown) {
        writer.emit(FlashStep::SnapshotUnavailable);
        return kStatusSuccess;
    }
    return writer.writeSection(snapshot.data.data(), info.firstBlock, info.blockCount);
}

}  // namespace

void prepareCompleteFlash(CardSession& session, bool retainConfig, ConfigSnapshot& snapshot,
                          FlashListener& listener) {
    FlashWriter writer(session, listener, 0);
    makeConfigurationPermanent(session, writer);
    snapshot.taken = false;
    if (!retainConfig) return;
    const int status = takeConfigSnapshot(session, snapshot);
    writer.emit(status == kStatusSuccess ? FlashStep::SnapshotTaken : FlashStep::SnapshotFailed,
                status);
}

int flashCompleteImage(CardSession& session, std::FILE* image, bool includeBootBlock,
                       bool retainConfig, const ConfigSnapshot& snapshot, FlashListener& listener) {
    const uint32_t first = includeBootBlock ? 0 : 1;
    const uint32_t total = kFlashBlockCount - first;
    FlashWriter writer(session, listener, static_cast<int>(total));
    writer.saveMac();
    const int status =
        writer.writeFromImage(image, static_cast<long>(first * kFlashBlockSize), first, total);
    if (status != kStatusSuccess) return workerStatus(status);
    writer.emit(FlashStep::BlocksDone);
    writer.restoreMac();
    if (retainConfig) {
        const int restored = restoreSnapshot(session, snapshot, writer);
        if (restored != kStatusSuccess) return restored;
    }
    writer.emit(FlashStep::Completed);
    return kStatusSuccess;
}

int selectedBlockCount(const ModuleEntries& entries) {
    int total = 0;
    for (const ModuleEntry& entry : entries)
        if (entry.selected) total += entry.card.blockCount;
    return total;
}

bool prepareModuleFlash(CardSession& session, const ModuleEntries& entries,
                        FlashListener& listener) {
    if (selectedBlockCount(entries) == 0) return false;
    FlashWriter writer(session, listener, 0);
    makeConfigurationPermanent(session, writer);
    return true;
}

int flashSelectedModules(CardSession& session, std::FILE* image, const ModuleEntries& entries,
                         FlashListener& listener) {
    const int total = selectedBlockCount(entries);
    if (total == 0) return kStatusSuccess;
    FlashWriter writer(session, listener, total);
    writer.saveMac();
    for (const ModuleEntry& entry : entries) {
        if (!entry.selected) continue;
        // The whole section is rewritten from the image, whatever the module's data length. A
        // module missing from the image (offset -1) fails at its first block read.
        const int status = writer.writeFromImage(image, entry.fileOffset, entry.card.firstBlock,
                                                 entry.card.blockCount, entry.name.c_str());
        if (status != kStatusSuccess) return workerStatus(status);
    }
    writer.emit(FlashStep::BlocksDone);
    writer.restoreMac();
    writer.emit(FlashStep::Completed);
    return kStatusSuccess;
}

}  // namespace vorl
