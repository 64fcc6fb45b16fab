#pragma once
// The card's clock as -Gen -SetTime and -GetTime see it: a date word in local time, and the
// card's seconds shown as local time.
#include <cstdint>
#include <string>

namespace vorl::cli {

// Reads a -SetTime word, "MMDDhhmmYYYY.ss" as "%02d%02d%02d%02d%04d.%02d" reads it, checks the
// date (February has 29 days in every year divisible by 4; year 1900 or later) and converts it,
// taken as local time, to seconds since 1970. The daylight-saving flag of the conversion is 1
// when the local zone has daylight saving at all, whatever the date. False for a word that is
// not such a date, or a date the card's 32-bit clock cannot hold (before 1970, after 2038).
bool cardTimeFromDateWord(const std::string& word, int32_t& seconds);

// True when the local time zone has daylight saving in the present year.
bool localZoneHasDaylightSaving();

// The 24-character local-time form, "Www Mmm dd hh:mm:ss yyyy" (day padded with a blank), or
// the raw seconds followed by " (invalid time)" when local time cannot represent them.
std::string cardTimeText(int32_t seconds);

}  // namespace vorl::cli
