#pragma once
// The redirection thread's packet loop: reads the card's pointer packets (vendor command
// 0xE1) about every 20 ms and feeds them to the machine's input. Waits for the card without
// limit, closes and reopens the drive every 20 s of counted time, and runs at time-critical
// priority. Every pause goes through the sleep seam.
#include <cstdint>

#include "hostifc/host_interface.h"
#include "mouse/pointer_translator.h"
#include "platform/pointer_input.h"
#include "platform/thread_priority.h"

namespace vorl::mouse {

class PointerRedirection {
public:
    static constexpr uint32_t kPacingMs = 20;
    static constexpr uint32_t kPauseMs = 5000;
    static constexpr uint32_t kReopenAfterMs = 20000;
    // Before the search that follows a second failed read in a row.
    static constexpr uint32_t kRefusedAgainPauseMs = HostInterface::kReconnectPauseMs;

    // What one pass of the loop did.
    enum class Pass {
        Reconnected,  // the read failed; the card's drive was searched for again (after a
                      // second's pause when the read before had failed too)
        Paused,       // kind 2: five seconds' pause
        Idle,         // another kind: one pacing pause, no input
        Moved,        // kind 1: pacing pause, then the move and any button transitions
    };

    PointerRedirection(HostInterface& card, platform::PointerInput& input,
                       platform::ThreadPriority& priority);

    // Finds and opens the card's drive, retrying every second without limit, then raises the
    // calling thread to time-critical priority.
    void start();
    // One pass of the loop (the drive must have been opened by start()).
    Pass step();
    // start(), then passes for ever: the thread ends with the process.
    [[noreturn]] void run();

    // Counted redirection time since the last reopen, in milliseconds.
    uint32_t elapsedMs() const { return elapsedMs_; }

private:
    void waitForCard();
    void reopenDrive();

    HostInterface& card_;
    platform::PointerInput& input_;
    platform::ThreadPriority& priority_;
    PointerTranslator translator_;
    uint32_t elapsedMs_ = 0;
    bool lastReadFailed_ = false;
};

}  // namespace vorl::mouse
