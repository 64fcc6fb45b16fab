#include <termios.h>
#include <unistd.h>

#include <cstdio>

#include "platform/console.h"

namespace vorl::platform {

int readCharNoEcho() {
    if (!isatty(STDIN_FILENO)) return std::getchar();
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return std::getchar();
    termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_iflag &= static_cast<tcflag_t>(~ICRNL);  // Enter must arrive as CR, as _getch gives it
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    unsigned char c = 0;
    const ssize_t got = ::read(STDIN_FILENO, &c, 1);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return got == 1 ? c : -1;
}

}  // namespace vorl::platform
