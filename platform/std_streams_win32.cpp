#include <io.h>

#include "platform/std_streams.h"

namespace vorl::platform {

std::FILE* divertStandardOutput() {
    std::fflush(stdout);
    const int original = _dup(1);
    if (original < 0) return nullptr;
    if (_dup2(2, 1) < 0) {
        _close(original);
        return nullptr;
    }
    std::FILE* stream = _fdopen(original, "w");
    if (!stream) _close(original);
    return stream;
}

}  // namespace vorl::platform
