#pragma once
// Card times as documents for machines show them (vorlcli --json, the Redfish service): RFC 3339
// in UTC, whatever the local zone.
#include <cstdint>
#include <string>

namespace vorl::cardread {

// "YYYY-MM-DDThh:mm:ssZ" for seconds since 1970-01-01 00:00:00 UTC (negative: before 1970).
// Pure arithmetic: no time zone, no C library table, the same on every platform.
std::string utcTimeText(int64_t seconds);

}  // namespace vorl::cardread
