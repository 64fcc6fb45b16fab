#pragma once
// How vorlcli shows event log times and records.
#include <cstdint>
#include <ctime>
#include <string>

namespace vorl {
struct SelRecord;
}

namespace vorl::cli {

// A card time stamp as local time in the 24-character form "Www Mmm dd hh:mm:ss yyyy" and a
// newline; "<seconds> (invalid time)" and a newline when local time cannot represent it.
std::string formatSelTime(uint32_t seconds);
// The same from a local time already converted; `local` null means the conversion failed.
std::string formatSelTime(uint32_t seconds, const std::tm* local);

// Prints one record of the listing; `description` is printed as the event string when it is
// not null (the extended listing).
void printSelRecord(const SelRecord& record, const char* description);

}  // namespace vorl::cli
