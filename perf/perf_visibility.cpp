// Satellite positions and look angles as the user gets them: `navsift -nmea
// LOG -trk -rtype -1 -e RINEX/` over a whole day of 1 Hz log, where every
// epoch's visibility row puts all 32 satellites through the orbit and the
// look angles (about 2.8 million). Their processor time is what the run
// takes with the day's navigation file beyond what the same run takes with
// none (the tables before the chart workbooks, on one core; the best of a
// few runs of each, alternating). Against it, in the same run, a plain numpy
// vectorisation of the same positions and angles (perf/visibility_numpy.py).
// Goals: at least 4 million a second; at least twice numpy's rate; every
// visible mark of the run's rows as numpy's elevations have it. Beside them,
// as a check of the orbit code that the run uses (in this process, the only
// place a position can be seen): a sample of positions within 1 mm, and of
// angles within 1e-6 degree, of numpy's.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/analyses/orbit.h"
#include "analysis/analyses/rinex_nav.h"
#include "analysis/core/gps_time.h"
#include "perf/nmea_text.h"
#include "perf/perf_process.h"
#include "perf/perf_tree_memory.h"
#include "tests/analysis/rinex_fixture.h"

namespace fs = std::filesystem;
using namespace navsift;

namespace {

constexpr double kGoalMillions = 4.0;
constexpr double kLatitude = 48.0 + 7.038 / 60.0;  // 4807.0380,N
constexpr double kLongitude = 11.0 + 31.0 / 60.0;  // 01131.0000,E
constexpr double kHeight = 545.4;
constexpr int kFirst = 16;  // the day's first second of log (00:00:01 UTC)
constexpr int kRuns = 3;

// The day's log from 00:00:01 UTC on 2008-06-30: GGA, RMC and the
// receiver's $PQNVTG time (GPS, UTC + 15 s) every second.
void WriteLog(const fs::path& path, int day_tow)
{
    std::ofstream out(path, std::ios::binary);
    std::string log;
    for (int k = kFirst; k < 86400; ++k) {
        const int sod = k - 15;
        char hms[16];
        std::snprintf(hms, sizeof hms, "%02d%02d%02d.00", sod / 3600, sod / 60 % 60, sod % 60);
        log += perf::Sentence(std::string("GPGGA,") + hms + ",4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,");
        log += perf::Sentence(std::string("GPRMC,") + hms + ",A,4807.0380,N,01131.0000,E,000.0,084.4,300608,003.1,W");
        log += perf::Sentence("PQNVTG,1486," + std::to_string(day_tow + k) + ".000,0,0,0,12.5");
        if (log.size() > (1u << 20)) {
            out << log;
            log.clear();
        }
    }
    out << log;
}

// The visibility rows a run wrote, window after window, by their time.
std::vector<std::string> RunRows(const fs::path& report)
{
    std::vector<std::string> rows;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(report, ec)) {
        std::ifstream in(entry.path() / "sat_visibility.txt", std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            rows.push_back(line);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

struct Reference {
    long positions = 0;
    double seconds = -1;
};

Reference RunNumpy(const fs::path& dir, const fs::path& rinex, int64_t first, int64_t last)
{
    const std::string script = std::string(FIXBENCH_SOURCE_DIR) + "/perf/visibility_numpy.py";
    const std::string python = fs::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    char where[96];
    std::snprintf(where, sizeof where, "%.15g %.15g %.15g", kLatitude, kLongitude, kHeight);
    const std::string command = "OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 " + python + " '" + script + "' '" +
                                rinex.string() + "' " + where + " " + std::to_string(first) + " " +
                                std::to_string(last) + " '" + (dir / "elevations.bin").string() + "' '" +
                                (dir / "samples.txt").string() + "'";
    Reference r;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return r;
    }
    char line[256];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::sscanf(line, "positions %ld seconds %lf", &r.positions, &r.seconds);
    }
    if (::pclose(pipe) != 0) {
        r.seconds = -1;
    }
    return r;
}

}  // namespace

