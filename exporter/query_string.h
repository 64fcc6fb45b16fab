#pragma once
// The query string of a request (`target=...&module=...`): split, percent-decoded and checked,
// since it comes from anyone who can reach the port.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "protocol/card_address.h"

namespace vorl::exporter {

constexpr size_t kMaxQueryLength = 2048;

// Fills `values` (the last of a repeated key wins). False for a query longer than
// kMaxQueryLength, a bad escape, or a control character after decoding.
bool parseQuery(std::string_view query, std::map<std::string, std::string>& values);

// A probe target: "A.B.C.D" or "A.B.C.D:PORT" (default 6577), strictly as CardAddress reads
// it. The number checked against allowed_targets is the one connected to.
using Target = CardAddress;
// False with `reason` (for the 400 answer).
bool parseTarget(const std::string& text, Target& target, std::string& reason);
bool parseTarget(const std::string& text, Target& target);

}  // namespace vorl::exporter
