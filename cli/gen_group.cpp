// -Gen: firmware information, card name, mail servers, clock and resets.
#include <cstdio>

#include "cardread/utc_time_text.h"
#include "cli/card_clock_text.h"
#include "cli/group_handlers.h"
#include "cli/prompts.h"
#include "cli/report.h"
#include "cli/settings_words.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "protocol/record_text.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// The card ends its firmware texts with a line end of its own; the data gives them without it.
std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

Json timeData(int32_t seconds) {
    return {{"time", cardread::utcTimeText(seconds)}, {"epoch_seconds", seconds}};
}

Json smtpData(const std::string& server1, const std::string& mailId1, const std::string& server2,
              const std::string& mailId2) {
    return {{"smtp_servers",
             {{{"index", 1}, {"address", server1}, {"mail_address", mailId1}},
              {{"index", 2}, {"address", server2}, {"mail_address", mailId2}}}}};
}

void printFirmwareInfo(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Error when getting firmware info !\n");
        return;
    }
    std::printf("Firmware Version: %s", textOf(data["firmware_version_as_received"]));
    std::printf("Firmware Build Date: %s", textOf(data["build_date_as_received"]));
}

void printName(const Json& data, int status) {
    if (status == kStatusSuccess)
        std::printf("VORL Name : %s", textOf(data["name"]));
    else
        std::printf("Error when getting VORL Name!\n");
}

void printSmtp(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Error when getting SMTP Config!\n");
        return;
    }
    const Json& servers = data["smtp_servers"];
    std::printf("SMTP Server 1 : %s\n", textOf(servers[0]["address"]));
    std::printf("Mail Id 1     : %s\n", textOf(servers[0]["mail_address"]));
    std::printf("SMTP Server 2 : %s\n", textOf(servers[1]["address"]));
    std::printf("Mail Id 2     : %s\n", textOf(servers[1]["mail_address"]));
}

void printTime(const Json& data, int status) {
    if (status == kStatusSuccess)
        std::printf("Time          : %s\n",
                    cardTimeText(data["epoch_seconds"].get<int32_t>()).c_str());
    else
        std::printf("Error when getting VORL time!\n");
}

void printSetTime(const Json& data, int status) {
    const bool force = data["force"].get<bool>();
    if (status == kStatusOutOfRange && !force) {
        std::printf(
            "You may be rolling back the time on the card. This involves a reset of the \ncard "
            "to ensure proper functionality. To rollback the time use FORCE option.");
    } else if (status != kStatusSuccess) {
        std::printf("Error while setting time!\n");
    } else if (force) {
        std::printf("Card has been reset.\n");
    }
}

void printSetNameFailure(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Error while setting name!\n");
}

void printReset(const Json& data, int status) {
    if (!data["confirmed"].get<bool>())
        std::printf("\nCommand cancelled by user\n");
    else if (status == kStatusSuccess)
        std::printf("The VORL has been reset successfully !\n");
    else
        std::printf("Error when resetting the card...\n");
}

void printSetSmtpFailure(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Error when setting SMTP Config!\n");
}

int firmwareInfo(CardSession& session, Report& report) {
    FirmwareInfo info;
    const int status = session.getFirmwareInfo(info);
    Json data = Json::object();
    if (status == kStatusSuccess) {
        data = {{"firmware_version", withoutLineEnd(info.version)},
                {"build_date", withoutLineEnd(info.buildDate)},
                {"firmware_version_as_received", info.version},
                {"build_date_as_received", info.buildDate}};
    }
    report.result(status, std::move(data), Change::Reads, printFirmwareInfo);
    return status;
}

int getName(CardSession& session, Report& report) {
    char name[kCardNameFieldSize + 1] = {};
    const int status = session.getCardName(name, sizeof name);
    Json data = Json::object();
    if (status == kStatusSuccess) data["name"] = name;
    report.result(status, std::move(data), Change::Reads, printName);
    return status;
}

int getSmtp(CardSession& session, Report& report) {
    SmtpConfig config;
    const int status = session.getSmtpConfig(config);
    Json data = Json::object();
    if (status == kStatusSuccess)
        data = smtpData(config.server1, config.mailId1, config.server2, config.mailId2);
    report.result(status, std::move(data), Change::Reads, printSmtp);
    return status;
}

