#pragma once
// The host interface's machine-wide mutex held by another program past the wait limit: the
// command failed for that, and the run ends there with 33 rather than waiting again for every
// further command.
#include "cli/report.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {

constexpr const char* kAccessLockHeld =
    "the host interface is locked by another program (K8_HD_ACCESS_MUTEX was not free within "
    "the card's answer limit of 60 s)";

// After a command: true when the session gave up waiting for the mutex. Says so on standard
// error and in the command's document.
inline bool accessLockHeld(CardSession& session, Report& report) {
    if (!session.transport().accessLockTimedOut()) return false;
    std::fprintf(stderr, "vorlcli: %s\n", kAccessLockHeld);
    report.notDone(kAccessLockHeld);
    return true;
}

}  // namespace vorl::cli
