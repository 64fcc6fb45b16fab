#include "firmware/image_builder.h"

#include <cstring>

namespace vorl {
namespace {

struct DefaultSection {
    const char* name;
    uint16_t firstBlock;
    uint16_t blockCount;
    uint16_t version;
};
constexpr DefaultSection kDefaultSections[] = {
    {"BOOT", 0, 1, 0x1100},  {"DIAG", 1, 2, 0x1203},  {"OS", 3, 28, 0x1203},
    {"WEB", 31, 12, 0x1203}, {"FPGA", 43, 4, 0x1102}, {"CONFIG", 47, 4, 0x1203},
    {"SDK", 51, 4, 0x1201},
};
// Module data leave the end of each section erased, as a real build does.
constexpr uint32_t kSectionSlack = 4096;

uint8_t dataByte(const ModuleSpec& entry, size_t i) {
    const uint32_t x = static_cast<uint32_t>(i) * 2654435761u + entry.seed * 97u +
                       static_cast<uint8_t>(entry.signature[3]) * 131u + entry.version;
    return static_cast<uint8_t>(x >> 13);
}

}  // namespace

std::vector<ModuleSpec> defaultModuleLayout() {
    std::vector<ModuleSpec> layout;
    for (const DefaultSection& section : kDefaultSections) {
        ModuleSpec entry;
        entry.name = section.name;
        FirmwareImage::moduleSignature(section.name, entry.signature);
        entry.firstBlock = section.firstBlock;
        entry.blockCount = section.blockCount;
        entry.version = section.version;
        entry.allocatedSize = section.blockCount * kFlashBlockSize;
        entry.dataLength = entry.allocatedSize - ModuleHeader::kSize - kSectionSlack;
        layout.push_back(entry);
    }
    return layout;
}

ImageBuilder::ImageBuilder() : modules_(defaultModuleLayout()) {}

ModuleSpec* ImageBuilder::module(const std::string& name) {
    for (ModuleSpec& entry : modules_)
        if (entry.name == name) return &entry;
    return nullptr;
}

void ImageBuilder::remove(const std::string& name) {
    for (auto it = modules_.begin(); it != modules_.end(); ++it) {
        if (it->name == name) {
            modules_.erase(it);
            return;
        }
    }
}

std::vector<uint8_t> ImageBuilder::build() const {
    std::vector<uint8_t> image(static_cast<size_t>(kFlashBlockCount) * kFlashBlockSize, 0xFF);
    for (const ModuleSpec& entry : modules_)
        placeModule(image, static_cast<size_t>(entry.firstBlock) * kFlashBlockSize, entry);
    return image;
}

void ImageBuilder::placeModule(std::vector<uint8_t>& image, size_t offset,
                               const ModuleSpec& entry) {
    if (offset >= image.size()) return;
    const size_t room = image.size() - offset;
    const size_t dataRoom = room > ModuleHeader::kSize ? room - ModuleHeader::kSize : 0;
    const size_t dataLength = entry.dataLength < dataRoom ? entry.dataLength : dataRoom;

    std::vector<uint8_t> data(dataLength);
    for (size_t i = 0; i < dataLength; ++i) data[i] = dataByte(entry, i);

    ModuleHeader header;
    std::memcpy(header.raw, "VORLIMG1", 8);  // firmware-owned bytes, carried unchanged
    std::memcpy(header.signature, entry.signature, 8);
    header.allocatedSize = entry.allocatedSize;
    header.dataLength = entry.dataLength;
    header.crc = FirmwareImage::crc32(data.data(), data.size());
    header.version = entry.version;
    header.encode();
    header.raw[ModuleHeader::kChecksumOffset] = FirmwareImage::headerChecksum(header.raw);

    const size_t headerBytes = room < ModuleHeader::kSize ? room : ModuleHeader::kSize;
    std::memcpy(image.data() + offset, header.raw, headerBytes);
    if (dataLength > 0)
        std::memcpy(image.data() + offset + ModuleHeader::kSize, data.data(), dataLength);
}

bool ImageBuilder::writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FilePtr file = openFile(path, "wb");
    if (!file) return false;
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
    return std::fflush(file.get()) == 0;
}

void ImageBuilder::breakHeaderChecksum(std::vector<uint8_t>& image, uint16_t block) {
    uint8_t& checksum =
        image[static_cast<size_t>(block) * kFlashBlockSize + ModuleHeader::kChecksumOffset];
    checksum = static_cast<uint8_t>((checksum + 1) % 100);
}

void ImageBuilder::breakModuleData(std::vector<uint8_t>& image, uint16_t block) {
    image[static_cast<size_t>(block) * kFlashBlockSize + ModuleHeader::kSize + 7] ^= 0x5A;
}

}  // namespace vorl
