#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/console.h"

namespace vorl::platform {
namespace {

// The terminal settings saved by the scope that turned echo off.
termios savedSettings{};
bool echoIsOff = false;

bool setRaw(termios& saved) {
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return false;
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_iflag &= static_cast<tcflag_t>(~ICRNL);  // Enter must arrive as CR, as _getch gives it
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

}  // namespace

EchoOffScope::EchoOffScope() {
    ownsTerminal_ = !echoIsOff && setRaw(savedSettings);
    if (ownsTerminal_) echoIsOff = true;
}

EchoOffScope::~EchoOffScope() {
    if (!ownsTerminal_) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &savedSettings);
    echoIsOff = false;
}

int readCharNoEcho() {
    if (!isatty(STDIN_FILENO)) return std::getchar();
    EchoOffScope scope;  // a no-op inside an outer scope
    unsigned char c = 0;
    return ::read(STDIN_FILENO, &c, 1) == 1 ? c : -1;
}

}  // namespace vorl::platform
