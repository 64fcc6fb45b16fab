#include "redfish/task_messages.h"

#include <cstring>

namespace vorl::redfish {
namespace {

struct Entry {
    const char* registry;
    const char* key;
    const char* text;  // %1, %2 stand for the arguments
    const char* severity;
    int arguments;
};

// From TaskEvent.1.0.5.json and Update.1.3.0.json (DMTF, BSD licence); every resolution there
// is "None.".
constexpr Entry kEntries[] = {
    {kTaskRegistry, "TaskStarted", "The task with Id '%1' has started.", "OK", 1},
    {kTaskRegistry, "TaskCompletedOK", "The task with Id '%1' has completed.", "OK", 1},
    {kTaskRegistry, "TaskAborted", "The task with Id '%1' has completed with errors.", "Critical",
     1},
    {kTaskRegistry, "TaskProgressChanged",
     "The task with Id '%1' has changed to progress %2 percent complete.", "OK", 2},
    {kUpdateRegistry, "TargetDetermined", "The target device '%1' will be updated with image '%2'.",
     "OK", 2},
    {kUpdateRegistry, "UpdateInProgress", "An update is in progress.", "OK", 0},
    {kUpdateRegistry, "TransferringToComponent", "Image '%1' is being transferred to '%2'.", "OK",
     2},
    {kUpdateRegistry, "VerifyingAtComponent", "Image '%1' is being verified at '%2'.", "OK", 2},
    {kUpdateRegistry, "ApplyingOnComponent", "Image '%1' is being applied on '%2'.", "OK", 2},
    {kUpdateRegistry, "TransferFailed", "Transfer of image '%1' to '%2' failed.", "Critical", 2},
    {kUpdateRegistry, "VerificationFailed", "Verification of image '%1' at '%2' failed.",
     "Critical", 2},
    {kUpdateRegistry, "ApplyFailed", "Installation of image '%1' to '%2' failed.", "Critical", 2},
    {kUpdateRegistry, "UpdateSuccessful", "Device '%1' successfully updated with image '%2'.", "OK",
     2},
    {kUpdateRegistry, "UpdateNotApplicable", "Image '%1' was not applicable to device '%2'.",
     "Warning", 2},
};

const Entry& lookUp(const char* registry, const std::string& key) {
    for (const Entry& entry : kEntries)
        if (key == entry.key && std::strcmp(registry, entry.registry) == 0) return entry;
    return kEntries[2];  // a key missing from the table is a fault of this service: an abort
}

std::string fillIn(const char* text, const std::vector<std::string>& args) {
    std::string out;
    for (const char* c = text; *c != '\0'; ++c) {
        const size_t index = c[0] == '%' && c[1] >= '1' && c[1] <= '9' ? c[1] - '1' : args.size();
        if (index < args.size()) {
            out += args[index];
            ++c;
        } else {
            out += *c;
        }
    }
    return out;
}

}  // namespace

Json registryMessage(const char* registry, const std::string& key,
                     const std::vector<std::string>& args) {
    const Entry& entry = lookUp(registry, key);
    std::vector<std::string> filled = args;
    filled.resize(static_cast<size_t>(entry.arguments));
    return {{"@odata.type", "#Message.v1_3_0.Message"},
            {"MessageId", std::string(entry.registry) + "." + entry.key},
            {"Message", fillIn(entry.text, filled)},
            {"MessageArgs", filled},
            {"MessageSeverity", entry.severity},
            {"Resolution", "None."}};
}

ServiceEvent registryEvent(const char* registry, const std::string& key,
                           const std::vector<std::string>& args, const std::string& origin,
                           const std::string& resourceType) {
    const Json message = registryMessage(registry, key, args);
    ServiceEvent event;
    event.registry = registry;
    event.key = key;
    event.args = message["MessageArgs"].get<std::vector<std::string>>();
    event.message = message["Message"].get<std::string>();
    event.severity = message["MessageSeverity"].get<std::string>();
    event.origin = origin;
    event.resourceType = resourceType;
    return event;
}

}  // namespace vorl::redfish
