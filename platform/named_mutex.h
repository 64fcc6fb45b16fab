#pragma once
// A machine-wide named mutex shared by every process and account. Win32: CreateMutexA with a
// null-DACL security descriptor. POSIX: flock on a lock file every account can open
// ($VORL_MUTEX_DIR, default /run/lock, or /tmp where that is missing; file "<name>.lock").
#include <cstdint>
#include <memory>

namespace vorl::platform {

enum class LockResult { Acquired, TimedOut, Failed };

class NamedMutex {
public:
    virtual ~NamedMutex() = default;
    // Waits without limit. A mutex abandoned by a process that ended while holding it counts
    // as acquired. Returns false only when the platform fails the wait.
    virtual bool lock() = 0;
    // As lock, but gives up once `milliseconds` have passed with another holder (on the
    // monotonic clock of platform/deadline.h, so that a test's recorded pauses count). The
    // default suits mutexes that never wait (test doubles).
    virtual LockResult lockWithin(uint32_t milliseconds) {
        (void)milliseconds;
        return lock() ? LockResult::Acquired : LockResult::Failed;
    }
    // Releases a mutex this object holds.
    virtual void unlock() = 0;
};

// Creates (or opens, when another process created it) the mutex `name`, not owned.
// Null when the platform cannot create it.
std::unique_ptr<NamedMutex> createNamedMutex(const char* name);

// Holds a NamedMutex for one scope, waiting at most `milliseconds` for it.
class NamedMutexLock {
public:
    NamedMutexLock(NamedMutex& mutex, uint32_t milliseconds)
        : mutex_(mutex), result_(mutex.lockWithin(milliseconds)) {}
    ~NamedMutexLock() {
        if (held()) mutex_.unlock();
    }
    NamedMutexLock(const NamedMutexLock&) = delete;
    NamedMutexLock& operator=(const NamedMutexLock&) = delete;
    bool held() const { return result_ == LockResult::Acquired; }
    LockResult result() const { return result_; }

private:
    NamedMutex& mutex_;
    LockResult result_;
};

}  // namespace vorl::platform
