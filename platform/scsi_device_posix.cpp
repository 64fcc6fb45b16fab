#include "platform/scsi_device.h"

namespace vorl::platform {
namespace {

// No native pass-through yet: the device list is empty, so no card is ever found.
class NoDeviceBackend : public DeviceBackend {
public:
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        if (name != nullptr || capacity < 2) return 0;
        buffer[0] = '\0';
        buffer[1] = '\0';
        return 2;
    }
    std::unique_ptr<ScsiDevice> openDevice(const char*) override { return nullptr; }
};

}  // namespace

std::unique_ptr<DeviceBackend> makeSystemDeviceBackend() {
    return std::make_unique<NoDeviceBackend>();
}

}  // namespace vorl::platform
