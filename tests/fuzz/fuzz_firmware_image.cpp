// Firmware image files and module headers: an ".ima" file with the input as its content is
// validated, and every module of it looked up and checked.
#include <cstdio>
#include <filesystem>
#include <string>

#include "firmware/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl;
    static const std::string path =
        (std::filesystem::temp_directory_path() / "vorl_fuzz_image.ima").string();
    if (size >= ModuleHeader::kSize) {
        const ModuleHeader header = ModuleHeader::decode(data);
        FirmwareImage::headerChecksum(data);
        FirmwareImage::versionText(header.version);
    }
    {
        FilePtr file = openFile(path, "wb");
        if (!file) return 0;
        if (size > 0 && std::fwrite(data, 1, size, file.get()) != size) return 0;
    }
    FirmwareImage::validateImageFile(path);
    FilePtr file = openFile(path, "rb");
    if (!file) return 0;
    FirmwareImage image;
    for (const char* name : {"OS", "CONFIG", "SDK", "WEB", "FPGA", "DIAG", "BOOT"}) {
        char signature[8];
        FirmwareImage::moduleSignature(name, signature);
        ModuleHeader header;
        const long offset = image.findModule(file.get(), signature, header);
        if (offset >= 0) image.checkModule(file.get(), offset);
    }
    return 0;
}
