// The Windows service control manager. The entry point and the control handler are reached
// through WINAPI trampolines; one service runs per process.
#include <windows.h>
#include <winsvc.h>

#include <atomic>
#include <string>

#include "platform/service_manager.h"

namespace vorl::platform {
namespace {

// A service control manager handle, closed with the object.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

std::atomic<ServiceEntry> serviceEntry{nullptr};
std::atomic<ServiceControlHandler> controlHandler{nullptr};

void WINAPI entryTrampoline(DWORD argc, LPSTR* argv) {
    if (ServiceEntry entry = serviceEntry.load()) entry(argc, argv);
}

DWORD WINAPI handlerTrampoline(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context) {
    ServiceControlHandler handler = controlHandler.load();
    return handler != nullptr ? handler(control, eventType, eventData, context)
                              : ERROR_CALL_NOT_IMPLEMENTED;
}

SC_HANDLE openManager() {
    return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
}

class Win32ServiceManager : public ServiceManager {
public:
    bool isInstalled(const char* name) override {
        ScHandle manager(openManager());
        if (!manager) return false;
        ScHandle service(OpenServiceA(manager.get(), name, SERVICE_QUERY_CONFIG));
        return static_cast<bool>(service);
    }

    uint32_t install(const char* name, const char* commandLine) override {
        ScHandle manager(openManager());
        if (!manager) return GetLastError();
        ScHandle service(CreateServiceA(manager.get(), name, name, SERVICE_ALL_ACCESS,
                                        SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                        SERVICE_ERROR_NORMAL, commandLine, nullptr, nullptr,
                                        nullptr, nullptr, nullptr));
        // Taken before the handles close, which may change it.
        return service ? 0 : GetLastError();
    }

    uint32_t setServiceEnvironment(const char* name,
                                   const std::vector<std::string>& entries) override {
        const std::string keyName = std::string("SYSTEM\\CurrentControlSet\\Services\\") + name;
        HKEY key = nullptr;
        LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_SET_VALUE, &key);
        if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
        std::string multiString;
        for (const std::string& entry : entries) multiString.append(entry).push_back('\0');
        multiString.push_back('\0');
        result = RegSetValueExA(key, "Environment", 0, REG_MULTI_SZ,
                                reinterpret_cast<const BYTE*>(multiString.data()),
                                static_cast<DWORD>(multiString.size()));
        RegCloseKey(key);
        return static_cast<uint32_t>(result);
    }

    uint32_t uninstall(const char* name) override {
        ScHandle manager(openManager());
        if (!manager) return GetLastError();
        ScHandle service(OpenServiceA(manager.get(), name, DELETE));
        if (!service) return GetLastError();
        return DeleteService(service.get()) ? 0 : GetLastError();
    }

    uint32_t programPath(char* buffer, uint32_t capacity) override {
        return GetModuleFileNameA(nullptr, buffer, capacity);
    }

    uint32_t lastError() override { return GetLastError(); }

    bool runDispatcher(const char* name, ServiceEntry entry) override {
        serviceEntry.store(entry);
        std::string serviceName = name;
        SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), entryTrampoline}, {nullptr, nullptr}};
        return StartServiceCtrlDispatcherA(table) != 0;
    }

    ServiceStatusHandle registerHandler(const char* name, ServiceControlHandler handler) override {
        controlHandler.store(handler);
        return reinterpret_cast<ServiceStatusHandle>(
            RegisterServiceCtrlHandlerExA(name, handlerTrampoline, nullptr));
    }

    bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) override {
        SERVICE_STATUS record{};
        record.dwServiceType = status.serviceType;
        record.dwCurrentState = status.currentState;
        record.dwControlsAccepted = status.controlsAccepted;
        record.dwWin32ExitCode = status.win32ExitCode;
        record.dwServiceSpecificExitCode = status.serviceSpecificExitCode;
        record.dwCheckPoint = status.checkPoint;
        record.dwWaitHint = status.waitHint;
        return SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &record) != 0;
    }
};

}  // namespace

std::unique_ptr<ServiceManager> makeSystemServiceManager() {
    return std::make_unique<Win32ServiceManager>();
}

}  // namespace vorl::platform
