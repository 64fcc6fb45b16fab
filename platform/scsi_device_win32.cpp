#include <windows.h>
// windows.h first: the storage headers need its types (winioctl.h is left out by
// WIN32_LEAN_AND_MEAN).
#include <ntddscsi.h>
#include <winioctl.h>

#include <cstddef>
#include <cstring>

#include "platform/scsi_device.h"

namespace vorl::platform {
namespace {

// The pass-through record: the platform's structure, a filler and a 32-byte sense area
// (80 bytes on 32-bit Windows; the structure is larger on 64-bit, hence offsetof/sizeof).
struct PassThroughRecord {
    SCSI_PASS_THROUGH_DIRECT sptd;
    ULONG filler;
    UCHAR sense[32];
};

class Win32Device : public ScsiDevice {
public:
    explicit Win32Device(HANDLE handle) : handle_(handle) {}
    ~Win32Device() override { CloseHandle(handle_); }

    PassThroughResult passThrough(const uint8_t* cdb, uint8_t cdbLength, uint8_t* buffer,
                                  uint32_t size, DataDirection direction,
                                  uint32_t timeoutSeconds) override {
        PassThroughRecord record;
        std::memset(&record, 0, sizeof record);
        record.sptd.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
        record.sptd.CdbLength = cdbLength > 16 ? 16 : cdbLength;
        record.sptd.SenseInfoLength = 0;
        record.sptd.DataIn =
            direction == DataDirection::FromDevice ? SCSI_IOCTL_DATA_IN : SCSI_IOCTL_DATA_OUT;
        record.sptd.DataTransferLength = size;
        record.sptd.TimeOutValue = timeoutSeconds;
        record.sptd.DataBuffer = buffer;
        record.sptd.SenseInfoOffset = offsetof(PassThroughRecord, sense);
        std::memcpy(record.sptd.Cdb, cdb, record.sptd.CdbLength);

        DWORD returned = 0;
        PassThroughResult result;
        if (!DeviceIoControl(handle_, IOCTL_SCSI_PASS_THROUGH_DIRECT, &record, sizeof record,
                             &record, sizeof record, &returned, nullptr)) {
            result.platformError = GetLastError();
            return result;
        }
        result.refused = false;
        result.scsiStatus = record.sptd.ScsiStatus;
        result.bytesMoved =
            record.sptd.DataTransferLength > size ? size : record.sptd.DataTransferLength;
        return result;
    }

private:
    HANDLE handle_;
};

class Win32DeviceBackend : public DeviceBackend {
public:
    long queryDosDevice(const char* name, char* buffer, uint32_t capacity) override {
        const DWORD stored = QueryDosDeviceA(name, buffer, capacity);
        if (stored != 0) return static_cast<long>(stored);
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? kDeviceQueryTooSmall : 0;
    }

    std::unique_ptr<ScsiDevice> openDevice(const char* path) override {
        HANDLE handle =
            CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<Win32Device>(handle);
    }
};

}  // namespace

std::unique_ptr<DeviceBackend> makeSystemDeviceBackend() {
    return std::make_unique<Win32DeviceBackend>();
}

}  // namespace vorl::platform
