#pragma once
// Test fixes placed around a point: their GGA text as a receiver writes it,
// at a known distance and bearing, the same scatter every run.
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "tests/reports/report_bench.h"

namespace reptest {

// NMEA ddmm.mmmmmm text of a signed coordinate, with its hemisphere letter.
inline void ToNmea(double deg, int degreeDigits, const char* plusMinus, std::string& text, std::string& letter) {
    letter = std::string(1, deg < 0 ? plusMinus[1] : plusMinus[0]);
    const long long micro = std::llround(std::fabs(deg) * 60e6);  // millionths of a minute
    const long long whole = micro / 60000000, rest = micro % 60000000;
    char buf[40];
    std::snprintf(buf, sizeof buf, "%0*lld%02lld.%06lld", degreeDigits, whole, rest / 1000000, rest % 1000000);
    text = buf;
}

// A fix `metres` from (lat, lon) towards `bearing` (degrees from north), on
// a sphere: exact enough to place test fixes, even beside a pole.
inline Fix FixNear(double lat, double lon, double metres, double bearing, double ttff) {
    constexpr double kRad = std::numbers::pi / 180;
    const double d = metres / 6371000.0, t = bearing * kRad, p1 = lat * kRad;
    const double p2 = std::asin(std::sin(p1) * std::cos(d) + std::cos(p1) * std::sin(d) * std::cos(t));
    double l2 = lon * kRad +
                std::atan2(std::sin(t) * std::sin(d) * std::cos(p1), std::cos(d) - std::sin(p1) * std::sin(p2));
    l2 = std::remainder(l2, 2 * std::numbers::pi);
    Fix f{ttff, "101500.000"};
    ToNmea(p2 / kRad, 2, "NS", f.lat, f.ns);
    ToNmea(l2 / kRad, 3, "EW", f.lon, f.ew);
    return f;
}

// `count` fixes scattered up to `spread` metres around the centre, TTFFs
// 20, 21, ...; `seed` picks the scatter, the same every run.
inline std::vector<Fix> Scatter(double lat, double lon, int count, double spread, unsigned seed = 12345) {
    std::vector<Fix> out;
    unsigned state = seed;
    auto next = [&] {
        state = state * 1103515245u + 12345u;
        return ((state >> 8) & 0xFFFF) / 65535.0;
    };
    for (int i = 0; i < count; ++i) {
        const double r = spread * std::sqrt(next()), b = 360 * next();
        out.push_back(FixNear(lat, lon, r, b, 20 + i));
    }
    return out;
}

}  // namespace reptest
