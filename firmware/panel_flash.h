#pragma once
// The flash procedures of the configuration program: the card and image sides of the six
// modules, the configuration snapshot, and the complete and module-mode flashes. They tell a
// FlashListener every step (PanelFlashTexts, firmware/panel_flash_texts.h, turns the events
// into the texts the program shows) and can run on a worker thread (each uses its own buffers;
// the image file must not be touched by another thread meanwhile).
#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/flash_events.h"
#include "firmware/flash_records.h"

namespace vorl {

class CardSession;

// Verdicts of the allocation check.
extern const char* const kVerdictMatches;           // "Matches"
extern const char* const kVerdictSpaceMismatch;     // "Space Mismatch"
extern const char* const kVerdictLocationMismatch;  // "Location Mismatch"

struct ModuleEntry {
    std::string name;  // "OS", "DIAG", ...
    char signature[8] = {};

    // Card side (loadCardModules).
    SectionInfo card;
    int cardStatus = -1;  // status of the section request; the card side is valid on 0
    std::string cardVersionText;

    // File side (compareImageWithCard).
    ModuleHeader fileHeader;
    long fileOffset = -1;  // -1: not found in the image
    std::string fileVersionText;
    std::string verdict;
    bool selected = false;
};

using ModuleEntries = std::array<ModuleEntry, 6>;

// The six entries in page order: OS, DIAG, WEB, FPGA, CONFIG, SDK.
ModuleEntries makeModuleEntries();

// Asks the card for each module's section (a failure is kept in that entry and the loop goes
// on). Returns the status of the last module's request.
int loadCardModules(CardSession& session, ModuleEntries& entries);

struct ImageComparison {
    bool anyMismatch = false;          // complete flash mode is forced
    bool configSpaceMismatch = false;  // retaining the configuration is impossible
};

// Fills the file side of every entry from an image that passed validation, preselects the
// modules whose file version is newer than the card's and sets each verdict. A module whose
// card side could not be read, or that is missing from the file, gets "Location Mismatch" and
// is not preselected.
ImageComparison compareImageWithCard(FirmwareImage& image, std::FILE* file, ModuleEntries& entries);

// The configuration section held in memory across a complete flash.
struct ConfigSnapshot {
    std::vector<uint8_t> data;  // blockCount × 65,536 bytes
    uint16_t blockCount = 0;
    bool taken = false;  // every block of the section was read
};

// Reads the configuration section into `snapshot`: 0 and taken; the section request's status;
// 30 when the section has no blocks, more than the flash holds, or a block read fails.
int takeConfigSnapshot(CardSession& session, ConfigSnapshot& snapshot);

// Before a complete flash (window thread): makes the configuration permanent and, when
// `retainConfig`, takes the snapshot (ConfigSaveStarted, ConfigSaveFailed, SnapshotTaken or
// SnapshotFailed). Failures are reported; the flash goes on.
void prepareCompleteFlash(CardSession& session, bool retainConfig, ConfigSnapshot& snapshot,
                          FlashListener& listener);

// Complete flash (worker): MAC read, blocks 1..63 (0..63 with `includeBootBlock`), MAC
// write-back, the snapshot written back when `retainConfig`, then Completed. Returns 0 when
// completed; otherwise the failing status (21 for an image read error) after the event that
// says what failed (ImageReadFailed, BlockFailed, SectionBlockFailed).
int flashCompleteImage(CardSession& session, std::FILE* image, bool includeBootBlock,
                       bool retainConfig, const ConfigSnapshot& snapshot, FlashListener& listener);

// Total blocks of the selected modules' sections (0: nothing to flash).
int selectedBlockCount(const ModuleEntries& entries);

// Before a module flash (window thread): makes the configuration permanent (a failure is
// reported and the flash goes on). Does nothing and returns false when no module is selected.
bool prepareModuleFlash(CardSession& session, const ModuleEntries& entries,
                        FlashListener& listener);

// Module flash (worker): MAC read, every block of each selected module's section from the
// module's place in the image, MAC write-back, completion. Returns as flashCompleteImage.
int flashSelectedModules(CardSession& session, std::FILE* image, const ModuleEntries& entries,
                         FlashListener& listener);

}  // namespace vorl
