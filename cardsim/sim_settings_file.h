#pragma once
// The state files of the settings groups: one "key=value" line per setting, texts and records
// written as hexadecimal so that any byte survives the round trip.
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vorl::sim {

using SettingsMap = std::map<std::string, std::string>;

// Reads `path`. A missing file gives an empty map; an unreadable one is reported on stderr and
// gives an empty map too. Lines without "=" are ignored.
SettingsMap readSettingsFile(const std::filesystem::path& path);
// Writes `settings` to `path` (through a temporary file, so a crash leaves the old file).
// Failures are reported on stderr.
void writeSettingsFile(const std::filesystem::path& path, const SettingsMap& settings);

std::string toHex(const uint8_t* bytes, size_t length);
// False when `hex` is not an even number of hexadecimal digits.
bool fromHex(const std::string& hex, std::vector<uint8_t>& bytes);
// A decimal 64-bit number with an optional "-"; false when the text is anything else.
bool parseDecimal(const std::string& text, int64_t& value);

}  // namespace vorl::sim
