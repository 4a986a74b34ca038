#pragma once
// GPS seconds (since 1980-01-06 00:00:00, no leap seconds) and calendar
// dates, and the compact time stamp used in folder and file names.
#include <cstdint>
#include <optional>
#include <string>

namespace navsift {

struct CalendarTime {
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

constexpr int32_t kSecondsPerWeek = 604800;
// The conversions hold from 1981-01-01 00:00:00 to 2099-12-31 23:59:59.
constexpr int64_t kFirstConvertible = 361LL * 86400;

// Fills the six values; returns true (failure) outside the range above, in
// which case the values are all zero.
bool gps_to_calendar(int32_t gps_seconds, int32_t& year, int32_t& month, int32_t& day, int32_t& hour,
                     int32_t& minute, int32_t& second);
bool gps_to_calendar(int32_t gps_seconds, CalendarTime& out);

// The year may be given with four digits or two (80..99 are 1980..1999,
// 0..79 are 2000..2079). A month outside 1..12 or a day that the month does
// not have gives no value.
std::optional<int32_t> calendar_to_gps(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                                       int32_t second);

// "hhmmss_ddmmyyyy"; returns false.
bool gps_time_stamp(int32_t gps_seconds, std::string& out);

}  // namespace navsift
