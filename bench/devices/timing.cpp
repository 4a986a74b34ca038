#include "bench/devices/timing.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/system_log.h"
#include "platform/core/numtext.h"

#include <cctype>
#include <cmath>

namespace bench {

using platform::Mid;
using platform::NumberToText;
using platform::ReadLenient;

int32_t SecondsOfDay(double date_time) {
    double frac = std::fabs(date_time) - std::floor(std::fabs(date_time));
    auto s = static_cast<int32_t>(std::llround(frac * 86400.0));
    return s >= 86400 ? s - 86400 : s;
}

int SecondOfMinute(double date_time) { return SecondsOfDay(date_time) % 60; }

int32_t MakeTimeDifference(double a, double b) {
    int32_t s = 0;
    Trapped("MakeTimeDifference", [&] {
        s = SecondsOfDay(a - b);
        if (s > 43200) s = 86400 - s;
    });
    return s;
}

std::string MakeTimeStringFromSeconds(int32_t seconds) {
    auto two = [](long long v) { return (v < 10 ? "0" : "") + std::to_string(v); };
    long long s = seconds;
    long long h = s >= 0 ? s / 3600 : -((-s + 3599) / 3600);
    long long m = (s - 3600 * h) / 60;
    long long r = s - 3600 * h - 60 * m;
    return two(h) + ":" + two(m) + ":" + two(r);
}

std::string MakeDateDifference(double a, double b) {
    std::string out;
    Trapped("MakeDateDifference", [&] { out = MakeTimeStringFromSeconds(MakeTimeDifference(a, b)); });
    return out;
}

std::string MakeTimeFromGGAString(std::string_view field) {
    std::string out;
    Trapped("MakeTimeFromGGAString", [&] {
        if (field.empty()) {
            out = "00:00:00";
            return;
        }
        out = Mid(field, 1, 2) + ":" + Mid(field, 3, 2) + ":" + Mid(field, 5);
    });
    return out;
}

std::string GetUTCSecondsFromGGAString(std::string_view field) {
    std::string out;
    Trapped("GetUTCSecondsFromGGAString_ErrorHandler", [&] {
        if (field.empty()) {
            out = "0";
            return;
        }
        double v = ReadLenient(Mid(field, 1, 2)) * 3600 + ReadLenient(Mid(field, 3, 2)) * 60 + ReadLenient(Mid(field, 5));
        out = NumberToText(v);
    });
    return out;
}

bool IsCompleteGGATime(std::string_view field) {
    if (field.size() < 6) return false;
    for (size_t i = 0; i < 6; ++i)
        if (!std::isdigit(static_cast<unsigned char>(field[i]))) return false;
    return true;
}

int32_t EvaluatePCtoUTCDeltaTime(std::string_view field, double pc_date_time, BenchHost* host) {
    int32_t delta = host ? host->GetPCtoUTCDeltaTime() : 0;
    Trapped("EvaluatePCtoUTCDeltaTime", [&] {
        // An empty time (before the first fix) would read as midnight and
        // store a wild offset for every device.
        if (!IsCompleteGGATime(field)) return;
        int32_t pc = SecondsOfDay(pc_date_time);
        int32_t utc = platform::RoundToInt32(ReadLenient(Mid(field, 1, 2)) * 3600 + ReadLenient(Mid(field, 3, 2)) * 60 +
                                             ReadLenient(Mid(field, 5, 2)));
        delta = pc - utc;
        if (host) host->SetPCtoUTCDeltaTime(delta);
    });
    return delta;
}

int16_t MakeSynchroDelay(double reference, int16_t utc_second, int16_t extra, int32_t pc_to_utc_delta) {
    int16_t out = 0;
    Trapped("MakeSynchroDelay", [&] {
        int32_t d = ((pc_to_utc_delta % 60) + 60 + 30) % 60 - 30;
        int32_t w = (60 - SecondOfMinute(reference)) + d + utc_second + extra;
        if (w < 0) w += 60;
        out = platform::RoundToInt16(w);
    });
    return out;
}

namespace {

std::string DegreesMinutesText(std::string_view field, int degree_digits) {
    return NumberToText(ReadLenient(Mid(field, 1, degree_digits))) + " " +
           NumberToText(ReadLenient(Mid(field, degree_digits + 1)));
}

double Degrees(std::string_view field, int degree_digits) {
    return ReadLenient(Mid(field, 1, degree_digits)) + ReadLenient(Mid(field, degree_digits + 1)) / 60.0;
}

double Minutes(std::string_view field, int degree_digits) {
    return ReadLenient(Mid(field, 1, degree_digits)) * 60 + ReadLenient(Mid(field, degree_digits + 1));
}

}  // namespace

std::string MakeLatitudeString(std::string_view field) {
    std::string out;
    Trapped("MakeLatitudeString", [&] { out = DegreesMinutesText(field, 2); });
    return out;
}

std::string MakeLongitudeString(std::string_view field) {
    std::string out;
    Trapped("MakeLongitudeString", [&] { out = DegreesMinutesText(field, 3); });
    return out;
}

double GetLatitudeFromGGA(std::string_view field, std::string_view hemisphere) {
    double v = 0;
    Trapped("GetLatitudeFromGGA", [&] {
        v = Degrees(field, 2);
        if (hemisphere == "S") v = -v;
    });
    return v;
}

double GetLongitudeFromGGA(std::string_view field, std::string_view hemisphere) {
    double v = 0;
    Trapped("GetLongitudeFromGGA", [&] {
        v = Degrees(field, 3);
        if (hemisphere == "W") v = -v;
    });
    return v;
}

double MakeLatitudeMinutes(std::string_view field) {
    double v = 0;
    Trapped("MakeLatitudeMinutes", [&] { v = Minutes(field, 2); });
    return v;
}

double MakeLongitudeMinutes(std::string_view field) {
    double v = 0;
    Trapped("MakeLongitudeMinutes", [&] { v = Minutes(field, 3); });
    return v;
}

SystemTime UtcStampFromMs(int64_t utc_ms) {
    int64_t days = utc_ms >= 0 ? utc_ms / 86400000 : -((-utc_ms + 86399999) / 86400000);
    int64_t ms_of_day = utc_ms - days * 86400000;
    const platform::CivilDate c = platform::CivilFromDays(days);
    SystemTime t;
    t.Year = static_cast<int16_t>(c.Year);
    t.Month = static_cast<int16_t>(c.Month);
    t.Day = static_cast<int16_t>(c.Day);
    t.DayOfWeek = static_cast<int16_t>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    t.Hour = static_cast<int16_t>(ms_of_day / 3600000);
    t.Minute = static_cast<int16_t>(ms_of_day / 60000 % 60);
    t.Second = static_cast<int16_t>(ms_of_day / 1000 % 60);
    t.Milliseconds = static_cast<int16_t>(ms_of_day % 1000);
    return t;
}

double ElapsedSecondsBetween(const SystemTime& from, const SystemTime& to) {
    auto secs = [](const SystemTime& t) {
        return t.Hour * 3600.0 + t.Minute * 60.0 + t.Second + t.Milliseconds * 0.001;
    };
    double d = secs(to) - secs(from);
    if (to.Day != from.Day) d += 86400;
    return platform::RoundDecimals(d, 3);
}

double SecondsBetween(platform::Stamp from, platform::Stamp to) {
    return platform::RoundDecimals(static_cast<double>(to.Us - from.Us) / 1e6, 3);
}

}  // namespace bench
