#pragma once
// A machine-wide named mutex shared by every process and account. Win32: CreateMutexA with a
// null-DACL security descriptor. POSIX: flock on a lock file every account can open
// ($VORL_MUTEX_DIR, default /run/lock, or /tmp where that is missing; file "<name>.lock").
#include <memory>

namespace vorl::platform {

class NamedMutex {
public:
    virtual ~NamedMutex() = default;
    // Waits without limit. A mutex abandoned by a process that ended while holding it counts
    // as acquired. Returns false only when the platform fails the wait.
    virtual bool lock() = 0;
    // Releases a mutex this object holds.
    virtual void unlock() = 0;
};

// Creates (or opens, when another process created it) the mutex `name`, not owned.
// Null when the platform cannot create it.
std::unique_ptr<NamedMutex> createNamedMutex(const char* name);

// Holds a NamedMutex for one scope.
class NamedMutexLock {
public:
    explicit NamedMutexLock(NamedMutex& mutex) : mutex_(mutex), held_(mutex.lock()) {}
    ~NamedMutexLock() {
        if (held_) mutex_.unlock();
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    bool held() const { return held_; }

private:
    NamedMutex& mutex_;
    bool held_;
};

}  // namespace vorl::platform