int getTime(CardSession& session, Report& report) {
    CardTime time;
    const int status = session.getCardTime(time);
    report.result(status, status == kStatusSuccess ? timeData(time.seconds) : Json::object(),
                  Change::Reads, printTime);
    return status;
}

// `force`: the second word was "Force"; `extra`: there was a second word at all.
int setTime(CardSession& session, const std::string& word, bool extra, bool force, Report& report) {
    CardTime wanted;
    if (!cardTimeFromDateWord(word, wanted.seconds)) {
        report.message("Invalid date!\n");
        if (!force) return -1;
        report.notDone("Invalid date!");
        report.result(kStatusSuccess, Json::object(), Change::Unchanged, nullptr);
        return kStatusSuccess;
    }
    if (extra && !force) return -1;
    wanted.rollBack = force ? 1 : 0;
    const int status = session.setCardTime(wanted);
    Json data = timeData(wanted.seconds);
    data["force"] = force;
    report.written(status, std::move(data), printSetTime);
    return status;
}

int setName(CardSession& session, const std::string& name, Report& report) {
    if (!isValidCardName(name)) {
        report.message(
            "Invalid card name!\nMaximum allowed card name legth is 32 and should not contain "
            "any special sharacters\n");
        report.notDone(
            "Invalid card name! Maximum allowed card name legth is 32 and should not contain any "
            "special sharacters");
        report.result(kStatusSuccess, Json::object(), Change::Unchanged, nullptr);
        return kStatusSuccess;
    }
    const int status = session.setCardName(name);
    report.written(status, {{"name", name}}, printSetNameFailure);
    return status;
}

int reset(CardSession& session, const std::string& word, Report& report) {
    const bool keep = isSubCommand(word, "SaveConfig");
    if (!keep && !isSubCommand(word, "NoConfig")) {
        report.message("Invalid arguments...\n");
        return -1;
    }
    Json data = {{"configuration", keep ? "retained" : "defaults"}, {"confirmed", false}};
    if (askYesNo("Are you sure you want to reset the VORL(y/n)?") != 'Y') {
        report.notDone("Command cancelled by user");
        report.result(kStatusSuccess, std::move(data), Change::Unchanged, printReset);
        return kStatusSuccess;
    }
    const int status = keep ? session.resetCard() : session.resetCardToDefaults();
    data["confirmed"] = true;
    report.result(status, std::move(data), Change::Writes, printReset);
    return status;
}

int setSmtp(CardSession& session, const Words& words, Report& report) {
    // Texts that leave their fields no room for a terminator are refused whole rather than cut.
    const size_t maxServer = SmtpConfig::kServerWidth - 1;
    const size_t maxMailId = SmtpConfig::kMailIdWidth - 1;
    Json data = smtpData(words[3], words[4], words[5], words[6]);
    if (words[3].size() > maxServer || words[4].size() > maxMailId || words[5].size() > maxServer ||
        words[6].size() > maxMailId) {
        report.result(kStatusOutOfRange, Json::object(), Change::Unchanged, printSetSmtpFailure,
                      std::move(data));
        return kStatusOutOfRange;
    }
    SmtpConfig config;
    setRecordText(config.server1, words[3]);
    setRecordText(config.mailId1, words[4]);
    setRecordText(config.server2, words[5]);
    setRecordText(config.mailId2, words[6]);
    const int status = session.setSmtpConfig(config);
    report.written(status, std::move(data), printSetSmtpFailure);
    return status;
}

}  // namespace

int runGenGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "fwInfo") && arguments == 0) return firmwareInfo(session, report);
    if (isSubCommand(command, "GetName") && arguments == 0) return getName(session, report);
    if (isSubCommand(command, "GetSmtpCfg") && arguments == 0) return getSmtp(session, report);
    if (isSubCommand(command, "GetTime") && arguments == 0) return getTime(session, report);
    if (isSubCommand(command, "SetTime") && (arguments == 1 || arguments == 2)) {
        const bool extra = arguments == 2;
        return setTime(session, words[3], extra, extra && equalsIgnoringCase(words[4], "Force"),
                       report);
    }
    if (isSubCommand(command, "SetName") && arguments == 1)
        return setName(session, words[3], report);
    if (isSubCommand(command, "Reset") && arguments == 1) return reset(session, words[3], report);
    if (isSubCommand(command, "SetSmtpCfg") && arguments == 4)
        return setSmtp(session, words, report);
    return -1;
}

}  // namespace vorl::cli
