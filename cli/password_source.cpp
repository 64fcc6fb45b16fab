#include "cli/password_source.h"

#include <cstdio>
#include <cstdlib>

#include "platform/private_file.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// Enough to see whether the first line is longer than any password login takes.
constexpr size_t kFileBytesRead = 256;

PasswordSource refused(int status, const std::string& error) {
    std::fprintf(stderr, "vorlcli: %s\n", error.c_str());
    PasswordSource source;
    source.status = status;
    source.error = error;
    return source;
}

}  // namespace

PasswordSource passwordSource(const char* fileName, size_t maxLength) {
    PasswordSource source;
    if (!fileName) {
        const char* value = std::getenv("VORL_PASSWORD");
        if (value) {
            source.given = true;
            source.password = value;
        }
        return source;
    }
    const std::string file = "password file '" + std::string(fileName) + "'";
    std::string content;
    switch (platform::readPrivateFile(fileName, kFileBytesRead, content)) {
        case platform::PrivateFileStatus::Read:
            break;
        case platform::PrivateFileStatus::CannotOpen:
            return refused(kStatusUnableToOpenFile, "cannot open " + file);
        case platform::PrivateFileStatus::NotRegular:
            return refused(kStatusUnableToOpenFile,
                           file + " is not a regular file (a pipe or a device is not read)");
        case platform::PrivateFileStatus::SharedWithOthers:
            return refused(kStatusPermissionDenied,
                           file +
                               " is accessible by other accounts; allow its owner alone "
                               "(chmod 600)");
        case platform::PrivateFileStatus::ReadFailed:
            return refused(kStatusUnableToOpenFile, "cannot read " + file);
    }
    const std::string line = content.substr(0, content.find_first_of("\r\n"));
    if (line.empty()) {
        return refused(kStatusOutOfRange, file + " holds no password: its first line is empty");
    }
    if (line.size() > maxLength) {
        return refused(kStatusOutOfRange, "the first line of " + file + " is longer than " +
                                              std::to_string(maxLength) + " characters");
    }
    source.given = true;
    source.password = line;
    return source;
}

}  // namespace vorl::cli
