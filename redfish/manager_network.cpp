// A card's network: NetworkProtocol (the card protocol's port) and its one EthernetInterface
// (address, mask, gateway, DHCP, MAC). A PATCH of the interface goes to the card at once: DHCP
// or a static address, which the card takes at once (its answer is lost over the network, as
// vorlcli knows), or a new MAC address, after which the card restarts.
#include <cctype>
#include <cstdio>

#include "protocol/card_session.h"
#include "protocol/entry_rules.h"
#include "protocol/network_records.h"
#include "redfish/card_readings.h"
#include "redfish/exchange.h"
#include "redfish/redfish_config.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "wire/status_codes.h"

namespace vorl::redfish {
namespace {

constexpr const char* kInterfaceId = "1";
// vorlcli's bound for the static-address answer: a card that took the address answers nothing.
constexpr uint32_t kStaticAddressPolls = 1;

std::string managerUri(const std::string& id) {
    return std::string(kManagers) + "/" + id;
}

std::string interfacesUri(const std::string& id) {
    return managerUri(id) + "/EthernetInterfaces";
}

bool isDhcp(const std::string& method) {
    std::string lower;
    for (char c : method) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower.find("dhcp") != std::string::npos;
}

void getNetworkProtocol(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    Json protocol = {{"@odata.id", managerUri(card->link.id()) + "/NetworkProtocol"},
                     {"@odata.type", odataType("ManagerNetworkProtocol")},
                     {"Id", "NetworkProtocol"},
                     {"Name", "Manager Network Protocol"},
                     {"Description", "The protocols the VORL card serves"},
                     {"Status", {{"State", "Enabled"}, {"Health", "OK"}}}};
    if (!card->link.endpoint().local())
        protocol["Oem"] = {
            {"Vorl", {{"CardProtocol", {{"ProtocolEnabled", true}, {"Port", 6577}}}}}};
    ex.ok(protocol);
}

void getInterfaces(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card == nullptr) return;
    const std::string uri = interfacesUri(card->link.id());
    ex.ok(collection("EthernetInterfaceCollection", uri, "Ethernet Network Interface Collection",
                     {uri + "/" + kInterfaceId}));
}

Json interfaceJson(const Card& card, const NetworkConfig& config) {
    const bool up = config.interfaceName[0] != '\0';
    const bool dhcp = isDhcp(config.method);
    Json address = {{"Address", config.ipAddress},
                    {"SubnetMask", config.netmask},
                    {"AddressOrigin", dhcp ? "DHCP" : "Static"}};
    if (config.gateway[0] != '\0') address["Gateway"] = config.gateway;
    Json interface = {
        {"@odata.id", interfacesUri(card.link.id()) + "/" + kInterfaceId},
        {"@odata.type", odataType("EthernetInterface")},
        {"Id", kInterfaceId},
        {"Name", "Manager Ethernet Interface"},
        {"Description", up ? "The card's network interface " + std::string(config.interfaceName)
                           : std::string("The card's network interface (not up)")},
        {"InterfaceEnabled", true},
        {"LinkStatus", up ? "LinkUp" : "LinkDown"},
        {"Status", {{"State", up ? "Enabled" : "Disabled"}, {"Health", "OK"}}},
        {"DHCPv4", {{"DHCPEnabled", dhcp}}},
        {"IPv4Addresses", up ? Json::array({address}) : Json::array()},
        {"IPv4StaticAddresses", Json::array()},
    };
    if (config.macAddress[0] != '\0') interface["MACAddress"] = config.macAddress;
    if (!dhcp && up) {
        address.erase("AddressOrigin");
        interface["IPv4StaticAddresses"] = Json::array({address});
    }
    return interface;
}

Card* findInterface(Exchange& ex) {
    Card* card = ex.findCard(ex.param(0), "Manager");
    if (card != nullptr && ex.param(1) != kInterfaceId) {
        ex.notFound("EthernetInterface", ex.param(1));
        return nullptr;
    }
    return card;
}

void getInterface(Exchange& ex) {
    Card* card = findInterface(ex);
    if (card == nullptr) return;
    NetworkConfig config;
    const CardResult result =
        card->link.run(ex.cardDeadline(), CardLink::Kind::Read,
                       [&](CardSession& session) { return session.getNetworkConfig(config); });
    if (!result.ok()) return ex.cardFailed(*card, result);
    ex.ok(interfaceJson(*card, config));
}

struct InterfaceChanges {
    std::optional<bool> dhcp;
    bool haveStatic = false;
    std::optional<std::string> address, netmask, gateway;
    std::optional<std::string> mac;
};

void readStaticAddress(PatchBody& patch, const Json& list, InterfaceChanges& changes) {
    if (list.size() != 1 || !list[0].is_object()) {
        patch.problem({"ArraySizeTooLong", {"IPv4StaticAddresses", "1"}});
        return;
    }
    PatchBody entry(list[0]);
    changes.address = entry.string("Address");
    changes.netmask = entry.string("SubnetMask");
    changes.gateway = entry.string("Gateway");
    entry.readOnly({"AddressOrigin"});
    const std::pair<const char*, std::optional<std::string>*> fields[] = {
        {"IPv4StaticAddresses/Address", &changes.address},
        {"IPv4StaticAddresses/SubnetMask", &changes.netmask},
        {"IPv4StaticAddresses/Gateway", &changes.gateway}};
    for (const auto& [name, value] : fields)
        if (*value && !isStrictCardAddress(**value))
            entry.problem({"PropertyValueFormatError", {**value, name}});
    for (Message& problem : entry.finish()) patch.problem(std::move(problem));
    changes.haveStatic = true;
}

std::vector<Message> readInterfacePatch(const Json& body, InterfaceChanges& changes) {
    PatchBody patch(body);
    if (const Json* dhcp = patch.object("DHCPv4")) {
        PatchBody fields(*dhcp);
        changes.dhcp = fields.boolean("DHCPEnabled");
        for (Message& problem : fields.finish()) patch.problem(std::move(problem));
    }
    if (const Json* list = patch.array("IPv4StaticAddresses"))
        readStaticAddress(patch, *list, changes);
    if (const auto mac = patch.string("MACAddress")) {
        if (isExactMacText(*mac))
            changes.mac = *mac;
        else
            patch.problem({"PropertyValueFormatError", {*mac, "MACAddress"}});
    }
    if (changes.dhcp && *changes.dhcp && changes.haveStatic)
        patch.problem({"PropertyValueConflict", {"IPv4StaticAddresses", "DHCPv4/DHCPEnabled"}});
    patch.readOnly(
        {"Id", "Name", "Description", "InterfaceEnabled", "LinkStatus", "Status", "IPv4Addresses"});
    return patch.finish();
}

// The static address the card is to take: the given fields, the rest from its present ones.
int setStaticAddress(CardSession& session, const InterfaceChanges& changes) {
    NetworkConfig current;
    if (const int status = session.getNetworkConfig(current); status != 0) return status;
    const std::string address = changes.address.value_or(current.ipAddress);
    const std::string netmask = changes.netmask.value_or(current.netmask);
    const std::string gateway = changes.gateway.value_or(current.gateway);
    if (!isStrictCardAddress(address) || !isStrictCardAddress(netmask) ||
        !isStrictCardAddress(gateway))
        return kStatusInvalidArgument;
    const int status = session.setStaticNetwork(address, netmask, gateway, kStaticAddressPolls);
    // The card takes the address at once, so over the network its answer is lost.
    return status == kStatusConnectError ? kStatusSuccess : status;
}

void patchInterface(Exchange& ex) {
    Card* card = findInterface(ex);
    if (card == nullptr) return;
    Json body;
    if (!ex.readObject(body)) return;
    InterfaceChanges changes;
    if (const auto problems = readInterfacePatch(body, changes); !problems.empty())
        return ex.fail(400, problems);
    // Every change here can end the session: a new address, DHCP, a MAC with its reset.
    const CardResult result = card->link.run(
        ex.cardDeadline(), CardLink::Kind::WriteEndingSession, [&](CardSession& session) {
            if (changes.dhcp && *changes.dhcp) {
                if (const int status = session.setDhcp(); status != 0) return status;
            } else if (changes.haveStatic || (changes.dhcp && !*changes.dhcp)) {
                if (const int status = setStaticAddress(session, changes); status != 0)
                    return status;
            }
            if (changes.mac) {
                uint8_t mac[kMacLength];
                parseMacText(*changes.mac, mac);
                return session.setMacAddressAndReset(mac);
            }
            return static_cast<int>(kStatusSuccess);
        });
    if (!result.ok()) return ex.cardFailed(*card, result);
    if (changes.haveStatic && changes.address && !card->link.endpoint().local())
        std::fprintf(stderr,
                     "vorl_redfish: card %s took the address %s: change its address in the "
                     "configuration file\n",
                     card->link.id().c_str(), changes.address->c_str());
    ex.noContent();
}

}  // namespace

void addManagerNetworkRoutes(Router& router) {
    const std::string manager = std::string(kManagers) + "/{}";
    router.add(manager + "/NetworkProtocol", "GET", kLogin, getNetworkProtocol);
    router.add(manager + "/EthernetInterfaces", "GET", kLogin, getInterfaces);
    router.add(manager + "/EthernetInterfaces/{}", "GET", kLogin, getInterface);
    router.add(manager + "/EthernetInterfaces/{}", "PATCH", kLogin | kConfigureManager,
               patchInterface);
}

}  // namespace vorl::redfish
