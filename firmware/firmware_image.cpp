#include "firmware/firmware_image.h"

#include <zlib.h>

#include <cctype>
#include <cstring>

#include "wire/byte_order.h"
#include "wire/status_codes.h"

namespace vorl {
namespace {

struct ModuleName {
    const char* name;
    const char* signature;
};
constexpr ModuleName kModuleNames[] = {
    {"OS", "$$$OS$$$"},   {"CONFIG", "$$CONF$$"}, {"SDK", "$$SDKS$$"},  {"WEB", "$$WEBP$$"},
    {"FPGA", "$$FPGA$$"}, {"DIAG", "$$DIAG$$"},   {"BOOT", "$$BOOT$$"},
};

bool equalsIgnoringCase(const std::string& a, const char* b) {
    const size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

}  // namespace

ModuleHeader ModuleHeader::decode(const uint8_t* bytes) {
    ModuleHeader header;
    std::memcpy(header.raw, bytes, kSize);
    std::memcpy(header.signature, bytes + 8, 8);
    header.allocatedSize = getBe32(bytes + 16);
    header.dataLength = getBe32(bytes + 20);
    header.crc = getBe32(bytes + 28);
    header.version = getBe16(bytes + 34);
    header.checksum = bytes[kChecksumOffset];
    return header;
}

void ModuleHeader::encode() {
    std::memcpy(raw + 8, signature, 8);
    putBe32(raw + 16, allocatedSize);
    putBe32(raw + 20, dataLength);
    putBe32(raw + 28, crc);
    putBe16(raw + 34, version);
    raw[kChecksumOffset] = checksum;
}

FilePtr openFile(const std::string& path, const char* mode) {
    return FilePtr(std::fopen(path.c_str(), mode));
}

size_t readFully(std::FILE* file, uint8_t* out, size_t size) {
    size_t done = 0;
    while (done < size) {
        const size_t got = std::fread(out + done, 1, size - done, file);
        if (got == 0) break;
        done += got;
    }
    return done;
}

FirmwareImage::FirmwareImage() : work_(new uint8_t[kFlashBlockSize]) {}

int FirmwareImage::moduleSignature(const std::string& name, char out[8]) {
    for (const ModuleName& entry : kModuleNames) {
        if (equalsIgnoringCase(name, entry.name)) {
            std::memcpy(out, entry.signature, 8);
            return 0;
        }
    }
    std::memcpy(out, "UNKNOWN", 8);  // seven characters and the NUL
    return 1;
}

long FirmwareImage::findModule(std::FILE* file, const char signature[8], ModuleHeader& header) {
    if (std::fseek(file, 0, SEEK_SET) != 0) return -1;
    long blockStart = 0;
    for (;;) {
        const size_t got = readFully(file, work_.get(), kFlashBlockSize);
        if (got == 0) return -1;
        if (got >= ModuleHeader::kSize && std::memcmp(work_.get() + 8, signature, 8) == 0) {
            header = ModuleHeader::decode(work_.get());
            return blockStart;
        }
        if (got < kFlashBlockSize) return -1;  // that was the last, partial block
        blockStart += static_cast<long>(kFlashBlockSize);
    }
}

int FirmwareImage::checkModule(std::FILE* file, long offset) {
    uint8_t bytes[ModuleHeader::kSize];
    if (std::fseek(file, offset, SEEK_SET) != 0) return 1;
    if (readFully(file, bytes, sizeof bytes) != sizeof bytes) return 1;
    const ModuleHeader header = ModuleHeader::decode(bytes);
    if (headerChecksum(bytes) != header.checksum) return 1;

    // The header was just read, so the position is already offset + 48.
    uint32_t crc = crc32Update(0, nullptr, 0);
    uint32_t remaining = header.dataLength;
    while (remaining > 0) {
        const size_t piece = remaining < kFlashBlockSize ? remaining : kFlashBlockSize;
        if (readFully(file, work_.get(), piece) != piece) return 2;  // data past the end
        crc = crc32Update(crc, work_.get(), piece);
        remaining -= static_cast<uint32_t>(piece);
    }
    return crc == header.crc ? 0 : 2;
}

int FirmwareImage::checkImageModules(std::FILE* file) {
    for (const char* name : kRequiredModules) {
        char signature[8];
        moduleSignature(name, signature);
        ModuleHeader header;
        const long offset = findModule(file, signature, header);
        if (offset < 0) return 1;
        if (checkModule(file, offset) != 0) return 2;
    }
    return 0;
}

int FirmwareImage::validateImageFile(const std::string& path) {
    if (path.find(".ima") == std::string::npos) return kStatusInvalidArgument;
    FilePtr file = openFile(path, "rb");
    if (!file) return kStatusUnableToOpenFile;
    FirmwareImage image;
    return image.checkImageModules(file.get()) == 0 ? kStatusSuccess : kStatusChecksumError;
}

uint8_t FirmwareImage::headerChecksum(const uint8_t* header) {
    unsigned sum = 0;
    for (size_t i = 0; i < ModuleHeader::kSize; ++i) {
        if (i != ModuleHeader::kChecksumOffset) sum += header[i];
    }
    return static_cast<uint8_t>(sum % 100);
}

uint32_t FirmwareImage::crc32(const uint8_t* data, size_t length) {
    return crc32Update(0, data, length);
}

uint32_t FirmwareImage::crc32Update(uint32_t crc, const uint8_t* data, size_t length) {
    uLong value = crc;
    if (data == nullptr) return static_cast<uint32_t>(::crc32(value, Z_NULL, 0));
    // zlib takes the length as uInt; feed very long ranges in pieces.
    while (length > 0) {
        const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
        value = ::crc32(value, data, piece);
        data += piece;
        length -= piece;
    }
    return static_cast<uint32_t>(value);
}

std::string FirmwareImage::versionText(uint16_t version) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%d.%d", (version >> 12) & 0xF, (version >> 8) & 0xF,
                  version & 0xFF);
    return text;
}

bool FirmwareImage::isNewerVersion(uint16_t a, uint16_t b) {
    // The fields are ordered major, minor, build from the top bit down, so the word order is
    // the version order.
    return a > b;
}

}  // namespace vorl
