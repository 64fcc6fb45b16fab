#pragma once
// The service control manager as a service program needs it: register, remove and query a
// service by name, run the control dispatcher, register the control handler and report the
// service's status. Win32: OpenSCManagerA, CreateServiceA, OpenServiceA, DeleteService,
// StartServiceCtrlDispatcherA, RegisterServiceCtrlHandlerExA, SetServiceStatus. Linux: systemd
// (service_manager_systemd.cpp): the unit is installed by the package, the dispatcher runs the
// service in the foreground, SIGTERM is the stop control, the notify protocol reports.
// Tests use a recording fake.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorl::platform {

// Service types, states, controls and results, with the platform's values.
namespace service {
constexpr uint32_t kWin32OwnProcess = 16;

constexpr uint32_t kStopped = 1;
constexpr uint32_t kStartPending = 2;
constexpr uint32_t kStopPending = 3;
constexpr uint32_t kRunning = 4;

constexpr uint32_t kAcceptStop = 1;
constexpr uint32_t kAcceptShutdown = 4;

constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlPause = 2;
constexpr uint32_t kControlContinue = 3;
constexpr uint32_t kControlInterrogate = 4;
constexpr uint32_t kControlShutdown = 5;
constexpr uint32_t kControlParamChange = 6;
constexpr uint32_t kControlDeviceEvent = 11;

constexpr uint32_t kErrorCallNotImplemented = 120;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorNotStartedByManager = 1063;  // the dispatcher found no service manager
}  // namespace service

// The SERVICE_STATUS record, field for field.
struct ServiceStatus {
    uint32_t serviceType = 0;
    uint32_t currentState = 0;
    uint32_t controlsAccepted = 0;
    uint32_t win32ExitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};

// What the handler registration gives back; 0 when registration failed.
using ServiceStatusHandle = uintptr_t;
// The service's entry point, called by the dispatcher on a thread of the platform's.
using ServiceEntry = void (*)(uint32_t argc, char** argv);
// The control handler, called on the dispatcher's thread; returns a platform error code
// (0 handled).
using ServiceControlHandler = uint32_t (*)(uint32_t control, uint32_t eventType, void* eventData,
                                           void* context);

class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    // True when the local service manager opens (all access) and a service `name` opens in it
    // for a configuration query. Both handles are closed again.
    virtual bool isInstalled(const char* name) = 0;
    // Creates service `name` (also its display name): own process, started automatically,
    // normal error control, run as the local system account, with `commandLine` as the
    // program to run. 0 on success, else the platform's error code.
    virtual uint32_t install(const char* name, const char* commandLine) = 0;
    // Gives the installed service `name` these "NAME=value" entries as its own environment
    // (the service key's Environment value). 0 on success, else the platform's error code.
    virtual uint32_t setServiceEnvironment(const char* name,
                                           const std::vector<std::string>& entries) = 0;
    // Opens service `name` for deletion and deletes it. 0 on success, else the error code.
    virtual uint32_t uninstall(const char* name) = 0;

    // The running program's full path, as GetModuleFileNameA: the number of characters
    // stored; `capacity` (or 0) when the path did not fit.
    virtual uint32_t programPath(char* buffer, uint32_t capacity) = 0;
    // The calling thread's last platform error.
    virtual uint32_t lastError() = 0;

    // Hands the calling thread to the service manager, which calls `entry` on a thread of its
    // own for service `name` and the registered handler on this thread. Returns true after
    // the service has stopped; false at once (lastError() set) when the program was not
    // started by the service manager.
    virtual bool runDispatcher(const char* name, ServiceEntry entry) = 0;
    // Registers the control handler of service `name`. 0 on failure.
    virtual ServiceStatusHandle registerHandler(const char* name,
                                                ServiceControlHandler handler) = 0;
    // Reports `status` to the service manager. False when the platform refused it.
    virtual bool setStatus(ServiceStatusHandle handle, const ServiceStatus& status) = 0;

    // For a service manager that follows the service's progress (systemd's notify protocol);
    // the Windows one learns all it needs from the status reports, so these do nothing there.
    // The service has done its first real work and is ready.
    virtual void reportReady() {}
    // One line saying what the service is doing or waiting for.
    virtual void reportActivity(const char* text) { (void)text; }
    // The worker loop is alive; called at least once a second while it waits.
    virtual void workerAlive() {}
    // Null where the program installs and removes itself ("-i", "-u"); otherwise the lines
    // telling the administrator how the platform's own tools do it.
    virtual const char* installedByPlatform() const { return nullptr; }
};

// The build's own service manager: Win32 on Windows, systemd on Linux.
std::unique_ptr<ServiceManager> makeSystemServiceManager();

}  // namespace vorl::platform
