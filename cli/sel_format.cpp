#include "cli/sel_format.h"

#include <cstdio>
#include <ctime>

#include "protocol/event_log_records.h"

namespace vorl::cli {
namespace {

const char* severityLine(uint8_t severity) {
    switch (severity) {
        case kSeverityInformation:
            return "Event Severity: INFORMATION\n";
        case kSeverityReturnToOk:
            return "Event Severity: RETURN TO OK\n";
        case kSeverityWarning:
            return "Event Severity: WARNING\n";
        case kSeverityCritical:
            return "Event Severity: CRITICAL\n";
        case kSeverityFatal:
            return "Event Severity: FATAL\n";
        default:
            return "";
    }
}

}  // namespace

std::string formatSelTime(uint32_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    // vorlcli runs one thread, so the shared result of localtime is not overwritten under us.
    return formatSelTime(seconds, std::localtime(&time));
}

std::string formatSelTime(uint32_t seconds, const std::tm* local) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    const bool valid = local != nullptr && local->tm_wday >= 0 && local->tm_wday < 7 &&
                       local->tm_mon >= 0 && local->tm_mon < 12 && local->tm_year + 1900 <= 9999;
    if (!valid) {
        std::snprintf(text, sizeof text, "%lu (invalid time)\n",
                      static_cast<unsigned long>(seconds));
        return text;
    }
    std::snprintf(text, sizeof text, "%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[local->tm_wday],
                  kMonths[local->tm_mon], local->tm_mday, local->tm_hour, local->tm_min,
                  local->tm_sec, local->tm_year + 1900);
    return text;
}

void printSelRecord(const SelRecord& record, const char* description) {
    std::printf("\nRecord Number : %u \n", static_cast<unsigned>(record.recordNumber));
    std::printf("Time          : %s", formatSelTime(record.timestamp).c_str());
    std::printf("Event Id      : %x \n", static_cast<unsigned>(record.eventId));
    std::printf("Module Number : %u \n", static_cast<unsigned>(record.eventId >> 8));
    std::printf("Event Number  : %d \n", record.eventId & 0xFF);
    std::fputs(severityLine(record.severity), stdout);
    std::printf("Event Data is  : \n");
    for (int line = 0; line < 4; ++line) {
        const uint8_t* bytes = record.eventData + 8 * line;
        for (int i = 0; i < 8; ++i) std::printf("0x%02x ", bytes[i]);
        std::printf("  ");
        for (int i = 0; i < 8; ++i) std::printf("%c", bytes[i]);
        std::printf("\n");
    }
    if (description) std::printf("Event String is: %s\n", description);
    std::printf("\n");
}

}  // namespace vorl::cli
