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

// The real pause of the platform (Sleep / nanosleep), bypassing any recorder.
void systemSleepMs(uint32_t milliseconds);

// The sum of every pause a recorder took instead of sleeping, since the process started (the
// monotonic clock of platform/deadline.h adds it, so recorded pauses count as time passed).
uint64_t recordedSleepMs();

}  // namespace vorl::platform
