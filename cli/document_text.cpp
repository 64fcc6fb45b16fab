#include "cli/document_text.h"

#include <utility>
#include <vector>

namespace vorl::cli {
namespace {

constexpr std::string_view kAsReceived = "_as_received";

bool endsWith(const std::string& text, std::string_view end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

// The member that carries a rewritten member's bytes, or "" when another member already does.
std::string hexMemberName(const Json& object, const std::string& name) {
    if (endsWith(name, kAsReceived)) return name + "_hex";
    if (object.contains(name + std::string(kAsReceived))) return "";
    return name + std::string(kAsReceived) + "_hex";
}

// Rewrites `text` when it is not UTF-8; true when it did.
bool rewrite(Json& text) {
    const std::string& bytes = text.get_ref<const std::string&>();
    if (isUtf8(bytes)) return false;
    text = latin1AsUtf8(bytes);
    return true;
}

}  // namespace

bool isUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t point = 0;
        uint32_t minimum = 0;
        if (lead < 0x80) {
            ++i;
            continue;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2, point = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, point = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, point = lead & 0x07, minimum = 0x10000;
        } else {
            return false;
        }
        if (text.size() - i < length) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            point = (point << 6) | (next & 0x3F);
        }
        if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string latin1AsUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (byte >> 6));
            out += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return out;
}

void keepExactText(Json& value, bool addHex) {
    if (value.is_array()) {
        for (Json& item : value) {
            if (item.is_string())
                rewrite(item);
            else
                keepExactText(item, addHex);
        }
        return;
    }
    if (!value.is_object()) return;
    std::vector<std::pair<std::string, std::string>> added;
    for (auto& [name, member] : value.items()) {
        if (!member.is_string()) {
            keepExactText(member, addHex);
            continue;
        }
        const std::string& bytes = member.get_ref<const std::string&>();
        if (isUtf8(bytes)) continue;
        const std::string hexName = addHex ? hexMemberName(value, name) : "";
        if (!hexName.empty()) added.emplace_back(hexName, hexOf(bytes));
        rewrite(member);
    }
    for (auto& [name, hex] : added) value[name] = std::move(hex);
}

}  // namespace vorl::cli
