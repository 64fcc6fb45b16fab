#pragma once
// Where an unattended run's password comes from: a file (--password-file) or the environment
// (VORL_PASSWORD). Never from the command line; without either the prompt asks for it.
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
// else from VORL_PASSWORD when that is set. A file that other accounts may read is refused
// (status 5) and so is one that cannot be read (status 14); the reason is printed on standard
// error.
PasswordSource passwordSource(const char* fileName);

}  // namespace vorl::cli
