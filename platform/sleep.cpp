#include "platform/sleep.h"

#include <numeric>

namespace vorl::platform {
namespace {
std::atomic<SleepRecorder*> activeRecorder{nullptr};
std::atomic<ScaledSleep*> activeScaledSleep{nullptr};
std::atomic<uint64_t> recordedTotalMs{0};
}  // namespace

void sleepMs(uint32_t milliseconds) {
    if (SleepRecorder* recorder = activeRecorder.load()) {
        recorder->record(milliseconds);
        recordedTotalMs += milliseconds;
        return;
    }
    if (ScaledSleep* scaled = activeScaledSleep.load()) {
        scaled->pause(milliseconds);
        return;
    }
    systemSleepMs(milliseconds);
}

SleepRecorder::SleepRecorder() {
    activeRecorder.store(this);
}
SleepRecorder::~SleepRecorder() {
    activeRecorder.store(nullptr);
}

ScaledSleep::ScaledSleep(uint32_t realMsPerSecond) : realMsPerSecond_(realMsPerSecond) {
    activeScaledSleep.store(this);
}
ScaledSleep::~ScaledSleep() {
    activeScaledSleep.store(nullptr);
}

void ScaledSleep::pause(uint32_t milliseconds) {
    ++count_;
    totalMs_ += milliseconds;
    const uint64_t real = (uint64_t{milliseconds} * realMsPerSecond_ + 999) / 1000;
    systemSleepMs(static_cast<uint32_t>(real == 0 && milliseconds > 0 ? 1 : real));
}

uint64_t recordedSleepMs() {
    return recordedTotalMs.load();
}

uint64_t SleepRecorder::totalMs() const {
    return std::accumulate(pauses_.begin(), pauses_.end(), uint64_t{0});
}

}  // namespace vorl::platform
