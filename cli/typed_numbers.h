#pragma once
// Numbers typed by the user for the event log and advanced commands, checked before they are
// narrowed into a record field.
#include <cstdint>
#include <string>

namespace vorl::cli {

// A whole word of decimal digits with an optional sign. False when anything else is in the
// word, when it has no digit, or when the value does not fit 32 bits.
bool readWholeDecimal(const std::string& word, int32_t& value);

// The leading decimal number of a word as atoi reads it (blanks, sign, digits; 0 without
// digits), held at INT32_MIN / INT32_MAX when it is larger, so that a range check still sees
// that it is out of range.
int32_t leadingDecimal(const std::string& word);

// A one-byte bus address: "0x" or "0X" followed by one or two hexadecimal digits, or a whole
// decimal number from 0 to 255. False for anything else.
bool readByteAddress(const std::string& word, uint8_t& address);

}  // namespace vorl::cli
