// Builds the time index of a day-long 1 Hz log (every usual sentence of a
// receiver, about 30 MB) and prints MB/s, the file read included. Goal: at
// least 200 MB/s on one core.
#include "bench/instruments/replay_index.h"
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
    char body[256];
    for (int second = 0; second < 86400; ++second) {
        const int h = second / 3600, m = second / 60 % 60, s = second % 60;
        std::snprintf(body, sizeof body, "$GPGGA,%02d%02d%02d.00,4807.%03d,N,01131.%03d,E,1,08,0.9,545.4,M,46.9,M,,", h,
                      m, s, second % 1000, (second * 7) % 1000);
        out += test::Sentence(body);
        std::snprintf(body, sizeof body, "$GPRMC,%02d%02d%02d.00,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W", h,
                      m, s);
        out += test::Sentence(body);
        out += test::Sentence("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
        for (int k = 1; k <= 3; ++k) {
            std::snprintf(body, sizeof body, "$GPGSV,3,%d,11,%02d,03,111,00,04,15,270,00,06,01,010,00,13,06,292,%02d", k,
                          k * 5, 30 + second % 20);
            out += test::Sentence(body);
        }
        out += test::Sentence("$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K");
    }
    return out;
}

}  // namespace

int main() {
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
    std::printf("perf_replay_index: %.1f MB log, %d records, %.3f s, %.0f MB/s (goal >= 200 MB/s)\n", mb, records,
                best, mb / best);
    return records == 86400 && mb / best >= 200 ? 0 : 1;
}
