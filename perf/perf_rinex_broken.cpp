// A day's RINEX navigation file read through `navsift -iode`, made of 2,500,
// 5,000 and 10,000 records of a real IGS broadcast file (2018-01-01) copied
// over and over, once whole and once with every record broken (one value of
// an orbit line overwritten with stars): each broken record is named on the
// error stream. Goals: reading stays linear in the file's size whatever its
// records hold (10,000 broken records at most 6 times the processor time of
// 2,500; a pass over the file per broken record makes it 16), and broken
// records cost at most 3 times what as many good ones do.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/core/gps_time.h"
#include "perf/perf_process.h"

namespace fs = std::filesystem;

namespace {

struct Cost {
    double wall = -1;  // negative when the run failed
    double cpu = 0;    // user and system time of the run
};

// A run over records that are all broken finds no ephemeris, which it says
// and fails: that is the answer, and its time counts.
Cost Run(const std::vector<std::string>& argv, const fs::path& cwd, bool all_broken)
{
    const perf::Measured m = perf::TimedWithPeak(argv, cwd / "out.txt", cwd, cwd / "err.txt");
    const bool answered = m.exitStatus == 0 || (all_broken && m.exitStatus == 1);
    return Cost{answered ? m.elapsed : -1, m.cpuSeconds};
}

}  // namespace

int main()
{
    perf::DeclareGoals(2);
    std::ifstream in(fs::path(FIXBENCH_SOURCE_DIR) / "tests/data/rinex/brdc0010.18n", std::ios::binary);
    std::stringstream whole;
    whole << in.rdbuf();
    const std::string real = whole.str();
    const std::size_t body = real.find('\n', real.find("END OF HEADER")) + 1;
    if (real.empty() || body == 0) {
        std::fprintf(stderr, "cannot read the IGS file of the tests\n");
        return 1;
    }
    std::vector<std::string> records;
    {
        std::istringstream lines(real.substr(body));
        std::string record;
        int n = 0;
        for (std::string line; std::getline(lines, line);) {
            record += line + "\n";
            if (++n % 8 == 0) {
                records.push_back(record);
                record.clear();
            }
        }
    }
    const fs::path dir = perf::MakeTempDir("perf_rinex_broken");
    if (dir.empty()) {
        return 1;
    }
    const std::string when = std::to_string(*navsift::calendar_to_gps(2018, 1, 1, 4, 0, 0));
    const int counts[3] = {2500, 5000, 10000};
    Cost good[3], broken[3];
    double megabytes[3] = {0, 0, 0};
    for (int k = 0; k < 3; ++k) {
        for (const bool damaged : {false, true}) {
            std::string file = real.substr(0, body);
            for (int i = 0; i < counts[k]; ++i) {
                std::string record = records[static_cast<std::size_t>(i) % records.size()];
                if (damaged) {
                    // The first value of orbit line 1 + i % 7.
                    std::size_t at = 0;
                    for (int line = 0; line < 1 + i % 7; ++line) {
                        at = record.find('\n', at) + 1;
                    }
                    record.replace(at + 3, 19, std::string(19, '*'));
                }
                file += record;
            }
            const fs::path folder = dir / (damaged ? "broken" : "good");
            fs::create_directories(folder);
            std::ofstream(folder / "brdc0010.18n", std::ios::binary) << file;
            megabytes[k] = file.size() / 1e6;
            // Best of two.
            Cost best;
            for (int run = 0; run < 2; ++run) {
                const Cost c = Run({perf::NavsiftPath(), "-iode", when, "-e", folder.string()}, folder, damaged);
                if (c.wall < 0) {
                    std::fprintf(stderr, "navsift -iode failed on %s\n", folder.c_str());
                    return 1;
                }
                if (best.wall < 0 || c.cpu < best.cpu) {
                    best = c;
                }
            }
            (damaged ? broken : good)[k] = best;
        }
    }
    for (int k = 0; k < 3; ++k) {
        std::printf("%5d records (%.1f MB): good %.3f s (%.3f s of processor time), broken %.3f s (%.3f s)\n",
                    counts[k], megabytes[k], good[k].wall, good[k].cpu, broken[k].wall, broken[k].cpu);
    }
    const double growth = broken[2].cpu / std::max(broken[0].cpu, 1e-3);
    const double against_good = broken[2].cpu / std::max(good[2].cpu, 1e-3);
    std::printf("broken records, 10,000 against 2,500, processor time: %.2f times (goal <= 6): %s\n", growth,
                perf::Verdict(growth <= 6));
    std::printf("10,000 broken records against 10,000 good ones, processor time: %.2f times (goal <= 3): %s\n",
                against_good, perf::Verdict(against_good <= 3));
    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
