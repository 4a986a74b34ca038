// Clock arithmetic, GGA time and position fields, and the UTC stamps the
// restart timing rests on.
#include "bench/devices/timing.h"

#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

// A date-time of day 46365 at h:m:s.
double At(int h, int m, double s, int day = 46365) { return day + (h * 3600 + m * 60 + s) / 86400.0; }

}  // namespace

TEST(TimeDifference, DistanceOnTheTwentyFourHourCircle) {
    EXPECT_EQ(MakeTimeDifference(At(10, 0, 5), At(9, 59, 50)), 15);
    EXPECT_EQ(MakeTimeDifference(At(9, 59, 50), At(10, 0, 5)), 15) << "a negative difference counts by its size";
    EXPECT_EQ(MakeTimeDifference(At(0, 0, 10, 46366), At(23, 59, 50)), 20);
    EXPECT_EQ(MakeTimeDifference(At(13, 0, 0), At(0, 0, 0)), 39600);
    EXPECT_EQ(MakeTimeDifference(At(12, 0, 0), At(12, 0, 0)), 0);
    EXPECT_EQ(MakeTimeDifference(At(12, 0, 0), At(0, 0, 0)), 43200);
    EXPECT_EQ(MakeTimeDifference(At(12, 0, 1), At(0, 0, 0)), 43199);
    EXPECT_EQ(MakeTimeDifference(At(8, 0, 0, 46370), At(8, 0, 3)), 3) << "whole days are dropped";
    // Date-times carry binary noise; the result is still whole seconds.
    EXPECT_EQ(MakeTimeDifference(At(10, 0, 5) + 1e-11, At(10, 0, 0)), 5);
}

TEST(TimeDifference, ClockText) {
    EXPECT_EQ(MakeTimeStringFromSeconds(0), "00:00:00");
    EXPECT_EQ(MakeTimeStringFromSeconds(3725), "01:02:05");
    EXPECT_EQ(MakeTimeStringFromSeconds(360000), "100:00:00");
    EXPECT_EQ(MakeDateDifference(At(10, 1, 0), At(9, 0, 0)), "01:01:00");
}

TEST(GGATimeField, ClockTextAndSecondsOfDay) {
    EXPECT_EQ(MakeTimeFromGGAString(""), "00:00:00");
    EXPECT_EQ(MakeTimeFromGGAString("123519.00"), "12:35:19.00");
    EXPECT_EQ(MakeTimeFromGGAString("123519"), "12:35:19");
    EXPECT_EQ(MakeTimeFromGGAString("123"), "12:3:");
    EXPECT_EQ(GetUTCSecondsFromGGAString(""), "0");
    EXPECT_EQ(GetUTCSecondsFromGGAString("123519.50"), "45319.5");
    EXPECT_EQ(GetUTCSecondsFromGGAString("235959"), "86399");
    EXPECT_EQ(GetUTCSecondsFromGGAString("12x519"), "43219") << "an unreadable piece counts 0";
}

TEST(PCtoUTCDelta, StoredInTheMainWindowOnlyForAFullTime) {
    test::FakeClock clock(At(12, 0, 30));
    test::FakeBenchHost host;
    EXPECT_EQ(EvaluatePCtoUTCDeltaTime("115958.40", clock.Now(), &host), 32) << "the fraction is not read";
    EXPECT_EQ(host.PCtoUTCDelta, 32);
    EXPECT_EQ(EvaluatePCtoUTCDeltaTime("", clock.Now(), &host), 32) << "an empty time keeps the stored offset";
    EXPECT_EQ(EvaluatePCtoUTCDeltaTime("1200", clock.Now(), &host), 32);
    EXPECT_EQ(host.PCtoUTCDelta, 32);
    // A PC one hour ahead of UTC.
    EXPECT_EQ(EvaluatePCtoUTCDeltaTime("120030", At(13, 0, 30), &host), 3600);
    EXPECT_EQ(EvaluatePCtoUTCDeltaTime("000001", At(23, 59, 59), &host), 86398) << "no wrap at midnight";
}

TEST(SynchroDelay, WaitsForTheWantedUTCSecond) {
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, 0), 20);
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 5, 0), 25);
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, 3), 23) << "PC 3 s ahead of UTC";
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, 3600), 20) << "a PC on local time";
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, 3603), 23);
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 0, 0, -15), -5 + 60) << "negative waits move a minute on";
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, -86398), 22) << "offset taken across midnight";
    EXPECT_EQ(MakeSynchroDelay(At(10, 0, 50), 10, 0, 86399), 19);
}

