// A card's event log as the Manager's LogService "EventLog": every record a LogEntry (time,
// severity, the card's event text, its record number) and LogService.ClearLog.
#include <cstdio>

#include "cardread/event_log.h"
#include "protocol/card_session.h"
#include "protocol/event_log_records.h"
#include "protocol/general_records.h"
#include "protocol/text_field.h"
#include "redfish/card_readings.h"
#include "redfish/date_time.h"
#include "redfish/exchange.h"
#include "redfish/log_severity.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

constexpr const char* kLogId = "EventLog";

std::string servicesUri(const std::string& card) {
    return std::string(kManagers) + "/" + card + "/LogServices";
}

std::string logUri(const std::string& card) {
    return servicesUri(card) + "/" + kLogId;
}

std::string entryUri(const std::string& card, unsigned index) {
    return logUri(card) + "/Entries/" + std::to_string(index);
}

Json entryJson(const std::string& card, const cardread::EventLogEntry& entry) {
    std::string data;
    for (uint8_t byte : entry.data) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        data += hex;
    }
    const std::string message = entry.description.empty()
                                    ? "Event " + std::to_string(entry.event()) + " of module " +
                                          std::to_string(entry.module())
                                    : entry.description;
    Json json = {{"@odata.id", entryUri(card, entry.index)},
                 {"@odata.type", odataType("LogEntry")},
                 {"Id", std::to_string(entry.index)},
                 {"Name", "Event Log Entry " + std::to_string(entry.index)},
                 {"EntryType", "Oem"},
                 {"OemRecordFormat", "VORL"},
                 {"Created", dateTimeText(entry.time)},
                 {"Message", message}};
    if (const char* severity = logSeverity(entry.severity)) json["Severity"] = severity;
    const char* severityName = cardread::severityName(entry.severity);
    json["Oem"] = {{"Vorl",
                    {{"RecordId", entry.id},
                     {"Module", entry.module()},
                     {"Event", entry.event()},
                     {"Severity", severityName ? Json(severityName) : Json(nullptr)},
                     {"SeverityCode", entry.severity},
                     {"EventData", data}}}};
    return json;
}

Card* findLog(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card != nullptr && ex.param(1) != kLogId) {
        ex.notFound("LogService", ex.param(1));
        return nullptr;
    }
    return card;
}

void getLogServices(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    ex.ok(collection("LogServiceCollection", servicesUri(card->link.id()), "Log Service Collection",
                     {logUri(card->link.id())}));
}

void getLogService(Exchange& ex) {
    Card* card = findLog(ex);
    if (card == nullptr) return;
    std::optional<uint8_t> policy;
    std::optional<int64_t> clock;
    std::optional<SelInfo> info;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            ReadSteps steps;
            uint8_t fill = 0;
            if (steps.ok(session.getSelPolicy(fill))) policy = fill;
            CardTime time;
            if (steps.ok(session.getCardTime(time))) clock = time.seconds;
            SelInfo selInfo;
            if (steps.ok(session.getSelInfo(selInfo))) info = selInfo;
            return steps.result();
        });
    if (!result.ok()) return ex.cardFailed(*card, result);
    const std::string uri = logUri(card->link.id());
    Json log = {{"@odata.id", uri},
                {"@odata.type", odataType("LogService")},
                {"Id", kLogId},
                {"Name", "VORL Event Log"},
                {"Description", "The card's system event log"},
                {"ServiceEnabled", true},
                {"LogEntryType", "OEM"},
                {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
                {"Entries", link(uri + "/Entries")},
                {"Actions",
                 {{"#LogService.ClearLog", {{"target", uri + "/Actions/LogService.ClearLog"}}}}}};
    if (policy == kSelPolicyRollover) log["OverWritePolicy"] = "WrapsWhenFull";
    if (policy == kSelPolicyStop) log["OverWritePolicy"] = "NeverOverWrites";
    if (clock) {
        log["DateTime"] = dateTimeText(*clock);
        log["DateTimeLocalOffset"] = "+00:00";
    }
    if (info)
        log["Oem"] = {
            {"Vorl", {{"RecordCount", info->recordCount}, {"FreeSpaceBytes", info->freeSpace}}}};
    ex.ok(log);
}

// The collection carries every entry whole, as log readers expect.
void getEntries(Exchange& ex) {
    Card* card = findLog(ex);
    if (card == nullptr) return;
    cardread::EventLog log;
    int status = 0;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            status = cardread::readEventLog(session, true, log);
            return status == kStatusConnectError ? status : kStatusSuccess;
        });
    if (!result.ok()) return ex.cardFailed(*card, result);
    if (!log.counted) return ex.cardFailed(*card, CardResult{CardTrouble::None, status, 0});
    Json members = Json::array();
    for (const auto& entry : log.entries) members.push_back(entryJson(card->link.id(), entry));
    ex.ok({{"@odata.id", logUri(card->link.id()) + "/Entries"},
           {"@odata.type", odataType("LogEntryCollection")},
           {"Name", "Event Log Entries"},
           {"Members@odata.count", members.size()},
           {"Members", std::move(members)}});
}

void getEntry(Exchange& ex) {
    Card* card = findLog(ex);
    if (card == nullptr) return;
    const std::string& id = ex.param(2);
    const unsigned long index =
        id.find_first_not_of("0123456789") == std::string::npos && !id.empty() && id.size() <= 5
            ? std::stoul(id)
            : 0;
    if (index < 1 || index > 0xFFFF) return ex.notFound("LogEntry", id);
    SelRecordEx record;
    record.record.recordNumber = static_cast<uint16_t>(index);
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read,
                       [&](CardSession& session) { return session.getSelEntryEx(record); });
    if (result.trouble == CardTrouble::None && result.status == kStatusResourceNotExist)
        return ex.notFound("LogEntry", id);
    if (!result.ok()) return ex.cardFailed(*card, result);
    const std::string description = getTextField(
        reinterpret_cast<const uint8_t*>(record.description), SelRecordEx::kDescriptionSize);
    ex.ok(entryJson(card->link.id(),
                    cardread::decodeEventLogEntry(record.record, static_cast<uint16_t>(index),
                                                  description.c_str())));
}

void clearLog(Exchange& ex) {
    Card* card = findLog(ex);
    if (card == nullptr) return;
    uint16_t deleted = 0;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Write,
                       [&](CardSession& session) { return session.clearSel(deleted); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.noContent();
}

}  // namespace

void addLogServiceRoutes(Router& router) {
    const std::string services = std::string(kManagers) + "/{}/LogServices";
    router.add(services, "GET", kLogin, getLogServices);
    router.add(services + "/{}", "GET", kLogin, getLogService);
    router.add(services + "/{}/Entries", "GET", kLogin, getEntries);
    router.add(services + "/{}/Entries/{}", "GET", kLogin, getEntry);
    router.add(services + "/{}/Actions/LogService.ClearLog", "POST", kLogin | kConfigureManager,
               clearLog);
}

}  // namespace vorl::redfish
