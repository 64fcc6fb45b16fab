#pragma once
// Messages of the DMTF TaskEvent and Update registries, for a Task's Messages and the events a
// task publishes.
#include <string>
#include <vector>

#include "redfish/event_sink.h"
#include "redfish/messages.h"

namespace vorl::redfish {

constexpr const char* kTaskRegistry = "TaskEvent.1.0";
constexpr const char* kUpdateRegistry = "Update.1.3";

// A Message object of the TaskEvent or Update registry (`registry` one of the two above); `key`
// must be one the tables of task_messages.cpp hold.
Json registryMessage(const char* registry, const std::string& key,
                     const std::vector<std::string>& args);

// The same message as an event about the resource `origin` of `resourceType`.
ServiceEvent registryEvent(const char* registry, const std::string& key,
                           const std::vector<std::string>& args, const std::string& origin,
                           const std::string& resourceType);

}  // namespace vorl::redfish
