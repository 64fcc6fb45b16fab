// What the card says, as Redfish writes it: clock values both ways, and sensors with stable,
// unique ids, Redfish's units and no reading where the card had none.
#include <gtest/gtest.h>

#include "redfish/date_time.h"
#include "redfish/sensor_views.h"

namespace vorl::redfish {
namespace {

TEST(DateTimeTest, ReadsOffsetsAndRefusesWhatIsNoTime) {
    EXPECT_EQ("2026-03-07T14:44:00+00:00", dateTimeText(1772894640));
    EXPECT_EQ(1772894640, parseDateTime("2026-03-07T14:44:00+00:00"));
    EXPECT_EQ(1772894640, parseDateTime("2026-03-07T14:44:00Z"));
    EXPECT_EQ(1772894640, parseDateTime("2026-03-07T16:14:00.250+01:30"));
    EXPECT_EQ(1772894640, parseDateTime("2026-03-07T09:44:00-05:00"));
    EXPECT_EQ(951782400, parseDateTime("2000-02-29T00:00:00Z"));
    for (const char* bad : {"2026-03-07T14:44:00", "2026-02-29T00:00:00Z", "2026-13-01T00:00:00Z",
                            "2026-03-07 14:44:00Z", "2026-03-07T24:00:00Z", "2026-03-07T14:44:00+5",
                            "2026-03-07T14:44:00Zjunk", ""})
        EXPECT_FALSE(parseDateTime(bad)) << bad;
}

TEST(SensorViewsTest, IdsUnitsAndFailedReadings) {
    cardread::CardReading reading;
    reading.voltages = {{"+3.3V", 3.31, "Normal"}, {"+3.3V", 3.0, "Low"}};
    reading.sensors = {{"Temperatures", "CPU 1", "celsius", 47.5, true},
                       {"Temperatures", "Intake", "kelvin", 300.15, true},
                       {"Fans", "Fan 1", "rpm", 5400, true},
                       {"Fans", "Fan 2", "rpm", 0, false},
                       {"Misc", "Clicks", "ok/cancel", 3, true}};
    const auto views = sensorViews(reading);
    ASSERT_EQ(7u, views.size());
    EXPECT_EQ("Health_3_3V", views[0].id);
    EXPECT_EQ("Health_3_3V_2", views[1].id);  // the same name twice: still two sensors
    EXPECT_FALSE(views[1].healthy);
    EXPECT_EQ("Temperatures_CPU_1", views[2].id);
    EXPECT_EQ("Cel", views[2].units);
    EXPECT_NEAR(27.0, *views[3].reading, 1e-9);  // kelvin shown in Celsius
    EXPECT_EQ("Rotational", views[4].readingType);
    EXPECT_EQ("{rev}/min", views[4].units);
    EXPECT_FALSE(views[5].reading);
    EXPECT_FALSE(views[6].readingType);
    EXPECT_EQ("ok/cancel", views[6].units);
    EXPECT_STREQ("Warning", healthOf(views));
    EXPECT_STREQ("OK", healthOf({views[0], views[2]}));
    EXPECT_EQ(views[4].id, sensorViews(reading)[4].id);  // the same reading, the same ids
}

}  // namespace
}  // namespace vorl::redfish
