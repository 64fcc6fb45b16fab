// -HB: the interval of the host heartbeat.
#include <cstdio>

#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int32_t kMinimumInterval = 240;

void printFailure(int status) {
    std::printf("Set Heartbeat Failed, %s\n", statusMessage(status));
}

void printInterval(const Json& data, int status) {
    if (status != kStatusSuccess) return printFailure(status);
    std::printf("Heartbeat interval is %d seconds\n", data["interval_seconds"].get<int>());
}

void printSetInterval(const Json& data, int status) {
    if (data["requested_seconds"].get<int>() < kMinimumInterval) {
        std::printf("Defaulting HB interval to minimum of 240 seconds\n");
    }
    if (status != kStatusSuccess) return printFailure(status);
    std::printf("Heartbeat interval is set successfully!\n");
}

int getHeartbeat(CardSession& session, Report& report) {
    int32_t seconds = 0;
    const int status = session.getHeartbeatInterval(seconds);
    Json data = Json::object();
    if (status == kStatusSuccess) data["interval_seconds"] = seconds;
    report.result(status, std::move(data), Change::Reads, printInterval);
    return status;
}

int setHeartbeat(CardSession& session, const std::string& word, Report& report) {
    int32_t requested = 0;
    if (!readDecimalWord(word, requested)) return -1;
    const int32_t seconds = requested < kMinimumInterval ? kMinimumInterval : requested;
    const int status = session.setHeartbeatInterval(seconds);
    report.written(status, {{"interval_seconds", seconds}, {"requested_seconds", requested}},
                   printSetInterval);
    return status;
}

}  // namespace

int runHbGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "GetHB") && arguments == 0) return getHeartbeat(session, report);
    if (isSubCommand(command, "SetHB") && arguments == 1) {
        return setHeartbeat(session, words[3], report);
    }
    return -1;
}

}  // namespace vorl::cli
