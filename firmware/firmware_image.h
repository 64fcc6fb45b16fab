#pragma once
// Firmware image files: 64 blocks of 65,536 bytes, block 0 the boot block, each module starting
// at a block boundary with a 48-byte big-endian module header. Results are plain integers.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vorl {

constexpr uint32_t kFlashBlockSize = 65536;
constexpr int kFlashBlockCount = 64;

// The 48-byte header at the start of a module's first block, decoded into host order. The raw
// bytes are kept so that fields the host does not interpret travel unchanged.
struct ModuleHeader {
    static constexpr size_t kSize = 48;
    static constexpr size_t kChecksumOffset = 45;

    uint8_t raw[kSize] = {};
    char signature[8] = {};      // offset 8, no terminator
    uint32_t allocatedSize = 0;  // offset 16: size of the module's flash section
    uint32_t dataLength = 0;     // offset 20: bytes of module data after the header
    uint32_t crc = 0;            // offset 28: CRC-32 of the module data
    uint16_t version = 0;        // offset 34
    uint8_t checksum = 0;        // offset 45

    // Decodes 48 bytes (big-endian numbers) into the fields.
    static ModuleHeader decode(const uint8_t* bytes);
    // Writes the fields into `raw` (big-endian), leaving the uninterpreted bytes as they are.
    void encode();
};

// Owns a C stream; the file is closed on every path.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;
// Opens `path` with a stdio `mode` ("rb", "wb", "r+b"); null on failure.
FilePtr openFile(const std::string& path, const char* mode);

// Reads up to `size` bytes at the current position, retrying short reads until the end of the
// file or an error. Returns the number of bytes read.
size_t readFully(std::FILE* file, uint8_t* out, size_t size);

// The checks of an image file. One instance owns the 64 KiB work buffer that findModule and
// checkModule share, so calls on one instance must not overlap; separate instances are
// independent (a worker thread uses its own).
class FirmwareImage {
public:
    FirmwareImage();

    // Writes the 8-byte signature for a module name ("OS", "CONFIG", ... any case) into `out`
    // and returns 0; for any other name writes "UNKNOWN" and a NUL and returns 1.
    static int moduleSignature(const std::string& name, char out[8]);

    // Looks at each block start from the beginning of `file` for `signature` at offset 8.
    // Returns the offset of the first such block and fills `header`; -1 when none carries it.
    // Only blocks of at least 48 bytes are compared; the search stops at the first empty read.
    long findModule(std::FILE* file, const char signature[8], ModuleHeader& header);

    // 0 when the module at `offset` is intact; 1 when its header is short or its checksum is
    // wrong; 2 when its data run past the end of the file or their CRC-32 does not match.
    int checkModule(std::FILE* file, long offset);

    // 0 when DIAG, OS, WEB, FPGA, CONFIG and SDK are present and intact (checked in that
    // order); 1 when one is missing; 2 when one fails checkModule. The first failure ends it.
    int checkImageModules(std::FILE* file);

    // 0 for a valid image; 28 when the path does not contain ".ima" (case-sensitive); 14 when
    // the file cannot be opened; 34 when the module check fails.
    static int validateImageFile(const std::string& path);

    // Sum of the 48 header bytes with byte 45 taken as 0, modulo 100.
    static uint8_t headerChecksum(const uint8_t* header);

    // The standard reflected CRC-32 (zlib's). crc32Update carries the register across pieces:
    // start with crc32Update(0, ...) and pass the result on.
    static uint32_t crc32(const uint8_t* data, size_t length);
    static uint32_t crc32Update(uint32_t crc, const uint8_t* data, size_t length);

    // "%d.%d.%d" of major (bits 15-12), minor (11-8) and build (7-0).
    static std::string versionText(uint16_t version);
    // True when `a` is newer than `b` by major, then minor, then build.
    static bool isNewerVersion(uint16_t a, uint16_t b);

    // The six modules a valid image must hold, in validation order.
    static constexpr const char* kRequiredModules[6] = {"DIAG", "OS",     "WEB",
                                                        "FPGA", "CONFIG", "SDK"};

private:
    std::unique_ptr<uint8_t[]> work_;
};

}  // namespace vorl
