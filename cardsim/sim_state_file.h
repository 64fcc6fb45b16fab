#pragma once
// State files of the simulated card, written so that a crash never leaves half a file: the bytes
// go to "<name>.tmp" first, which then replaces the file in one rename.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vorl::sim {

// Writes `bytes` as `file`. Returns false (with the reason in `error`) when it could not; the
// previous file, if any, is then left as it was.
bool writeStateFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes,
                    std::string& error);

// Reads the whole of `file` (at most `maxSize` bytes). Returns false when it does not exist, is
// larger or cannot be read; `error` stays empty when the file is simply missing.
bool readStateFile(const std::filesystem::path& file, size_t maxSize, std::vector<uint8_t>& bytes,
                   std::string& error);

}  // namespace vorl::sim
