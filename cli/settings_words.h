#pragma once
// Checks of the words of the -Net, -Gen and -HB groups.
#include <cstdint>
#include <string>

namespace vorl::cli {

// An address as "%03d.%03d.%03d.%03d" reads it: four numbers of at most three characters, each
// 0..255, separated by "."; text after the fourth number is ignored. A text longer than 31
// characters is refused too, since it could not be sent in its 32-byte field.
bool isValidIpText(const std::string& text);

// Reads a number as atoi does: leading blanks, an optional sign, digits up to the first other
// character; no digits read as 0. False when the number does not fit 32 bits.
bool readDecimalWord(const std::string& word, int32_t& value);

// At most 32 characters, each a letter, a digit, "*", "-" or "_" (the empty name is valid).
bool isValidCardName(const std::string& name);

// Case-insensitive comparison of whole words.
bool equalsIgnoringCase(const std::string& word, const char* keyword);

}  // namespace vorl::cli
