#pragma once
// The text fields of a card record (fixed-width char arrays) as strings, and back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/text_field.h"

namespace vorl::cli {

template <size_t N>
void setFieldText(char (&field)[N], const std::string& text) {
    putTextField(reinterpret_cast<uint8_t*>(field), N, text);
}

template <size_t N>
std::string fieldText(const char (&field)[N]) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), N);
}

}  // namespace vorl::cli
