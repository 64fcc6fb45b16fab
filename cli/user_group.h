#pragma once
// Checks of the -user group's words.
#include <string>

namespace vorl::cli {

// True when every character is a letter, a digit, "-" or "_" (an empty text is valid).
bool isValidAccountText(const std::string& text);

}  // namespace vorl::cli
