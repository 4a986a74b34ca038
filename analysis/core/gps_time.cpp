#include "analysis/core/gps_time.h"

#include <cstdint>

#include "analysis/core/text_util.h"

namespace navsift {

namespace {
constexpr int32_t kMonthDays[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr int64_t kLastConvertible = 43829LL * 86400 - 1;  // 2099-12-31 23:59:59
}  // namespace

bool gps_to_calendar(int32_t gps_seconds, int32_t& year, int32_t& month, int32_t& day, int32_t& hour,
                     int32_t& minute, int32_t& second)
{
    year = month = day = hour = minute = second = 0;
    if (gps_seconds < kFirstConvertible || gps_seconds > kLastConvertible) {
        return true;
    }
    const int64_t week = gps_seconds / kSecondsPerWeek;
    const int64_t sow = gps_seconds - week * kSecondsPerWeek;
    const int64_t days = sow / 86400 + 7 * week - 361;  // since 1981-01-01
    const int64_t cycle = days / 1461;
    const int64_t day_in_cycle = days - 1461 * cycle;
    int64_t year_in_cycle = day_in_cycle / 365;
    if (year_in_cycle == 4) {
        year_in_cycle = 3;  // the last day of the cycle's leap year
    }
    year = static_cast<int32_t>(1981 + 4 * cycle + year_in_cycle);
    int64_t day_of_year = day_in_cycle - 365 * year_in_cycle + 1;
    hour = static_cast<int32_t>((sow / 3600) % 24);
    minute = static_cast<int32_t>((sow / 60) % 60);
    second = static_cast<int32_t>(sow % 60);
    int32_t m = 1;
    while (m < 12) {
        const bool leap_feb = year_in_cycle == 3 && m == 2;
        const int32_t len = leap_feb ? 29 : kMonthDays[m];
        if (day_of_year <= len) {
            break;
        }
        day_of_year -= len;
        ++m;
    }
    month = m;
    day = static_cast<int32_t>(day_of_year);
    return false;
}

bool gps_to_calendar(int32_t gps_seconds, CalendarTime& out)
{
    return gps_to_calendar(gps_seconds, out.year, out.month, out.day, out.hour, out.minute, out.second);
}

std::optional<int32_t> calendar_to_gps(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute,
                                       int32_t second)
{
    if (month < 1 || month > 12 || day < 1) {
        return std::nullopt;
    }
    const bool leap = year % 4 == 0;
    const int32_t month_len = kMonthDays[month] + ((leap && month == 2) ? 1 : 0);
    if (day > month_len) {
        return std::nullopt;
    }
    int64_t y = year - 1980;
    if (y < 0) {
        y = year - 80;
        if (y < 0) {
            y = year + 20;
        }
    }
    int64_t days = 365 * y + (y - 1) / 4 - 5;
    for (int32_t m = 1; m < month; ++m) {
        days += kMonthDays[m];
    }
    if (leap && month > 2) {
        days += 1;
    }
    days += day;
    const int64_t result = ((days * 24 + hour) * 60 + minute) * 60 + second;
    if (result > INT32_MAX || result < INT32_MIN) {
        return std::nullopt;  // past 2038-ish GPS seconds no longer fit
    }
    return static_cast<int32_t>(result);
}

bool gps_time_stamp(int32_t gps_seconds, std::string& out)
{
    CalendarTime t;
    gps_to_calendar(gps_seconds, t);
    out = Format("%02d%02d%02d_%02d%02d%04d", t.hour, t.minute, t.second, t.day, t.month, t.year);
    return false;
}

}  // namespace navsift
