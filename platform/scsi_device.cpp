// Discovery on platforms that name their drives with DOS device names: the drive names whose
// target is a CD-ROM device, in the order the platform lists them.
#include "platform/scsi_device.h"

#include <cstdio>
#include <cstring>

namespace vorl::platform {
namespace {

constexpr uint32_t kDeviceListSize = 16384;
constexpr uint32_t kDeviceListLimit = 1024 * 1024;
constexpr uint32_t kTargetSize = 1024;
constexpr char kCdRomTarget[] = "\\Device\\CdRom";

// The DOS device list, grown past its first 16384 bytes when the machine has more devices.
// Empty on failure.
std::vector<char> queryDeviceList(DeviceBackend& backend) {
    std::vector<char> list(kDeviceListSize);
    for (;;) {
        const long stored =
            backend.queryDosDevice(nullptr, list.data(), static_cast<uint32_t>(list.size()));
        if (stored > 0) {
            list.resize(static_cast<size_t>(stored));
            return list;
        }
        if (stored != kDeviceQueryTooSmall || list.size() >= kDeviceListLimit) return {};
        list.resize(list.size() * 2);
    }
}

bool isCdRomDrive(DeviceBackend& backend, const char* name) {
    char target[kTargetSize];
    if (backend.queryDosDevice(name, target, sizeof target) <= 0) return false;
    target[sizeof target - 1] = '\0';
    return std::strstr(target, kCdRomTarget) != nullptr;
}

}  // namespace

long DeviceBackend::queryDosDevice(const char*, char*, uint32_t) {
    return 0;
}

void DeviceBackend::enumerateCdRomDevices(const CandidateVisitor& visit) {
    const std::vector<char> list = queryDeviceList(*this);
    const char* at = list.data();
    const char* end = at + list.size();
    while (at < end && *at != '\0') {
        const char* nul = static_cast<const char*>(std::memchr(at, '\0', end - at));
        if (nul == nullptr) break;  // an unterminated last name is not a name
        const char* name = at;
        at = nul + 1;
        // Drive names only ("E:"); everything else (COM1, PhysicalDrive0) is skipped.
        if (name[1] != ':' || !isCdRomDrive(*this, name)) continue;
        char path[8];
        std::snprintf(path, sizeof path, "\\\\.\\%c:", name[0]);
        if (visit(DeviceCandidate{path, name[0]})) return;
    }
}

}  // namespace vorl::platform
