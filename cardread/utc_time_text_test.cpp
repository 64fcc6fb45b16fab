// Card times in documents: UTC whatever the local zone, leap days and times before 1970 included.
#include "cardread/utc_time_text.h"

#include <gtest/gtest.h>

namespace vorl::cardread {
namespace {

TEST(UtcTimeText, Rfc3339AcrossLeapDaysAndTheEpoch) {
    EXPECT_EQ("1970-01-01T00:00:00Z", utcTimeText(0));
    EXPECT_EQ("2004-02-29T12:00:00Z", utcTimeText(1078056000));
    EXPECT_EQ("2000-03-01T00:00:00Z", utcTimeText(951868800));
    EXPECT_EQ("2038-01-19T03:14:07Z", utcTimeText(INT32_MAX));
    EXPECT_EQ("2106-02-07T06:28:15Z", utcTimeText(UINT32_MAX));
    EXPECT_EQ("1969-12-31T23:59:59Z", utcTimeText(-1));
    EXPECT_EQ("1901-12-13T20:45:52Z", utcTimeText(INT32_MIN));
}

}  // namespace
}  // namespace vorl::cardread
