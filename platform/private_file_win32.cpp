#include <windows.h>

#include "platform/private_file.h"

namespace vorl::platform {
namespace {

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

}  // namespace

// Opening a pipe or a device with CreateFileA does not wait; reading one would, so anything but a
// disk file is refused before a byte is read. Windows keeps access in ACLs, not mode bits: no
// check of who else may read it.
PrivateFileStatus readPrivateFile(const char* path, size_t maxBytes, std::string& content) {
    content.clear();
    const Handle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return PrivateFileStatus::CannotOpen;
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return PrivateFileStatus::NotRegular;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info)) return PrivateFileStatus::ReadFailed;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return PrivateFileStatus::CannotOpen;
    content.resize(maxBytes);
    size_t filled = 0;
    while (filled < maxBytes) {
        DWORD got = 0;
        if (!ReadFile(file.get(), content.data() + filled, static_cast<DWORD>(maxBytes - filled),
                      &got, nullptr)) {
            content.clear();
            return PrivateFileStatus::ReadFailed;
        }
        if (got == 0) break;
        filled += got;
    }
    content.resize(filled);
    return PrivateFileStatus::Read;
}

}  // namespace vorl::platform