int main()
{
    perf::DeclareGoals(5);
    const fs::path dir = perf::MakeTempDir("perf_visibility");
    if (dir.empty()) {
        return 1;
    }
    const int32_t day = *calendar_to_gps(2008, 6, 30, 0, 0, 0);
    const int day_tow = day % 604800;
    std::vector<navsift_test::NavRecord> recs;
    for (int h = 0; h < 24; h += 2) {
        for (int prn = 1; prn <= 32; ++prn) {
            recs.push_back(navsift_test::Orbit(prn, 1486, day_tow + h * 3600, 8, 6, 30, h));
        }
    }
    fs::create_directories(dir / "rinex");
    fs::create_directories(dir / "none");
    const fs::path rinex = dir / "rinex" / "perf1820.08n";
    std::ofstream(rinex, std::ios::binary) << navsift_test::RinexText(navsift_test::ShortHeader(), recs);
    const fs::path log = dir / "VIS_NMEA.txt";
    WriteLog(log, day_tow);
    const long epochs = 86400 - kFirst;
    const long positions = epochs * 32;  // every satellite has a record before each second

    // The run with the day's ephemerides and without any, alternating.
    double with = 1e9, without = 1e9;
    bool ran = true;
    const fs::path report = dir / "report" / "tracking_analysis";
    std::vector<std::string> rows;
    for (int k = 0; k < kRuns && ran; ++k) {
        for (const bool ephemerides : {true, false}) {
            fs::remove_all(dir / "report");
            const std::string folder = (dir / (ephemerides ? "rinex" : "none")).string() + "/";
            const perf::Phase p = perf::UntilFirstChild(
                {perf::NavsiftPath(), "-nmea", log.string(), "-trk", "-rtype", "-1", "-e", folder}, dir / "out.txt",
                dir, dir / "err.txt");
            if (p.at.seconds < 0 || p.at.cpuSeconds < 0) {
                std::printf("navsift -trk did not reach its chart workbooks (exit status %d)\n", p.status);
                ran = false;
                break;
            }
            (ephemerides ? with : without) = std::min(ephemerides ? with : without, p.at.cpuSeconds);
            if (ephemerides && rows.empty()) {
                rows = RunRows(report);
            }
        }
    }
    const double spent = with - without;
    const double rate = ran && spent > 0 ? positions / spent / 1e6 : 0;
    std::printf("navsift -nmea LOG -trk -rtype -1 -e RINEX/ over %ld epochs: its tables %.3f s of processor time, "
                "%.3f s without ephemerides\n",
                epochs, with, without);
    std::printf("orbits and look angles in the run: %ld in %.3f s, %.2f million a second (goal >= %.0f): %s\n",
                positions, spent, rate, kGoalMillions, perf::Verdict(rate >= kGoalMillions));

    // numpy over the same seconds, the faster of two runs.
    Reference numpy;
    for (int k = 0; k < 2; ++k) {
        const Reference r = RunNumpy(dir, rinex, day + kFirst, day + 86399);
        if (r.seconds > 0 && (numpy.seconds < 0 || r.seconds < numpy.seconds)) {
            numpy = r;
        }
    }
    const bool numpy_ran = numpy.seconds > 0 && numpy.positions == positions;
    const double numpy_rate = numpy_ran ? numpy.positions / numpy.seconds / 1e6 : 0;
    std::printf("numpy vectorisation of the same: %ld in %.3f s of processor time, %.2f million a second\n",
                numpy.positions, numpy.seconds, numpy_rate);
    std::printf("the run's rate to numpy's: %.2f (goal >= 2): %s\n", numpy_ran ? rate / numpy_rate : 0.0,
                perf::Verdict(numpy_ran && rate >= 2 * numpy_rate));

    // The run's visible marks against numpy's elevations: visible when the
    // elevation is at least 0.01 degree; a mark is not judged within 1e-6
    // degree of that line.
    std::vector<double> elevations(static_cast<size_t>(epochs) * 32, NAN);
    if (std::FILE* f = std::fopen((dir / "elevations.bin").c_str(), "rb")) {
        const size_t got = std::fread(elevations.data(), sizeof(double), elevations.size(), f);
        std::fclose(f);
        if (got != elevations.size()) {
            elevations.assign(elevations.size(), NAN);
        }
    }
    long compared = 0, differ = 0, visible = 0;
    for (const std::string& row : rows) {
        std::istringstream in(row);
        long long seconds = 0;
        in >> seconds;
        const long k = static_cast<long>(seconds - (day + kFirst));
        if (k < 0 || k >= epochs) {
            ++differ;
            continue;
        }
        for (int prn = 1; prn <= 32; ++prn) {
            int mark = -1;
            in >> mark;
            const double e = elevations[static_cast<size_t>(k) * 32 + static_cast<size_t>(prn - 1)];
            visible += mark == 1;
            if (!std::isfinite(e)) {
                ++differ;
            } else if (std::fabs(e - 0.01) > 1e-6) {
                ++compared;
                differ += (mark == 1) != (e >= 0.01);
            }
        }
    }
    const bool rows_agree = numpy_ran && static_cast<long>(rows.size()) == epochs && differ == 0;
    std::printf("the run's %zu visibility rows (%.1f satellites above the horizon on average) against numpy's "
                "elevations: %ld marks compared, %ld differ (goal: none): %s\n",
                rows.size(), rows.empty() ? 0.0 : static_cast<double>(visible) / static_cast<double>(rows.size()),
                compared, differ, perf::Verdict(rows_agree));

    // The orbit code the run uses, on numpy's sample.
    ephemeris_table table;
    ephemeris_table_load(table, day, (dir / "rinex").string() + "/");
    const ReceiverEcef where = geodetic_to_ecef({kLatitude, kLongitude, kHeight});
    double worst_pos = 0, worst_angle = 0;
    long samples = 0, failed = 0;
    std::ifstream sample_file(dir / "samples.txt");
    for (std::string line; std::getline(sample_file, line);) {
        int prn = 0;
        long long seconds = 0;
        double x = 0, y = 0, z = 0, elev = 0, azim = 0;
        if (std::sscanf(line.c_str(), "%d %lld %lf %lf %lf %lf %lf", &prn, &seconds, &x, &y, &z, &elev, &azim) != 7) {
            continue;
        }
        ++samples;
        const GpsTime t{static_cast<uint32_t>(seconds / 604800), static_cast<double>(seconds % 604800)};
        const OrbitElements* orbit = table.FindOrbit(static_cast<uint32_t>(seconds), prn);
        SatState s;
        if (orbit == nullptr || sat_track_state(where, t, *orbit, s) != 0) {
            ++failed;
            continue;
        }
        worst_pos = std::max(worst_pos, std::hypot(s.position.x - x, s.position.y - y, s.position.z - z));
        const double daz = std::fabs(s.azimuth_deg - azim);
        worst_angle = std::max({worst_angle, std::fabs(s.elevation_deg - elev), std::min(daz, 360 - daz)});
    }
    const bool sampled = numpy_ran && samples > 1000 && failed == 0;
    std::printf("the orbit code of the run, in this process, on numpy's %ld samples (%ld not computed): "
                "positions within %.3g m (goal <= 1e-3): %s\n",
                samples, failed, worst_pos, perf::Verdict(sampled && worst_pos <= 1e-3));
    std::printf("the same, elevations and azimuths within %.3g degree (goal <= 1e-6): %s\n", worst_angle,
                perf::Verdict(sampled && worst_angle <= 1e-6));
    std::error_code ec;
    fs::remove_all(dir, ec);
    // Without the run or the reference there is nothing to judge.
    return ran && numpy_ran ? 0 : 1;
}
