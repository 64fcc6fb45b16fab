#pragma once
// Texts in a document: a card's text need not be UTF-8, a JSON document must be. A text that is
// not UTF-8 is given byte for byte as Latin-1 (each byte its own character, so no two texts
// become one and nothing turns into U+FFFD), and inside the data its exact bytes stand beside it
// in hexadecimal.
#include <string>
#include <string_view>

#include "cli/report.h"

namespace vorl::cli {

// True when `text` is well-formed UTF-8 (no overlong forms, surrogates or code points above
// U+10FFFF).
bool isUtf8(std::string_view text);

// Each byte of `text` as the character of the same number, in UTF-8.
std::string latin1AsUtf8(std::string_view text);

// Rewrites every text in `value` that is not UTF-8 as latin1AsUtf8. With `addHex`, an object
// member NAME that was rewritten gets a member "NAME_as_received_hex" ("NAME_hex" when NAME ends
// in "_as_received") with its bytes as lower-case hexadecimal; not when a member
// "NAME_as_received" already carries the card's bytes.
void keepExactText(Json& value, bool addHex);

}  // namespace vorl::cli
