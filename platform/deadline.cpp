#include "platform/deadline.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

#include "platform/sleep.h"

namespace vorl::platform {
namespace {

std::atomic<uint32_t> overrideMs{0};

uint32_t limitFromEnvironment() {
    const char* text = std::getenv("VORL_TEST_WAIT_LIMIT_MS");
    if (text == nullptr || *text == '\0') return kAnswerWaitLimitMs;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > kAnswerWaitLimitMs) return kAnswerWaitLimitMs;
    return static_cast<uint32_t>(value);
}

}  // namespace

uint32_t answerWaitLimitMs() {
    if (const uint32_t forced = overrideMs.load()) return forced;
    static const uint32_t fromEnvironment = limitFromEnvironment();
    return fromEnvironment;
}

uint64_t steadyMs() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(
               std::chrono::duration_cast<std::chrono::milliseconds>(now).count()) +
           recordedSleepMs();
}

WaitLimitOverride::WaitLimitOverride(uint32_t milliseconds) {
    overrideMs.store(milliseconds == 0 ? 1 : milliseconds);
}

WaitLimitOverride::~WaitLimitOverride() {
    overrideMs.store(0);
}

}  // namespace vorl::platform
