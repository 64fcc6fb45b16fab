// UpdateService with FirmwareInventory: each card's six firmware modules and their versions as
// the card's flash sections report them. Read only for now; the update itself comes later.
#include "redfish/card_readings.h"
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"

namespace vorl::redfish {
namespace {

constexpr const char* kUpdateService = "/redfish/v1/UpdateService";
constexpr const char* kInventory = "/redfish/v1/UpdateService/FirmwareInventory";
// The modules an image holds and a flash writes (the boot block is not one of them).
constexpr const char* kModules[] = {"OS", "DIAG", "WEB", "FPGA", "CONFIG", "SDK"};

std::string memberUri(const std::string& card, const std::string& module) {
    return std::string(kInventory) + "/" + card + "." + module;
}

void getUpdateService(Exchange& ex) {
    ex.ok({{"@odata.id", kUpdateService},
           {"@odata.type", odataType("UpdateService")},
           {"Id", "UpdateService"},
           {"Name", "Update Service"},
           {"ServiceEnabled", true},
           {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
           {"FirmwareInventory", link(kInventory)}});
}

void getInventory(Exchange& ex) {
    std::vector<std::string> members;
    for (const auto& card : ex.parts.cards.cards())
        for (const char* module : kModules) members.push_back(memberUri(card->link.id(), module));
    ex.ok(collection("SoftwareInventoryCollection", kInventory, "Firmware Inventory", members));
}

void getMember(Exchange& ex) {
    const std::string& id = ex.param(0);
    const size_t dot = id.find('.');
    const std::string cardId = id.substr(0, dot);
    const std::string module = dot == std::string::npos ? "" : id.substr(dot + 1);
    bool known = false;
    for (const char* name : kModules) known = known || module == name;
    Card* card = known ? ex.parts.cards.find(cardId) : nullptr;
    if (card == nullptr) return ex.notFound("SoftwareInventory", id);
    const auto reading = readFirmware(ex, *card);
    if (!reading) return;
    for (const auto& [name, version] : reading->sectionVersions) {
        if (name != module) continue;
        return ex.ok({{"@odata.id", memberUri(cardId, module)},
                      {"@odata.type", odataType("SoftwareInventory")},
                      {"Id", id},
                      {"Name", module + " module of VORL card " + cardId},
                      {"SoftwareId", module},
                      {"Version", version},
                      {"Updateable", false},
                      {"Status", {{"State", "Enabled"}, {"Health", "OK"}}},
                      {"RelatedItem", {link(std::string(kManagers) + "/" + cardId)}}});
    }
    // The card would not tell its sections' versions.
    ex.cardFailed(*card, CardResult{CardTrouble::None,
                                    reading->results.empty() ? 30 : reading->results[0].status, 0});
}

}  // namespace

void addUpdateServiceRoutes(Router& router) {
    router.add(kUpdateService, "GET", kLogin, getUpdateService);
    router.add(kInventory, "GET", kLogin, getInventory);
    router.add(std::string(kInventory) + "/{}", "GET", kLogin, getMember);
}

}  // namespace vorl::redfish
