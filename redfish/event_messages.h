#pragma once
// The event registries' messages this service raises (ResourceEvent, DMTF), as ServiceEvents
// ready to publish.
#include <string>
#include <vector>

#include "redfish/event_sink.h"

namespace vorl::redfish {

// The prefix of these MessageIds: the registry's name, major and minor version.
constexpr const char* kResourceEventRegistry = "ResourceEvent.1.4";

// An event of the ResourceEvent registry: `key` must be one of event_messages.cpp's table
// ("ResourceChanged", "ResourceStatusChangedCritical", ...); its text and severity come from
// the registry.
ServiceEvent resourceEvent(const std::string& key, std::vector<std::string> args,
                           std::string origin, std::string resourceType);

// The registry's text with %1, %2, ... replaced by `args`.
std::string fillMessage(const std::string& text, const std::vector<std::string>& args);

}  // namespace vorl::redfish
