#pragma once
// Checks of the words of the -Net, -Gen and -HB groups. The rules the configuration program
// shares (addresses, names, the card's word tables) are in protocol/entry_rules.h.
#include <cstdint>
#include <string>

#include "protocol/entry_rules.h"

namespace vorl::cli {

// Reads a number as atoi does: leading blanks, an optional sign, digits up to the first other
// character; no digits read as 0. False when the number does not fit 32 bits.
bool readDecimalWord(const std::string& word, int32_t& value);

}  // namespace vorl::cli
