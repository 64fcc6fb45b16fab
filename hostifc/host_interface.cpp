#include "hostifc/host_interface.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"

namespace vorl {

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
    found_ = 0;
    backend_->enumerateCdRomDevices([this](const platform::DeviceCandidate& drive) {
        std::unique_ptr<platform::ScsiDevice> probe = backend_->openDevice(drive.path.c_str());
        if (!probe) return false;
        const bool isCard = probeSignature(*probe) == 1;
        probe.reset();
        if (!isCard) return false;
        driveLetter_ = drive.letter;
        devicePath_ = drive.path;
        found_ = 1;
        trace("FindK8 CDROM DRIVE - Success\n");
        return true;
    });
    return found_;
}

int HostInterface::openDrive() {
    if (open_ == 1) {
        trace("CD already Open !!!");
        return 0;
    }
    device_ = backend_->openDevice(devicePath_.c_str());
    if (!device_) {
        trace("Unable to open drive %s\n", devicePath_.c_str());
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
        backend_->explainNoCard();
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
        // Past the time allowed for the path that asked (the service's stop), no more tries.
        if (commandDeadline_ && commandDeadline_->passed()) return nullptr;
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
    // Another program may hold the mutex for ever (any account can open the lock file): it is
    // waited for as long as the card's own answer, no longer.
    const uint32_t limitMs = platform::answerWaitLimitMs();
    platform::NamedMutexLock lock(*accessMutex_, limitMs);
    if (lock.result() == platform::LockResult::TimedOut) {
        accessLockTimedOut_ = true;
        trace("%s still held by another program after %u ms: exchange given up\n", kMutexName,
              static_cast<unsigned>(limitMs));
        return -1;
    }
    if (!lock.held()) return -1;
    return exchange(messageType, requestLength, responseLength, request, response, responseCapacity,
                    pollBudget);
}

}  // namespace vorl
