#pragma once
// Time and coordinate routines shared by the device windows, the test engine
// and the instruments: clock-text conversions of GGA fields, the offset of
// the PC clock from receiver UTC, the wait until a wanted UTC second, GGA
// latitude and longitude, and UTC stamps with a millisecond elapsed time.
//
// Date-times are days since 1899-12-30 on the PC's local clock. Routines that
// trap their errors log them under their own name and return what they had
// (an empty or zero result); the rest let errors pass.
#include "bench/devices/system_time.h"
#include "platform/core/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

class BenchHost;

// Whole seconds between the clock times of a and b on a 24-hour circle: the
// whole days of a - b are dropped, a negative difference counts by its
// magnitude, and the result is at most 43200.
int32_t MakeTimeDifference(double a, double b);

// "hh:mm:ss"; hours may pass 99 ("100:00:00").
std::string MakeTimeStringFromSeconds(int32_t seconds);

// MakeTimeStringFromSeconds(MakeTimeDifference(a, b)).
std::string MakeDateDifference(double a, double b);

// "hh:mm:ss[.ff]" of a GGA time field; "00:00:00" for an empty field; a short
// field leaves its missing parts empty.
std::string MakeTimeFromGGAString(std::string_view field);

// Seconds of the day of a GGA time field, fraction kept, as number text
// ("0" for an empty field).
std::string GetUTCSecondsFromGGAString(std::string_view field);

// True when the field starts with six digits (hhmmss).
bool IsCompleteGGATime(std::string_view field);

// Seconds of the day of the PC date-time when the field arrived minus the
// field's UTC seconds (whole, no wrap at midnight), stored in the main window
// and returned. A field without a full hhmmss leaves the stored value alone
// and returns it (0 without a host).
int32_t EvaluatePCtoUTCDeltaTime(std::string_view field, double pc_date_time, BenchHost* host);

// Seconds to wait from `reference` so that the next action falls on UTC
// second `utc_second` of a minute, plus `extra` seconds. The PC-to-UTC delta
// is taken modulo a minute (-30..29) first, so a PC on local time or a delta
// taken across midnight still gives a wait within the minute.
int16_t MakeSynchroDelay(double reference, int16_t utc_second, int16_t extra, int32_t pc_to_utc_delta);

// "48 7.038" of "4807.038"; "11 31" of "01131.000".
std::string MakeLatitudeString(std::string_view field);
std::string MakeLongitudeString(std::string_view field);

// Degrees; negative for hemisphere exactly "S" / "W".
double GetLatitudeFromGGA(std::string_view field, std::string_view hemisphere);
double GetLongitudeFromGGA(std::string_view field, std::string_view hemisphere);

// Minutes of arc (degrees x 60 + minutes).
double MakeLatitudeMinutes(std::string_view field);
double MakeLongitudeMinutes(std::string_view field);

// UTC milliseconds since 1970 as a stamp of the system time.
SystemTime UtcStampFromMs(int64_t utc_ms);

// Seconds from one UTC stamp to a later one, 3 decimals; 86400 is added when
// the day numbers differ, so one midnight is crossed correctly.
double ElapsedSecondsBetween(const SystemTime& from, const SystemTime& to);

// Seconds between two monotonic stamps, 3 decimals.
double SecondsBetween(platform::Stamp from, platform::Stamp to);

// The device's reading of the clock: the local date-time and UTC of a
// stamp. It tells no "now": every moment the device code keeps is the
// arrival stamp of the line it came with, or, for what the bench does
// itself, the stamp its window took when doing it; either is handed in.
class StampClock {
public:
    explicit StampClock(const platform::Clock& clock = platform::SystemClock::Instance()) : clock_(&clock) {}
    // Local date-time, whole seconds.
    double DateTime(platform::Stamp at) const { return clock_->DateTimeAt(at); }
    SystemTime UtcStamp(platform::Stamp at) const { return UtcStampFromMs(clock_->UtcMsAt(at)); }

private:
    const platform::Clock* clock_;
};

// Parts of a date-time's time of day, rounded to the nearest second.
int32_t SecondsOfDay(double date_time);
int SecondOfMinute(double date_time);

}  // namespace bench
