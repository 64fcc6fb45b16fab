#pragma once
// Where the service's parts tell what happened (a card's new event-log entry, a card lost or
// back, a task's progress and end, a resource changed through the service) for the event
// service to deliver. publish() never waits on a subscriber: it queues and returns.
//
// Tasks: the update service publishes "TaskEvent.1.0" events (TaskStarted, TaskProgressChanged,
// TaskCompleted, ...) with `origin` the Task's URI and `resourceType` "Task"; subscribers pick
// them with RegistryPrefixes ["TaskEvent"] or ResourceTypes ["Task"].
#include <string>
#include <vector>

namespace vorl::redfish {

struct ServiceEvent {
    std::string registry;  // the MessageId's prefix: "TaskEvent.1.0", "ResourceEvent.1.3", ...
    std::string key;       // "TaskProgressChanged", "ResourceChanged", ...
    std::vector<std::string> args;
    std::string message;       // the registry's text with the arguments filled in
    std::string severity;      // "OK", "Warning" or "Critical"
    std::string origin;        // @odata.id of the resource the event is about
    std::string resourceType;  // that resource's type: "Task", "LogEntry", "Manager", ...
    std::string logEntry;      // @odata.id of the LogEntry that records it; empty: none
    std::string detail;        // free text beside the registry's (a card's own event text)
};

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void publish(ServiceEvent event) = 0;
};

}  // namespace vorl::redfish
