// -Gen: firmware information, card name, mail servers, clock and resets.
#include <cstdio>

#include "cli/card_clock_text.h"
#include "cli/group_handlers.h"
#include "cli/prompts.h"
#include "cli/settings_words.h"
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "protocol/record_text.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

int firmwareInfo(CardSession& session) {
    FirmwareInfo info;
    const int status = session.getFirmwareInfo(info);
    if (status != kStatusSuccess) {
        std::printf("Error when getting firmware info !\n");
        return status;
    }
    // The card's texts carry their own line ends.
    std::printf("Firmware Version: %s", info.version);
    std::printf("Firmware Build Date: %s", info.buildDate);
    return status;
}

int getName(CardSession& session) {
    char name[kCardNameFieldSize + 1] = {};
    const int status = session.getCardName(name, sizeof name);
    if (status == kStatusSuccess)
        std::printf("VORL Name : %s", name);
    else
        std::printf("Error when getting VORL Name!\n");
    return status;
}

int getSmtp(CardSession& session) {
    SmtpConfig config;
    const int status = session.getSmtpConfig(config);
    if (status != kStatusSuccess) {
        std::printf("Error when getting SMTP Config!\n");
        return status;
    }
    std::printf("SMTP Server 1 : %s\n", config.server1);
    std::printf("Mail Id 1     : %s\n", config.mailId1);
    std::printf("SMTP Server 2 : %s\n", config.server2);
    std::printf("Mail Id 2     : %s\n", config.mailId2);
    return status;
}

int getTime(CardSession& session) {
    CardTime time;
    const int status = session.getCardTime(time);
    if (status == kStatusSuccess)
        std::printf("Time          : %s\n", cardTimeText(time.seconds).c_str());
    else
        std::printf("Error when getting VORL time!\n");
    return status;
}

// `force`: the second word was "Force"; `extra`: there was a second word at all.
int setTime(CardSession& session, const std::string& word, bool extra, bool force) {
    CardTime wanted;
    if (!cardTimeFromDateWord(word, wanted.seconds)) {
        std::printf("Invalid date!\n");
        return force ? kStatusSuccess : -1;
    }
    if (extra && !force) return -1;
    wanted.rollBack = force ? 1 : 0;
    const int status = session.setCardTime(wanted);
    if (status == kStatusOutOfRange && !force) {
        std::printf(
            "You may be rolling back the time on the card. This involves a reset of the \ncard "
            "to ensure proper functionality. To rollback the time use FORCE option.");
        return status;
    }
    if (status != kStatusSuccess) {
        std::printf("Error while setting time!\n");
        return status;
    }
    if (force) std::printf("Card has been reset.\n");
    return kStatusSuccess;
}

int setName(CardSession& session, const std::string& name) {
    if (!isValidCardName(name)) {
        std::printf(
            "Invalid card name!\nMaximum allowed card name legth is 32 and should not contain "
            "any special sharacters\n");
        return kStatusSuccess;
    }
    const int status = session.setCardName(name);
    if (status != kStatusSuccess) std::printf("Error while setting name!\n");
    return status;
}

int reset(CardSession& session, const std::string& word) {
    const bool keep = isSubCommand(word, "SaveConfig");
    if (!keep && !isSubCommand(word, "NoConfig")) {
        std::printf("Invalid arguments...\n");
        return -1;
    }
    if (askYesNo("Are you sure you want to reset the VORL(y/n)?") != 'Y') {
        std::printf("\nCommand cancelled by user\n");
        return kStatusSuccess;
    }
    const int status = keep ? session.resetCard() : session.resetCardToDefaults();
    if (status == kStatusSuccess)
        std::printf("The VORL has been reset successfully !\n");
    else
        std::printf("Error when resetting the card...\n");
    return status;
}

int setSmtp(CardSession& session, const Words& words) {
    // Texts that leave their fields no room for a terminator are refused whole rather than cut.
    const size_t maxServer = SmtpConfig::kServerWidth - 1;
    const size_t maxMailId = SmtpConfig::kMailIdWidth - 1;
    SmtpConfig config;
    if (words[3].size() > maxServer || words[4].size() > maxMailId || words[5].size() > maxServer ||
        words[6].size() > maxMailId) {
        std::printf("Error when setting SMTP Config!\n");
        return kStatusOutOfRange;
    }
    setRecordText(config.server1, words[3]);
    setRecordText(config.mailId1, words[4]);
    setRecordText(config.server2, words[5]);
    setRecordText(config.mailId2, words[6]);
    const int status = session.setSmtpConfig(config);
    if (status != kStatusSuccess) std::printf("Error when setting SMTP Config!\n");
    return status;
}

}  // namespace

int runGenGroup(CardSession& session, const Words& words) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& command = words[2];
    const size_t arguments = words.size() - 3;
    if (isSubCommand(command, "fwInfo") && arguments == 0) return firmwareInfo(session);
    if (isSubCommand(command, "GetName") && arguments == 0) return getName(session);
    if (isSubCommand(command, "GetSmtpCfg") && arguments == 0) return getSmtp(session);
    if (isSubCommand(command, "GetTime") && arguments == 0) return getTime(session);
    if (isSubCommand(command, "SetTime") && (arguments == 1 || arguments == 2)) {
        const bool extra = arguments == 2;
        return setTime(session, words[3], extra, extra && equalsIgnoringCase(words[4], "Force"));
    }
    if (isSubCommand(command, "SetName") && arguments == 1) return setName(session, words[3]);
    if (isSubCommand(command, "Reset") && arguments == 1) return reset(session, words[3]);
    if (isSubCommand(command, "SetSmtpCfg") && arguments == 4) return setSmtp(session, words);
    return -1;
}

}  // namespace vorl::cli
