#pragma once
// The card's event log as plain data, decoded once for every program: vorlcli's listing and
// documents, the Redfish log service.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vorl {
class CardSession;
struct SelRecord;
}  // namespace vorl

namespace vorl::cardread {

// "information", "return_to_ok", "warning", "critical" or "fatal"; nullptr for a code the card
// does not define.
const char* severityName(uint8_t severity);

struct EventLogEntry {
    uint16_t index = 0;  // the place the record was asked for, from 1 (records move up when an
                         // older one is deleted or rolled over)
    uint16_t id = 0;     // the record number the card wrote in its answer (the same, normally)
    uint32_t time = 0;   // seconds since 1970-01-01 00:00 UTC
    uint16_t eventId = 0;
    uint8_t severity = 0;
    std::array<uint8_t, 32> data{};
    bool hasDescription = false;  // read with the event string (the extended record)
    std::string description;

    uint8_t module() const { return static_cast<uint8_t>(eventId >> 8); }
    uint8_t event() const { return static_cast<uint8_t>(eventId & 0xFF); }
};

// The record read from place `index`; `description` null: a plain record without event string.
EventLogEntry decodeEventLogEntry(const SelRecord& record, uint16_t index, const char* description);

struct EventLogFailure {
    uint16_t index = 0;
    int status = 0;
};

struct EventLog {
    bool counted = false;  // the card told how many records it holds
    uint16_t recordCount = 0;
    std::vector<EventLogEntry> entries;     // in record order
    std::vector<EventLogFailure> failures;  // records the card would not give, in order
};

// Reads the record count, then records 1 to count (`extended`: with their event strings). A
// record the card refuses is noted and skipped; a lost connection (33) or the all-ones status
// ends the reading. Returns the count's status when it failed, else 0 when every record came,
// else the last failing read's status: a log with gaps is not a success.
int readEventLog(CardSession& session, bool extended, EventLog& log);

// Reads the newest record, then older ones, at most `limit` of them, and stops at the first
// for which `wanted` is true: `found` then holds it and `foundOne` is true. Returns 0, or the
// status of the failure that ended the search (`foundOne` false).
int findNewestEntry(CardSession& session, uint16_t limit, bool (*wanted)(const EventLogEntry&),
                    EventLogEntry& found, bool& foundOne);

}  // namespace vorl::cardread