TEST(GGAPosition, TextDegreesAndMinutes) {
    EXPECT_EQ(MakeLatitudeString("4807.038"), "48 7.038");
    EXPECT_EQ(MakeLongitudeString("01131.000"), "11 31");
    EXPECT_NEAR(GetLatitudeFromGGA("4807.038", "S"), -48.1173, 1e-4);
    EXPECT_NEAR(GetLatitudeFromGGA("4807.038", "N"), 48.1173, 1e-4);
    EXPECT_NEAR(GetLatitudeFromGGA("4807.038", "s"), 48.1173, 1e-4) << "only an exact S is south";
    EXPECT_NEAR(GetLongitudeFromGGA("01131.000", "W"), -11.516667, 1e-6);
    EXPECT_NEAR(GetLongitudeFromGGA("01131.000", "E"), 11.516667, 1e-6);
    EXPECT_DOUBLE_EQ(MakeLatitudeMinutes("4807.038"), 48 * 60 + 7.038);
    EXPECT_DOUBLE_EQ(MakeLongitudeMinutes("01131.000"), 11 * 60 + 31.0);
    EXPECT_EQ(GetLatitudeFromGGA("", ""), 0.0);
    EXPECT_EQ(MakeLatitudeString(""), "0 0");
}

TEST(UTCStamp, CivilTimeFromTheClock) {
    test::FakeClock clock(46365.5, 1'796'817'600'123);  // 2026-12-09 12:00:00.123 UTC, a Wednesday
    const SystemTime t = StampClock(clock).UtcStamp(clock.StampNow());
    EXPECT_EQ(t.Year, 2026);
    EXPECT_EQ(t.Month, 12);
    EXPECT_EQ(t.Day, 9);
    EXPECT_EQ(t.DayOfWeek, 3);
    EXPECT_EQ(t.Hour, 12);
    EXPECT_EQ(t.Minute, 0);
    EXPECT_EQ(t.Second, 0);
    EXPECT_EQ(t.Milliseconds, 123);
    SystemTime leap = UtcStampFromMs(951'782'400'000);  // 2000-02-29
    EXPECT_EQ(leap.Year, 2000);
    EXPECT_EQ(leap.Month, 2);
    EXPECT_EQ(leap.Day, 29);
}

TEST(UTCStamp, ElapsedSecondsAcrossMidnight) {
    // 2026-12-09 23:59:59.500 UTC
    test::FakeClock clock(46365.5, 1'796'860'799'500);
    const StampClock times(clock);
    const SystemTime stamp = times.UtcStamp(clock.StampNow());
    clock.Advance(1000);
    EXPECT_DOUBLE_EQ(ElapsedSecondsBetween(stamp, times.UtcStamp(clock.StampNow())), 1.0);
    clock.Advance(35'127);
    EXPECT_DOUBLE_EQ(ElapsedSecondsBetween(stamp, times.UtcStamp(clock.StampNow())), 36.127);
    EXPECT_DOUBLE_EQ(SecondsBetween(platform::Stamp{1'000'000}, platform::Stamp{36'127'400}), 35.127);
    EXPECT_DOUBLE_EQ(SecondsBetween(platform::Stamp{0}, platform::Stamp{1'999'600}), 2.0) << "to the nearest ms";
}

// A moment is read when its bytes arrived, however long ago: the date-time
// and UTC of an earlier stamp are what the clock read then.
TEST(UTCStamp, AStampKeepsTheTimeItWasTaken) {
    test::FakeClock clock(46365.5 + 10.4 / 86400, 1'796'817'600'400);
    const StampClock times(clock);
    const platform::Stamp then = clock.StampNow();
    const double date_then = clock.Now();
    clock.Advance(2'700);
    EXPECT_EQ(times.DateTime(then), date_then);
    EXPECT_EQ(times.UtcStamp(then).Milliseconds, 400);
    EXPECT_EQ(times.UtcStamp(then).Second, 0);
    EXPECT_EQ(times.DateTime(clock.StampNow()), clock.Now());

    const platform::SystemClock& real = platform::SystemClock::Instance();
    const platform::Stamp now = real.StampNow();
    const int64_t utc = real.UtcMs();
    EXPECT_NEAR(static_cast<double>(real.UtcMsAt(now)), static_cast<double>(utc), 50);
    EXPECT_NEAR(real.UtcMsAt(platform::Stamp{now.Us - 5'000'000}), real.UtcMsAt(now) - 5000, 1);
    // Whole seconds, read at two moments: one second boundary may lie
    // between them (a date-time serial carries some rounding of its own).
    EXPECT_NEAR(real.DateTimeAt(now) * 86400, real.Now() * 86400, 1.001);
}
