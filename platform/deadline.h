#pragma once
// Time limits for waits on a peer (a card, a device). Nothing in the suite waits for ever for
// the card: every such wait runs against a Deadline, and the longest one is kAnswerWaitLimitMs.
#include <cstdint>

namespace vorl::platform {

// The longest a single wait for the card's answer lasts (the answer of a card command over
// TCP, the busy phase of one host-interface exchange). Then the transaction fails with 33.
constexpr uint32_t kAnswerWaitLimitMs = 60000;

// kAnswerWaitLimitMs, or a shorter bound a test asked for: a WaitLimitOverride, or the
// environment variable VORL_TEST_WAIT_LIMIT_MS (read once; a value above the limit, zero or
// not a number is ignored). Never longer than kAnswerWaitLimitMs.
uint32_t answerWaitLimitMs();

// Milliseconds on a monotonic clock. While a SleepRecorder is installed, the pauses it recorded
// count as time that passed: a test that counts pauses moves this clock as well.
uint64_t steadyMs();

// A point in time `milliseconds` from its construction.
class Deadline {
public:
    explicit Deadline(uint32_t milliseconds) : end_(steadyMs() + milliseconds) {}
    bool passed() const { return steadyMs() >= end_; }
    // Milliseconds still left, 0 once passed.
    uint32_t remainingMs() const {
        const uint64_t now = steadyMs();
        return now >= end_ ? 0 : static_cast<uint32_t>(end_ - now);
    }

private:
    uint64_t end_;
};

// Test seam: while alive, answerWaitLimitMs() returns `milliseconds` (process-wide, one at a
// time).
class WaitLimitOverride {
public:
    explicit WaitLimitOverride(uint32_t milliseconds);
    ~WaitLimitOverride();
    WaitLimitOverride(const WaitLimitOverride&) = delete;
    WaitLimitOverride& operator=(const WaitLimitOverride&) = delete;
};

}  // namespace vorl::platform
