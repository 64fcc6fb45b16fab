// systemd as the service manager of a Type=notify unit. The package installs and enables the
// unit, so the program neither installs nor removes itself. The dispatcher runs the service's
// entry point on a thread of its own and stays on the main thread: SIGTERM (and SIGINT, for a
// run from a console) becomes the stop control, and the watchdog is pinged at half its
// interval for as long as the worker loop reports itself alive within one interval.
#include <signal.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/service_manager.h"

namespace vorl::platform {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kUnitFiles[] = {"/etc/systemd/system/vorlpulse.service",
                                      "/lib/systemd/system/vorlpulse.service",
                                      "/usr/lib/systemd/system/vorlpulse.service"};
constexpr auto kSignalWaitStep = std::chrono::milliseconds(1000);
// How long the worker has to end after the stop: its own stop path is bounded well within this,
// but a vendor command already under way when the stop came may wait for the card much longer
// (its time limit is minutes). The unit's TimeoutStopSec leaves room above it.
constexpr int64_t kStopGraceMs = 10000;

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

class SystemdServiceManager : public ServiceManager {
public:
    bool isInstalled(const char*) override {
        for (const char* path : kUnitFiles)
            if (::access(path, F_OK) == 0) return true;
        return false;
    }
    uint32_t install(const char*, const char*) override { return refuse(); }
    uint32_t setServiceEnvironment(const char*, const std::vector<std::string>&) override {
        return refuse();
    }
    uint32_t uninstall(const char*) override { return refuse(); }
    const char* installedByPlatform() const override {
        return "systemd manages the service on this system. Enable and start it with\n"
               "  systemctl enable --now vorlpulse\n"
               "and stop and disable it with\n"
               "  systemctl disable --now vorlpulse\n";
    }

    uint32_t programPath(char* buffer, uint32_t capacity) override {
        if (capacity == 0) return 0;
        const ssize_t length = ::readlink("/proc/self/exe", buffer, capacity);
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

    bool runDispatcher(const char* name, ServiceEntry entry) override;
    ServiceStatusHandle registerHandler(const char*, ServiceControlHandler handler) override {
        handler_.store(handler);
        return 1;
    }
    bool setStatus(ServiceStatusHandle, const ServiceStatus& status) override {
        if (status.currentState == service::kStopPending)
            sd_notify(0, "STOPPING=1\nSTATUS=Stopping: sending the card heartbeat stop");
        else if (status.currentState == service::kStopped)
            sd_notify(0, "STATUS=Stopped");
        return true;
    }

    void reportReady() override {
        if (!ready_.exchange(true)) sd_notify(0, "READY=1");
    }
    void reportActivity(const char* text) override { sd_notifyf(0, "STATUS=%s", text); }
    void workerAlive() override { lastAliveMs_.store(nowMs()); }

private:
    uint32_t refuse() {
        lastError_ = service::kErrorCallNotImplemented;
        return lastError_;
    }
    // Sends the stop control once, as soon as the entry point has registered its handler.
    void deliverStop() {
        if (stopDelivered_) return;
        if (ServiceControlHandler handler = handler_.load()) {
            stopDelivered_ = true;
            handler(service::kControlStop, 0, nullptr, nullptr);
        }
    }
    void pingWatchdog(uint64_t watchdogUs, int64_t& lastPingMs);

    uint32_t lastError_ = 0;
    std::atomic<ServiceControlHandler> handler_{nullptr};
    std::atomic<bool> ready_{false};
    std::atomic<int64_t> lastAliveMs_{0};
    bool stopDelivered_ = false;
};

void SystemdServiceManager::pingWatchdog(uint64_t watchdogUs, int64_t& lastPingMs) {
    const int64_t now = nowMs();
    const auto intervalMs = static_cast<int64_t>(watchdogUs / 1000);
    if (now - lastPingMs < intervalMs / 2) return;
    // A worker that has not come round its loop within one interval is stuck: no ping, and
    // systemd restarts the service.
    if (now - lastAliveMs_.load() > intervalMs) return;
    sd_notify(0, "WATCHDOG=1");
    lastPingMs = now;
}

bool SystemdServiceManager::runDispatcher(const char* name, ServiceEntry entry) {
    // Blocked before the service thread starts, so that it inherits the mask and only this
    // thread takes the signals.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    uint64_t watchdogUs = 0;
    if (sd_watchdog_enabled(0, &watchdogUs) <= 0) watchdogUs = 0;
    lastAliveMs_.store(nowMs());

    std::atomic<bool> entryDone{false};
    std::string serviceName = name;
    std::thread serviceThread([&] {
        char* argv[] = {serviceName.data(), nullptr};
        entry(1, argv);
        entryDone.store(true);
    });

    auto step = std::chrono::duration_cast<std::chrono::milliseconds>(kSignalWaitStep);
    if (watchdogUs > 0 && std::chrono::milliseconds(watchdogUs / 4000) < step)
        step = std::chrono::milliseconds(watchdogUs / 4000 > 0 ? watchdogUs / 4000 : 1);
    const timespec wait{static_cast<time_t>(step.count() / 1000),
                        static_cast<long>((step.count() % 1000) * 1000000)};
    int64_t lastPingMs = 0;
    int64_t stopRequestedMs = -1;
    while (!entryDone.load()) {
        const int signal = sigtimedwait(&stopSignals, nullptr, &wait);
        if ((signal == SIGTERM || signal == SIGINT) && stopRequestedMs < 0)
            stopRequestedMs = nowMs();
        if (stopRequestedMs >= 0) deliverStop();
        if (watchdogUs > 0) pingWatchdog(watchdogUs, lastPingMs);
        if (stopRequestedMs >= 0 && nowMs() - stopRequestedMs > kStopGraceMs) {
            // A thread blocked in the kernel cannot be ended: the process ends around it.
            std::fprintf(stderr,
                         "The service did not end within %lld s of the stop (the card does not "
                         "answer a command under way): ended without the heartbeat stop\n",
                         static_cast<long long>(kStopGraceMs / 1000));
            std::fflush(stderr);
            sd_notify(0, "STATUS=Ended without the heartbeat stop: the card did not answer");
            std::_Exit(1);
        }
    }
    serviceThread.join();
    return true;
}

}  // namespace

std::unique_ptr<ServiceManager> makeSystemServiceManager() {
    return std::make_unique<SystemdServiceManager>();
}

}  // namespace vorl::platform
