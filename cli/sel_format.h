#pragma once
// How vorlcli shows event log times and records: as data, and as the console texts.
#include <cstdint>
#include <ctime>
#include <string>

#include "cli/report.h"

namespace vorl::cardread {
struct EventLogEntry;
}

namespace vorl::cli {

// A card time stamp as local time in the 24-character form "Www Mmm dd hh:mm:ss yyyy" and a
// newline; "<seconds> (invalid time)" and a newline when local time cannot represent it.
std::string formatSelTime(uint32_t seconds);
// The same from a local time already converted; `local` null means the conversion failed.
std::string formatSelTime(uint32_t seconds, const std::tm* local);

// A severity code as a lower-case word ("warning"), or null for a code without a name.
Json selSeverityName(uint8_t severity);

// One record as data; the event string only when the extended listing read it.
Json selRecordData(const cardread::EventLogEntry& entry);

// Prints one record of the listing from its data; the event string only when the data has one.
void printSelRecord(const Json& record);

}  // namespace vorl::cli
