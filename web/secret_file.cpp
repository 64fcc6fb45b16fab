#include "web/secret_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace vorl::web {
namespace {

std::string systemReason(int error) {
    return std::generic_category().message(error);
}

const char* kindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a plain file";
}

// Closes the descriptor on every path out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool readSecretFile(const std::string& path, std::string& secret, std::string& error,
                    std::string& warning) {
    warning.clear();
    // O_NONBLOCK: opening a FIFO without a writer (or a device) must not wait. O_NOCTTY: a
    // terminal named here must not become the daemon's.
    const Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0) {
        error = "cannot be opened: " + systemReason(errno);
        return false;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0) {
        error = "cannot be examined: " + systemReason(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        error = std::string("is ") + kindOf(status.st_mode) + ", not a regular file";
        return false;
    }
    if (status.st_size == 0) {
        error = "is empty";
        return false;
    }
    if (status.st_size > static_cast<off_t>(kMaxSecretFileSize)) {
        error = "is larger than " + std::to_string(kMaxSecretFileSize) + " bytes";
        return false;
    }
    std::string text(kMaxSecretFileSize + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(file.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = "cannot be read: " + systemReason(errno);
            return false;
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    // The size may have changed since fstat (a file being written): judge what was read.
    if (got > kMaxSecretFileSize) {
        error = "is larger than " + std::to_string(kMaxSecretFileSize) + " bytes";
        return false;
    }
    text.resize(got);
    std::string line = text.substr(0, text.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
        error = got == 0 ? "is empty" : "has an empty first line";
        return false;
    }
    if (line.find('\0') != std::string::npos) {
        error = "holds a NUL byte in its first line";
        return false;
    }
    if (status.st_mode & (S_IRGRP | S_IROTH)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        warning = std::string("is readable by ") +
                  ((status.st_mode & S_IROTH) ? "every user" : "its group") + " (mode " + mode +
                  "); make it 0600 or 0400, owned by the user the service runs as";
    }
    secret = std::move(line);
    return true;
}

}  // namespace vorl::web
