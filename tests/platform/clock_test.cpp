#include "platform/core/clock.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(CalendarDates, LeapDaysAndCenturiesFallOnTheRightDate) {
    auto date = [](int64_t days) {
        CivilDate c = CivilFromDays(days);
        return std::to_string(c.Year) + "-" + std::to_string(c.Month) + "-" + std::to_string(c.Day);
    };
    EXPECT_EQ(date(0), "1970-1-1");
    EXPECT_EQ(date(-1), "1969-12-31");
    EXPECT_EQ(date(11016), "2000-2-29");   // 2000 is a leap year
    EXPECT_EQ(date(11017), "2000-3-1");
    EXPECT_EQ(date(47541), "2100-3-1");    // 2100 is not: Feb 28 is followed by Mar 1
    EXPECT_EQ(date(-25569), "1899-12-30"); // the date-time epoch
}

TEST(CalendarDates, DateTimeSplitsToTheNearestSecond) {
    // 2026-12-09 13:45:07.6 as days since 1899-12-30.
    const double serial = 46365.0 + (13 * 3600 + 45 * 60 + 7.6) / 86400.0;
    DateTimeParts p = SplitDateSerial(serial);
    EXPECT_EQ(p.Year, 2026);
    EXPECT_EQ(p.Month, 12);
    EXPECT_EQ(p.Day, 9);
    EXPECT_EQ(p.Hour, 13);
    EXPECT_EQ(p.Minute, 45);
    EXPECT_EQ(p.Second, 8);
    // Just before midnight rounds into the next day.
    p = SplitDateSerial(46365.0 + 86399.6 / 86400.0);
    EXPECT_EQ(p.Day, 10);
    EXPECT_EQ(p.Hour, 0);
}
