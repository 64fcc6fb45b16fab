// No service control manager on POSIX: nothing is installed, nothing can be, and the
// dispatcher reports at once that the program was not started as a service.
#include <unistd.h>

#include "platform/service_manager.h"

namespace vorl::platform {
namespace {

class NoServiceManager : public ServiceManager {
public:
    bool isInstalled(const char*) override { return false; }
    uint32_t install(const char*, const char*) override { return refuse(); }
    uint32_t setServiceEnvironment(const char*, const std::vector<std::string>&) override {
        return refuse();
    }
    uint32_t uninstall(const char*) override { return refuse(); }

    uint32_t programPath(char* buffer, uint32_t capacity) override {
        if (capacity == 0) return 0;
        const ssize_t length = readlink("/proc/self/exe", buffer, capacity);
        if (length <= 0) return 0;
        if (static_cast<uint32_t>(length) >= capacity) {
            buffer[capacity - 1] = '\0';
            lastError_ = service::kErrorInsufficientBuffer;
            return capacity;
        }
        buffer[length] = '\0';
        return static_cast<uint32_t>(length);
    }
    uint32_t lastError() override { return lastError_; }

    bool runDispatcher(const char*, ServiceEntry) override {
        lastError_ = service::kErrorNotStartedByManager;
        return false;
    }
    ServiceStatusHandle registerHandler(const char*, ServiceControlHandler) override {
        refuse();
        return 0;
    }
    bool setStatus(ServiceStatusHandle, const ServiceStatus&) override {
        refuse();
        return false;
    }

private:
    uint32_t refuse() {
        lastError_ = service::kErrorCallNotImplemented;
        return lastError_;
    }
    uint32_t lastError_ = 0;
};

}  // namespace

std::unique_ptr<ServiceManager> makeSystemServiceManager() {
    return std::make_unique<NoServiceManager>();
}

}  // namespace vorl::platform
