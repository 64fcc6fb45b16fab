#include "tests/support/fake_service_manager.h"

#include <cstring>

#include "platform/thread_id.h"

namespace vorl::test {
namespace {

constexpr uint32_t kAccessDenied = 5;
constexpr uint32_t kServiceExists = 1073;
constexpr uint32_t kNoSuchService = 1060;
constexpr platform::ServiceStatusHandle kHandle = 0x5EED;

}  // namespace

FakeServiceManager::~FakeServiceManager() {
    if (service_.joinable()) service_.join();
}

bool FakeServiceManager::isInstalled(const char* name) {
    return managerOpens && services.count(name) != 0;
}

uint32_t FakeServiceManager::install(const char* name, const char* commandLine) {
    if (!managerOpens) return kAccessDenied;
    if (installError != 0) return installError;
    if (services.count(name) != 0) return kServiceExists;
    services[name].commandLine = commandLine;
    return 0;
}

uint32_t FakeServiceManager::setServiceEnvironment(const char* name,
                                                   const std::vector<std::string>& entries) {
    if (environmentError != 0) return environmentError;
    auto it = services.find(name);
    if (it == services.end()) return kNoSuchService;
    it->second.environment = entries;
    return 0;
}

uint32_t FakeServiceManager::uninstall(const char* name) {
    if (!managerOpens) return kAccessDenied;
    if (services.count(name) == 0) return kNoSuchService;
    if (uninstallError != 0) return uninstallError;
    services.erase(name);
    return 0;
}

// As GetModuleFileNameA does it: a path that does not fit is cut, terminated, and reported
// with the full capacity and error 122.
uint32_t FakeServiceManager::programPath(char* buffer, uint32_t capacity) {
    if (capacity == 0) return 0;
    if (path.size() >= capacity) {
        std::memcpy(buffer, path.data(), capacity - 1);
        buffer[capacity - 1] = '\0';
        lastErrorValue = platform::service::kErrorInsufficientBuffer;
        return capacity;
    }
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return static_cast<uint32_t>(path.size());
}

bool FakeServiceManager::runDispatcher(const char* name, platform::ServiceEntry entry) {
    std::unique_lock<std::mutex> lock(mutex_);
    dispatcherThread_ = platform::currentThreadId();
    if (!startedByManager) {
        lastErrorValue = platform::service::kErrorNotStartedByManager;
        return false;
    }
    service_ = std::thread([this, entry, serviceName = std::string(name)]() mutable {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            serviceThread_ = platform::currentThreadId();
        }
        char* argv[] = {serviceName.data(), nullptr};
        entry(1, argv);
        std::lock_guard<std::mutex> guard(mutex_);
        entryReturned_ = true;
        changed_.notify_all();
    });
    dispatch(lock);
    return true;
}

// Delivers controls until the service reports it stopped (as the platform's dispatcher
// returns then, while the entry point may still be finishing) or its entry point returns.
void FakeServiceManager::dispatch(std::unique_lock<std::mutex>& lock) {
    auto stopped = [this] {
        return !reports_.empty() &&
               reports_.back().status.currentState == platform::service::kStopped;
    };
    for (;;) {
        changed_.wait(lock, [&] { return !pending_.empty() || stopped() || entryReturned_; });
        if (pending_.empty()) return;
        const auto [code, eventType] = pending_.front();
        pending_.pop_front();
        const platform::ServiceControlHandler handler = handler_;
        lock.unlock();
        const uint32_t result = handler != nullptr ? handler(code, eventType, nullptr, nullptr)
                                                   : platform::service::kErrorCallNotImplemented;
        lock.lock();
        results_.push_back(result);
        changed_.notify_all();
    }
}

platform::ServiceStatusHandle FakeServiceManager::registerHandler(
    const char*, platform::ServiceControlHandler handler) {
    if (registrationFails) return 0;
    std::lock_guard<std::mutex> guard(mutex_);
    handler_ = handler;
    return kHandle;
}

bool FakeServiceManager::setStatus(platform::ServiceStatusHandle handle,
                                   const platform::ServiceStatus& status) {
    std::lock_guard<std::mutex> guard(mutex_);
    reports_.push_back({status, handle, platform::currentThreadId()});
    changed_.notify_all();
    return true;
}

uint32_t FakeServiceManager::control(uint32_t code, uint32_t eventType) {
    std::unique_lock<std::mutex> lock(mutex_);
    const size_t index = results_.size() + pending_.size();
    pending_.emplace_back(code, eventType);
    changed_.notify_all();
    if (!changed_.wait_for(lock, std::chrono::seconds(10), [&] { return results_.size() > index; }))
        return kNotDelivered;
    return results_[index];
}

bool FakeServiceManager::waitForState(uint32_t state, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        for (const Report& report : reports_)
            if (report.status.currentState == state) return true;
        return false;
    });
}

std::vector<FakeServiceManager::Report> FakeServiceManager::reports() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return reports_;
}

std::vector<uint32_t> FakeServiceManager::stateSequence() const {
    std::vector<uint32_t> states;
    for (const Report& report : reports())
        if (states.empty() || states.back() != report.status.currentState)
            states.push_back(report.status.currentState);
    return states;
}

unsigned long FakeServiceManager::dispatcherThread() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return dispatcherThread_;
}

unsigned long FakeServiceManager::serviceThread() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return serviceThread_;
}

}  // namespace vorl::test
