#pragma once
// A card's event-log severity as a Redfish Severity, for the log's entries and the events that
// tell of them alike.
#include <cstdint>

#include "protocol/event_log_records.h"

namespace vorl::redfish {

// "OK", "Warning" or "Critical"; null for a value the card does not define.
inline const char* logSeverity(uint8_t severity) {
    switch (severity) {
        case kSeverityInformation:
        case kSeverityReturnToOk:
            return "OK";
        case kSeverityWarning:
            return "Warning";
        case kSeverityCritical:
        case kSeverityFatal:
            return "Critical";
        default:
            return nullptr;
    }
}

}  // namespace vorl::redfish
