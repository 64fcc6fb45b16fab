// -setServerInfo, -GetServerInfo and -GetCardHealth: what the card knows about its server and
// its own voltages.
#include <cstdio>
#include <string>

#include "cli/group_handlers.h"
#include "cli/settings_words.h"
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr size_t kMinimumWords = 7;  // the leading word and the command word included
constexpr const char* kDashes = "--------------------------------------------------------\n";

// The value of the first pair whose keyword is `keyword`, or an empty text. Pairs start right
// after the command word; a keyword in the last word has no value and is ignored.
std::string pairValue(const Words& words, const char* keyword) {
    for (size_t i = 2; i + 1 < words.size(); i += 2) {
        if (equalsIgnoringCase(words[i], keyword)) return words[i + 1];
    }
    return std::string();
}

// Copies `value` into a field of `width` characters; false when it does not fit.
template <size_t N>
bool fill(char (&field)[N], size_t width, const std::string& value) {
    if (value.size() > width) return false;
    putTextField(reinterpret_cast<uint8_t*>(field), N, value);
    return true;
}

template <size_t N>
std::string text(const char (&field)[N]) {
    return getTextField(reinterpret_cast<const uint8_t*>(field), N);
}

}  // namespace

int runSetServerInfo(CardSession& session, const Words& words) {
    if (words.size() < kMinimumWords) return -1;
    ServerInfo info;
    int status = kStatusOutOfRange;
    // Values that do not fit their fields are refused before anything is sent.
    if (fill(info.name, ServerInfo::kNameWidth, pairValue(words, "-ServerName")) &&
        fill(info.location, ServerInfo::kLocationWidth, pairValue(words, "-ServerLocn")) &&
        fill(info.os, ServerInfo::kOsWidth, pairValue(words, "-ServerOS")) &&
        fill(info.description, ServerInfo::kDescriptionWidth, pairValue(words, "-ServerDesc")))
        status = session.setServerInfo(info);
    if (status != kStatusSuccess)
        std::printf("Set Server Information Failed, %s\n", statusMessage(status));
    else
        std::printf("Server Information set successfully\n");
    return status;
}

int runGetServerInfo(CardSession& session, const Words&) {
    ServerInfo info;
    if (session.getServerInfo(info) != kStatusSuccess) {
        std::printf("Unable to get server information\n");
        return 0;
    }
    std::printf("Server Name: %s\n", text(info.name).c_str());
    std::printf("Server Location: %s\n", text(info.location).c_str());
    std::printf("Server OS: %s\n", text(info.os).c_str());
    std::printf("Server Description: %s\n", text(info.description).c_str());
    return 0;
}

int runGetCardHealth(CardSession& session, const Words&) {
    CardHealth health;
    if (session.getCardHealth(health) != kStatusSuccess) return -1;
    std::fputs(kDashes, stdout);
    std::printf("             %s card Health\n", "VORL");
    std::fputs(kDashes, stdout);
    std::printf("Parameter                       Reading           Status\n");
    std::fputs(kDashes, stdout);
    for (const CardHealthEntry& entry : health.entries) {
        std::printf("%-32s %-8.4g Volts      %-s\n", text(entry.name).c_str(),
                    entry.millivolts * 0.001, text(entry.status).c_str());
    }
    std::fputs(kDashes, stdout);
    return 0;
}

}  // namespace vorl::cli
