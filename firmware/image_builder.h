#pragma once
// Builds firmware images: the default image that the simulated card ships with and writes out,
// and variants for tests (other versions, misplaced or resized modules, broken checksums).
#include <cstdint>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"

namespace vorl {

// One module of an image and the flash section it occupies.
struct ModuleSpec {
    std::string name;  // "OS", "CONFIG", ...
    char signature[8] = {};
    uint16_t firstBlock = 0;
    uint16_t blockCount = 0;
    uint16_t version = 0;
    uint32_t allocatedSize = 0;  // header offset 16; the section size unless a test changes it
    uint32_t dataLength = 0;     // header offset 20
    uint8_t seed = 0;            // varies the module data
};

// The flash layout of the default image: BOOT at block 0, then DIAG, OS, WEB, FPGA, CONFIG
// and SDK; the blocks after SDK are unused. The simulated card's section table is this list.
std::vector<ModuleSpec> defaultModuleLayout();

class ImageBuilder {
public:
    // Starts from the default layout.
    ImageBuilder();

    std::vector<ModuleSpec>& modules() { return modules_; }
    // The module of that name, or nullptr.
    ModuleSpec* module(const std::string& name);
    // Drops a module from the image (its blocks stay erased).
    void remove(const std::string& name);

    // The whole image: 64 blocks, erased bytes 0xFF, each module's header and data in place.
    std::vector<uint8_t> build() const;

    // Writes `bytes` to `path`. Returns false when the file could not be written whole.
    static bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

    // Breakage for tests, on built bytes: a header checksum that no longer matches, one
    // changed data byte (CRC mismatch).
    static void breakHeaderChecksum(std::vector<uint8_t>& image, uint16_t block);
    static void breakModuleData(std::vector<uint8_t>& image, uint16_t block);

    // Writes a valid header for `entry` at `offset` (any offset, block boundary or not) and the
    // data after it, clipped to `image`.
    static void placeModule(std::vector<uint8_t>& image, size_t offset, const ModuleSpec& entry);

private:
    std::vector<ModuleSpec> modules_;
};

}  // namespace vorl
