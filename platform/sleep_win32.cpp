#include <windows.h>

#include "platform/sleep.h"

namespace vorl::platform {

void systemSleepMs(uint32_t milliseconds) {
    Sleep(milliseconds);
}

}  // namespace vorl::platform
