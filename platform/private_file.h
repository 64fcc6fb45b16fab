#pragma once
// A secret kept in a file (a password for unattended runs): opened without waiting and checked on
// the open file itself, so that the file examined is the file read.
#include <cstddef>
#include <string>

namespace vorl::platform {

enum class PrivateFileStatus {
    Read,              // `content` holds the file's first bytes
    CannotOpen,        // missing, unreadable, or a directory
    NotRegular,        // a FIFO, a device, a socket: refused rather than waited on
    SharedWithOthers,  // POSIX: readable or writable by its group or others (as ssh refuses keys)
    ReadFailed,
};

// Opens `path` for reading without blocking, checks the opened file (a regular file that no other
// account may read or write; Windows has no mode bits to check, so only the kind) and reads at
// most `maxBytes` of it into `content`.
PrivateFileStatus readPrivateFile(const char* path, size_t maxBytes, std::string& content);

}  // namespace vorl::platform
