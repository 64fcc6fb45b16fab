#pragma once
// What the flash procedures tell their caller, step by step, as typed events. The procedures
// print and show nothing themselves: a renderer turns the events into a program's own texts
// (cli/flash_output.h for vorlcli, firmware/panel_flash_texts.h for the configuration program).
#include <cstdint>

namespace vorl {

enum class FlashStep {
    // The image file of a full update.
    ValidateStarted,
    ImageValid,
    ImageInvalid,
    OpenStarted,
    ImageOpened,
    ImageOpenFailed,
    ImageReadFailed,  // a block of the image could not be read whole; nothing is written

    // The MAC address kept across a flash.
    MacReadStarted,
    MacRead,
    MacReadFailed,  // only a warning: the flash goes on
    MacWriteStarted,
    MacWritten,
    MacWriteFailed,
    MacWriteSkipped,  // the read had failed, so there is no address to write back

    // Blocks written from the image. `block`, `position`, `count`, `module` as in FlashEvent.
    BootBlockStarted,  // full update: block 0 comes next, written or skipped
    BootBlockSkipped,
    BlockStarted,  // before the block is read from the image
    BlockLoaded,   // read from the image, about to be written
    BlockWritten,
    BlockFailed,  // `status`: the write's; the flash ends here
    BlocksDone,   // every block of the image (or of the selected modules) is written

    // The configuration kept across a flash of the configuration program.
    ConfigSaveStarted,  // the card's configuration is made permanent first
    ConfigSaved,
    ConfigSaveFailed,
    SnapshotTaken,
    SnapshotFailed,  // `status`
    SnapshotRestoreStarted,
    SnapshotUnavailable,  // the section's layout cannot be read again, or has changed

    // A section written from memory (a snapshot, a saved configuration file).
    SectionBlockStarted,  // `block`, `position` of `count`
    SectionBlockFailed,   // `status`; the section write ends here

    // The reset that ends a full update.
    ResetRetainingStarted,
    ResetToDefaultsStarted,
    ResetDone,
    ResetFailed,  // `status`

    // A flash of the configuration program has ended well.
    Completed,

    // Reading the whole flash into a file.
    FileCreateFailed,
    ReadStarted,
    BlockRead,        // `block` of `count`
    BlockReadFailed,  // `status`
    FileWriteFailed,
    ReadDone,  // `count` blocks

    // Putting a saved configuration section back.
    ConfigFileOpenFailed,
    ConfigFileIncomplete,  // shorter than a header, or than the whole section
    SectionInfoFailed,     // `status`
    SectionSizeMismatch,
    SectionRestored,
};

struct FlashEvent {
    FlashStep step;
    int status = 0;           // failures: the card's or the procedure's status
    uint32_t block = 0;       // block steps: the flash block
    int position = 0;         // block steps: the block's place in its run, from 1
    int count = 0;            // block steps: the blocks of that run (module, section, image)
    int written = 0;          // blocks of the image written so far
    int total = 0;            // blocks of the image this flash writes
    const char* module = "";  // module flash: the module's name (valid during the call)
};

class FlashListener {
public:
    virtual ~FlashListener() = default;
    virtual void on(const FlashEvent& event) = 0;
};

// A listener that ignores everything.
class SilentListener : public FlashListener {
public:
    void on(const FlashEvent&) override {}
};

}  // namespace vorl
