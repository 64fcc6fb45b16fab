#pragma once
// A card for the heartbeat service's tests, safe to use from several threads: its drive can be
// taken away and brought back, its answers to heartbeat start and heartbeat are scripted, and
// it records every heartbeat command with the time, the thread, the host interface it came
// from and the pauses made so far.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/scsi_device.h"
#include "platform/sleep.h"

namespace vorl::test {

struct HeartbeatEvent {
    uint8_t opcode = 0;   // 0xE5, 0xE6 or 0xE7
    int backend = 0;      // which backend (host interface) sent it, numbered from 1
    bool failed = false;  // the card refused the command
    unsigned long thread = 0;
    uint64_t pausesBefore = 0;  // pauses of the ScaledSleep made before the command
    std::chrono::steady_clock::time_point at;
};

class FakeHeartbeatCard {
public:
    // An answer that makes the card refuse the command instead.
    static constexpr int64_t kRefuse = INT64_MIN;

    // `clock`, when given, supplies the pause count of each event.
    explicit FakeHeartbeatCard(const platform::ScaledSleep* clock = nullptr) : clock_(clock) {}

    // A backend for one host interface; every backend reaches this card.
    std::unique_ptr<platform::DeviceBackend> makeBackend();

    void setPresent(bool present);
    // Answers of heartbeat start / heartbeat, used in order; when none is queued the default.
    void queueStartAnswers(std::vector<int64_t> answers);
    void queuePollAnswers(std::vector<int64_t> answers);
    void setDefaultAnswer(int64_t answer);

    std::vector<HeartbeatEvent> events() const;
    std::vector<HeartbeatEvent> events(uint8_t opcode) const;
    // Drive searches (device-list queries) made by `backend` so far.
    int searches(int backend) const;
    // Devices open right now.
    int openNow() const;
    // Waits until `done` holds for the recorded events; false after `timeout`.
    bool waitFor(const std::function<bool(const FakeHeartbeatCard&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Waits for `count` events of `opcode`.
    bool waitForEvents(uint8_t opcode, size_t count) const;

    // The device side, called by the backends.
    long queryDosDevice(int backend, const char* name, char* buffer, uint32_t capacity);
    bool open();
    void close();
    platform::PassThroughResult passThrough(int backend, const uint8_t* cdb, uint8_t* buffer,
                                            uint32_t size);

private:
    const platform::ScaledSleep* clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool present_ = true;
    std::deque<int64_t> startAnswers_;
    std::deque<int64_t> pollAnswers_;
    int64_t defaultAnswer_ = 30;
    std::vector<HeartbeatEvent> events_;
    std::vector<int> searches_;
    int backends_ = 0;
    int openNow_ = 0;
};

}  // namespace vorl::test
