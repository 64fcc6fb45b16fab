// Every card's server is a ComputerSystem: what the card knows of it (the server information
// an administrator gave the card, its health, the power state the event log tells) and
// ComputerSystem.Reset through the card's host control.
#include "protocol/card_session.h"
#include "protocol/general_records.h"
#include "redfish/card_readings.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/sensor_views.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

// ResetType and the card's host-control action for it.
struct ResetAction {
    const char* type;
    uint8_t action;
};
constexpr ResetAction kResets[] = {
    {"On", 3}, {"ForceOff", 2}, {"ForceRestart", 1}, {"PowerCycle", 4}};

std::string systemUri(const std::string& id) {
    return std::string(kSystems) + "/" + id;
}

void getSystems(Exchange& ex) {
    std::vector<std::string> members;
    for (const auto& card : ex.parts.cards.cards()) members.push_back(systemUri(card->link.id()));
    ex.ok(collection("ComputerSystemCollection", kSystems, "Computer System Collection", members));
}

void getSystem(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "ComputerSystem");
    if (card == nullptr) return;
    ServerInfo info;
    int infoStatus = 0;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read, [&](CardSession& session) {
            infoStatus = session.getServerInfo(info);
            return infoStatus == kStatusConnectError ? infoStatus : kStatusSuccess;
        });
    if (!result.ok()) return ex.cardFailed(*card, result);
    const auto environment = readEnvironment(ex, *card);
    if (!environment) return;
    const auto power = readPower(ex, *card);
    if (!power) return;
    const std::string& id = card->link.id();
    const std::string uri = systemUri(id);
    Json system = {
        {"@odata.id", uri},
        {"@odata.type", odataType("ComputerSystem")},
        {"Id", id},
        {"Name", "Server of VORL card " + id},
        {"SystemType", "Physical"},
        {"Status", {{"State", "Enabled"}, {"Health", healthOf(sensorViews(*environment))}}},
    };
    Json oem = Json::object();
    if (infoStatus == kStatusSuccess) {
        if (info.name[0] != '\0') system["HostName"] = info.name;
        if (info.description[0] != '\0') system["Description"] = info.description;
        if (info.location[0] != '\0') oem["ServerLocation"] = info.location;
        if (info.os[0] != '\0') oem["ServerOperatingSystem"] = info.os;
    }
    // The card cannot choose the server's boot source: no override, and none to set.
    system["Boot"] = {{"BootSourceOverrideEnabled", "Disabled"},
                      {"BootSourceOverrideTarget", "None"},
                      {"BootSourceOverrideTarget@Redfish.AllowableValues", {"None"}}};
    // The card can only tell the power state from its event log; unknown is left out.
    if (power->on) system["PowerState"] = *power->on ? "On" : "Off";
    oem["PowerStateSource"] = "CardEventLog";
    system["Links"] = {{"ManagedBy", {link(std::string(kManagers) + "/" + id)}},
                       {"Chassis", {link(std::string(kChassis) + "/" + id)}}};
    Json types = Json::array();
    for (const ResetAction& reset : kResets) types.push_back(reset.type);
    system["Actions"] = {{"#ComputerSystem.Reset",
                          {{"target", uri + "/Actions/ComputerSystem.Reset"},
                           {"ResetType@Redfish.AllowableValues", std::move(types)}}}};
    system["Oem"] = {{"Vorl", std::move(oem)}};
    ex.ok(system);
}

void resetSystem(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "ComputerSystem");
    if (card == nullptr) return;
    Json body;
    if (!ex.readObject(body)) return;
    constexpr const char* kAction = "ComputerSystem.Reset";
    const auto type = body.find("ResetType");
    if (type == body.end())
        return ex.fail(400, {{"ActionParameterMissing", {kAction, "ResetType"}}});
    for (const auto& [key, value] : body.items())
        if (key != "ResetType" && (key.empty() || key[0] != '@'))
            return ex.fail(400, {{"ActionParameterUnknown", {kAction, key}}});
    if (!type->is_string())
        return ex.fail(
            400, {{"ActionParameterValueTypeError", {argumentText(*type), "ResetType", kAction}}});
    const ResetAction* reset = nullptr;
    for (const ResetAction& candidate : kResets)
        if (*type == candidate.type) reset = &candidate;
    if (reset == nullptr)
        return ex.fail(400, {{"ActionParameterValueNotInList",
                              {type->get<std::string>(), "ResetType", kAction}}});
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Write,
                       [&](CardSession& session) { return session.hostControl(reset->action); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.noContent();
}

}  // namespace

void addSystemRoutes(Router& router) {
    const std::string system = std::string(kSystems) + "/{}";
    router.add(kSystems, "GET", kLogin, getSystems);
    router.add(system, "GET", kLogin, getSystem);
    router.add(system + "/Actions/ComputerSystem.Reset", "POST", kLogin | kConfigureComponents,
               resetSystem);
}

}  // namespace vorl::redfish
