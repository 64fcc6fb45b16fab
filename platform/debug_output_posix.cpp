#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/debug_output.h"

namespace vorl::platform {

void systemDebugOutput(const char* text) {
    const char* target = std::getenv("VORL_DEBUG");
    if (target == nullptr || *target == '\0') return;
    const bool toStderr = std::strcmp(target, "stderr") == 0;
    std::FILE* out = toStderr ? stderr : std::fopen(target, "a");
    if (out == nullptr) return;
    std::fputs(text, out);
    const size_t length = std::strlen(text);
    if (length == 0 || text[length - 1] != '\n') std::fputc('\n', out);
    if (toStderr)
        std::fflush(out);
    else
        std::fclose(out);
}

}  // namespace vorl::platform
