#pragma once
// Logs of the receiver family with its "$PQNVTG" time sentence, epoch by
// epoch, in either sentence order, for the start-up and TTFF analyses.
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/analysis/navsift_harness.h"
#include "tests/analysis/rinex_fixture.h"

namespace navsift_test {

struct QnvEpoch {
    int sod = 36000;  // UTC second of day
    int quality = 0;
    double latitude = 48.1173, longitude = 11.5167, altitude = 545.4;
    bool position = true;  // position fields filled even without a fix
    bool tg = true;        // a "$PQNVTG" in the epoch
    int week = 1485;
    double tow = 554400;
    int field5 = 7;
    bool rmc = true;
    bool rmc_first = false;  // RMC-led epochs
    bool tracking = false;   // satellites heard (with their CN0) before the fix
    bool gga = true;
    std::string date = "280608";
    std::vector<std::pair<int, int>> sats = {{3, 40}, {7, 38}, {9, 44}, {12, 35}};  // PRN, CN0
};

inline std::string QnvAngle(double degrees, int degree_digits)
{
    const double a = std::fabs(degrees);
    const int whole = static_cast<int>(a);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d%07.4f", degree_digits, whole, (a - whole) * 60.0);
    return buf;
}

inline std::string QnvHms(int sod)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.00", sod / 3600 % 24, sod / 60 % 60, sod % 60);
    return buf;
}

inline std::string QnvEpochText(const QnvEpoch& e)
{
    const bool fix = e.quality != 0;
    const bool pos = fix || e.position;
    const std::string lat = pos ? QnvAngle(e.latitude, 2) + (e.latitude < 0 ? ",S" : ",N") : ",";
    const std::string lon = pos ? QnvAngle(e.longitude, 3) + (e.longitude < 0 ? ",W" : ",E") : ",";
    char alt[32];
    std::snprintf(alt, sizeof alt, "%.1f", e.altitude);
    const std::string gga = Sentence("GPGGA," + QnvHms(e.sod) + "," + lat + "," + lon + "," +
                                     std::to_string(e.quality) + "," + (fix ? "06" : "00") + "," +
                                     (fix ? "1.3" : "99.9") + "," + (pos ? alt : "") + ",M,46.9,M,,");
    const std::string rmc = Sentence("GPRMC," + QnvHms(e.sod) + "," + (fix ? "A" : "V") + "," + lat + "," + lon +
                                     ",000.5,054.7," + e.date + ",,");
    std::string out;
    if (e.rmc && e.rmc_first) {
        out += rmc;
    }
    if (e.gga) {
        out += gga;
    }
    if (e.rmc && !e.rmc_first) {
        out += rmc;
    }
    out += Sentence(fix ? "GPGSA,A,3,03,07,09,12,,,,,,,,,2.5,1.3,2.1" : "GPGSA,A,1,,,,,,,,,,,,,,,");
    const int total = static_cast<int>((e.sats.size() + 3) / 4);
    for (int m = 0; m < total; ++m) {
        std::string s = "GPGSV," + std::to_string(total) + "," + std::to_string(m + 1) + "," +
                        std::to_string(e.sats.size());
        for (std::size_t i = static_cast<std::size_t>(m) * 4; i < e.sats.size() && i < static_cast<std::size_t>(m) * 4 + 4;
             ++i) {
            char sat[40];
            std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,", e.sats[i].first, 20 + 3 * static_cast<int>(i),
                          30 * static_cast<int>(i));
            s += sat;
            if (fix || e.tracking) {
                s += std::to_string(e.sats[i].second);
            }
        }
        out += Sentence(s);
    }
    if (e.tg) {
        char tg[96];
        std::snprintf(tg, sizeof tg, "PQNVTG,%d,%.3f,1,0,%d,12.5", e.week, e.tow, e.field5);
        out += Sentence(tg);
    }
    return out;
}

// "lab11800.08n" in `folder`: ten satellites every two hours on Saturday
// 2008-06-28 (GPS week 1485).
inline void WriteRinexSaturday(const fs::path& folder)
{
    fs::create_directories(folder);
    std::vector<NavRecord> recs;
    for (int h = 0; h < 24; h += 2) {
        for (int prn = 1; prn <= 10; ++prn) {
            recs.push_back(Orbit(prn, 1485, 6 * 86400.0 + h * 3600, 8, 6, 28, h));
        }
    }
    WriteFile(folder / "lab11800.08n", RinexText(LongHeader(), recs));
}

// A session of trials, one epoch a second from `first_sod`: each trial has
// `no_fix` epochs without a fix from its restart, then `fixed` with one.
// `place` fills the rest of an epoch (position, satellites) by its second.
struct QnvTrial {
    int no_fix = 0;
    int fixed = 0;
};
inline std::vector<QnvEpoch> QnvSession(const std::vector<QnvTrial>& trials, int first_sod, double tow_at_sod0,
                                        const std::function<void(QnvEpoch&)>& place)
{
    std::vector<QnvEpoch> out;
    int sod = first_sod;
    for (const QnvTrial& t : trials) {
        for (int k = 0; k < t.no_fix + t.fixed; ++k, ++sod) {
            QnvEpoch e;
            e.sod = sod;
            e.tow = tow_at_sod0 + sod;
            e.quality = k < t.no_fix ? 0 : 1;
            e.position = false;
            place(e);
            out.push_back(e);
        }
    }
    return out;
}

inline std::string QnvLog(const std::vector<QnvEpoch>& epochs)
{
    std::string out;
    for (const QnvEpoch& e : epochs) {
        out += QnvEpochText(e);
    }
    return out;
}

}  // namespace navsift_test
