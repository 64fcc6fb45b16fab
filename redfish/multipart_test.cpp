// The upload reader: a real client's form read back part by part, and every malformed body
// refused whole rather than read past its end.
#include "redfish/multipart.h"

#include <gtest/gtest.h>

namespace vorl::redfish {
namespace {

constexpr const char* kType = "multipart/form-data; boundary=\"b0;x\"";

TEST(MultipartTest, ReadsTheParts) {
    const std::string body =
        "preamble\r\n--b0;x\r\n"
        "Content-Disposition: form-data; name=\"UpdateParameters\"\r\n"
        "Content-Type: application/json; charset=utf-8\r\n\r\n"
        "{\"Targets\":[]}\r\n--b0;x\r\n"
        "content-disposition: form-data; filename=\"a;b.ima\"; name=UpdateFile\r\n\r\n"
        "\r\n--b0;\r\nbytes\r\n--b0;x--\r\n";
    std::vector<MultipartPart> parts;
    std::string error;
    ASSERT_TRUE(parseMultipart(kType, body, parts, error)) << error;
    ASSERT_EQ(2u, parts.size());
    EXPECT_EQ("UpdateParameters", parts[0].name);
    EXPECT_EQ("application/json", parts[0].contentType);
    EXPECT_EQ("{\"Targets\":[]}", parts[0].body);
    EXPECT_EQ("UpdateFile", parts[1].name);
    EXPECT_EQ("a;b.ima", parts[1].filename);
    EXPECT_EQ("\r\n--b0;\r\n", parts[1].body.substr(0, 9));
}

TEST(MultipartTest, RefusesMalformedBodies) {
    const std::string part = "--b\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\ndata";
    const std::string many = [] {
        std::string text;
        for (int i = 0; i < 9; ++i)
            text += "--b\r\nContent-Disposition: form-data; name=p\r\n\r\n\r\n";
        return text + "--b--";
    }();
    const std::pair<const char*, std::string> cases[] = {
        {"text/plain; boundary=b", part + "\r\n--b--"},
        {"multipart/form-data", part + "\r\n--b--"},
        {"multipart/form-data; boundary=\"b", part + "\r\n--b--"},
        {"multipart/form-data; boundary=b", part},        // never closed
        {"multipart/form-data; boundary=b", "--b--"},     // no parts
        {"multipart/form-data; boundary=b", "--bX\r\n"},  // not a line end
        {"multipart/form-data; boundary=b", "--b\r\nname\r\n\r\nx\r\n--b--"},
        {"multipart/form-data; boundary=b",
         "--b\r\nContent-Disposition: attachment; name=x"
         "\r\n\r\nx\r\n--b--"},
        {"multipart/form-data; boundary=b", "--b\r\nContent-Type: a/b\r\n\r\nx\r\n--b--"},
        {"multipart/form-data; boundary=b", "--b\r\nX: " + std::string(5000, 'y') + "\r\n\r\n"},
        {"multipart/form-data; boundary=b", many},
    };
    for (const auto& [type, body] : cases) {
        std::vector<MultipartPart> parts;
        std::string error;
        EXPECT_FALSE(parseMultipart(type, body, parts, error)) << type << " | " << body;
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
}  // namespace vorl::redfish
