#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/private_file.h"

namespace vorl::platform {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

PrivateFileStatus readPrivateFile(const char* path, size_t maxBytes, std::string& content) {
    content.clear();
    // O_NONBLOCK: opening a FIFO without a writer would otherwise wait for one.
    const Descriptor file(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return PrivateFileStatus::CannotOpen;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) return PrivateFileStatus::ReadFailed;
    if (S_ISDIR(info.st_mode)) return PrivateFileStatus::CannotOpen;
    if (!S_ISREG(info.st_mode)) return PrivateFileStatus::NotRegular;
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) return PrivateFileStatus::SharedWithOthers;
    content.resize(maxBytes);
    size_t filled = 0;
    while (filled < maxBytes) {
        const ssize_t got = ::read(file.get(), content.data() + filled, maxBytes - filled);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            content.clear();
            return PrivateFileStatus::ReadFailed;
        }
        if (got == 0) break;
        filled += static_cast<size_t>(got);
    }
    content.resize(filled);
    return PrivateFileStatus::Read;
}

}  // namespace vorl::platform
