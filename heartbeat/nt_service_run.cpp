// CNTService at run time: the dispatcher, the service entry point, the control handler, the
// status reports and the base handlers.
#include <chrono>

#include "heartbeat/nt_service.h"
#include "platform/debug_output.h"
#include "platform/sleep.h"

namespace vorl {
namespace {

using namespace platform::service;

constexpr uint32_t kBaseRunPauseMs = 5000;
// How long the dispatcher's thread waits for the entry point's last lines after the service
// reported it stopped.
constexpr auto kEntryExitWait = std::chrono::seconds(5);

unsigned long asNumber(platform::ServiceStatusHandle handle) {
    return static_cast<unsigned long>(handle);
}

}  // namespace

bool CNTService::startService() {
    trace("Calling StartServiceCtrlDispatcher()");
    const bool dispatched = manager_.runDispatcher(serviceName_, &CNTService::serviceMain);
    trace("Returned from StartServiceCtrlDispatcher()");
    std::unique_lock<std::mutex> lock(entryMutex_);
    entryLeft_.wait_for(lock, kEntryExitWait, [this] { return !entryActive_; });
    return dispatched;
}

void CNTService::runEntry() {
    {
        std::lock_guard<std::mutex> guard(entryMutex_);
        entryActive_ = true;
    }
    trace("Entering CNTService::ServiceMain()");
    {
        std::lock_guard<std::mutex> guard(statusMutex_);
        status_.currentState = kStartPending;
    }
    statusHandle_ = manager_.registerHandler(serviceName_, &CNTService::handler);
    if (statusHandle_ != 0) {
        if (initialize()) {
            {
                std::lock_guard<std::mutex> guard(statusMutex_);
                status_.win32ExitCode = 0;
                status_.checkPoint = 0;
                status_.waitHint = 0;
            }
            Run();
        }
        platform::debugOutput("Setting status to service stooped\n");
        setStatus(kStopped);
        trace("Leaving CNTService::ServiceMain()");
    }
    std::lock_guard<std::mutex> guard(entryMutex_);
    entryActive_ = false;
    entryLeft_.notify_all();
}

bool CNTService::initialize() {
    trace("Entering CNTService::Initialize()");
    setStatus(kStartPending);
    const bool initialised = OnInit();
    {
        std::lock_guard<std::mutex> guard(statusMutex_);
        status_.win32ExitCode = manager_.lastError();
        status_.checkPoint = 0;
        status_.waitHint = 0;
    }
    if (!initialised) {
        setStatus(kStopped);
        return false;
    }
    // Set before the service is reported running: a stop that arrives right after that report
    // must not be undone.
    running_ = 1;
    setStatus(kRunning);
    trace("Leaving CNTService::Initialize()");
    return true;
}

void CNTService::setStatus(uint32_t state) {
    trace("CNTService::SetStatus(%lu, %lu)", asNumber(statusHandle_.load()),
          static_cast<unsigned long>(state));
    std::lock_guard<std::mutex> guard(statusMutex_);
    status_.currentState = state;
    manager_.setStatus(statusHandle_.load(), status_);
}

uint32_t CNTService::handleControl(uint32_t control, uint32_t eventType, void* eventData,
                                   void* context) {
    trace("CNTService::Handler(%lu)", static_cast<unsigned long>(control));
    uint32_t result = 0;
    switch (control) {
        case kControlStop:
            setStatus(kStopPending);
            OnStop();
            running_ = 0;
            break;
        case kControlPause:
            OnPause();
            break;
        case kControlContinue:
            OnContinue();
            break;
        case kControlInterrogate:
            OnInterrogate();
            break;
        case kControlShutdown:
            OnShutdown();
            running_ = 0;
            break;
        case kControlDeviceEvent:
            OnDeviceChange(eventType, eventData, context);
            break;
        default:
            result = kErrorCallNotImplemented;
            break;
    }
    std::lock_guard<std::mutex> guard(statusMutex_);
    trace("Updating status (%lu, %lu)", asNumber(statusHandle_.load()),
          static_cast<unsigned long>(status_.currentState));
    manager_.setStatus(statusHandle_.load(), status_);
    return result;
}

void CNTService::Run() {
    trace("Entering CNTService::Run()");
    while (running_ == 1) {
        trace("Sleeping...");
        platform::sleepMs(kBaseRunPauseMs);
    }
    trace("Leaving CNTService::Run()");
}

bool CNTService::OnInit() {
    trace("CNTService::OnInit()");
    return true;
}

void CNTService::OnStop() {
    trace("CNTService::OnStop()");
}

void CNTService::OnInterrogate() {
    trace("CNTService::OnInterrogate()");
}

void CNTService::OnPause() {
    trace("CNTService::OnPause()");
}

void CNTService::OnContinue() {
    trace("CNTService::OnContinue()");
}

void CNTService::OnShutdown() {
    trace("CNTService::OnShutdown()");
}

void CNTService::OnDeviceChange(uint32_t, void*, void*) {
    trace("CNTService::OnDeviceChange()");
}

bool CNTService::OnUserControl(uint32_t control) {
    trace("CNTService::OnUserControl(%8.8lXH)", static_cast<unsigned long>(control));
    return false;
}

}  // namespace vorl
