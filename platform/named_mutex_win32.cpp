#include <windows.h>

#include "platform/deadline.h"
#include "platform/debug_output.h"
#include "platform/named_mutex.h"

namespace vorl::platform {
namespace {

constexpr uint32_t kSliceMs = 100;

class Win32NamedMutex : public NamedMutex {
public:
    explicit Win32NamedMutex(HANDLE handle) : handle_(handle) {}
    ~Win32NamedMutex() override { CloseHandle(handle_); }
    bool lock() override {
        const DWORD result = WaitForSingleObject(handle_, INFINITE);
        // An owner that ended without releasing hands the mutex over: ours now.
        return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
    }
    // Waited for in slices, so that the deadline's clock (which a test's recorded pauses move)
    // decides when to give up.
    LockResult lockWithin(uint32_t milliseconds) override {
        const Deadline deadline(milliseconds);
        for (;;) {
            const uint32_t left = deadline.remainingMs();
            const DWORD result = WaitForSingleObject(handle_, left < kSliceMs ? left : kSliceMs);
            if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return LockResult::Acquired;
            if (result != WAIT_TIMEOUT) return LockResult::Failed;
            if (deadline.passed()) return LockResult::TimedOut;
        }
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
