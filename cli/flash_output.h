#pragma once
// vorlcli's texts for the flash events: each step's label, its outcome and the progress lines
// ("\r" lets the next line overwrite them; every line is flushed at once).
#include <string>

#include "firmware/flash_events.h"

namespace vorl::cli {

class ConsoleFlashOutput : public FlashListener {
public:
    // `path` is the file the command works on; some lines name it.
    explicit ConsoleFlashOutput(std::string path) : path_(std::move(path)) {}
    void on(const FlashEvent& event) override;

private:
    std::string path_;
};

}  // namespace vorl::cli
