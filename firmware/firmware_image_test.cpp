#include "firmware/firmware_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "firmware/image_builder.h"
#include "tests/support/temp_dir.h"
#include "wire/byte_order.h"

namespace vorl {
namespace {

class ImageFileTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = dir.file(name);
        EXPECT_TRUE(ImageBuilder::writeFile(path, bytes));
        return path;
    }
    test::TempDir dir;
    FirmwareImage image;
};

TEST(ModuleHeaderChecksum, IsTheByteSumWithoutByte45Modulo100) {
    uint8_t header[48];
    std::memset(header, 0xFF, sizeof header);
    EXPECT_EQ(FirmwareImage::headerChecksum(header), (47 * 255) % 100);  // byte 45 ignored
    header[45] = 0;
    EXPECT_EQ(FirmwareImage::headerChecksum(header), 85);
    std::memset(header, 0, sizeof header);
    header[0] = 99;
    header[1] = 2;
    EXPECT_EQ(FirmwareImage::headerChecksum(header), 1);
}

TEST(ModuleVersion, TextAndOrder) {
    EXPECT_EQ(FirmwareImage::versionText(0x1203), "1.2.3");
    EXPECT_EQ(FirmwareImage::versionText(0xF0FF), "15.0.255");
    EXPECT_TRUE(FirmwareImage::isNewerVersion(0x1203, 0x1130));
    EXPECT_FALSE(FirmwareImage::isNewerVersion(0x1130, 0x1203));
    EXPECT_FALSE(FirmwareImage::isNewerVersion(0x1203, 0x1203));
    EXPECT_TRUE(FirmwareImage::isNewerVersion(0x2000, 0x1FFF));  // major beats minor and build
}

TEST(ModuleSignature, NamesInAnyCaseAndUnknownNames) {
    char signature[8];
    EXPECT_EQ(FirmwareImage::moduleSignature("cOnFiG", signature), 0);
    EXPECT_EQ(std::memcmp(signature, "$$CONF$$", 8), 0);
    EXPECT_EQ(FirmwareImage::moduleSignature("boot", signature), 0);
    EXPECT_EQ(std::memcmp(signature, "$$BOOT$$", 8), 0);
    EXPECT_EQ(FirmwareImage::moduleSignature("KERNEL", signature), 1);
    EXPECT_EQ(std::memcmp(signature, "UNKNOWN\0", 8), 0);
}

TEST(Crc32, StandardCheckValueAndPiecesCarryTheRegister) {
    const uint8_t text[] = "123456789";
    EXPECT_EQ(FirmwareImage::crc32(text, 9), 0xCBF43926u);
    EXPECT_EQ(FirmwareImage::crc32(text, 0), 0u);
    uint32_t crc = FirmwareImage::crc32Update(0, text, 4);
    crc = FirmwareImage::crc32Update(crc, text + 4, 5);
    EXPECT_EQ(crc, 0xCBF43926u);
}

TEST_F(ImageFileTest, FindModuleLooksOnlyAtBlockStartsAndTakesTheNearestCopy) {
    std::vector<uint8_t> bytes(5 * kFlashBlockSize, 0);
    ModuleSpec entry = defaultModuleLayout()[1];  // DIAG
    entry.dataLength = 100;
    ImageBuilder::placeModule(bytes, kFlashBlockSize + 16, entry);  // not at a boundary
    ImageBuilder::placeModule(bytes, 3 * kFlashBlockSize, entry);
    entry.version = 0x2000;
    ImageBuilder::placeModule(bytes, 4 * kFlashBlockSize, entry);
    FilePtr file = openFile(write("find.ima", bytes), "rb");

    ModuleHeader header;
    EXPECT_EQ(image.findModule(file.get(), "$$DIAG$$", header), 3L * kFlashBlockSize);
    EXPECT_EQ(header.version, 0x1203);
    EXPECT_EQ(header.dataLength, 100u);
    EXPECT_EQ(image.findModule(file.get(), "$$SDKS$$", header), -1);
}

TEST_F(ImageFileTest, FindModuleInAShortLastBlockGivesThatBlocksOwnStart) {
    std::vector<uint8_t> bytes(kFlashBlockSize + 200, 0);
    ModuleSpec entry = defaultModuleLayout()[2];  // OS
    entry.dataLength = 10;
    ImageBuilder::placeModule(bytes, kFlashBlockSize, entry);
    FilePtr file = openFile(write("short.ima", bytes), "rb");
    ModuleHeader header;
    EXPECT_EQ(image.findModule(file.get(), "$$$OS$$$", header), static_cast<long>(kFlashBlockSize));

    // A trailing piece shorter than a header is never compared.
    bytes.resize(kFlashBlockSize + 20);
    FilePtr cut = openFile(write("cut.ima", bytes), "rb");
    EXPECT_EQ(image.findModule(cut.get(), "$$$OS$$$", header), -1);
}

