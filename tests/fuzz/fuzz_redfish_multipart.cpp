// vorl_redfish's upload reader: the first line of the input is the Content-Type, the rest the
// body; every part read must lie inside the body.
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "redfish/multipart.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl::redfish;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t line = input.find('\n');
    if (line == std::string_view::npos) return 0;
    const std::string_view body = input.substr(line + 1);
    std::vector<MultipartPart> parts;
    std::string error;
    if (parseMultipart(input.substr(0, line), body, parts, error)) {
        if (parts.empty() || parts.size() > kMaxParts) std::abort();
        for (const MultipartPart& part : parts)
            if (part.body.data() < body.data() ||
                part.body.data() + part.body.size() > body.data() + body.size())
                std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
