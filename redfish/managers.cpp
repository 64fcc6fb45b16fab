// Every card is a Manager: its firmware version, its clock, the card reset (Manager.Reset keeps
// the configuration, Manager.ResetToDefaults does not), and the settings only a VORL card has
// under Oem.Vorl (card name, heartbeat interval, automatic server restart).
#include "protocol/advanced_records.h"
#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "protocol/general_records.h"
#include "redfish/card_readings.h"
#include "redfish/date_time.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

// The card's heartbeat interval and restart delay: never below what the card's tools allow.
constexpr int64_t kMinHeartbeat = 240;
constexpr int64_t kMaxHeartbeat = INT32_MAX;
constexpr int64_t kMinAsrDelay = AsrConfig::kMinimumDelay;
constexpr int64_t kMaxAsrDelay = 65535;

std::string managerUri(const std::string& id) {
    return std::string(kManagers) + "/" + id;
}

struct ManagerReading {
    std::optional<std::string> firmware, buildDate, cardName;
    std::optional<int64_t> clock;
    std::optional<int32_t> heartbeat;
    std::optional<AsrConfig> asr;
};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    return text;
}

int readManager(CardSession& session, ManagerReading& out) {
    ReadSteps steps;
    FirmwareInfo firmware;
    if (steps.ok(session.getFirmwareInfo(firmware))) {
        out.firmware = trimmed(firmware.version);
        out.buildDate = trimmed(firmware.buildDate);
    }
    CardTime time;
    if (steps.ok(session.getCardTime(time))) out.clock = time.seconds;
    int32_t heartbeat = 0;
    if (steps.ok(session.getHeartbeatInterval(heartbeat))) out.heartbeat = heartbeat;
    AsrConfig asr;
    if (steps.ok(session.getAsrConfig(asr))) out.asr = asr;
    char name[kCardNameFieldSize + 1] = {};
    if (steps.ok(session.getCardName(name, sizeof name))) out.cardName = name;
    return steps.result();
}

