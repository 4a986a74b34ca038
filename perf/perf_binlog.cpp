// `navsift -binary` on a generated binary debug log of about 100 MB, the
// table going to a file, on one core. Goal: at least 100 MB/s of log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "perf/perf_process.h"

namespace fs = std::filesystem;

namespace {

template <typename T>
void PutLE(std::string& b, std::size_t at, T v)
{
    std::memcpy(&b[at], &v, sizeof v);  // little-endian machine and log
}

// One second of the receiver: a solution and a burst of 22 sensor samples.
std::string Block(uint32_t k)
{
    std::string b(2928, '\0');
    PutLE<uint16_t>(b, 0, 2924);
    b[2] = static_cast<char>(k & 0xFF);
    b[3] = static_cast<char>(b[0] ^ b[1] ^ b[2]);
    const std::size_t p = 4;
    PutLE<uint32_t>(b, p + 0, 1500);
    PutLE<double>(b, p + 4, 300000.0 + k);
    PutLE<uint32_t>(b, p + 16, k * 1023000u);
    PutLE<int8_t>(b, p + 20, static_cast<int8_t>(k == 0 ? 1 : 3));
    PutLE<double>(b, p + 56, 0.8399 + k * 1e-8);
    PutLE<double>(b, p + 64, 0.2010 - k * 1e-8);
    PutLE<double>(b, p + 72, 545.5 + (k % 100) * 0.01);
    PutLE<double>(b, p + 80, 12.5);
    PutLE<double>(b, p + 88, -3.25);
    PutLE<double>(b, p + 96, 0.125);
    PutLE<uint32_t>(b, p + 2612, 22);
    for (uint32_t i = 0; i < 22; ++i) {
        PutLE<uint32_t>(b, p + 2616 + 4 * i, k * 1023000u + i * 46500u);
        PutLE<uint16_t>(b, p + 2704 + 8 * i, static_cast<uint16_t>(2000 + i));
        PutLE<uint16_t>(b, p + 2706 + 8 * i, static_cast<uint16_t>(3300 - i));
        PutLE<uint16_t>(b, p + 2708 + 8 * i, 5000);
        PutLE<uint16_t>(b, p + 2710 + 8 * i, static_cast<uint16_t>(i % 3));
        PutLE<uint16_t>(b, p + 2880 + 2 * i, static_cast<uint16_t>(k * 22 + i));
    }
    return b;
}

}  // namespace

int main()
{
    perf::DeclareGoals(2);
    const fs::path dir = perf::MakeTempDir("perf_binlog");
    if (dir.empty()) {
        return 1;
    }
    const fs::path log = dir / "debug.bin";
    const uint32_t blocks = (100u << 20) / 2928;
    {
        std::ofstream f(log, std::ios::binary);
        for (uint32_t k = 0; k < blocks; ++k) {
            f << Block(k);
        }
    }
    const double mb = fs::file_size(log) / 1048576.0;
    double best = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double s = perf::Timed({perf::NavsiftPath(), "-binary", log.string()}, dir / "table.csv");
        if (s < 0) {
            std::printf("navsift -binary failed\n");
            fs::remove_all(dir);
            return 1;
        }
        best = std::min(best, s);
    }
    // Rows: one per sample of every block after the fix block and the first
    // block that times samples.
    const long rows = static_cast<long>(blocks - 3) * 22;
    long lines = 0;
    {
        std::ifstream table(dir / "table.csv");
        for (std::string line; std::getline(table, line);) {
            ++lines;
        }
    }
    std::printf("navsift -binary: %.1f MB of log (%u blocks), %.1f MB of table, %ld rows (%s), in %.3f s: "
                "%.0f MB/s (goal >= 100): %s\n",
                mb, blocks, fs::file_size(dir / "table.csv") / 1048576.0, lines - 1,
                lines - 1 == rows ? "every sample" : "ROWS MISSING", best, mb / best, perf::Verdict(mb / best >= 100));

    // Damaged data: 100 MB with no good block before the receiver's blocks.
    const fs::path damaged = dir / "damaged.bin";
    {
        std::string chunk(1 << 20, '\0');
        uint32_t x = 12345;
        std::ofstream f(damaged, std::ios::binary);
        for (int m = 0; m < 100; ++m) {
            for (char& c : chunk) {
                x = x * 1103515245u + 12345u;
                c = static_cast<char>(x >> 24);
            }
            f << chunk;
        }
        for (uint32_t k = 0; k < 50; ++k) {
            f << Block(k);
        }
    }
    const double damaged_mb = fs::file_size(damaged) / 1048576.0;
    double search = 1e9;
    for (int k = 0; k < 2; ++k) {
        const double s = perf::Timed({perf::NavsiftPath(), "-binary", damaged.string()}, dir / "none.csv");
        search = std::min(search, s < 0 ? 1e9 : s);
    }
    std::printf("navsift -binary after damaged data: %.1f MB searched for the first block in %.3f s: %.0f MB/s "
                "(goal >= 100): %s\n",
                damaged_mb, search, damaged_mb / search, perf::Verdict(damaged_mb / search >= 100));
    fs::remove_all(dir);
    return 0;
}
