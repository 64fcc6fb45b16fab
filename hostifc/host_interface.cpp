#include "hostifc/host_interface.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/debug_output.h"
#include "platform/sleep.h"

namespace vorl {
namespace {

constexpr uint32_t kDeviceListSize = 16384;
constexpr uint32_t kDeviceListLimit = 1024 * 1024;
constexpr uint32_t kTargetSize = 1024;
constexpr char kCdRomTarget[] = "\\Device\\CdRom";

// The DOS device list, grown past its first 16384 bytes when the machine has more devices.
// Empty on failure.
std::vector<char> queryDeviceList(platform::DeviceBackend& backend) {
    std::vector<char> list(kDeviceListSize);
    for (;;) {
        const long stored =
            backend.queryDosDevice(nullptr, list.data(), static_cast<uint32_t>(list.size()));
        if (stored > 0) {
            list.resize(static_cast<size_t>(stored));
            return list;
        }
        if (stored != platform::kDeviceQueryTooSmall || list.size() >= kDeviceListLimit) return {};
        list.resize(list.size() * 2);
    }
}

bool isCdRomDrive(platform::DeviceBackend& backend, const char* name) {
    char target[kTargetSize];
    if (backend.queryDosDevice(name, target, sizeof target) <= 0) return false;
    target[sizeof target - 1] = '\0';
    return std::strstr(target, kCdRomTarget) != nullptr;
}

}  // namespace

HostInterface::HostInterface(std::unique_ptr<platform::DeviceBackend> backend)
    : backend_(std::move(backend)), transfer_(allocateTransferBuffer(MessageBlock::kSize)) {}

HostInterface::~HostInterface() {
    trace("host win destructor\n");
    disconnect();
}

void HostInterface::trace(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    traceLine(format, arguments);
    va_end(arguments);
}

void HostInterface::pause(uint32_t milliseconds) {
    platform::sleepMs(milliseconds);
}

int HostInterface::findDrive() {
    const std::vector<char> list = queryDeviceList(*backend_);
    const char* at = list.data();
    const char* end = at + list.size();
    while (at < end && *at != '\0') {
        const char* nul = static_cast<const char*>(std::memchr(at, '\0', end - at));
        if (nul == nullptr) break;  // an unterminated last name is not a name
        const char* name = at;
        at = nul + 1;
        // Drive names only ("E:"); everything else (COM1, PhysicalDrive0) is skipped.
        if (name[1] != ':' || !isCdRomDrive(*backend_, name)) continue;
        char path[8];
        std::snprintf(path, sizeof path, "\\\\.\\%c:", name[0]);
        std::unique_ptr<platform::ScsiDevice> probe = backend_->openDevice(path);
        if (!probe) continue;
        const bool isCard = probeSignature(*probe) == 1;
        probe.reset();
        if (isCard) {
            driveLetter_ = name[0];
            found_ = 1;
            trace("FindK8 CDROM DRIVE - Success\n");
            return 1;
        }
    }
    found_ = 0;
    return 0;
}

int HostInterface::openDrive() {
    if (open_ == 1) {
        trace("CD already Open !!!");
        return 0;
    }
    char path[8];
    std::snprintf(path, sizeof path, "\\\\.\\%c:", driveLetter_);
    device_ = backend_->openDevice(path);
    if (!device_) {
        trace("Unable to open drive %s\n", path);
        return 1;
    }
    open_ = 1;
    return 0;
}

int HostInterface::closeDrive() {
    if (device_) {
        platform::debugOutput("Closing Handle\n");
        device_.reset();
    }
    open_ = 0;
    return 0;
}

int HostInterface::connect() {
    if (findDrive() == 0) {
        trace("problem finding K8 CDROM DRIVE\n");
        return 1;
    }
    trace("Found K8 CDROM DRIVE\n");
    if (openDrive() != 0) return 2;
    open_ = 1;
    accessMutex_ = backend_->createNamedMutex(kMutexName);
    if (!accessMutex_) {
        trace("Mutex allocation failure!!\n");
        return 3;
    }
    trace("Connect Success\n");
    return 0;
}

int HostInterface::disconnect() {
    trace("in host windows disconnect\n");
    found_ = 0;
    closeDrive();
    open_ = 0;
    accessMutex_.reset();
    return 0;
}

int HostInterface::getDriveLetter(char& letter) const {
    if (found_ != 1) return -1;
    letter = driveLetter_;
    return 0;
}

platform::ScsiDevice* HostInterface::reconnect(char& letter, uint32_t attempts) {
    disconnect();
    uint32_t failures = 0;
    for (;;) {
        if (connect() == 0) {
            letter = driveLetter_;
            return device_.get();
        }
        pause(kReconnectPauseMs);
        // Attempts 0: the tray program and the service wait for the card for ever.
        if (attempts != 0 && ++failures >= attempts) return nullptr;
    }
}

int HostInterface::lockedExchange(uint16_t messageType, uint32_t requestLength,
                                  uint32_t& responseLength, const uint8_t* request,
                                  uint8_t* response, uint32_t responseCapacity,
                                  uint32_t pollBudget) {
    if (open_ != 1 || !device_ || !accessMutex_) return -1;
    platform::NamedMutexLock lock(*accessMutex_);
    if (!lock.held()) return -1;
    return exchange(messageType, requestLength, responseLength, request, response, responseCapacity,
                    pollBudget);
}

}  // namespace vorl
