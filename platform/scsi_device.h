#pragma once
// The devices of the machine as the host interface needs them: the CD-ROM devices that may be
// the card, opening one by path, and one SCSI pass-through request on an open device.
// Backends: Win32 (QueryDosDeviceA, CreateFileA, DeviceIoControl), Linux (sysfs, SG_IO on
// /dev/sg*, scsi_device_linux_sg.cpp) and the simulated device link of vorlsim (sim_device.h).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/named_mutex.h"

namespace vorl::platform {

enum class DataDirection : uint8_t { ToDevice = 0, FromDevice = 1 };

// What became of one pass-through request: the platform refused it (no status from the
// device), or the device answered with a SCSI status (0 = good) after moving some bytes.
struct PassThroughResult {
    bool refused = true;
    uint8_t scsiStatus = 0;
    uint32_t bytesMoved = 0;
    uint32_t platformError = 0;  // the platform's error code when refused (e.g. 50 on Wine)
};

// One open device (a handle). Closing is destruction.
class ScsiDevice {
public:
    virtual ~ScsiDevice() = default;
    // Sends a command block of `cdbLength` (<= 16) bytes with one transfer of `size` bytes in
    // `direction`, waiting at most `timeoutSeconds`. For FromDevice the device writes at most
    // `size` bytes into `buffer`; bytesMoved never exceeds `size`.
    virtual PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                          uint32_t size, DataDirection direction,
                                          uint32_t timeoutSeconds) = 0;
};

// Result of a device-name query that did not fit its buffer.
constexpr long kDeviceQueryTooSmall = -1;

// A CD-ROM device that may be the card's drive.
struct DeviceCandidate {
    std::string path;  // what openDevice takes: "\\.\E:", "/dev/sg2"
    char letter = 0;   // its drive letter where the platform has them, else 0
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // Hands `visit` the CD-ROM devices of the machine one by one, in the platform's order,
    // until it returns true (found). The default walks the DOS device list (queryDosDevice):
    // every drive name ("E:") whose target path contains "\\Device\\CdRom", path "\\\\.\\E:",
    // each drive's target asked for just before it is visited.
    using CandidateVisitor = std::function<bool(const DeviceCandidate&)>;
    virtual void enumerateCdRomDevices(const CandidateVisitor& visit);
    // As QueryDosDeviceA: with `name` null, the list of all device names (each NUL-terminated,
    // the list ended by an empty name); otherwise the target path(s) of `name`. Returns the
    // number of bytes stored (> 0), kDeviceQueryTooSmall when `capacity` is too small, or 0
    // on any other failure (the default: a platform without DOS device names).
    virtual long queryDosDevice(const char* name, char* buffer, uint32_t capacity);
    // Opens the device at `path` for reading and writing, shared. Null on failure.
    virtual std::unique_ptr<ScsiDevice> openDevice(const char* path) = 0;
    // Called when no candidate turned out to be the card: a backend that met devices it may
    // not open says so here, on standard error (the default says nothing).
    virtual void explainNoCard() {}
    // Creates or opens the machine-wide mutex `name`, usable by every account. Null on
    // failure. The default is the platform's own named mutex.
    virtual std::unique_ptr<NamedMutex> createNamedMutex(const char* name) {
        return platform::createNamedMutex(name);
    }
};

// The build's own backend: Win32 on Windows, SG_IO on Linux.
std::unique_ptr<DeviceBackend> makeSystemDeviceBackend();

}  // namespace vorl::platform
