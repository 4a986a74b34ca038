#pragma once
// NMEA sentences for the benchmarks' generated logs.
#include <cstdio>
#include <string>

namespace perf {

// "$" + body + "*" + checksum + CR LF.
inline std::string Sentence(const std::string& body)
{
    unsigned x = 0;
    for (unsigned char c : body) {
        x ^= c;
    }
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", x);
    return "$" + body + tail;
}

// Degrees as NMEA writes them: whole degrees with `degree_digits` digits,
// then minutes.
inline std::string Angle(double degrees, int degree_digits)
{
    const int whole = static_cast<int>(degrees);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f", degree_digits, whole, (degrees - whole) * 60.0);
    return buf;
}

}  // namespace perf
