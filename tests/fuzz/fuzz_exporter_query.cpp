// vorl_exporter's query-string handling: what anyone who reaches the port can send to /probe.
#include <map>
#include <string>
#include <string_view>

#include "exporter/exporter_config.h"
#include "exporter/query_string.h"
#include "platform/sockets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vorl::exporter;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::map<std::string, std::string> values;
    if (!parseQuery(text, values)) return 0;
    for (const auto& [key, value] : values)
        for (char c : key + value)
            if (static_cast<unsigned char>(c) < 0x20) __builtin_trap();
    Target target;
    std::string reason;
    if (parseTarget(values["target"], target, reason)) {
        // What is checked is what is connected to: the canonical text reads back as the same
        // number, also the way inet_addr reads it.
        Target again;
        uint32_t networkOrder = 0;
        if (!parseTarget(target.text(), again, reason) || again.address != target.address ||
            target.port == 0 || !vorl::platform::parseIpv4(target.text().c_str(), networkOrder))
            __builtin_trap();
        const auto* octets = reinterpret_cast<const uint8_t*>(&networkOrder);
        if ((uint32_t{octets[0]} << 24 | uint32_t{octets[1]} << 16 | uint32_t{octets[2]} << 8 |
             octets[3]) != target.address)
            __builtin_trap();
    } else if (reason.empty()) {
        __builtin_trap();  // every refusal says why
    }
    AddressRange range;
    parseRange(values["module"], range, reason);
    return 0;
}
