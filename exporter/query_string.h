#pragma once
// The query string of a request (`target=...&module=...`): split, percent-decoded and checked,
// since it comes from anyone who can reach the port.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace vorl::exporter {

constexpr size_t kMaxQueryLength = 2048;

// Fills `values` (the last of a repeated key wins). False for a query longer than
// kMaxQueryLength, a bad escape, or a control character after decoding.
bool parseQuery(std::string_view query, std::map<std::string, std::string>& values);

// A probe target: a dotted IPv4 address, optionally ":PORT" (default 6577).
struct Target {
    std::string address;
    uint16_t port = 6577;
};
bool parseTarget(const std::string& text, Target& target);

}  // namespace vorl::exporter
