#pragma once
// Scheduling priority of the calling thread. Win32: SetThreadPriority. POSIX: left as it is.
#include <memory>

namespace vorl::platform {

class ThreadPriority {
public:
    virtual ~ThreadPriority() = default;
    // Raises the calling thread to the highest priority of its class (Win32:
    // THREAD_PRIORITY_TIME_CRITICAL). True when the platform granted it.
    virtual bool raiseToTimeCritical() = 0;
};

// The build's own: SetThreadPriority on Windows; on POSIX one that changes nothing and returns
// false (real-time scheduling needs privileges the tools should not ask for).
std::unique_ptr<ThreadPriority> makeSystemThreadPriority();

}  // namespace vorl::platform
