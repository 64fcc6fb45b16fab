#pragma once
// A service control manager in memory: a table of installed services with fault knobs, and a
// dispatcher that runs the service's entry point on a thread of its own and delivers the
// controls a test sends on the dispatcher's thread, recording every status report.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/service_manager.h"

namespace vorl::test {

class FakeServiceManager : public platform::ServiceManager {
public:
    struct Installed {
        std::string commandLine;
        std::vector<std::string> environment;
    };
    struct Report {
        platform::ServiceStatus status;
        platform::ServiceStatusHandle handle = 0;
        unsigned long thread = 0;
    };
    // What control() gives back when the dispatcher did not deliver the control in time.
    static constexpr uint32_t kNotDelivered = 0xFFFFFFFF;

    ~FakeServiceManager() override;

    bool isInstalled(const char* name) override;
    uint32_t install(const char* name, const char* commandLine) override;
    uint32_t setServiceEnvironment(const char* name,
                                   const std::vector<std::string>& entries) override;
    uint32_t uninstall(const char* name) override;
    uint32_t programPath(char* buffer, uint32_t capacity) override;
    uint32_t lastError() override { return lastErrorValue; }
    bool runDispatcher(const char* name, platform::ServiceEntry entry) override;
    platform::ServiceStatusHandle registerHandler(const char* name,
                                                  platform::ServiceControlHandler handler) override;
    bool setStatus(platform::ServiceStatusHandle handle,
                   const platform::ServiceStatus& status) override;

    // Sends a control to the running service (from the test's thread); the handler runs on
    // the dispatcher's thread. Returns the handler's result.
    uint32_t control(uint32_t code, uint32_t eventType = 0);
    // Waits until `state` has been reported; false after `timeout`.
    bool waitForState(uint32_t state, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<Report> reports() const;
    // The reported states, a state repeated by consecutive reports counted once.
    std::vector<uint32_t> stateSequence() const;
    unsigned long dispatcherThread() const;
    unsigned long serviceThread() const;

    // The service table and its knobs (set them before the program runs).
    std::map<std::string, Installed> services;
    bool managerOpens = true;     // false: the manager cannot be opened (access denied)
    uint32_t installError = 0;    // nonzero: creating a service fails with it
    uint32_t uninstallError = 0;  // nonzero: deleting fails with it
    uint32_t environmentError = 0;
    std::string path = "C:\\Program Files\\VORL Suite\\vorlpulse.exe";
    uint32_t lastErrorValue = 0;
    bool startedByManager = true;  // false: the dispatcher fails at once with 1063
    bool registrationFails = false;

private:
    void dispatch(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    platform::ServiceControlHandler handler_ = nullptr;
    std::vector<Report> reports_;
    std::deque<std::pair<uint32_t, uint32_t>> pending_;
    std::vector<uint32_t> results_;
    bool entryReturned_ = false;
    unsigned long dispatcherThread_ = 0;
    unsigned long serviceThread_ = 0;
    std::thread service_;
};

}  // namespace vorl::test
