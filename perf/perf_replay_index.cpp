// Builds the time index of a day-long 1 Hz log (every usual sentence of a
// receiver, about 30 MB) and prints MB/s, the file read included. Goal: at
// least 200 MB/s on one core.
#include "perf/perf_process.h"
#include "bench/instruments/replay_index.h"
#include "tests/support/busy_epoch.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/qt_app.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

std::string DayLog() {
    std::string out;
    out.reserve(32u << 20);
    for (int second = 0; second < 86400; ++second) out += test::BusyEpoch(second);
    return out;
}

}  // namespace

int main() {
    perf::DeclareGoals(1);
    test::TempHome home;
    const std::string log = home.File("day_NMEA.txt");
    const std::string bytes = DayLog();
    test::WriteFileBytes(log, bytes);

    double best = 1e9;
    int32_t records = 0;
    for (int run = 0; run < 5; ++run) {
        const auto t0 = std::chrono::steady_clock::now();
        records = bench::BuildTimeIndex(log, "$GPGGA", nullptr).Records;
        const auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
    }
    const double mb = static_cast<double>(bytes.size()) / 1e6;
    std::printf("perf_replay_index: %.1f MB log, %d records, %.3f s, %.0f MB/s (goal >= 200 MB/s): %s\n", mb, records,
                best, mb / best, perf::Verdict(mb / best >= 200));
    // An index that missed seconds measured something else: not a figure.
    if (records != 86400) std::printf("perf_replay_index: %d records of 86400 indexed\n", records);
    return records == 86400 ? 0 : 1;
}
