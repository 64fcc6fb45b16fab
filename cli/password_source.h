#pragma once
// Where an unattended run's password comes from: a file (--password-file) or the environment
// (VORL_PASSWORD). Never from the command line; without either the prompt asks for it.
#include <cstddef>
#include <string>

namespace vorl::cli {

struct PasswordSource {
    bool given = false;  // a password was found; the prompt is not shown
    std::string password;
    int status = 0;     // non-zero: the file was refused or could not be read
    std::string error;  // then: why, for the user
    bool failed() const { return status != 0; }
};

// The password from `fileName` (its first line, without the line end) when it is not nullptr,
// else from VORL_PASSWORD when that is set. The file is opened without waiting and checked as
// opened: one that other accounts may read is refused (status 5), so is one that cannot be
// opened or read or is no regular file (a FIFO, a device: status 14), and one whose first line is
// empty or longer than `maxLength` (status 26). Each refusal names its reason on standard error.
PasswordSource passwordSource(const char* fileName, size_t maxLength);

}  // namespace vorl::cli
