#include "cardsim/sim_settings_file.h"

#include <fstream>
#include <iostream>
#include <system_error>

namespace vorl::sim {

SettingsMap readSettingsFile(const std::filesystem::path& path) {
    SettingsMap settings;
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return settings;
    std::ifstream in(path);
    if (!in) {
        std::cerr << "vorlsim: cannot read " << path.string() << ", keeping defaults\n";
        return settings;
    }
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        settings[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return settings;
}

void writeSettingsFile(const std::filesystem::path& path, const SettingsMap& settings) {
    const std::filesystem::path temporary = path.string() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const auto& [key, value] : settings) out << key << '=' << value << '\n';
        out.flush();
        if (!out) {
            std::cerr << "vorlsim: cannot write " << temporary.string() << "\n";
            return;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error)
        std::cerr << "vorlsim: cannot replace " << path.string() << ": " << error.message() << "\n";
}

std::string toHex(const uint8_t* bytes, size_t length) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (size_t i = 0; i < length; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return hex;
}

bool fromHex(const std::string& hex, std::vector<uint8_t>& bytes) {
    auto value = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (hex.size() % 2 != 0) return false;
    std::vector<uint8_t> result;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = value(hex[i]);
        const int low = value(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        result.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    bytes = std::move(result);
    return true;
}

bool parseDecimal(const std::string& text, int64_t& value) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) i = 1;
    if (i == text.size() || text.size() - i > 18) return false;
    int64_t result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        result = result * 10 + (text[i] - '0');
    }
    value = negative ? -result : result;
    return true;
}

}  // namespace vorl::sim
