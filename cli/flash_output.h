#pragma once
// The console lines of the flash procedures: each step's label, its outcome and the progress
// lines ("\r" lets the next line overwrite them; they are flushed at once).
#include <string>

#include "firmware/flash_procedures.h"

namespace vorl::cli {

class ConsoleFlashObserver : public FlashObserver {
public:
    // `path` is the file the command works on; some lines name it.
    explicit ConsoleFlashObserver(std::string path) : path_(std::move(path)) {}
    void on(FlashEvent event, int a, int b) override;

private:
    std::string path_;
};

}  // namespace vorl::cli
