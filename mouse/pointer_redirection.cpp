#include "mouse/pointer_redirection.h"

#include "platform/debug_output.h"
#include "platform/sleep.h"

namespace vorl::mouse {

PointerRedirection::PointerRedirection(HostInterface& card, platform::PointerInput& input,
                                       platform::ThreadPriority& priority)
    : card_(card), input_(input), priority_(priority) {}

void PointerRedirection::waitForCard() {
    char letter = 0;
    card_.reconnect(letter, 0);
}

void PointerRedirection::start() {
    waitForCard();
    priority_.raiseToTimeCritical();
}

void PointerRedirection::reopenDrive() {
    elapsedMs_ = 0;
    platform::debugOutput("Sleep Time\n");
    card_.closeDrive();
    if (card_.openDrive() != 0) {
        waitForCard();
        platform::debugOutput("oops...Could not open drive!!\n");
    }
}

PointerRedirection::Pass PointerRedirection::step() {
    if (elapsedMs_ >= kReopenAfterMs) reopenDrive();
    MousePacket packet;
    if (card_.readMousePacket(packet) != 0) {
        // A drive that opens but refuses every read would otherwise keep this time-critical
        // thread searching and reading without a pause, taking a core from the server.
        if (lastReadFailed_) platform::sleepMs(kRefusedAgainPauseMs);
        lastReadFailed_ = true;
        waitForCard();
        return Pass::Reconnected;
    }
    lastReadFailed_ = false;
    if (packet.kind() == MousePacket::kKindPause) {
        // The card has nothing for a while; this time is not counted.
        platform::sleepMs(kPauseMs);
        return Pass::Paused;
    }
    platform::sleepMs(kPacingMs);
    elapsedMs_ += kPacingMs;
    if (packet.kind() != MousePacket::kKindPointer) return Pass::Idle;
    PointerTranslator::Events events;
    const size_t count = translator_.translate(packet, events);
    for (size_t i = 0; i < count; ++i) input_.send(events[i]);
    return Pass::Moved;
}

void PointerRedirection::run() {
    start();
    for (;;) step();
}

}  // namespace vorl::mouse
