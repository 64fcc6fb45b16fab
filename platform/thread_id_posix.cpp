#include <sys/syscall.h>
#include <unistd.h>

#include "platform/thread_id.h"

namespace vorl::platform {

unsigned long currentThreadId() {
    return static_cast<unsigned long>(syscall(SYS_gettid));
}

}  // namespace vorl::platform
