#pragma once
// Records of the user account and SNMP user commands (text and bytes only, no byte order).
#include <cstdint>
#include <string>

namespace vorl {

struct UserRecord {
    static constexpr size_t kSize = 64;
    char name[32] = {};
    char password[32] = {};
    void encode(uint8_t* out) const;  // 64 bytes
};

struct SnmpUserRecord {
    static constexpr size_t kSize = 128;
    char name[32] = {};
    char authProtocol[32] = {};
    char privProtocol[32] = {};
    char password[32] = {};
    void encode(uint8_t* out) const;  // 128 bytes
};

// Copies `text` into a fixed char field: zero-filled, at most `width` bytes, no NUL when full.
void setField(char* field, size_t width, const std::string& text);
// The text of a fixed char field, never read past its width.
std::string fieldText(const char* field, size_t width);

}  // namespace vorl
