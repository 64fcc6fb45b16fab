#include "cli/dispatch.h"

#include "cli/report.h"

namespace vorl::cli {
namespace {

using GroupHandler = int (*)(CardSession& session, const Words& words, Report& report);

// A group that still prints its texts itself: under --json they go to standard error and its
// document carries no data.
template <int (*Handler)(CardSession&, const Words&)>
int textOnly(CardSession& session, const Words& words, Report&) {
    return Handler(session, words);
}

struct GroupKeyword {
    const char* keyword;
    GroupHandler handler;
    bool givesData;  // its handler reports its result as data
};

// Searched in this order; the first match wins.
constexpr GroupKeyword kGroups[] = {
    {"user", runUserGroup, true},
    {"sel", runSelGroup, true},
    {"pef", runPefGroup, true},
    {"Flash", runFlashGroup, true},
    {"cardMode", runFlashGroup, true},
    {"file", runFlashGroup, true},
    {"net", runNetGroup, true},
    {"gen", runGenGroup, true},
    {"HB", runHbGroup, true},
    {"SDK", runSdkGroup, true},
    {"ModemCfg", runModemCfg, true},
    {"PppCfg", runPppCfg, true},
    {"ASRCfg", runAsrCfg, true},
    {"setServerInfo", runSetServerInfo, true},
    {"GetServerInfo", runGetServerInfo, true},
    {"GetCardHealth", runGetCardHealth, true},
    {"GetI2CCfg", runGetI2cCfg, true},
    {"SetI2CCfg", runSetI2cCfg, true},
    {"GetIpmiCfg", runGetIpmiCfg, true},
    {"SetIpmiCfg", runSetIpmiCfg, true},
    {"HostCtrl", runHostCtrl, true},
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
    return group ? group->handler(session, words, report) : -1;
}

int dispatchCommand(CardSession& session, const Words& words) {
    TextReport report;
    return dispatchCommand(session, words, report);
}

bool groupGivesData(const std::string& word) {
    const GroupKeyword* group = findGroup(word);
    return group && group->givesData;
}

}  // namespace vorl::cli
