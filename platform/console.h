#pragma once
// Raw console input for the password prompt and the pauses of the usage pages.

namespace vorl::platform {

// Reads one character without echo. On a terminal the terminal's echo and line editing are off
// for the read; otherwise the next byte of standard input is taken as it is.
// Returns the character (0..255), or -1 at the end of input.
int readCharNoEcho();

}  // namespace vorl::platform
