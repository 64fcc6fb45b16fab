#pragma once
// The heartbeat service: tells the card, at the intervals the card asks for, that the server's
// operating system is alive. Heartbeat start (0xE5) once, then a heartbeat (0xE6) whose answer
// is the number of seconds until the next one, and heartbeat stop (0xE7) on stop and shutdown.
// Between beats the card's drive is closed, so that the other tools can use it.
#include <cstdint>
#include <functional>
#include <memory>

#include "heartbeat/nt_service.h"
#include "hostifc/host_interface.h"
#include "platform/scsi_device.h"

namespace vorl {

class HeartbeatService : public CNTService {
public:
    static constexpr const char* kServiceName = "VORL Server Heartbeat Service";
    // The wait after a heartbeat the card answered with 0 (or any other value that is no
    // countdown).
    static constexpr int32_t kDefaultBeatSeconds = 235;
    static constexpr uint32_t kConnectAttempts = 2;
    // The most the stop path (one connect pass and the heartbeat stop) may take; then the
    // heartbeat stop is given up and logged.
    static constexpr uint32_t kStopLimitMs = 4000;
    // Before the search that follows a second failed heartbeat in a row.
    static constexpr uint32_t kRefusedAgainPauseMs = HostInterface::kReconnectPauseMs;
    // Gives each host interface of the service its device backend.
    using BackendFactory = std::function<std::unique_ptr<platform::DeviceBackend>()>;

    // With VORL_HOSTIFC set, the installed service is given the same setting in its
    // environment, so that it finds the same (simulated) card.
    HeartbeatService(platform::ServiceManager& manager, BackendFactory backends);

    // The worker: heartbeat start, then beats until the service stops, then heartbeat stop.
    void Run() override;
    // Nothing to prepare: the card is looked for by the worker.
    bool OnInit() override;
    // Heartbeat stop at system shutdown, on the dispatcher thread, with a host interface of
    // its own and one connect pass; the worker sends its own heartbeat stop as it ends.
    void OnShutdown() override;
    // Only traced: a drive that changed is found again by the worker's next connect.
    void OnDeviceChange(uint32_t eventType, void* eventData, void* context) override;

    // Connects the worker's host interface, retrying while the service runs (one pass of two
    // attempts even when it no longer runs). 0 when connected, -1 when not and stopped.
    int waitOnConnect();
    // Connects and sends heartbeat start (once more after a failure); the answer becomes the
    // countdown.
    void initHeartbeat();

    // Seconds still to wait before the next beat; at the end, what was left of the wait.
    int32_t countdown() const { return countdown_; }

private:
    void disconnectCard();
    // Waits out the countdown a second at a time; false as soon as the service has stopped.
    bool waitForNextBeat();
    // After a failed heartbeat: closes the drive and finds the card again, a second later when
    // the heartbeat before had failed too. False when the service has stopped meanwhile.
    bool recoverFromFailedBeat(bool previousFailed);
    void endHeartbeat();
    // Tells the service manager what the worker is doing, when that changed.
    void setActivity(const char* text);

    BackendFactory backends_;
    HostInterface card_;
    char cardLetter_ = 0;
    platform::ScsiDevice* cardHandle_ = nullptr;
    int32_t countdown_ = 0;
    char activity_[96] = {};
};

}  // namespace vorl
