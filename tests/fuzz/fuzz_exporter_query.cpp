// vorl_exporter's query-string handling: what anyone who reaches the port can send to /probe.
#include <map>
#include <string>
#include <string_view>

#include "exporter/exporter_config.h"
#include "exporter/query_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl::exporter;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> values;
    if (!parseQuery(text, values)) return 0;
    for (const auto& [key, value] : values)
        for (char c : key + value)
            if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    Target target;
    if (parseTarget(values["target"], target)) {
        uint32_t address;
        if (!parseAddress(target.address, address) || target.port == 0) __builtin_trap();
    }
    AddressRange range;
    parseRange(values["module"], range);
    return 0;
}
