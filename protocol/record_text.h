#pragma once
// Text fields of the settings records held as char arrays one byte wider than their card field,
// so that a field the card filled to the brim still reads as a terminated C string.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace vorl {

// Copies the text of a card field (up to its first NUL, at most `width` bytes) into `out`,
// which holds at least width + 1 bytes, and terminates it.
inline void readFieldText(char* out, const uint8_t* field, size_t width) {
    const void* nul = std::memchr(field, 0, width);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : width;
    std::memcpy(out, field, n);
    out[n] = '\0';
}

// Writes the text of `text` (at most `width` characters are taken) into a zero-filled field.
inline void writeFieldText(uint8_t* field, size_t width, const char* text) {
    std::memset(field, 0, width);
    std::memcpy(field, text, strnlen(text, width));
}

// Stores `text` in a record's char array of N bytes (a field of N - 1 bytes plus the
// terminator). Returns false, storing nothing, when the text does not fit the field.
template <size_t N>
bool setRecordText(char (&field)[N], std::string_view text) {
    if (text.size() > N - 1) return false;
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), text.size());
    return true;
}

}  // namespace vorl