TEST_F(ImageFileTest, CheckModuleResults) {
    std::vector<uint8_t> bytes(2 * kFlashBlockSize, 0);
    ModuleSpec entry = defaultModuleLayout()[5];  // CONFIG
    entry.dataLength = 1000;
    ImageBuilder::placeModule(bytes, 0, entry);
    const std::string path = write("check.ima", bytes);
    FilePtr file = openFile(path, "rb");
    EXPECT_EQ(image.checkModule(file.get(), 0), 0);

    std::vector<uint8_t> broken = bytes;
    ImageBuilder::breakHeaderChecksum(broken, 0);
    FilePtr badHeader = openFile(write("header.ima", broken), "rb");
    EXPECT_EQ(image.checkModule(badHeader.get(), 0), 1);

    broken = bytes;
    ImageBuilder::breakModuleData(broken, 0);
    FilePtr badData = openFile(write("data.ima", broken), "rb");
    EXPECT_EQ(image.checkModule(badData.get(), 0), 2);

    // Data that run past the end of the file fail with 2, a cut header with 1.
    broken.assign(bytes.begin(), bytes.begin() + 48 + 999);
    FilePtr cutData = openFile(write("cutdata.ima", broken), "rb");
    EXPECT_EQ(image.checkModule(cutData.get(), 0), 2);
    broken.assign(bytes.begin(), bytes.begin() + 47);
    FilePtr cutHeader = openFile(write("cuthead.ima", broken), "rb");
    EXPECT_EQ(image.checkModule(cutHeader.get(), 0), 1);
}

TEST_F(ImageFileTest, EmptyModuleNeedsCrcFieldZero) {
    std::vector<uint8_t> bytes(kFlashBlockSize, 0);
    ModuleSpec entry = defaultModuleLayout()[3];
    entry.dataLength = 0;
    ImageBuilder::placeModule(bytes, 0, entry);
    FilePtr file = openFile(write("empty.ima", bytes), "rb");
    EXPECT_EQ(image.checkModule(file.get(), 0), 0);

    putBe32(bytes.data() + 28, 1);
    bytes[45] = FirmwareImage::headerChecksum(bytes.data());
    FilePtr wrong = openFile(write("empty1.ima", bytes), "rb");
    EXPECT_EQ(image.checkModule(wrong.get(), 0), 2);
}

TEST_F(ImageFileTest, ValidateImageFileStatuses) {
    const std::vector<uint8_t> good = ImageBuilder().build();
    EXPECT_EQ(FirmwareImage::validateImageFile(write("good.ima", good)), 0);
    EXPECT_EQ(FirmwareImage::validateImageFile(write("GOOD.IMA", good)), 28);
    EXPECT_EQ(FirmwareImage::validateImageFile(write("old.ima.bak", good)), 0);
    EXPECT_EQ(FirmwareImage::validateImageFile(dir.file("missing.ima")), 14);

    ImageBuilder noBoot;
    noBoot.remove("BOOT");
    EXPECT_EQ(FirmwareImage::validateImageFile(write("noboot.ima", noBoot.build())), 0);

    ImageBuilder noSdk;
    noSdk.remove("SDK");
    EXPECT_EQ(FirmwareImage::validateImageFile(write("nosdk.ima", noSdk.build())), 34);

    std::vector<uint8_t> bad = good;
    ImageBuilder::breakModuleData(bad, 43);  // FPGA
    EXPECT_EQ(FirmwareImage::validateImageFile(write("bad.ima", bad)), 34);
}

TEST_F(ImageFileTest, CheckImageModulesTellsMissingFromBroken) {
    ImageBuilder noWeb;
    noWeb.remove("WEB");
    FilePtr missing = openFile(write("noweb.ima", noWeb.build()), "rb");
    EXPECT_EQ(image.checkImageModules(missing.get()), 1);

    std::vector<uint8_t> bad = ImageBuilder().build();
    ImageBuilder::breakHeaderChecksum(bad, 51);  // SDK, the last one checked
    FilePtr broken = openFile(write("badsdk.ima", bad), "rb");
    EXPECT_EQ(image.checkImageModules(broken.get()), 2);
}

}  // namespace
}  // namespace vorl