Json managerJson(Exchange& ex, const Card& card, const ManagerReading& reading) {
    const std::string& id = card.link.id();
    const CardEndpoint& endpoint = card.link.endpoint();
    const std::string uri = managerUri(id);
    Json manager = {
        {"@odata.id", uri},
        {"@odata.type", odataType("Manager")},
        {"Id", id},
        {"Name", "VORL card " + id},
        {"Description", endpoint.local()
                            ? std::string("The VORL card in this server (host interface)")
                            : "VORL remote management card at " + endpoint.address},
        {"ManagerType", "BMC"},
        {"Model", "VORL"},
        {"ServiceEntryPointUUID", ex.parts.state.uuid()},
        {"PowerState", "On"},
        {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
    };
    if (reading.firmware) manager["FirmwareVersion"] = *reading.firmware;
    if (reading.clock) {
        manager["DateTime"] = dateTimeText(*reading.clock);
        manager["DateTimeLocalOffset"] = "+00:00";
    }
    manager["NetworkProtocol"] = link(uri + "/NetworkProtocol");
    manager["EthernetInterfaces"] = link(uri + "/EthernetInterfaces");
    manager["LogServices"] = link(uri + "/LogServices");
    manager["RemoteAccountService"] = link(uri + "/RemoteAccountService");
    manager["Links"] = {{"ManagerForServers", {link(std::string(kSystems) + "/" + id)}},
                        {"ManagerForChassis", {link(std::string(kChassis) + "/" + id)}},
                        {"ManagerInChassis", link(std::string(kChassis) + "/" + id)}};
    manager["Actions"] = {
        {"#Manager.Reset",
         {{"target", uri + "/Actions/Manager.Reset"},
          {"ResetType@Redfish.AllowableValues", {"GracefulRestart", "ForceRestart"}}}},
        {"#Manager.ResetToDefaults",
         {{"target", uri + "/Actions/Manager.ResetToDefaults"},
          {"ResetType@Redfish.AllowableValues", {"ResetAll"}}}}};
    Json oem = Json::object();
    if (reading.cardName) oem["CardName"] = *reading.cardName;
    if (reading.buildDate) oem["FirmwareBuildDate"] = *reading.buildDate;
    if (reading.heartbeat) oem["HeartbeatIntervalSeconds"] = *reading.heartbeat;
    if (reading.asr)
        oem["AutomaticServerRestart"] = {
            {"Enabled", reading.asr->state == kAsrEnabled},
            {"Action", reading.asr->method == kAsrPowerCycle ? "PowerCycle" : "Reset"},
            {"DelaySeconds", reading.asr->delay}};
    manager["Oem"] = {{"Vorl", std::move(oem)}};
    return manager;
}

void getManagers(Exchange& ex) {
    std::vector<std::string> members;
    for (const auto& card : ex.parts.cards.cards()) members.push_back(managerUri(card->link.id()));
    ex.ok(collection("ManagerCollection", kManagers, "Manager Collection", members));
}

void getManager(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    ManagerReading reading;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read,
                       [&](CardSession& s) { return readManager(s, reading); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.ok(managerJson(ex, *card, reading));
}

// The changes a PATCH asks for, checked before the card is asked anything.
struct ManagerChanges {
    std::optional<int64_t> clock;
    std::optional<int32_t> heartbeat;
    std::optional<std::string> cardName;
    std::optional<bool> asrEnabled;
    std::optional<uint8_t> asrMethod;
    std::optional<uint16_t> asrDelay;
    bool asr() const { return asrEnabled || asrMethod || asrDelay; }
};

void readAsrPatch(PatchBody& oem, const Json& asrJson, ManagerChanges& changes) {
    PatchBody asr(asrJson);
    changes.asrEnabled = asr.boolean("Enabled");
    if (const auto action = asr.string("Action")) {
        if (*action == "PowerCycle" || *action == "Reset")
            changes.asrMethod = *action == "PowerCycle" ? kAsrPowerCycle : kAsrReset;
        else
            asr.problem({"PropertyValueNotInList", {*action, "AutomaticServerRestart/Action"}});
    }
    if (const auto delay = asr.integer("DelaySeconds")) {
        if (*delay < kMinAsrDelay || *delay > kMaxAsrDelay)
            asr.problem({"PropertyValueOutOfRange",
                         {std::to_string(*delay), "AutomaticServerRestart/DelaySeconds"}});
        else
            changes.asrDelay = static_cast<uint16_t>(*delay);
    }
    for (Message& problem : asr.finish()) oem.problem(std::move(problem));
}

std::vector<Message> readManagerPatch(const Json& body, ManagerChanges& changes) {
    PatchBody patch(body);
    if (const auto text = patch.string("DateTime")) {
        changes.clock = parseDateTime(*text);
        if (!changes.clock) patch.problem({"PropertyValueFormatError", {*text, "DateTime"}});
    }
    if (const auto offset = patch.string("DateTimeLocalOffset");
        offset && *offset != "+00:00" && *offset != "Z")
        patch.problem({"PropertyValueNotInList", {*offset, "DateTimeLocalOffset"}});
    if (const Json* oemJson = patch.object("Oem")) {
        PatchBody oem(*oemJson);
        if (const Json* vorlJson = oem.object("Vorl")) {
            PatchBody vorl(*vorlJson);
            if (const auto name = vorl.string("CardName")) {
                if (isValidCardName(*name))
                    changes.cardName = *name;
                else
                    vorl.problem({"PropertyValueFormatError", {*name, "Oem/Vorl/CardName"}});
            }
            if (const auto interval = vorl.integer("HeartbeatIntervalSeconds")) {
                if (*interval < kMinHeartbeat || *interval > kMaxHeartbeat)
                    vorl.problem(
                        {"PropertyValueOutOfRange",
                         {std::to_string(*interval), "Oem/Vorl/HeartbeatIntervalSeconds"}});
                else
                    changes.heartbeat = static_cast<int32_t>(*interval);
            }
            if (const Json* asr = vorl.object("AutomaticServerRestart"))
                readAsrPatch(vorl, *asr, changes);
            vorl.readOnly({"FirmwareBuildDate"});
            for (Message& problem : vorl.finish()) oem.problem(std::move(problem));
        }
        for (Message& problem : oem.finish()) patch.problem(std::move(problem));
    }
    patch.readOnly({"Id", "Name", "Description", "ManagerType", "Model", "FirmwareVersion",
                    "ServiceEntryPointUUID", "PowerState", "Status", "NetworkProtocol",
                    "EthernetInterfaces", "LogServices", "RemoteAccountService", "Links",
                    "Actions"});
    return patch.finish();
}

int applyManagerChanges(CardSession& session, const ManagerChanges& changes) {
    if (changes.cardName) {
        if (const int status = session.setCardName(*changes.cardName); status != 0) return status;
    }
    if (changes.heartbeat) {
        if (const int status = session.setHeartbeatInterval(*changes.heartbeat); status != 0)
            return status;
    }
    if (changes.asr()) {
        AsrConfig asr;
        if (const int status = session.getAsrConfig(asr); status != 0) return status;
        if (changes.asrEnabled) asr.state = *changes.asrEnabled ? kAsrEnabled : kAsrDisabled;
        if (changes.asrMethod) asr.method = *changes.asrMethod;
        if (changes.asrDelay) asr.delay = *changes.asrDelay;
        if (const int status = session.setAsrConfig(asr); status != 0) return status;
    }
    if (changes.clock) {
        // An earlier time is taken by resetting the card (the roll-back flag).
        CardTime wanted;
        wanted.seconds = static_cast<int32_t>(*changes.clock);
        wanted.rollBack = 1;
        return session.setCardTime(wanted);
    }
    return kStatusSuccess;
}

void patchManager(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    Json body;
    if (!ex.readObject(body)) return;
    ManagerChanges changes;
    if (const auto problems = readManagerPatch(body, changes); !problems.empty())
        return ex.fail(400, problems);
    if (changes.clock && (*changes.clock < 0 || *changes.clock > INT32_MAX))
        return ex.fail(
            400, {{"PropertyValueOutOfRange", {body["DateTime"].get<std::string>(), "DateTime"}}});
    // Setting the clock may restart the card: its session is not used again.
    const auto kind = changes.clock ? CardLink::Kind::WriteEndingSession : CardLink::Kind::Write;
    const CardResult result = card->link.run(
        ex.cardDeadline(), kind, [&](CardSession& s) { return applyManagerChanges(s, changes); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    // A clock set back restarts the card: nothing to read back for a while.
    if (changes.clock) return ex.noContent();
    getManager(ex);
}

// The card reset: configuration kept (Manager.Reset) or back to the defaults
// (Manager.ResetToDefaults, ResetType ResetAll).
void resetManager(Exchange& ex, bool toDefaults) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    Json body = Json::object();
    if (!ex.request.body.empty() && !ex.readObject(body)) return;
    const char* action = toDefaults ? "Manager.ResetToDefaults" : "Manager.Reset";
    PatchBody fields(body);
    const auto type = fields.string("ResetType");
    if (toDefaults && !type) fields.problem({"ActionParameterMissing", {action, "ResetType"}});
    const bool known =
        !type ||
        (toDefaults ? *type == "ResetAll" : *type == "GracefulRestart" || *type == "ForceRestart");
    if (!known) fields.problem({"ActionParameterValueNotInList", {*type, "ResetType", action}});
    for (const auto& [key, value] : body.items())
        if (key != "ResetType") fields.problem({"ActionParameterUnknown", {action, key}});
    fields.consumed("ResetType");
    for (const auto& [key, value] : body.items()) fields.consumed(key.c_str());
    if (const auto problems = fields.finish(); !problems.empty()) return ex.fail(400, problems);
    const CardResult result = card->link.run(
        ex.cardDeadline(), CardLink::Kind::WriteEndingSession,
        [&](CardSession& s) { return toDefaults ? s.resetCardToDefaults() : s.resetCard(); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.noContent();
}

}  // namespace

void addManagerRoutes(Router& router) {
    const std::string manager = std::string(kManagers) + "/{}";
    router.add(kManagers, "GET", kLogin, getManagers);
    router.add(manager, "GET", kLogin, getManager);
    router.add(manager, "PATCH", kLogin | kConfigureManager, patchManager);
    router.add(manager + "/Actions/Manager.Reset", "POST", kLogin | kConfigureManager,
               [](Exchange& ex) { resetManager(ex, false); });
    router.add(manager + "/Actions/Manager.ResetToDefaults", "POST", kLogin | kConfigureManager,
               [](Exchange& ex) { resetManager(ex, true); });
}

}  // namespace vorl::redfish
