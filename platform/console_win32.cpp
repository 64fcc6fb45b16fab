#include <windows.h>
// windows.h first: conio.h uses its types.
#include <conio.h>

#include <csignal>
#include <cstdio>

#include "platform/console.h"

namespace vorl::platform {
namespace {

constexpr int kCtrlC = 3;

bool stdinIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

}  // namespace

int readCharNoEcho() {
    if (!stdinIsConsole()) return std::getchar();
    const int c = _getch();
    // _getch hands Ctrl+C over as a character; let it interrupt the program as it does at any
    // other prompt, rather than becoming part of a password.
    if (c == kCtrlC) std::raise(SIGINT);
    return c;
}

EchoOffScope::EchoOffScope() = default;
EchoOffScope::~EchoOffScope() = default;

}  // namespace vorl::platform
