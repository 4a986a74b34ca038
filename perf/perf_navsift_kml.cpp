// A whole day of 1 Hz receiver output (GGA, RMC, GSA, GSV) turned into KML by
// navsift and, in the same run, by gpsbabel; the goal is navsift at least
// five times faster.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "perf/nmea_text.h"
#include "perf/perf_process.h"

namespace fs = std::filesystem;
using perf::Angle;
using perf::Sentence;

namespace {

// 86400 epochs of a slow drive with eight satellites in view.
std::string DayLog()
{
    std::string log;
    log.reserve(30u << 20);
    for (int t = 0; t < 86400; ++t) {
        char hms[48];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", t / 3600, (t / 60) % 60, t % 60);
        const double lat = 48.1173 + 0.01 * std::sin(t / 5000.0);
        const double lon = 11.5167 + 0.01 * std::cos(t / 5000.0);
        const std::string pos = Angle(lat, 2) + ",N," + Angle(lon, 3) + ",E";
        char alt[16];
        std::snprintf(alt, sizeof alt, "%.1f", 545.0 + (t % 100) * 0.1);
        log += Sentence(std::string("GPGGA,") + hms + "," + pos + ",1,08,0.9," + alt + ",M,46.9,M,,");
        log += Sentence(std::string("GPRMC,") + hms + ",A," + pos + ",022.4,084.4,300608,003.1,W");
        log += Sentence("GPGSA,A,3,04,05,09,12,16,18,22,24,,,,,2.5,1.3,2.1");
        log += Sentence("GPGSV,2,1,08,04,15,270,38,05,25,170,41,09,57,208,39,12,67,296,40");
        log += Sentence("GPGSV,2,2,08,16,42,067,42,18,14,311,43,22,05,244,35,24,40,100,44");
    }
    return log;
}

}  // namespace

int main()
{
    perf::DeclareGoals(1);
    const fs::path dir = perf::MakeTempDir("perf_navsift");
    if (dir.empty()) {
        return 1;
    }
    const fs::path log = dir / "day_NMEA.txt";
    {
        const std::string text = DayLog();
        std::ofstream(log, std::ios::binary) << text;
        std::printf("log: 86400 epochs (GGA, RMC, GSA, GSV), %.1f MB\n", text.size() / 1048576.0);
    }
    // Best of two runs each, so that a cold cache favours neither.
    double navsift = 1e9, gpsbabel = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double a = perf::Timed({perf::NavsiftPath(), "-nmea", log.string(), "-kml", "-name", "x"}, "/dev/null", dir);
        const double b = perf::Timed({"gpsbabel", "-i", "nmea", "-f", log.string(), "-o", "kml,points=0,lines=1", "-F",
                                (dir / "out.kml").string()},
                               "/dev/null", dir);
        if (a < 0 || b < 0) {
            std::printf("a run failed (navsift %s, gpsbabel %s)\n", a < 0 ? "failed" : "ok", b < 0 ? "failed" : "ok");
            fs::remove_all(dir);
            return 1;
        }
        navsift = std::min(navsift, a);
        gpsbabel = std::min(gpsbabel, b);
    }
    const double ratio = gpsbabel / navsift;
    std::printf("navsift -nmea LOG -kml -name x: %.3f s (%.1f MB of KML)\n", navsift,
                fs::file_size(dir / "x.kml") / 1048576.0);
    std::printf("gpsbabel -i nmea -o kml,points=0,lines=1: %.3f s\n", gpsbabel);
    std::printf("ratio: %.1f (goal: at least 5): %s\n", ratio, perf::Verdict(ratio >= 5));
    fs::remove_all(dir);
    return 0;
}
