#include "platform/sleep.h"

#include <numeric>

namespace vorl::platform {
namespace {
std::atomic<SleepRecorder*> activeRecorder{nullptr};
std::atomic<uint64_t> recordedTotalMs{0};
}  // namespace

void sleepMs(uint32_t milliseconds) {
    if (SleepRecorder* recorder = activeRecorder.load()) {
        recorder->record(milliseconds);
        recordedTotalMs += milliseconds;
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

uint64_t recordedSleepMs() {
    return recordedTotalMs.load();
}

uint64_t SleepRecorder::totalMs() const {
    return std::accumulate(pauses_.begin(), pauses_.end(), uint64_t{0});
}

}  // namespace vorl::platform
