#include "cardread/event_log.h"

#include <cstring>

#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cardread {
namespace {

// Besides a lost connection, the all-ones status ends a listing: the card has nothing more.
constexpr int kListingEnds = 0xFFFF;

bool endsReading(int status) {
    return status == kStatusConnectError || status == kListingEnds;
}

}  // namespace

const char* severityName(uint8_t severity) {
    switch (severity) {
        case kSeverityInformation:
            return "information";
        case kSeverityReturnToOk:
            return "return_to_ok";
        case kSeverityWarning:
            return "warning";
        case kSeverityCritical:
            return "critical";
        case kSeverityFatal:
            return "fatal";
        default:
            return nullptr;
    }
}

EventLogEntry decodeEventLogEntry(const SelRecord& record, uint16_t index,
                                  const char* description) {
    EventLogEntry entry;
    entry.index = index;
    entry.id = record.recordNumber;
    entry.time = record.timestamp;
    entry.eventId = record.eventId;
    entry.severity = record.severity;
    std::memcpy(entry.data.data(), record.eventData, entry.data.size());
    if (description != nullptr) {
        entry.hasDescription = true;
        entry.description = description;
    }
    return entry;
}

int readEventLog(CardSession& session, bool extended, EventLog& log) {
    log = EventLog();
    SelInfo info;
    int result = session.getSelInfo(info);
    if (result != kStatusSuccess) return result;
    log.counted = true;
    log.recordCount = info.recordCount;
    for (uint32_t index = 1; index <= info.recordCount; ++index) {
        SelRecordEx record;
        record.record.recordNumber = static_cast<uint16_t>(index);
        const int status =
            extended ? session.getSelEntryEx(record) : session.getSelEntry(record.record);
        if (status != kStatusSuccess) {
            log.failures.push_back({static_cast<uint16_t>(index), status});
            result = status;
            if (endsReading(status)) break;
            continue;
        }
        const std::string description = getTextField(
            reinterpret_cast<const uint8_t*>(record.description), SelRecordEx::kDescriptionSize);
        log.entries.push_back(decodeEventLogEntry(record.record, static_cast<uint16_t>(index),
                                                  extended ? description.c_str() : nullptr));
    }
    return result;
}

int findNewestEntry(CardSession& session, uint16_t limit, bool (*wanted)(const EventLogEntry&),
                    EventLogEntry& found, bool& foundOne) {
    foundOne = false;
    SelInfo info;
    const int counted = session.getSelInfo(info);
    if (counted != kStatusSuccess) return counted;
    const uint32_t oldest = info.recordCount > limit ? info.recordCount - limit + 1u : 1u;
    for (uint32_t index = info.recordCount; index >= oldest && index > 0; --index) {
        SelRecord record;
        record.recordNumber = static_cast<uint16_t>(index);
        const int status = session.getSelEntry(record);
        if (status != kStatusSuccess) return status;
        EventLogEntry entry = decodeEventLogEntry(record, static_cast<uint16_t>(index), nullptr);
        if (wanted(entry)) {
            found = std::move(entry);
            foundOne = true;
            return kStatusSuccess;
        }
    }
    return kStatusSuccess;
}

}  // namespace vorl::cardread
