#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/deadline.h"
#include "platform/named_mutex.h"
#include "platform/sleep.h"

namespace vorl::platform {
namespace {

constexpr uint32_t kRetryPauseMs = 5;

// The lock is the file's flock; each object has its own open file description, so two objects
// exclude each other within one process as well as across processes.
class LockFileMutex : public NamedMutex {
public:
    explicit LockFileMutex(int fd) : fd_(fd) {}
    ~LockFileMutex() override { ::close(fd_); }
    bool lock() override {
        int result;
        do {
            result = ::flock(fd_, LOCK_EX);
        } while (result != 0 && errno == EINTR);
        return result == 0;
    }
    // flock has no time limit: it is tried again after short pauses (through the sleep seam,
    // so a test's recorded pauses move the deadline's clock) until the deadline passes.
    LockResult lockWithin(uint32_t milliseconds) override {
        const Deadline deadline(milliseconds);
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return LockResult::Acquired;
            if (errno != EWOULDBLOCK && errno != EINTR) return LockResult::Failed;
            if (deadline.passed()) return LockResult::TimedOut;
            sleepMs(kRetryPauseMs < deadline.remainingMs() ? kRetryPauseMs
                                                           : deadline.remainingMs());
        }
    }
    void unlock() override { ::flock(fd_, LOCK_UN); }

private:
    int fd_;
};

// /run/lock rather than /tmp where it exists: a service with a private /tmp (the heartbeat
// service under systemd) must still meet the other programs there.
std::string lockPath(const char* name) {
    const char* dir = std::getenv("VORL_MUTEX_DIR");
    struct stat runLock;
    std::string path = (dir != nullptr && *dir != '\0') ? dir
                       : ::stat("/run/lock", &runLock) == 0 && S_ISDIR(runLock.st_mode)
                           ? "/run/lock"
                           : "/tmp";
    return path + "/" + name + ".lock";
}

// Opens an existing lock file without O_CREAT first: in a sticky world-writable directory
// O_CREAT on another account's file is refused by protected_regular.
int openLockFile(const std::string& path) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0 || errno != ENOENT) return fd;
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::fchmod(fd, 0666);  // every account shares it, whatever the umask
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

}  // namespace

std::unique_ptr<NamedMutex> createNamedMutex(const char* name) {
    const int fd = openLockFile(lockPath(name));
    if (fd < 0) return nullptr;
    return std::make_unique<LockFileMutex>(fd);
}

}  // namespace vorl::platform
