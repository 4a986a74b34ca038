// The tracking analysis of a whole day of 1 Hz receiver output (GGA, RMC,
// GSA, three GSV, $PQNVTG; twelve satellites in view, about 30 MB) without
// typesetting, against the KML export of the same log in the same run, and
// the whole command with its chart workbooks on that day and on three days.
// Goals: the analysis under 2 s on one core and at most 4 times the KML
// export; the command with its chart workbooks at most 3 times the analysis
// without them and at most 250 MiB at its peak; on three days at most 3.5
// times the day's time and at most 300 MiB (the time grows with the log,
// the memory stays within its bound). The chart workbooks are built in child processes,
// so the memory judged is that of the whole run: the peak of the summed
// proportional set size of navsift and its children, sampled every 20 ms.
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
#include "perf/perf_tree_memory.h"

namespace fs = std::filesystem;

namespace {

// `hours` of log from 2008-06-30 10:00:00 UTC on (GPS week 1486, the
// Monday's seconds from 86400), written to `path`; returns its size in bytes.
size_t WriteLog(const fs::path& path, int hours)
{
    const int sats[12] = {2, 4, 5, 9, 12, 14, 17, 20, 23, 25, 28, 31};
    std::ofstream out(path, std::ios::binary);
    size_t size = 0;
    std::string log;
    for (int k = 0; k < hours * 3600; ++k) {
        const int utc = 36000 + k;
        const int sod = utc % 86400;
        const int day = utc / 86400;  // 0 is June 30, then July
        char hms[32], date[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", sod / 3600, (sod / 60) % 60, sod % 60);
        std::snprintf(date, sizeof date, "%02d0%d08", day == 0 ? 30 : day, day == 0 ? 6 : 7);
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
        log += perf::Sentence("PQNVTG," + std::to_string(1486 + tow / 604800) + "," + std::to_string(tow % 604800) +
                              ".000,0,0,0,12.5");
        if (log.size() > (1u << 20)) {
            out << log;
            size += log.size();
            log.clear();
        }
    }
    out << log;
    return size + log.size();
}

}  // namespace

int main()
{
    const fs::path dir = perf::MakeTempDir("perf_tracking");
    if (dir.empty()) {
        return 1;
    }
    const fs::path log = dir / "TRACK24H_NMEA.txt";
    std::printf("log: 86400 epochs, 12 satellites, %.1f MB\n", WriteLog(log, 24) / 1048576.0);
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
    const perf::TreeMeasured whole = perf::TimedWithTreePeak(trk, "/dev/null", dir, "/dev/null");
    double kml = 1e9;
    for (int k = 0; k < 2; ++k) {
        const std::vector<std::string> export_kml = {perf::NavsiftPath(), "-nmea", log.string(), "-kml", "-name", "x"};
        const double s = perf::Timed(export_kml, "/dev/null", dir, "/dev/null");
        kml = s < 0 ? s : std::min(kml, s);
    }
    fs::remove_all(dir / "report");
    fs::remove(log);
    const fs::path long_log = dir / "TRACK72H_NMEA.txt";
    const size_t long_size = WriteLog(long_log, 72);
    const std::vector<std::string> trk72 = {perf::NavsiftPath(), "-nmea", long_log.string(), "-trk", "-rtype", "-1"};
    const perf::TreeMeasured three_days = perf::TimedWithTreePeak(trk72, "/dev/null", dir, "/dev/null");

    const bool fast = tables < 2;
    const bool near_kml = kml > 0 && tables / kml <= 4;
    const bool charts_ratio = whole.seconds > 0 && whole.seconds <= 3 * tables;
    const bool charts_peak = whole.seconds > 0 && whole.treePeakMiB <= 250;
    const bool long_peak = three_days.seconds > 0 && three_days.treePeakMiB <= 300;
    const bool long_ratio = three_days.seconds > 0 && whole.seconds > 0 && three_days.seconds <= 3.5 * whole.seconds;
    std::printf("tracking analysis, tables, pages and report sources: %.2f s (goal < 2 s): %s\n", tables,
                perf::Verdict(fast));
    std::printf("navsift -nmea LOG -kml:                               %.2f s\n", kml);
    std::printf("ratio to the KML export:                              %.2f (goal <= 4): %s\n", tables / kml,
                perf::Verdict(near_kml));
    std::printf("navsift -nmea LOG -trk -rtype -1 with chart workbooks: %.2f s\n", whole.seconds);
    std::printf("  ratio to the analysis without them:                 %.2f (goal <= 3): %s\n",
                whole.seconds / tables, perf::Verdict(charts_ratio));
    std::printf("  peak memory of the run (summed PSS, %d processes at most): %.0f MiB (goal <= 250 MiB): %s\n",
                whole.mostProcesses, whole.treePeakMiB, perf::Verdict(charts_peak));
    std::printf("  largest single process's peak RSS:                  %.0f MiB\n", whole.processPeakMiB);
    std::printf("the same on 72 hours of log (%.1f MB):                 %.2f s\n", long_size / 1048576.0,
                three_days.seconds);
    std::printf("  peak memory of the run (summed PSS, %d processes at most): %.0f MiB (goal <= 300 MiB): %s\n",
                three_days.mostProcesses, three_days.treePeakMiB, perf::Verdict(long_peak));
    std::printf("  largest single process's peak RSS:                  %.0f MiB\n", three_days.processPeakMiB);
    std::printf("  ratio to the day's time:                            %.2f (goal <= 3.5): %s\n",
                three_days.seconds / whole.seconds, perf::Verdict(long_ratio));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
