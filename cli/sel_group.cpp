// -sel: the card's system event log.
#include <cstdio>
#include <string>

#include "cardread/event_log.h"
#include "cardread/utc_time_text.h"
#include "cli/group_handlers.h"
#include "cli/report.h"
#include "cli/sel_format.h"
#include "cli/settings_words.h"
#include "cli/typed_numbers.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "wire/status_codes.h"

namespace vorl::cli {
namespace {

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

Json policyName(uint8_t policy) {
    if (policy == kSelPolicyRollover) return "rollover";
    if (policy == kSelPolicyStop) return "stop";
    return nullptr;
}

void printAddFailure(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Add SEL Record Failed, %s\n", statusMessage(status));
}

void printDeleteFailure(const Json&, int status) {
    if (status != kStatusSuccess) std::printf("Del SEL Record Failed, %s\n", statusMessage(status));
}

void printSetPolicy(const Json& data, int status) {
    std::printf("Policy: %d\n", data["policy_code"].get<int>());
    if (status != kStatusSuccess)
        std::printf("Set SEL policy failed, %s\n", statusMessage(status));
    else
        std::printf("Set SEL Fill policy Success\n");
}

void printPolicy(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Get SEL policy failed, %s\n", statusMessage(status));
        return;
    }
    const int policy = data["policy_code"].get<int>();
    if (policy == kSelPolicyStop) {
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_STOP");
    } else if (policy == kSelPolicyRollover) {
        std::printf("SEL Fill policy : %s\n", "SEL_POLICY_ROLLOVER");
    }
}

void printCleared(const Json& data, int status) {
    if (status != kStatusSuccess)
        std::printf("Del SEL Record Failed, %s\n", statusMessage(status));
    else
        std::printf("%d Record(s) Deleted.\n", data["deleted_records"].get<int>());
}

void printInfo(const Json& data, int status) {
    if (status != kStatusSuccess) {
        std::printf("Error while get number of Records, %s\n", statusMessage(status));
        return;
    }
    std::printf("SEL Version         : %s\n", textOf(data["version"]));
    std::printf("Number of Records   : %d \n", data["record_count"].get<int>());
    std::printf("Free Space          : %d (Bytes) \n", data["free_space_bytes"].get<int>());
    std::printf("Last Additon        : %s",
                formatSelTime(data["last_addition_epoch_seconds"].get<uint32_t>()).c_str());
    std::printf("Last Deletion       : %s",
                formatSelTime(data["last_deletion_epoch_seconds"].get<uint32_t>()).c_str());
    for (const Json& operation : data["operations_supported"]) {
        if (operation == "delete") std::printf("Operation Supported : SEL_DEL_SUPPORT \n");
        if (operation == "reserve") std::printf("Operation Supported : SEL_RES_SUPPORT \n");
        if (operation == "allocation_info")
            std::printf("Operation Supported : SEL_ALLOC_INFO_SUPPORT \n");
    }
}

// The records in listing order, each failed read's line in its place.
void printListing(const Json& data, int status) {
    if (!data.contains("record_count")) {
        std::printf("Error while getting number of Records, %s\n", statusMessage(status));
        return;
    }
    std::printf("Number of Record : %d \n", data["record_count"].get<int>());
    const Json& records = data["records"];
    const Json& failures = data["failed_reads"];
    size_t r = 0;
    size_t f = 0;
    while (r < records.size() || f < failures.size()) {
        const bool failureFirst =
            f < failures.size() &&
            (r == records.size() || failures[f]["index"] < records[r]["index"]);
        if (failureFirst) {
            std::printf("Error while retreiving Records, %s\n",
                        statusMessage(failures[f++]["status"].get<int>()));
        } else {
            printSelRecord(records[r++]);
        }
    }
}

int addRecord(CardSession& session, const Words& words, Report& report) {
    int32_t module = 0;
    int32_t event = 0;
    if (!readDecimalWord(words[3], module) || !readDecimalWord(words[4], event)) return -1;
    SelRecord record;
    // An event number above 255 reaches into the module byte, as the card's tools always did.
    record.eventId = static_cast<uint16_t>(((module & 0xFF) << 8) | event);
    record.severity = severityOf(words[5]);
    const int status = session.addSelEntry(record);
    report.written(status,
                   {{"event_id", record.eventId},
                    {"module", record.eventId >> 8},
                    {"event", record.eventId & 0xFF},
                    {"severity", selSeverityName(record.severity)},
                    {"severity_code", record.severity}},
                   printAddFailure);
    return status;
}

int deleteRecord(CardSession& session, const std::string& word, Report& report) {
    int32_t number = 0;
    if (!readWholeDecimal(word, number) || number < 1 || number > 65535) return -1;
    const int status = session.deleteSelEntry(static_cast<uint16_t>(number));
    report.result(status, {{"id", number}}, Change::Writes, printDeleteFailure);
    return status;
}

int setPolicy(CardSession& session, const std::string& word, Report& report) {
    uint8_t policy = 0;
    if (equalsIgnoringCase(word, "Rollover")) {
        policy = kSelPolicyRollover;
    } else if (equalsIgnoringCase(word, "Stop")) {
        policy = kSelPolicyStop;
    } else {
        constexpr int kUnknownPolicy = 1;
        report.message("Unknown SEL policy !!!\n");
        report.result(kUnknownPolicy, Json::object(), Change::Unchanged, nullptr);
        return kUnknownPolicy;
    }
    const int status = session.setSelPolicy(policy);
    report.written(status, {{"policy", policyName(policy)}, {"policy_code", policy}},
                   printSetPolicy);
    return status;
}

int getPolicy(CardSession& session, Report& report) {
    uint8_t policy = 0;
    const int status = session.getSelPolicy(policy);
    Json data = Json::object();
    if (status == kStatusSuccess) data = {{"policy", policyName(policy)}, {"policy_code", policy}};
    report.result(status, std::move(data), Change::Reads, printPolicy);
    return status;
}

int clearLog(CardSession& session, Report& report) {
    uint16_t deleted = 0;
    const int status = session.clearSel(deleted);
    Json data = Json::object();
    if (status == kStatusSuccess) data["deleted_records"] = deleted;
    report.result(status, std::move(data), Change::Writes, printCleared);
    return status;
}

Json infoData(const SelInfo& info) {
    char version[8];
    std::snprintf(version, sizeof version, "%1x.%1x", info.version & 0x0F, info.version >> 4);
    Json operations = Json::array();
    if (info.supportFlags & SelInfo::kDeleteSupport) operations.push_back("delete");
    if (info.supportFlags & SelInfo::kReserveSupport) operations.push_back("reserve");
    if (info.supportFlags & SelInfo::kAllocInfoSupport) operations.push_back("allocation_info");
    return {{"version", version},
            {"record_count", info.recordCount},
            {"free_space_bytes", info.freeSpace},
            {"last_addition", cardread::utcTimeText(info.lastAddition)},
            {"last_addition_epoch_seconds", info.lastAddition},
            {"last_deletion", cardread::utcTimeText(info.lastErase)},
            {"last_deletion_epoch_seconds", info.lastErase},
            {"operations_supported", std::move(operations)}};
}

int showInfo(CardSession& session, Report& report) {
    SelInfo info;
    const int status = session.getSelInfo(info);
    report.result(status, status == kStatusSuccess ? infoData(info) : Json::object(), Change::Reads,
                  printInfo);
    return status;
}

// The result is 0 when every record was read, else the last failing status: a listing with
// gaps is not reported as a success.
int listRecords(CardSession& session, bool extended, Report& report) {
    cardread::EventLog log;
    const int result = cardread::readEventLog(session, extended, log);
    Json data = Json::object();
    if (log.counted) {
        data = {{"record_count", log.recordCount},
                {"records", Json::array()},
                {"failed_reads", Json::array()}};
        for (const auto& entry : log.entries) data["records"].push_back(selRecordData(entry));
        for (const auto& failure : log.failures)
            data["failed_reads"].push_back({{"index", failure.index}, {"status", failure.status}});
    }
    report.result(result, std::move(data), Change::Reads, printListing);
    return result;
}

}  // namespace

