#pragma once
// The one way the suite pauses. Every retry pause, poll pause and reset pause goes through
// here so that tests can count pauses instead of waiting for them.
#include <atomic>
#include <cstdint>
#include <vector>

namespace vorl::platform {

// Pauses the calling thread for `milliseconds` (or records the pause when a recorder is
// installed). Returns nothing; never fails.
void sleepMs(uint32_t milliseconds);

// Test seam: while alive, sleepMs() records each requested pause instead of sleeping.
// Only one recorder may be installed at a time; it is process-wide.
class SleepRecorder {
public:
    SleepRecorder();
    ~SleepRecorder();
    SleepRecorder(const SleepRecorder&) = delete;
    SleepRecorder& operator=(const SleepRecorder&) = delete;

    // Number of pauses requested so far.
    size_t count() const { return pauses_.size(); }
    // Sum of all requested pauses in milliseconds.
    uint64_t totalMs() const;
    const std::vector<uint32_t>& pauses() const { return pauses_; }
    void record(uint32_t milliseconds) { pauses_.push_back(milliseconds); }

private:
    std::vector<uint32_t> pauses_;
};

// Test seam for code that pauses on threads of its own (a service worker): while alive,
// sleepMs() really pauses, but only `realMsPerSecond` milliseconds for every second asked for
// (at least 1 ms), so minutes of waiting take milliseconds and their spacing can still be
// measured. Counts the pauses; safe to use from any thread. A SleepRecorder takes precedence.
class ScaledSleep {
public:
    explicit ScaledSleep(uint32_t realMsPerSecond);
    ~ScaledSleep();
    ScaledSleep(const ScaledSleep&) = delete;
    ScaledSleep& operator=(const ScaledSleep&) = delete;

    // Pauses requested so far, and their sum in (unscaled) milliseconds.
    uint64_t count() const { return count_.load(); }
    uint64_t totalMs() const { return totalMs_.load(); }
    void pause(uint32_t milliseconds);

private:
    uint32_t realMsPerSecond_;
    std::atomic<uint64_t> count_{0};
    std::atomic<uint64_t> totalMs_{0};
};

// The real pause of the platform (Sleep / nanosleep), bypassing any recorder.
void systemSleepMs(uint32_t milliseconds);

// The sum of every pause a recorder took instead of sleeping, since the process started (the
// monotonic clock of platform/deadline.h adds it, so recorded pauses count as time passed).
uint64_t recordedSleepMs();

}  // namespace vorl::platform
