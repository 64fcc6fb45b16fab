// -HB: the interval of the host heartbeat.
#include <cstdio>

#include "cli/group_handlers.h"
#include "cli/settings_words.h"
#include "protocol/card_session.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

constexpr int32_t kMinimumInterval = 240;

int getHeartbeat(CardSession& session) {
    int32_t seconds = 0;
    const int status = session.getHeartbeatInterval(seconds);
    if (status == kStatusSuccess)
        std::printf("Heartbeat interval is %d seconds\n", static_cast<int>(seconds));
    else
        std::printf("Set Heartbeat Failed, %s\n", statusMessage(status));
    return status;
}

int setHeartbeat(CardSession& session, const std::string& word) {
    int32_t seconds = 0;
    if (!readDecimalWord(word, seconds)) return -1;
    if (seconds < kMinimumInterval) {
        std::printf("Defaulting HB interval to minimum of 240 seconds\n");
        seconds = kMinimumInterval;
    }
    const int status = session.setHeartbeatInterval(seconds);
    if (status == kStatusSuccess)
        std::printf("Heartbeat interval is set successfully!\n");
    else
        std::printf("Set Heartbeat Failed, %s\n", statusMessage(status));
    return status;
}

}  // namespace

int runHbGroup(CardSession& session, const Words& words) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "GetHB") && arguments == 0) return getHeartbeat(session);
    if (isSubCommand(command, "SetHB") && arguments == 1) return setHeartbeat(session, words[3]);
    return -1;
}

}  // namespace vorl::cli
