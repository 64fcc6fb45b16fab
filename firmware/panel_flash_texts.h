#pragma once
// The configuration program's texts for the flash events: typed events in, texts out. The
// Firmware Flash page gives its flash procedures a PanelFlashTexts over its own FlashReporter;
// the texts are formatted on the caller's thread (the worker's, during a flash) into a buffer of
// the PanelFlashTexts, so that a block costs no allocation and nothing is shared between threads.
#include <string_view>

#include "firmware/flash_events.h"

namespace vorl {

class FlashReporter {
public:
    virtual ~FlashReporter() = default;
    // A progress notice: blocks written so far and the current step's text (valid during the
    // call).
    virtual void progress(int blocksWritten, std::string_view text) = 0;
    // A failure or warning the program shows in a message box.
    virtual void alert(std::string_view text) = 0;
    // The flash has ended well: its last progress text ("100% Complete") and the count; the
    // program then resets the card and closes.
    virtual void completed(int blocksWritten, std::string_view text) = 0;
};

class PanelFlashTexts : public FlashListener {
public:
    explicit PanelFlashTexts(FlashReporter& reporter) : reporter_(reporter) {}
    void on(const FlashEvent& event) override;

private:
    // The block text, the same before and after the block is written.
    std::string_view blockText(const FlashEvent& event);

    FlashReporter& reporter_;
    char text_[160] = {};
};

}  // namespace vorl
