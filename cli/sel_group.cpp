// -sel: the card's system event log.
#include <cstdio>
#include <string>

#include "cli/group_handlers.h"
#include "cli/sel_format.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/text_field.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

// Besides a lost connection (33), the all-ones status ends a listing; any other failing record
// is reported and skipped.
constexpr int kListingEnds = 0xFFFF;

uint8_t severityOf(const std::string& word) {
    switch (word.empty() ? '\0' : word[0]) {
        case 'F':
            return kSeverityFatal;
        case 'I':
            return kSeverityReturnToOk;
        case 'W':
            return kSeverityWarning;
        default:
            return kSeverityInformation;
    }
}

int addRecord(CardSession& session, const Words& words) {
    int32_t module = 0;
    int32_t event = 0;
    if (!readDecimalWord(words[3], module) || !readDecimalWord(words[4], event)) return -1;
    SelRecord record;
    // An event number above 255 reaches into the module byte, as the card's tools always did.
    record.eventId = static_cast<uint16_t>(((module & 0xFF) << 8) | event);
    record.severity = severityOf(words[5]);
    const int status = session.addSelEntry(record);
    if (status != kStatusSuccess) std::printf("Add SEL Record Failed, %s\n", statusMessage(status));
    return status;
}

int deleteRecord(CardSession& session, const std::string& word) {
    int32_t number = 0;
    if (!readWholeDecimal(word, number) || number < 1 || number > 65535) return -1;
    const int status = session.deleteSelEntry(static_cast<uint16_t>(number));
    if (status != kStatusSuccess) std::printf("Del SEL Record Failed, %s\n", statusMessage(status));
    return status;
}

int setPolicy(CardSession& session, const std::string& word) {
    uint8_t policy = 0;
    if (equalsIgnoringCase(word, "Rollover")) {
        policy = kSelPolicyRollover;
    } else if (equalsIgnoringCase(word, "Stop")) {
        policy = kSelPolicyStop;
    } else {
        std::printf("Unknown SEL policy !!!\n");
        return 1;
    }
    std::printf("Policy: %d\n", policy);
    std::fflush(stdout);
    const int status = session.setSelPolicy(policy);
    if (status != kStatusSuccess)
        std::printf("Set SEL policy failed, %s\n", statusMessage(status));
    else
        std::printf("Set SEL Fill policy Success\n");
    return status;
}

int getPolicy(CardSession& session) {
    uint8_t policy = 0;
    const int status = session.getSelPolicy(policy);
    if (status != kStatusSuccess) {
        std::printf("Get SEL policy failed, %s\n", statusMessage(status));
    } else if (policy == kSelPolicyStop) {
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_STOP");
    } else if (policy == kSelPolicyRollover) {
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_ROLLOVER");
    }
    return status;
}

int clearLog(CardSession& session) {
    uint16_t deleted = 0;
    const int status = session.clearSel(deleted);
    if (status != kStatusSuccess)
        std::printf("Del SEL Record Failed, %s\n", statusMessage(status));
    else
        std::printf("%d Record(s) Deleted.\n", deleted);
    return status;
}

int showInfo(CardSession& session) {
    SelInfo info;
    const int status = session.getSelInfo(info);
    if (status != kStatusSuccess) {
        std::printf("Error while get number of Records, %s\n", statusMessage(status));
        return status;
    }
    std::printf("SEL Version         : %1x.%1x\n", info.version & 0x0F, info.version >> 4);
    std::printf("Number of Records   : %d \n", info.recordCount);
    std::printf("Free Space          : %d (Bytes) \n", info.freeSpace);
    std::printf("Last Additon        : %s", formatSelTime(info.lastAddition).c_str());
    std::printf("Last Deletion       : %s", formatSelTime(info.lastErase).c_str());
    if (info.supportFlags & SelInfo::kDeleteSupport)
        std::printf("Operation Supported : SEL_DEL_SUPPORT \n");
    if (info.supportFlags & SelInfo::kReserveSupport)
        std::printf("Operation Supported : SEL_RES_SUPPORT \n");
    if (info.supportFlags & SelInfo::kAllocInfoSupport)
        std::printf("Operation Supported : SEL_ALLOC_INFO_SUPPORT \n");
    return 0;
}

// Reads and prints record `number`; returns the read's status (nothing printed but the error
// line when it failed).
int showRecord(CardSession& session, uint16_t number, bool extended) {
    SelRecordEx record;
    record.record.recordNumber = number;
    const int status =
        extended ? session.getSelEntryEx(record) : session.getSelEntry(record.record);
    if (status != kStatusSuccess) {
        std::printf("Error while retreiving Records, %s\n", statusMessage(status));
        return status;
    }
    const std::string description = getTextField(
        reinterpret_cast<const uint8_t*>(record.description), SelRecordEx::kDescriptionSize);
    printSelRecord(record.record, extended ? description.c_str() : nullptr);
    return status;
}

// The result is 0 when every record was shown, else the last failing status: a listing with
// gaps is not reported as a success.
int listRecords(CardSession& session, bool extended) {
    SelInfo info;
    const int status = session.getSelInfo(info);
    if (status != kStatusSuccess) {
        std::printf("Error while getting number of Records, %s\n", statusMessage(status));
        return status;
    }
    std::printf("Number of Record : %d \n", info.recordCount);
    int result = kStatusSuccess;
    for (uint32_t number = 1; number <= info.recordCount; ++number) {
        const int read = showRecord(session, static_cast<uint16_t>(number), extended);
        if (read == kStatusConnectError || read == kListingEnds) return read;
        if (read != kStatusSuccess) result = read;
    }
    return result;
}

}  // namespace

int runSelGroup(CardSession& session, const Words& words) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& sub = words[2];
    const size_t count = words.size();
    if (isSubCommand(sub, "add")) return count == 6 ? addRecord(session, words) : -1;
    if (isSubCommand(sub, "postEvent")) return count == 6 ? 0 : -1;
    if (isSubCommand(sub, "del")) return count == 4 ? deleteRecord(session, words[3]) : -1;
    if (isSubCommand(sub, "setPolicy")) return count == 4 ? setPolicy(session, words[3]) : -1;
    if (count != 3) return -1;
    if (isSubCommand(sub, "listAll")) return listRecords(session, false);
    if (isSubCommand(sub, "LISTALLEX")) return listRecords(session, true);
    if (isSubCommand(sub, "selInfo")) return showInfo(session);
    if (isSubCommand(sub, "clear")) return clearLog(session);
    if (isSubCommand(sub, "getPolicy")) return getPolicy(session);
    return -1;
}

}  // namespace vorl::cli
