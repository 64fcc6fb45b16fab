// The secret-file reader: only the first line of a regular, non-empty file is a password; a
// directory, a FIFO (which must not be waited on), a device or an empty file is refused, and a
// file others may read is taken with a warning.
#include "web/secret_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace vorl::web {
namespace {

class SecretFileTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = testing::TempDir() + "vorl-secret-" + std::to_string(::getpid());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string file(const std::string& name, const std::string& text, mode_t mode = 0600) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        ::chmod(path.c_str(), mode);
        return path;
    }

    std::string dir_;
};

TEST_F(SecretFileTest, FirstLineOfAPrivateFileAndAWarningWhenOthersMayReadIt) {
    std::string secret, error, warning = "stale";
    ASSERT_TRUE(readSecretFile(file("pw", "s3cret\r\nsecond line\n"), secret, error, warning))
        << error;
    EXPECT_EQ("s3cret", secret);
    EXPECT_EQ("", warning);
    ASSERT_TRUE(readSecretFile(file("no-newline", "a b\tc"), secret, error, warning));
    EXPECT_EQ("a b\tc", secret);

    ASSERT_TRUE(readSecretFile(file("group", "x\n", 0640), secret, error, warning));
    EXPECT_EQ(
        "is readable by its group (mode 0640); make it 0600 or 0400, owned by the user the "
        "service runs as",
        warning);
    ASSERT_TRUE(readSecretFile(file("world", "x\n", 0604), secret, error, warning));
    EXPECT_EQ(0u, warning.find("is readable by every user (mode 0604)")) << warning;
}

TEST_F(SecretFileTest, AnythingButARegularNonEmptyFileIsRefusedWithoutWaiting) {
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const std::pair<std::string, std::string> cases[] = {
        {dir_, "is a directory, not a regular file"},
        // Nobody writes to it: a blocking open would wait for ever.
        {fifo, "is a FIFO, not a regular file"},
        {"/dev/null", "is a character device, not a regular file"},
        {file("empty", ""), "is empty"},
        {file("blank", "\nsecond\n"), "has an empty first line"},
        {file("crlf", "\r\n"), "has an empty first line"},
        {file("nul", std::string("ab\0cd\n", 6)), "holds a NUL byte in its first line"},
        {file("large", std::string(kMaxSecretFileSize + 1, 'x')), "is larger than 4096 bytes"},
        {dir_ + "/missing", "cannot be opened: No such file or directory"},
    };
    for (const auto& [path, reason] : cases) {
        std::string secret = "unchanged", error, warning;
        EXPECT_FALSE(readSecretFile(path, secret, error, warning)) << path;
        EXPECT_EQ(reason, error) << path;
        EXPECT_EQ("unchanged", secret) << path;
    }
    std::string secret, error, warning;
    EXPECT_TRUE(
        readSecretFile(file("full", std::string(kMaxSecretFileSize, 'y')), secret, error, warning));
    EXPECT_EQ(kMaxSecretFileSize, secret.size());
}

}  // namespace
}  // namespace vorl::web
