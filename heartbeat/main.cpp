// vorlpulse: the heartbeat service. "-i", "-u" and "-v" install, remove and report it; without
// an option it hands itself to the service control manager.
#include "heartbeat/heartbeat_service.h"
#include "hostifc/host_transport_factory.h"
#include "platform/service_manager.h"

int main(int argc, char** argv) {
    const auto manager = vorl::platform::makeSystemServiceManager();
    vorl::HeartbeatService service(*manager, vorl::makeDeviceBackend);
    return service.runProgram(argc, argv);
}
