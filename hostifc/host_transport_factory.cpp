#include "hostifc/host_transport_factory.h"

#include <cstdlib>
#include <cstring>

#include "hostifc/host_interface.h"
#include "platform/debug_output.h"
#include "platform/sim_device.h"

namespace vorl {
namespace {

// A backend with no devices: what a mistyped VORL_HOSTIFC gets, rather than the real drives.
class NoDevices : public platform::DeviceBackend {
public:
    long queryDosDevice(const char*, char*, uint32_t) override { return 0; }
    std::unique_ptr<platform::ScsiDevice> openDevice(const char*) override { return nullptr; }
};

}  // namespace

std::unique_ptr<platform::DeviceBackend> makeDeviceBackend() {
    const char* setting = std::getenv("VORL_HOSTIFC");
    if (setting == nullptr || *setting == '\0') return platform::makeSystemDeviceBackend();
    uint32_t address = 0;
    uint16_t port = 0;
    if (platform::parseSimDeviceAddress(setting, address, port))
        return platform::makeSimDeviceBackend(address, port);
    platform::debugOutput("[K8HOSTIFC]: VORL_HOSTIFC is not sim:HOST:PORT; no card is used\n");
    return std::make_unique<NoDevices>();
}

std::unique_ptr<CardTransport> makeHostTransport() {
    return std::make_unique<HostInterface>(makeDeviceBackend());
}

int hostTransportDriveLetter(CardTransport& transport, char& letter) {
    auto* host = dynamic_cast<HostInterface*>(&transport);
    return host != nullptr ? host->getDriveLetter(letter) : -1;
}

}  // namespace vorl
