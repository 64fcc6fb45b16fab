#include <windows.h>

#include "platform/debug_output.h"
#include "platform/named_mutex.h"

namespace vorl::platform {
namespace {

class Win32NamedMutex : public NamedMutex {
public:
    explicit Win32NamedMutex(HANDLE handle) : handle_(handle) {}
    ~Win32NamedMutex() override { CloseHandle(handle_); }
    bool lock() override {
        const DWORD result = WaitForSingleObject(handle_, INFINITE);
        // An owner that ended without releasing hands the mutex over: ours now.
        return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    void unlock() override { ReleaseMutex(handle_); }

private:
    HANDLE handle_;
};

}  // namespace

std::unique_ptr<NamedMutex> createNamedMutex(const char* name) {
    // A present but null DACL: the service account and every interactive user can open it.
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION))
        debugOutput("error in initializing security desc");
    if (!SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE))
        debugOutput("Error while setting null dacl");
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = TRUE;
    HANDLE handle = CreateMutexA(&attributes, FALSE, name);
    if (handle == nullptr) return nullptr;
    return std::make_unique<Win32NamedMutex>(handle);
}

}  // namespace vorl::platform
