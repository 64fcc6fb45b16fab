#include <windows.h>

#include "platform/thread_priority.h"

namespace vorl::platform {
namespace {

class Win32ThreadPriority : public ThreadPriority {
public:
    bool raiseToTimeCritical() override {
        return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
    }
};

}  // namespace

std::unique_ptr<ThreadPriority> makeSystemThreadPriority() {
    return std::make_unique<Win32ThreadPriority>();
}

}  // namespace vorl::platform
