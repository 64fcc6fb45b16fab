#pragma once
// Fixed-width text fields of card records: a shorter text ends with a NUL, a text that fills
// its field has none. These two helpers are the only way text enters or leaves a record.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace vorl {

// Zero-fills the field, then copies at most `width` bytes of `text`.
// Returns false when the text was longer than the field (and was cut).
inline bool putTextField(uint8_t* field, size_t width, std::string_view text) {
    std::memset(field, 0, width);
    const size_t n = text.size() < width ? text.size() : width;
    std::memcpy(field, text.data(), n);
    return text.size() <= width;
}

// Reads the text of a field: up to its first NUL, or the whole width when there is none.
inline std::string getTextField(const uint8_t* field, size_t width) {
    const void* nul = std::memchr(field, 0, width);
    const size_t n = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : width;
    return std::string(reinterpret_cast<const char*>(field), n);
}

}  // namespace vorl
