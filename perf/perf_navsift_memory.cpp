// Memory of navsift's two long readings of a log, `-nmea LOG -kml` and
// `-nmea LOG -trk -rtype -1`, on 1 Hz logs of a day, three days and thirty
// days (GGA, RMC, GSA, three GSV, $PQNVTG; a slow drive, twelve satellites).
// Goals: each within 40 MiB at its peak on every log, and the thirty days
// taking at most 32 times the day's time. The KML export runs in one
// process: its memory is the peak of its proportional set size, sampled
// every 20 ms. The tracking analysis builds its chart workbooks afterwards
// in child processes, whose work follows the tables and not the reading:
// what is judged is its main process, its memory and the time until its
// first workbook begins (the whole run's time and the tree's peak are shown
// beside it). On thirty days the run is ended there: its workbooks alone
// would take several minutes more.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "analysis/core/gps_time.h"
#include "perf/nmea_text.h"
#include "perf/perf_process.h"
#include "perf/perf_tree_memory.h"

namespace fs = std::filesystem;

namespace {

constexpr double kGoalMiB = 40.0;

// `days` of 1 Hz receiver output from 2008-06-30 00:00:00 UTC written to
// `path`; its size in bytes, 0 when it could not be written.
std::uintmax_t WriteDrive(const fs::path& path, int days)
{
    const std::optional<int32_t> first = navsift::calendar_to_gps(2008, 6, 30, 0, 0, 0);
    std::ofstream out(path, std::ios::binary);
    if (!first || !out) {
        return 0;
    }
    const int prns[12] = {1, 3, 6, 8, 11, 14, 15, 19, 22, 27, 29, 32};
    std::string chunk;
    chunk.reserve(5u << 20);
    for (int64_t k = 0; k < int64_t{days} * 86400; ++k) {
        const int32_t utc = *first + static_cast<int32_t>(k);
        navsift::CalendarTime t;
        navsift::gps_to_calendar(utc, t);
        char hms[16], date[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", t.hour, t.minute, t.second);
        std::snprintf(date, sizeof date, "%02d%02d%02d", t.day, t.month, t.year % 100);
        // A loop of a few kilometres, driven round every 2.8 hours.
        const double a = static_cast<double>(k) / 1600.0;
        const std::string where = perf::Angle(52.3702 + 0.02 * std::sin(a), 2) + ",N," +
                                  perf::Angle(4.8952 + 0.03 * std::cos(a), 3) + ",E";
        char alt[16];
        std::snprintf(alt, sizeof alt, "%.1f", 12.0 + static_cast<double>(k % 300) * 0.05);
        chunk += perf::Sentence(std::string("GPGGA,") + hms + "," + where + ",1,09,0.8," + alt + ",M,47.0,M,,");
        chunk += perf::Sentence(std::string("GPRMC,") + hms + ",A," + where + ",031.7,112.5," + date + ",000.5,E");
        chunk += perf::Sentence("GPGSA,A,3,01,03,06,08,11,14,15,19,22,,,,1.6,0.8,1.4");
        for (int m = 0; m < 3; ++m) {
            std::string gsv = "GPGSV,3," + std::to_string(m + 1) + ",12";
            for (int j = 0; j < 4; ++j) {
                const int prn = prns[4 * m + j];
                char sat[24];
                std::snprintf(sat, sizeof sat, ",%02d,%02d,%03d,%02d", prn, static_cast<int>((prn * 11 + k / 700) % 90),
                              static_cast<int>((prn * 23 + k / 300) % 360), static_cast<int>(28 + (prn + k / 90) % 22));
                gsv += sat;
            }
            chunk += perf::Sentence(gsv);
        }
        const int64_t gps = int64_t{utc} + 15;
        chunk += perf::Sentence("PQNVTG," + std::to_string(gps / navsift::kSecondsPerWeek) + "," +
                                std::to_string(gps % navsift::kSecondsPerWeek) + ".000,0,0,0,11.0");
        if (chunk.size() >= (4u << 20)) {
            out << chunk;
            chunk.clear();
        }
    }
    out << chunk;
    out.close();
    // On disk before any run is timed: the write-back of a log just written
    // would otherwise weigh on the longest runs alone.
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    return out && !ec ? size : 0;
}

struct Runs {
    perf::TreeMeasured kml, trk;
};

// Both commands on `days` of log in a folder of their own, which is removed
// afterwards (thirty days of log and KML are gigabytes).
std::optional<Runs> Measure(const fs::path& dir, int days)
{
    fs::create_directories(dir);
    const fs::path log = dir / "drive_NMEA.txt";
    const std::uintmax_t size = WriteDrive(log, days);
    if (size == 0) {
        std::printf("the %d-day log could not be written in %s\n", days, dir.c_str());
        return std::nullopt;
    }
    std::printf("log of %d day(s): %d epochs, %.1f MB\n", days, days * 86400, size / 1048576.0);
    // Each size is run a few times alike (the log in the page cache for all
    // of them): its time is the best run's, its memory the largest peak.
    constexpr int kTries = 3;
    Runs r;
    std::error_code ec;
    double kml_mb = 0;
    for (int t = 0; t < kTries; ++t) {
        const perf::TreeMeasured kml =
            perf::TimedWithTreePeak({perf::NavsiftPath(), "-nmea", log.string(), "-kml", "-name", "x"}, "/dev/null", dir);
        kml_mb = fs::file_size(dir / "x.kml", ec) / 1048576.0;
        fs::remove(dir / "x.kml", ec);
        const perf::TreeMeasured trk = perf::TimedWithTreePeak(
            {perf::NavsiftPath(), "-nmea", log.string(), "-trk", "-rtype", "-1"}, "/dev/null", dir, "/dev/null", days > 3);
        if (kml.seconds < 0 || trk.seconds < 0 || trk.firstChild.seconds < 0) {
            r.kml = kml;
            r.trk = trk;
            break;
        }
        if (t == 0) {
            r.kml = kml;
            r.trk = trk;
            continue;
        }
        const double kml_peak = std::max(r.kml.treePeakMiB, kml.treePeakMiB);
        if (kml.seconds < r.kml.seconds) {
            r.kml = kml;
        }
        r.kml.treePeakMiB = kml_peak;
        const double root_peak = std::max(r.trk.rootPeakMiB, trk.rootPeakMiB);
        const double tree_peak = std::max(r.trk.treePeakMiB, trk.treePeakMiB);
        if (trk.firstChild.seconds < r.trk.firstChild.seconds) {
            r.trk = trk;
        }
        r.trk.rootPeakMiB = root_peak;
        r.trk.treePeakMiB = tree_peak;
    }
    fs::remove_all(dir, ec);
    if (r.kml.seconds < 0 || r.trk.seconds < 0 || r.trk.firstChild.seconds < 0) {
        std::printf("a run on %d day(s) failed (-kml %s, -trk %s)\n", days, r.kml.seconds < 0 ? "failed" : "ok",
                    r.trk.seconds < 0 ? "failed" : "ok");
        return std::nullopt;
    }
    std::printf("  -kml: %.2f s (%.2f s of CPU), %.1f MB of KML\n", r.kml.seconds, r.kml.cpuSeconds, kml_mb);
    std::printf("  -trk -rtype -1: tables %.2f s; ", r.trk.firstChild.seconds);
    if (r.trk.endedAtFirstChild) {
        std::printf("ended as its chart workbooks began\n");
    } else {
        std::printf("whole run with its chart workbooks %.2f s, %.1f MiB at its peak (%d processes)\n", r.trk.seconds,
                    r.trk.treePeakMiB, r.trk.mostProcesses);
    }
    return r;
}

}  // namespace

int main()
{
    perf::DeclareGoals(8);
    const fs::path dir = perf::MakeTempDir("perf_navsift_memory");
    if (dir.empty()) {
        return 1;
    }
    const int days[3] = {1, 3, 30};
    const char* names[3] = {"24 h", "72 h", "30 days"};
    Runs runs[3];
    for (int i = 0; i < 3; ++i) {
        const std::optional<Runs> r = Measure(dir / std::to_string(days[i]), days[i]);
        if (!r) {
            fs::remove_all(dir);
            return 1;
        }
        runs[i] = *r;
    }
    fs::remove_all(dir);
    for (int i = 0; i < 3; ++i) {
        std::printf("-kml on %s: %.1f MiB at its peak (goal <= %.0f MiB): %s\n", names[i], runs[i].kml.treePeakMiB,
                    kGoalMiB, perf::Verdict(runs[i].kml.treePeakMiB <= kGoalMiB));
    }
    for (int i = 0; i < 3; ++i) {
        std::printf("-trk on %s: main process %.1f MiB at its peak (goal <= %.0f MiB): %s\n", names[i],
                    runs[i].trk.rootPeakMiB, kGoalMiB, perf::Verdict(runs[i].trk.rootPeakMiB <= kGoalMiB));
    }
    const double kml_ratio = runs[2].kml.seconds / runs[0].kml.seconds;
    const double trk_ratio = runs[2].trk.firstChild.seconds / runs[0].trk.firstChild.seconds;
    // Thirty days write gigabytes: the disk may hold the wall clock back
    // where the processor's time still follows the log (shown beside it).
    std::printf("-kml 30 days / 24 h: %.1fx the processor's time (a figure, no goal)\n",
                runs[2].kml.cpuSeconds / runs[0].kml.cpuSeconds);
    std::printf("-kml 30 days / 24 h: %.1fx the time (goal <= 32x): %s\n", kml_ratio, perf::Verdict(kml_ratio <= 32));
    std::printf("-trk 30 days / 24 h: %.1fx the tables' time (goal <= 32x): %s\n", trk_ratio, perf::Verdict(trk_ratio <= 32));
    return 0;
}
