#include "wire/status_codes.h"

namespace vorl {
namespace {

constexpr const char* kMessages[] = {
    "Operation Success",
    "Authentication failed",
    "Authentication required",
    "System is busy",
    "Try again",
    "Permission denied",
    "Operation canceled",
    "Operation interrupted",
    "Argument nedded",
    "Argument count insufficient",
    "Operation in progress",
    "System shutdown",
    "Error during access",
    "Handle error",
    "Unable to open file",
    "Already exists",
    "Resource not exist",
    "Insufficient memory",
    "Insufficient space",
    "Read only",
    "No such device",
    "Error during I/O",
    "Fault",
    "No such file",
    "Operation Timeout",
    "Deadlock",
    "Out of Range",
    "Null argument",
    "Invalid argument/data",
    "Buffer error",
    "General error",
    "Version Conflict",
    "Unsuported command.operation",
    "Error during connect ",
    "Checksum error",
    "",
    "Unknown RUNO error",
};
constexpr int kMessageCount = sizeof kMessages / sizeof kMessages[0];
static_assert(kMessageCount == 37);

}  // namespace

const char* statusMessage(int code) {
    if (code < 0 || code >= kMessageCount) return kMessages[kMessageCount - 1];
    return kMessages[code];
}

}  // namespace vorl
