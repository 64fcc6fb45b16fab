#pragma once
// Raw console input for the password prompt and the pauses of the usage pages.

namespace vorl::platform {

// Reads one character without echo. On a terminal the terminal's echo and line editing are off
// for the read; otherwise the next byte of standard input is taken as it is.
// Returns the character (0..255), or -1 at the end of input.
int readCharNoEcho();

// While alive, a terminal on standard input does not echo and hands over every key at once, so
// nothing typed between two reads of a password shows in clear. No effect when standard input is
// not a terminal (and on Windows, where reading without echo needs no mode change).
class EchoOffScope {
public:
    EchoOffScope();
    ~EchoOffScope();
    EchoOffScope(const EchoOffScope&) = delete;
    EchoOffScope& operator=(const EchoOffScope&) = delete;

private:
    bool ownsTerminal_ = false;  // this scope changed the terminal and restores it
};

}  // namespace vorl::platform
