#include <windows.h>

#include "platform/debug_output.h"

namespace vorl::platform {

void systemDebugOutput(const char* text) {
    OutputDebugStringA(text);
}

}  // namespace vorl::platform
