// The tracking analysis of a whole day of 1 Hz receiver output (GGA, RMC,
// GSA, three GSV, $PQNVTG; twelve satellites in view, about 30 MB) without
// typesetting, against the KML export of the same log in the same run. Goals:
// under 2 s on one core, and at most 4 times the KML export.
//
// Printed: the tables, pages and report sources (the analysis in this
// process), the chart workbooks that the analysis adds at its end, the whole
// command `navsift -nmea LOG -trk -rtype -1`, and `navsift -nmea LOG -kml`.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis/analyses/tracking_analysis.h"
#include "perf/nmea_text.h"
#include "perf/perf_process.h"

namespace fs = std::filesystem;

namespace {

// 2008-06-30 10:00:00 UTC on: GPS week 1486, the Monday's seconds from 86400.
std::string DayLog()
{
    const int sats[12] = {2, 4, 5, 9, 12, 14, 17, 20, 23, 25, 28, 31};
    std::string log;
    log.reserve(32u << 20);
    for (int k = 0; k < 86400; ++k) {
        const int utc = 36000 + k;
        const int sod = utc % 86400;
        char hms[32], date[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", sod / 3600, (sod / 60) % 60, sod % 60);
        std::snprintf(date, sizeof date, "%02d0%d08", utc < 86400 ? 30 : 1, utc < 86400 ? 6 : 7);
        log += perf::Sentence(std::string("GPGGA,") + hms + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += perf::Sentence(std::string("GPRMC,") + hms + ",A,4807.0380,N,01131.0000,E,000.0,084.4," + date +
                              ",003.1,W");
        log += perf::Sentence("GPGSA,A,3,02,04,05,09,12,14,17,20,,,,,1.5,0.9,1.2");
        for (int m = 0; m < 3; ++m) {
            std::string body = "GPGSV,3," + std::to_string(m + 1) + ",12";
            for (int j = 0; j < 4; ++j) {
                const int prn = sats[4 * m + j];
                char group[32];
                std::snprintf(group, sizeof group, ",%02d,%02d,%03d,%02d", prn, (prn * 7 + k / 600) % 90,
                              (prn * 31 + k / 240) % 360, 30 + (prn + k / 60) % 20);
                body += group;
            }
            log += perf::Sentence(body);
        }
        const int tow = 86400 + utc + 15;
        log += perf::Sentence("PQNVTG,1486," + std::to_string(tow) + ".000,0,0,0,12.5");
    }
    return log;
}

}  // namespace

int main()
{
    char pattern[] = "/tmp/perf_tracking_XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;
    const fs::path log = dir / "TRACK24H_NMEA.txt";
    {
        const std::string text = DayLog();
        std::ofstream(log, std::ios::binary) << text;
        std::printf("log: 86400 epochs, 12 satellites, %.1f MB\n", text.size() / 1048576.0);
    }
    // The analysis without its chart workbooks, in this process, stdout to
    // /dev/null like the runs below; best of two.
    double tables = 1e9;
    std::fflush(stdout);
    const int saved = dup(1);
    const int null = open("/dev/null", O_WRONLY);
    for (int k = 0; k < 2; ++k) {
        fs::remove_all(dir / "report");
        dup2(null, 1);
        navsift::set_tracking_window_length(0);
        const auto start = std::chrono::steady_clock::now();
        const int status = navsift::tracking_analysis(dir.string() + "/", log.filename().string(), "", -1, false,
                                                      navsift::TrackingCharts::None);
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::fflush(stdout);
        dup2(saved, 1);
        if (status != 0) {
            std::fprintf(stderr, "the analysis failed (%d)\n", status);
            return 1;
        }
        tables = std::min(tables, s);
    }
    close(null);
    fs::remove_all(dir / "report");
    const std::vector<std::string> trk = {perf::NavsiftPath(), "-nmea", log.string(), "-trk", "-rtype", "-1"};
    const double whole = perf::Timed(trk, "/dev/null", dir, "/dev/null");
    double kml = 1e9;
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::string> export_kml = {perf::NavsiftPath(), "-nmea", log.string(), "-kml", "-name", "x"};
        const double s = perf::Timed(export_kml, "/dev/null", dir, "/dev/null");
        kml = s < 0 ? s : std::min(kml, s);
    }
    std::printf("tracking analysis, tables, pages and report sources: %.2f s (goal < 2 s)\n", tables);
    std::printf("navsift -nmea LOG -kml:                               %.2f s\n", kml);
    std::printf("ratio to the KML export:                              %.2f (goal <= 4)\n", tables / kml);
    std::printf("navsift -nmea LOG -trk -rtype -1 with chart workbooks: %.2f s\n", whole);
    std::error_code ec;
    fs::remove_all(dir, ec);
    return tables > 0 && kml > 0 && whole > 0 ? 0 : 1;
}
