#pragma once
// The command groups of vorlcli. Each handler gets the words of one command as dispatchCommand
// hands them over: word 0 the leading word (not looked at), word 1 the group keyword, words 2
// onward the group's arguments; words.size() is the word count. A handler returns a negative
// value when the words do not form a valid command, otherwise the status of its operation
// (or 0 after printing a failure message of its own). Handlers that take a Report hand it their
// result as data (see cli/report.h); the others print their texts on standard output.
#include <string>
#include <vector>

namespace vorl {
class CardSession;
}

namespace vorl::cli {

class Report;
using Words = std::vector<std::string>;

int runUserGroup(CardSession& session, const Words& words, Report& report);  // -user
int runSelGroup(CardSession& session, const Words& words, Report& report);   // -sel
int runPefGroup(CardSession& session, const Words& words, Report& report);   // -pef
int runFlashGroup(CardSession& session, const Words& words,
                  Report& report);  // -Flash, -cardMode, -file
int runNetGroup(CardSession& session, const Words& words, Report& report);       // -net
int runGenGroup(CardSession& session, const Words& words, Report& report);       // -gen
int runHbGroup(CardSession& session, const Words& words, Report& report);        // -HB
int runSdkGroup(CardSession& session, const Words& words, Report& report);       // -SDK
int runModemCfg(CardSession& session, const Words& words, Report& report);       // -ModemCfg
int runPppCfg(CardSession& session, const Words& words, Report& report);         // -PppCfg
int runAsrCfg(CardSession& session, const Words& words, Report& report);         // -ASRCfg
int runSetServerInfo(CardSession& session, const Words& words, Report& report);  // -setServerInfo
int runGetServerInfo(CardSession& session, const Words& words, Report& report);  // -GetServerInfo
int runGetCardHealth(CardSession& session, const Words& words, Report& report);  // -GetCardHealth
int runGetI2cCfg(CardSession& session, const Words& words, Report& report);      // -GetI2CCfg
int runSetI2cCfg(CardSession& session, const Words& words, Report& report);      // -SetI2CCfg
int runGetIpmiCfg(CardSession& session, const Words& words, Report& report);     // -GetIpmiCfg
int runSetIpmiCfg(CardSession& session, const Words& words, Report& report);     // -SetIpmiCfg
int runHostCtrl(CardSession& session, const Words& words, Report& report);       // -HostCtrl

// Case-insensitive comparison of `word` after its first character (the "-") with `keyword`.
bool isSubCommand(const std::string& word, const char* keyword);

}  // namespace vorl::cli
