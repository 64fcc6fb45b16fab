#include "redfish/event_messages.h"

#include <cstring>

namespace vorl::redfish {
namespace {

struct EventEntry {
    const char* key;
    const char* text;
    const char* severity;
    size_t arguments;
};

// ResourceEvent.1.4.3.json (DMTF, BSD licence): the messages this service raises.
constexpr EventEntry kResourceEvents[] = {
    {"ResourceCreated", "The resource was created successfully.", "OK", 0},
    {"ResourceRemoved", "The resource was removed successfully.", "OK", 0},
    {"ResourceChanged", "One or more resource properties have changed.", "OK", 0},
    {"ResourceStatusChangedOK", "The health of resource '%1' has changed to %2.", "OK", 2},
    {"ResourceStatusChangedWarning", "The health of resource '%1' has changed to %2.", "Warning",
     2},
    {"ResourceStatusChangedCritical", "The health of resource '%1' has changed to %2.", "Critical",
     2},
    {"TestMessage", "Test message.", "OK", 0},
};

}  // namespace

std::string fillMessage(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
            const size_t index = static_cast<size_t>(text[i + 1] - '1');
            if (index < args.size()) out += args[index];
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

ServiceEvent resourceEvent(const std::string& key, std::vector<std::string> args,
                           std::string origin, std::string resourceType) {
    const EventEntry* entry = &kResourceEvents[0];
    for (const EventEntry& candidate : kResourceEvents)
        if (key == candidate.key) entry = &candidate;
    args.resize(entry->arguments);
    ServiceEvent event;
    event.registry = kResourceEventRegistry;
    event.key = entry->key;
    event.message = fillMessage(entry->text, args);
    event.args = std::move(args);
    event.severity = entry->severity;
    event.origin = std::move(origin);
    event.resourceType = std::move(resourceType);
    return event;
}

}  // namespace vorl::redfish
