#pragma once
// The configuration program's texts for the flash events: typed events in, texts out. The
// Firmware Flash page gives its flash procedures a PanelFlashTexts over its own FlashReporter;
// the texts are formatted on the caller's thread (the worker's, during a flash) and handed over
// whole, so nothing here is shared between threads.
#include <string>

#include "firmware/flash_events.h"

namespace vorl {

class FlashReporter {
public:
    virtual ~FlashReporter() = default;
    // A progress notice: blocks written so far and the current step's text.
    virtual void progress(int blocksWritten, const std::string& text) = 0;
    // A failure or warning the program shows in a message box.
    virtual void alert(const std::string& text) = 0;
    // The flash has ended well; the program resets the card and closes.
    virtual void completed() = 0;
};

class PanelFlashTexts : public FlashListener {
public:
    explicit PanelFlashTexts(FlashReporter& reporter) : reporter_(reporter) {}
    void on(const FlashEvent& event) override;

private:
    FlashReporter& reporter_;
};

}  // namespace vorl
