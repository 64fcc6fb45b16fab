#include "platform/deadline.h"

#include <gtest/gtest.h>

#include "platform/sleep.h"

namespace vorl::platform {
namespace {

TEST(DeadlineTest, RecordedPausesCountAsTimeThatPassed) {
    SleepRecorder recorder;
    const Deadline deadline(5000);
    EXPECT_FALSE(deadline.passed());
    EXPECT_GT(deadline.remainingMs(), 4000u);
    sleepMs(3000);
    EXPECT_FALSE(deadline.passed());
    EXPECT_LE(deadline.remainingMs(), 2000u);
    sleepMs(2000);
    EXPECT_TRUE(deadline.passed());
    EXPECT_EQ(deadline.remainingMs(), 0u);
}

TEST(DeadlineTest, TheWaitLimitIsAMinuteUnlessATestShortensIt) {
    EXPECT_EQ(kAnswerWaitLimitMs, 60000u);
    EXPECT_LE(answerWaitLimitMs(), kAnswerWaitLimitMs);
    {
        WaitLimitOverride shorter(250);
        EXPECT_EQ(answerWaitLimitMs(), 250u);
    }
    EXPECT_LE(answerWaitLimitMs(), kAnswerWaitLimitMs);
}

}  // namespace
}  // namespace vorl::platform
