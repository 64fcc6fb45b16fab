#pragma once

namespace vorl::panel {

// vorlpanel: connection dialogs until one connects, then the main window. Returns the exit
// status.
int runProgram();

}  // namespace vorl::panel
