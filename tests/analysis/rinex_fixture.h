#pragma once
// RINEX 2 navigation files written for the tests: realistic orbits whose
// every value is an exact multiple of its broadcast unit, so that packing
// loses nothing and an independent computation from the file's text agrees
// with navsift to the millimetre.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace navsift_test {

struct NavRecord {
    int prn = 1;
    int yy = 8, month = 6, day = 28, hour = 0, minute = 0;
    double second = 0;
    int week = 1485;
    double toe = 0;  // seconds of the week
    double af0 = 0, af1 = 0, af2 = 0;
    double iode = 0, crs = 0, delta_n = 0, m0 = 0;
    double cuc = 0, e = 0, cus = 0, sqrt_a = 0;
    double cic = 0, omega0 = 0, cis = 0;
    double i0 = 0, crc = 0, omega = 0, omega_dot = 0;
    double idot = 0;
    double health = 0, tgd = 0, iodc = 0;
};

// `k` broadcast units of 2^power (angles: semicircles, given in radians).
inline double Units(double k, int power) { return std::ldexp(k, power); }
inline double AngleUnits(double k, int power) { return std::ldexp(k, power) * 3.141592653589793; }
inline double Nearest(double value, int power) { return Units(std::round(std::ldexp(value, -power)), power); }
inline double NearestAngle(double radians, int power)
{
    return AngleUnits(std::round(std::ldexp(radians / 3.141592653589793, -power)), power);
}

inline double Wrapped(double radians)
{
    const double pi = 3.141592653589793;
    return radians - 2 * pi * std::floor((radians + pi) / (2 * pi));
}

// A satellite's orbit at one epoch; the elements vary with the PRN so the
// satellites spread over the sky.
inline NavRecord Orbit(int prn, int week, double toe, int yy, int month, int day, int hour, int minute = 0,
                       double second = 0)
{
    NavRecord r;
    r.prn = prn;
    r.yy = yy;
    r.month = month;
    r.day = day;
    r.hour = hour;
    r.minute = minute;
    r.second = second;
    r.week = week;
    r.toe = toe;
    r.af0 = Nearest(-8.4e-4 + 1.3e-5 * prn, -31);
    r.af1 = Nearest(-1.6e-11 + 1e-12 * prn, -43);
    r.iode = 40 + prn + hour;
    r.iodc = r.iode;
    r.crs = Nearest(-45.3 + 3.1 * prn, -5);
    r.crc = Nearest(220.5 - 2.3 * prn, -5);
    r.cus = Nearest(8.1e-6 - 2e-7 * prn, -29);
    r.cuc = Nearest(-1.2e-6 + 1e-7 * prn, -29);
    r.cis = Nearest(-6.0e-8 + 1e-8 * prn, -29);
    r.cic = Nearest(1.1e-7 - 1e-8 * prn, -29);
    r.delta_n = NearestAngle(4.5e-9, -43);
    r.idot = NearestAngle(1.0e-10 * ((prn % 3) - 1), -43);
    r.omega_dot = NearestAngle(-8.0e-9, -43);
    r.e = Nearest(0.004 + 0.0011 * prn, -33);
    r.sqrt_a = Nearest(5153.65 + 0.07 * prn, -19);
    r.i0 = NearestAngle(0.94 + 0.004 * prn, -31);
    r.omega = NearestAngle(Wrapped(0.6 - 0.21 * prn), -31);
    // Mean anomaly kept in [0, pi): the receiver keeps it as a positive
    // fraction of a circle.
    // The elements follow one orbit from record to record: the mean anomaly
    // and the node move on with the time since a fixed week start, and the
    // node's reference is moved to the record's own week start.
    const double since = (week - 1485) * 604800.0 + toe;
    const double n = 19964981.84322 / std::pow(r.sqrt_a, 3) + r.delta_n;
    r.m0 = NearestAngle(Wrapped(0.37 * prn + 0.2 + n * since), -31);
    r.omega0 = NearestAngle(Wrapped(-3.0 + 0.83 * prn + r.omega_dot * since -
                                    7.2921151467e-05 * (week - 1485) * 604800.0),
                            -31);
    r.tgd = Nearest(-5.1e-9, -31);
    return r;
}

inline std::string D19(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%19.12E", v);
    std::string s(buf);
    for (char& c : s) {
        if (c == 'E') {
            c = 'D';
        }
    }
    return s;
}

inline std::string RecordText(const NavRecord& r)
{
    char first[64];
    std::snprintf(first, sizeof first, "%2d %02d %2d %2d %2d %2d%5.1f", r.prn, r.yy, r.month, r.day, r.hour,
                  r.minute, r.second);
    std::string t = first + D19(r.af0) + D19(r.af1) + D19(r.af2) + "\n";
    auto line = [&](double a, double b, double c, double d) {
        t += "   " + D19(a) + D19(b) + D19(c) + D19(d) + "\n";
    };
    line(r.iode, r.crs, r.delta_n, r.m0);
    line(r.cuc, r.e, r.cus, r.sqrt_a);
    line(r.toe, r.cic, r.omega0, r.cis);
    line(r.i0, r.crc, r.omega, r.omega_dot);
    line(r.idot, 1.0, r.week, 0.0);
    line(2.0, r.health, r.tgd, r.iodc);
    // Transmission time and fit interval only, as many writers leave it.
    t += "   " + D19(r.toe - 30) + D19(4.0) + "\n";
    return t;
}

inline std::string Label(const std::string& text, const std::string& label)
{
    std::string s = text;
    s.resize(60, ' ');
    return s + label + "\n";
}

// A header of twelve lines: comments, ionosphere terms and leap seconds.
inline std::string LongHeader()
{
    return Label("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE") +
           Label("testgen 1.0         lab                 30-JUN-08 10:00", "PGM / RUN BY / DATE") +
           Label("Broadcast orbits for the visibility tests", "COMMENT") +
           Label("Values are whole broadcast units", "COMMENT") +
           Label("    0.1118D-07  0.7451D-08 -0.5960D-07 -0.5960D-07", "ION ALPHA") +
           Label("    0.9011D+05  0.3277D+05 -0.1966D+06 -0.6554D+05", "ION BETA") +
           Label("   -0.279396772385D-08-0.266453525910D-14   503808     1486", "DELTA-UTC: A0,A1,T,W") +
           Label("    14", "LEAP SECONDS") + Label("Line nine of the header", "COMMENT") +
           Label("Line ten of the header", "COMMENT") + Label("Line eleven of the header", "COMMENT") +
           Label("", "END OF HEADER");
}

// The eight-line header of the classic daily files.
inline std::string ShortHeader()
{
    return Label("     2.10           N: GPS NAV DATA", "RINEX VERSION / TYPE") +
           Label("testgen 1.0         lab                 30-JUN-08 10:00", "PGM / RUN BY / DATE") +
           Label("Eight header lines", "COMMENT") +
           Label("    0.1118D-07  0.7451D-08 -0.5960D-07 -0.5960D-07", "ION ALPHA") +
           Label("    0.9011D+05  0.3277D+05 -0.1966D+06 -0.6554D+05", "ION BETA") +
           Label("   -0.279396772385D-08-0.266453525910D-14   503808     1486", "DELTA-UTC: A0,A1,T,W") +
           Label("    14", "LEAP SECONDS") + Label("", "END OF HEADER");
}

inline std::string RinexText(const std::string& header, const std::vector<NavRecord>& records)
{
    std::string t = header;
    for (const NavRecord& r : records) {
        t += RecordText(r);
    }
    return t;
}

}  // namespace navsift_test
