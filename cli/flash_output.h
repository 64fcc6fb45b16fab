#pragma once
// vorlcli's texts for the flash events: each step's label, its outcome and the progress lines
// ("\r" lets the next line overwrite them; every line is flushed at once). Under --json these
// lines are progress on standard error; the lines that explain a local failure (the command then
// returns -1) go through the Report, so that the document says them too. The output also keeps
// count of what the flash did, for the command's data.
#include <string>
#include <vector>

#include "firmware/flash_events.h"

namespace vorl::cli {

class Report;

class ConsoleFlashOutput : public FlashListener {
public:
    // `path` is the file the command works on; some lines name it.
    ConsoleFlashOutput(std::string path, Report& report)
        : path_(std::move(path)), report_(report) {}
    void on(const FlashEvent& event) override;

    // Blocks written from the image (or of the selected modules) so far.
    int blocksWritten() const { return blocksWritten_; }
    // Blocks read from the card into a file so far.
    int blocksRead() const { return blocksRead_; }
    bool macRestored() const { return macRestored_; }
    // The modules whose every block has been written, in the order they were.
    const std::vector<std::string>& modulesWritten() const { return modulesWritten_; }
    // The reset that ended the flash: "config_retained", "config_defaults", or "" when none was
    // sent.
    const char* reset() const { return reset_; }

private:
    void tally(const FlashEvent& event);
    // A line that explains why the command ends as a local failure.
    void failure(const char* text);

    std::string path_;
    Report& report_;
    int blocksWritten_ = 0;
    int blocksRead_ = 0;
    bool macRestored_ = false;
    std::vector<std::string> modulesWritten_;
    const char* reset_ = "";
};

// Prints "\n" and asks the question that opens a firmware flash; true on a yes.
bool confirmFirmwareFlash();

}  // namespace vorl::cli
