#include "cli/dispatch.h"

#include "cli/report.h"
#include "protocol/card_session.h"

namespace vorl::cli {
namespace {

using GroupHandler = int (*)(CardSession& session, const Words& words, Report& report);

struct GroupKeyword {
    const char* keyword;
    GroupHandler handler;
};

// Searched in this order; the first match wins.
constexpr GroupKeyword kGroups[] = {
    {"user", runUserGroup},
    {"sel", runSelGroup},
    {"pef", runPefGroup},
    {"Flash", runFlashGroup},
    {"cardMode", runFlashGroup},
    {"file", runFlashGroup},
    {"net", runNetGroup},
    {"gen", runGenGroup},
    {"HB", runHbGroup},
    {"SDK", runSdkGroup},
    {"ModemCfg", runModemCfg},
    {"PppCfg", runPppCfg},
    {"ASRCfg", runAsrCfg},
    {"setServerInfo", runSetServerInfo},
    {"GetServerInfo", runGetServerInfo},
    {"GetCardHealth", runGetCardHealth},
    {"GetI2CCfg", runGetI2cCfg},
    {"SetI2CCfg", runSetI2cCfg},
    {"GetIpmiCfg", runGetIpmiCfg},
    {"SetIpmiCfg", runSetIpmiCfg},
    {"HostCtrl", runHostCtrl},
};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// The group whose keyword matches `word` ("-" then the keyword in any case), or nullptr.
const GroupKeyword* findGroup(const std::string& word) {
    if (word.empty() || word[0] != '-') return nullptr;
    for (const GroupKeyword& group : kGroups) {
        if (isSubCommand(word, group.keyword)) return &group;
    }
    return nullptr;
}

}  // namespace

bool isSubCommand(const std::string& word, const char* keyword) {
    if (word.empty()) return false;
    size_t i = 1;
    for (; keyword[i - 1] != '\0'; ++i) {
        if (i >= word.size() || lower(word[i]) != lower(keyword[i - 1])) return false;
    }
    return i == word.size();
}

int dispatchCommand(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 2) return -1;
    const GroupKeyword* group = findGroup(words[1]);
    // A refusal is the card's only when this command's own request got it.
    session.forgetLastAnswer();
    return group ? group->handler(session, words, report) : -1;
}

int dispatchCommand(CardSession& session, const Words& words) {
    TextReport report;
    return dispatchCommand(session, words, report);
}

}  // namespace vorl::cli
