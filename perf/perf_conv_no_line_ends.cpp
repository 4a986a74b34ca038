// -conv on a 4 MB raw capture whose sentences run together without line
// ends, and on the same capture with CR LF after each sentence; the goal is
// reading linear in the file's size whatever its line ends: the log without
// line ends converts no slower than twice the one with them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "perf/nmea_text.h"
#include "perf/perf_process.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kTarget = 4u << 20;

std::string Hms(int second)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d%02d%02d.00", second / 3600 % 24, second / 60 % 60, second % 60);
    return buf;
}

// A second of receiver output, each sentence ending in CR LF.
std::string Epoch(int k)
{
    const std::string pos = perf::Angle(43.7696 + k * 1e-6, 2) + ",N," + perf::Angle(11.2558 + k * 1e-6, 3) + ",E";
    std::string out = perf::Sentence("GPGGA," + Hms(50000 + k) + "," + pos + ",1,09,0.8,52.0,M,48.0,M,,");
    out += perf::Sentence("GPRMC," + Hms(50000 + k) + ",A," + pos + ",2.3,45.0,210626,,,A");
    out += perf::Sentence("GPVTG,45.0,T,,M,2.3,N,4.3,K,A");
    out += perf::Sentence("GPGSA,A,3,02,05,12,15,21,24,25,29,,,,,1.4,0.8,1.1");
    out += perf::Sentence("GPGSV,2,1,08,02,61,040,49,05,34,110,43,12,18,300,38,15,72,200,50");
    out += perf::Sentence("GPGSV,2,2,08,21,45,250,45,24,12,080,36,25,29,160,40,29,55,330,50");
    if (k % 50 == 0) {
        out += perf::Sentence("PSTMANTENNASTATUS,0");
    }
    return out;
}

}  // namespace

int main()
{
    perf::DeclareGoals(1);
    const fs::path dir = perf::MakeTempDir("perf_conv");
    if (dir.empty()) {
        return 1;
    }
    std::string lines;
    for (int k = 0; lines.size() < kTarget; ++k) {
        lines += Epoch(k);
    }
    std::string raw;
    raw.reserve(lines.size());
    std::remove_copy_if(lines.begin(), lines.end(), std::back_inserter(raw), [](char c) { return c == '\r' || c == '\n'; });
    std::ofstream(dir / "lines.log", std::ios::binary) << lines;
    std::ofstream(dir / "raw.log", std::ios::binary) << raw;
    std::printf("capture: %.1f MB with CR LF, %.1f MB without line ends\n", lines.size() / 1048576.0,
                raw.size() / 1048576.0);
    // Best of two runs each, alternating, so that a busy machine favours
    // neither.
    double with_ends = 1e9, without = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double a = perf::Timed({perf::NavsiftPath(), "-conv", (dir / "lines.log").string(), "-o",
                                      (dir / "lines.txt").string()},
                                     "/dev/null", dir);
        const double b = perf::Timed(
            {perf::NavsiftPath(), "-conv", (dir / "raw.log").string(), "-o", (dir / "raw.txt").string()}, "/dev/null",
            dir);
        if (a < 0 || b < 0) {
            std::printf("a run failed (with line ends %s, without %s)\n", a < 0 ? "failed" : "ok",
                        b < 0 ? "failed" : "ok");
            fs::remove_all(dir);
            return 1;
        }
        with_ends = std::min(with_ends, a);
        without = std::min(without, b);
    }
    const bool same = fs::file_size(dir / "lines.txt") == fs::file_size(dir / "raw.txt");
    std::printf("navsift -conv, sentences one a line: %.3f s\n", with_ends);
    std::printf("navsift -conv, no line ends: %.3f s (%s output)\n", without, same ? "the same" : "a different");
    const double ratio = without / std::max(with_ends, 1e-3);
    std::printf("no line ends / one a line: %.2f (goal: at most 2): %s\n", ratio, perf::Verdict(same && ratio <= 2));
    fs::remove_all(dir);
    return 0;
}
