// The service root and the documents about the service: /redfish, the OData service document
// and $metadata. These four answer without a login, as the protocol asks.
#include "redfish/exchange.h"
#include "redfish/resource_routes.h"
#include "redfish/schema_types.h"
#include "redfish/service_state.h"

namespace vorl::redfish {
namespace {

void getVersions(Exchange& ex) {
    ex.ok({{"v1", "/redfish/v1/"}});
}

void getServiceRoot(Exchange& ex) {
    Json root = {
        {"@odata.id", "/redfish/v1/"},
        {"@odata.type", odataType("ServiceRoot")},
        {"Id", "RootService"},
        {"Name", "VORL Redfish Service"},
        {"RedfishVersion", "1.15.0"},
        {"UUID", ex.parts.state.uuid()},
        {"Vendor", "VORL"},
        {"Product", "vorl_redfish"},
        {"ProtocolFeaturesSupported",
         {{"ExpandQuery",
           {{"ExpandAll", false}, {"Levels", false}, {"Links", false}, {"NoLinks", false}}},
          {"SelectQuery", false},
          {"FilterQuery", false},
          {"OnlyMemberQuery", false},
          {"ExcerptQuery", false}}},
        {"Systems", link(kSystems)},
        {"Chassis", link(kChassis)},
        {"Managers", link(kManagers)},
        {"SessionService", link("/redfish/v1/SessionService")},
        {"AccountService", link("/redfish/v1/AccountService")},
        {"UpdateService", link("/redfish/v1/UpdateService")},
        {"Tasks", link("/redfish/v1/TaskService")},
        {"EventService", link("/redfish/v1/EventService")},
        {"Links", {{"Sessions", link("/redfish/v1/SessionService/Sessions")}}},
    };
    ex.ok(root);
}

void getODataDocument(Exchange& ex) {
    Json services = Json::array();
    auto add = [&](const char* name, const std::string& url) {
        services.push_back({{"name", name}, {"kind", "Singleton"}, {"url", url}});
    };
    add("Service", "/redfish/v1/");
    add("Systems", kSystems);
    add("Chassis", kChassis);
    add("Managers", kManagers);
    add("SessionService", "/redfish/v1/SessionService");
    add("AccountService", "/redfish/v1/AccountService");
    add("UpdateService", "/redfish/v1/UpdateService");
    add("TaskService", "/redfish/v1/TaskService");
    add("EventService", "/redfish/v1/EventService");
    add("Sessions", "/redfish/v1/SessionService/Sessions");
    ex.ok({{"@odata.context", "/redfish/v1/$metadata"}, {"value", std::move(services)}});
}

void getMetadata(Exchange& ex) {
    ex.text(200, "application/xml; charset=utf-8", metadataDocument());
}

}  // namespace

void addServiceRootRoutes(Router& router) {
    router.add("/redfish", "GET", 0, getVersions);
    router.add(kRoot, "GET", 0, getServiceRoot);
    router.add("/redfish/v1/odata", "GET", 0, getODataDocument);
    router.add("/redfish/v1/$metadata", "GET", 0, getMetadata);
}

}  // namespace vorl::redfish
