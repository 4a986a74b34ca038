// A 50 MB GPX 1.1 file with its waypoints first and the track after them,
// turned into KML by navsift and, in the same run, by gpsbabel; the goal is
// navsift no slower than gpsbabel on the same file (reading is linear in the
// file's size).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "perf/perf_process.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTarget = 50u << 20;

std::string Time(int second)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "2008-06-%02dT%02d:%02d:%02dZ", 28 + second / 86400, second / 3600 % 24,
                  second / 60 % 60, second % 60);
    return buf;
}

// Waypoints make up the first half of the file, one to a few lines each as
// writers lay them out; the track points of a day's drive follow.
std::string LargeGpx(int& waypoints, int& track_points)
{
    std::string gpx;
    gpx.reserve(kTarget + (1u << 20));
    gpx += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<gpx version=\"1.1\" creator=\"lab\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    char buf[256];
    waypoints = 0;
    while (gpx.size() < kTarget / 2) {
        const int k = waypoints++;
        std::snprintf(buf, sizeof buf,
                      "<wpt lat=\"%.6f\" lon=\"%.6f\">\n  <ele>%.1f</ele>\n  <time>%s</time>\n  <name>WP%06d</name>\n"
                      "  <sym>Flag</sym>\n</wpt>\n",
                      47.0 + (k % 1000) * 1e-3, 11.0 + (k / 1000) * 1e-3, 500.0 + k % 300, Time(k % 86400).c_str(), k);
        gpx += buf;
    }
    gpx += "<trk>\n<name>drive</name>\n<trkseg>\n";
    track_points = 0;
    while (gpx.size() < kTarget) {
        const int k = track_points++;
        const double lat = 48.1173 + 0.05 * std::sin(k / 20000.0);
        const double lon = 11.5167 + 0.05 * std::cos(k / 20000.0);
        std::snprintf(buf, sizeof buf, "<trkpt lat=\"%.6f\" lon=\"%.6f\">\n  <ele>%.1f</ele>\n  <time>%s</time>\n</trkpt>\n",
                      lat, lon, 545.0 + (k % 100) * 0.1, Time(k % (3 * 86400)).c_str());
        gpx += buf;
    }
    gpx += "</trkseg>\n</trk>\n</gpx>\n";
    return gpx;
}

}  // namespace

int main()
{
    perf::DeclareGoals(1);
    const fs::path dir = perf::MakeTempDir("perf_gpx");
    if (dir.empty()) {
        return 1;
    }
    const fs::path gpx = dir / "drive.gpx";
    {
        int waypoints = 0, track_points = 0;
        const std::string text = LargeGpx(waypoints, track_points);
        std::ofstream(gpx, std::ios::binary) << text;
        std::printf("GPX: %d waypoints first, then %d track points, %.1f MB\n", waypoints, track_points,
                    text.size() / 1048576.0);
    }
    // Best of two runs each, so that a cold cache favours neither.
    double navsift = 1e9, gpsbabel = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double a = perf::Timed({perf::NavsiftPath(), "-gpx", gpx.string(), "-name", "x"}, "/dev/null", dir);
        const double b = perf::Timed({"gpsbabel", "-i", "gpx", "-f", gpx.string(), "-o", "kml,points=0,lines=1", "-F",
                                      (dir / "babel.kml").string()},
                                     "/dev/null", dir);
        if (a < 0 || b < 0) {
            std::printf("a run failed (navsift %s, gpsbabel %s)\n", a < 0 ? "failed" : "ok", b < 0 ? "failed" : "ok");
            fs::remove_all(dir);
            return 1;
        }
        navsift = std::min(navsift, a);
        gpsbabel = std::min(gpsbabel, b);
    }
    std::printf("navsift -gpx FILE -name x: %.3f s (%.1f MB of KML)\n", navsift,
                fs::file_size(dir / "x.kml") / 1048576.0);
    std::printf("gpsbabel -i gpx -o kml,points=0,lines=1: %.3f s\n", gpsbabel);
    const bool met = navsift <= gpsbabel;
    std::printf("navsift / gpsbabel: %.2f (goal: at most 1): %s\n", navsift / gpsbabel, perf::Verdict(met));
    fs::remove_all(dir);
    return 0;
}
