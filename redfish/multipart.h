#pragma once
// A strict multipart/form-data reader for uploads: the parts of a request body, each with the
// name and file name of its Content-Disposition and its Content-Type. Nothing is copied but the
// header values; every length is checked and anything malformed is refused whole.
#include <string>
#include <string_view>
#include <vector>

namespace vorl::redfish {

struct MultipartPart {
    std::string name;         // the form field's name
    std::string filename;     // empty when the part carries none
    std::string contentType;  // empty when the part carries none
    std::string_view body;    // inside the body given to parseMultipart
};

// At most this many parts, and this many header bytes per part.
constexpr size_t kMaxParts = 8;
constexpr size_t kMaxPartHeader = 4096;

// Reads `body` sent with `contentType` ("multipart/form-data; boundary=..."). True with the
// parts; false with the reason in `error` ("no boundary in the Content-Type", ...).
bool parseMultipart(std::string_view contentType, std::string_view body,
                    std::vector<MultipartPart>& parts, std::string& error);

}  // namespace vorl::redfish
