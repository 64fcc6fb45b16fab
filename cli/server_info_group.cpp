// -setServerInfo, -GetServerInfo and -GetCardHealth: what the card knows about its server and
// its own voltages.
#include <cmath>
#include <cstdio>
#include <string>

#include "cli/card_outcome.h"
#include "cli/group_handlers.h"
#include "cli/report.h"
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

void printSetResult(const Json&, int status) {
    if (status != kStatusSuccess)
        std::printf("Set Server Information Failed, %s\n", statusMessage(status));
    else
        std::printf("Server Information set successfully\n");
}

void printServerInfo(const Json& data, int) {
    if (!data["available"].get<bool>()) {
        std::printf("Unable to get server information\n");
        return;
    }
    std::printf("Server Name: %s\n", textOf(data["name"]));
    std::printf("Server Location: %s\n", textOf(data["location"]));
    std::printf("Server OS: %s\n", textOf(data["os"]));
    std::printf("Server Description: %s\n", textOf(data["description"]));
}

void printCardHealth(const Json& data, int) {
    std::fputs(kDashes, stdout);
    std::printf("             %s card Health\n", "VORL");
    std::fputs(kDashes, stdout);
    std::printf("Parameter                       Reading           Status\n");
    std::fputs(kDashes, stdout);
    for (const Json& entry : data["entries"]) {
        // The console has always scaled the card's millivolts by 0.001.
        const auto millivolts =
            static_cast<uint32_t>(std::llround(entry["volts"].get<double>() * 1000));
        std::printf("%-32s %-8.4g Volts      %-s\n", textOf(entry["name"]), millivolts * 0.001,
                    textOf(entry["status_as_received"]));
    }
    std::fputs(kDashes, stdout);
}

Json serverInfoData(const ServerInfo& info) {
    return {{"name", text(info.name)},
            {"location", text(info.location)},
            {"os", text(info.os)},
            {"description", text(info.description)}};
}

}  // namespace

int runSetServerInfo(CardSession& session, const Words& words, Report& report) {
    if (words.size() < kMinimumWords) return -1;
    ServerInfo info;
    int status = kStatusOutOfRange;
    // Values that do not fit their fields are refused before anything is sent.
    if (fill(info.name, ServerInfo::kNameWidth, pairValue(words, "-ServerName")) &&
        fill(info.location, ServerInfo::kLocationWidth, pairValue(words, "-ServerLocn")) &&
        fill(info.os, ServerInfo::kOsWidth, pairValue(words, "-ServerOS")) &&
        fill(info.description, ServerInfo::kDescriptionWidth, pairValue(words, "-ServerDesc")))
        status = session.setServerInfo(info);
    report.written(status, serverInfoData(info), printSetResult);
    return status;
}

// A failed read still returns 0, as the console tool always has; the data says it failed.
int runGetServerInfo(CardSession& session, const Words&, Report& report) {
    ServerInfo info;
    const int status = session.getServerInfo(info);
    Json data;
    if (status == kStatusSuccess) {
        data = serverInfoData(info);
        data["available"] = true;
    } else {
        data = readFailure(status, session, report);
    }
    report.result(0, std::move(data), Change::Reads, printServerInfo);
    return 0;
}

int runGetCardHealth(CardSession& session, const Words&, Report& report) {
    CardHealth health;
    if (session.getCardHealth(health) != kStatusSuccess) return -1;
    Json entries = Json::array();
    int index = 0;
    for (const CardHealthEntry& entry : health.entries) {
        const std::string status = text(entry.status);
        entries.push_back({{"index", ++index},
                           {"name", text(entry.name)},
                           {"volts", entry.millivolts / 1000.0},
                           {"status", enumerationWord(status)},
                           {"status_as_received", status}});
    }
    report.result(0, {{"entries", std::move(entries)}}, Change::Reads, printCardHealth);
    return 0;
}

}  // namespace vorl::cli
