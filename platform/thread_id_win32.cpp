#include <windows.h>

#include "platform/thread_id.h"

namespace vorl::platform {

unsigned long currentThreadId() {
    return GetCurrentThreadId();
}

}  // namespace vorl::platform
