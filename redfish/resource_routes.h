#pragma once
// Each resource family registers its URIs, methods and privileges here (one source file each).
#include "redfish/router.h"

namespace vorl::redfish {

void addServiceRootRoutes(Router& router);     // /redfish, ServiceRoot, odata, $metadata
void addSessionRoutes(Router& router);         // SessionService, Sessions
void addAccountRoutes(Router& router);         // AccountService, Accounts, Roles
void addManagerRoutes(Router& router);         // Managers, Manager, its actions
void addManagerNetworkRoutes(Router& router);  // NetworkProtocol, EthernetInterfaces
void addLogServiceRoutes(Router& router);      // LogServices, the event log, ClearLog
void addRemoteAccountRoutes(Router& router);   // a card's own accounts and SNMP users
void addSystemRoutes(Router& router);          // Systems, ComputerSystem.Reset
void addChassisRoutes(Router& router);         // Chassis, Sensors, Thermal, Power
void addUpdateServiceRoutes(Router& router);   // UpdateService, FirmwareInventory, updates
void addTaskRoutes(Router& router);            // TaskService, Tasks
// EventService, Subscriptions, SubmitTestEvent, the Server-Sent Event stream
void addEventServiceRoutes(Router& router, class EventService& events);

// The URIs the families share.
constexpr const char* kRoot = "/redfish/v1";
constexpr const char* kManagers = "/redfish/v1/Managers";
constexpr const char* kSystems = "/redfish/v1/Systems";
constexpr const char* kChassis = "/redfish/v1/Chassis";
constexpr const char* kEventService = "/redfish/v1/EventService";

}  // namespace vorl::redfish
