#include "cli/card_clock_text.h"

#include <climits>
#include <cstdio>
#include <ctime>

namespace vorl::cli {
namespace {

bool isLeapYear(int year) {
    return year % 4 == 0;
}

int daysInMonth(int month, int year) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool localZoneHasDaylightSaving() {
    const std::time_t now = std::time(nullptr);
    const std::tm* today = std::localtime(&now);
    const int year = today ? today->tm_year : 126;
    for (int month : {0, 6}) {
        std::tm probe{};
        probe.tm_year = year;
        probe.tm_mon = month;
        probe.tm_mday = 15;
        probe.tm_hour = 12;
        probe.tm_isdst = -1;
        if (std::mktime(&probe) != static_cast<std::time_t>(-1) && probe.tm_isdst > 0) return true;
    }
    return false;
}

bool cardTimeFromDateWord(const std::string& word, int32_t& seconds) {
    int month = 0, day = 0, hour = 0, minute = 0, year = 0, second = 0;
    if (std::sscanf(word.c_str(), "%02d%02d%02d%02d%04d.%02d", &month, &day, &hour, &minute, &year,
                    &second) != 6)
        return false;
    if (month < 1 || month > 12 || year < 1900) return false;
    if (day < 1 || day > daysInMonth(month, year)) return false;
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return false;

    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = localZoneHasDaylightSaving() ? 1 : 0;
    const std::time_t converted = std::mktime(&local);
    // -1 is also the conversion's failure value; like every time before 1970 it is no card time.
    if (converted < 0 || converted > INT32_MAX) return false;
    seconds = static_cast<int32_t>(converted);
    return true;
}

std::string cardTimeText(int32_t seconds) {
    static const char* const kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    const std::time_t time = seconds;
    const std::tm* local = seconds < 0 ? nullptr : std::localtime(&time);
    if (!local || local->tm_wday < 0 || local->tm_wday > 6 || local->tm_mon < 0 ||
        local->tm_mon > 11) {
        std::snprintf(text, sizeof text, "%ld (invalid time)", static_cast<long>(seconds));
        return text;
    }
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kWeekdays[local->tm_wday],
                  kMonths[local->tm_mon], local->tm_mday, local->tm_hour, local->tm_min,
                  local->tm_sec, local->tm_year + 1900);
    return text;
}

}  // namespace vorl::cli