int runSelGroup(CardSession& session, const Words& words, Report& report) {
    if (words.size() < 3 || words[2].empty() || words[2][0] != '-') return -1;
    const std::string& sub = words[2];
    const size_t count = words.size();
    if (isSubCommand(sub, "add")) return count == 6 ? addRecord(session, words, report) : -1;
    if (isSubCommand(sub, "postEvent")) {
        if (count != 6) return -1;
        // Accepted and ignored, as it always was.
        report.notDone("-postEvent does nothing: no event was posted");
        report.result(kStatusSuccess, Json::object(), Change::Unchanged, nullptr);
        return kStatusSuccess;
    }
    if (isSubCommand(sub, "del")) return count == 4 ? deleteRecord(session, words[3], report) : -1;
    if (isSubCommand(sub, "setPolicy"))
        return count == 4 ? setPolicy(session, words[3], report) : -1;
    if (count != 3) return -1;
    if (isSubCommand(sub, "listAll")) return listRecords(session, false, report);
    if (isSubCommand(sub, "LISTALLEX")) return listRecords(session, true, report);
    if (isSubCommand(sub, "selInfo")) return showInfo(session, report);
    if (isSubCommand(sub, "clear")) return clearLog(session, report);
    if (isSubCommand(sub, "getPolicy")) return getPolicy(session, report);
    return -1;
}

}  // namespace vorl::cli
