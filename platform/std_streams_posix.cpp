#include <unistd.h>

#include "platform/std_streams.h"

namespace vorl::platform {

std::FILE* divertStandardOutput() {
    std::fflush(stdout);
    const int original = dup(STDOUT_FILENO);
    if (original < 0) return nullptr;
    if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        close(original);
        return nullptr;
    }
    std::FILE* stream = fdopen(original, "w");
    if (!stream) close(original);
    return stream;
}

}  // namespace vorl::platform
