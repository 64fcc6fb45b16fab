#pragma once
// Card clock values as Redfish writes them: "2026-03-07T14:44:00+00:00". The card keeps UTC.
#include <cstdint>
#include <optional>
#include <string>

namespace vorl::redfish {

// Seconds since 1970-01-01 00:00:00 UTC in the form above.
std::string dateTimeText(int64_t seconds);

// "YYYY-MM-DDThh:mm:ss" with optional fractions and "Z" or "+hh:mm" / "-hh:mm"; the moment in
// seconds since 1970-01-01 UTC, or nullopt for anything else (a date that does not exist too).
std::optional<int64_t> parseDateTime(const std::string& text);

}  // namespace vorl::redfish
