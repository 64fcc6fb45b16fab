#include "cli/sel_format.h"

#include <cstdio>
#include <ctime>

#include "cardread/event_log.h"
#include "cardread/utc_time_text.h"
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

Json selSeverityName(uint8_t severity) {
    const char* name = cardread::severityName(severity);
    return name ? Json(name) : Json(nullptr);
}

Json selRecordData(const cardread::EventLogEntry& entry) {
    Json eventData = Json::array();
    for (uint8_t byte : entry.data) eventData.push_back(byte);
    Json data = {{"index", entry.index},
                 {"id", entry.id},
                 {"time", cardread::utcTimeText(entry.time)},
                 {"epoch_seconds", entry.time},
                 {"event_id", entry.eventId},
                 {"module", entry.module()},
                 {"event", entry.event()},
                 {"severity", selSeverityName(entry.severity)},
                 {"severity_code", entry.severity},
                 {"event_data", std::move(eventData)}};
    if (entry.hasDescription) data["description"] = entry.description;
    return data;
}

void printSelRecord(const Json& record) {
    const unsigned eventId = record["event_id"].get<unsigned>();
    std::printf("\nRecord Number : %u \n", record["id"].get<unsigned>());
    std::printf("Time          : %s",
                formatSelTime(record["epoch_seconds"].get<uint32_t>()).c_str());
    std::printf("Event Id      : %x \n", eventId);
    std::printf("Module Number : %u \n", eventId >> 8);
    std::printf("Event Number  : %d \n", static_cast<int>(eventId & 0xFF));
    std::fputs(severityLine(record["severity_code"].get<uint8_t>()), stdout);
    std::printf("Event Data is  : \n");
    const Json& bytes = record["event_data"];
    for (size_t line = 0; line < 4; ++line) {
        for (size_t i = 0; i < 8; ++i) std::printf("0x%02x ", bytes[8 * line + i].get<unsigned>());
        std::printf("  ");
        for (size_t i = 0; i < 8; ++i) std::printf("%c", bytes[8 * line + i].get<int>());
        std::printf("\n");
    }
    if (record.contains("description")) {
        std::printf("Event String is: %s\n", textOf(record["description"]));
    }
    std::printf("\n");
}

}  // namespace vorl::cli
