// How long one replay step keeps the window busy, into a real device window
// that decodes what it is fed: the last indexed second of a log past 4 GiB
// (a sparse file, 4.7 GiB), and seeks back and forth over a busy day-long log
// that runs from noon across midnight. Goal: no step over 100 ms.
#include "perf/perf_process.h"
#include "bench/devices/comm_window.h"
#include "bench/instruments/replay.h"
#include "bench/instruments/replay_index.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/busy_epoch.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct Windows : bench::ReplayDeviceWindows {
    test::FakeBenchHost host;
    std::vector<std::unique_ptr<bench::CommWindow>> made;
    bench::DeviceOps* MakeReplayWindow() override {
        made.push_back(std::make_unique<bench::CommWindow>(&host));
        return made.back().get();
    }
    void ShowReplayWindow(bench::DeviceOps*) override {}
    void CloseReplayWindow(bench::DeviceOps*) override {}
    bool IsOpen(bench::DeviceOps*) const override { return true; }
};

template <typename F>
double Ms(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main() {
    perf::DeclareGoals(1);
    test::EnsureApp();
    test::TempHome home;
    platform::ManualTimer timer;

    // A day from noon to noon, every usual sentence of a busy receiver.
    std::string day;
    for (int s = 43200; s <= 43200 + 86400; ++s) day += test::BusyEpoch(s % 86400);
    const std::string day_log = home.File("day_NMEA.txt");
    test::WriteFileBytes(day_log, day);
    bench::BuildTimeIndex(day_log, "$GPGGA", nullptr);
    Windows w1;
    bench::Replay day_replay(w1, timer, home.Path(), [](const std::string&) {});
    day_replay.AddLog(day_log);
    day_replay.Command6_Click();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> pick(1, day_replay.Slider1Max());
    double seek_worst = 0;
    for (int i = 0; i < 300; ++i) {
        const int v = pick(rng);
        seek_worst = std::max(seek_worst, Ms([&] { day_replay.Slider1_Change(v); }));
    }

    // A log past 4 GiB whose index stops below it.
    const std::string huge = home.File("huge_NMEA.txt");
    std::string tail;
    std::vector<int64_t> starts;
    for (int s = 0; s < 40; ++s) {
        starts.push_back(static_cast<int64_t>(tail.size()));
        tail += test::BusyEpoch(600 + s);
    }
    const int64_t at = (int64_t{1} << 32) - static_cast<int64_t>(tail.size()) / 2;
    {
        std::ofstream out(huge, std::ios::binary);
        out.seekp(at);
        out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
        out.seekp((int64_t{1} << 32) + (int64_t{700} << 20));
        out.put('\n');
        if (!out.good()) {
            std::printf("perf_replay_step: no room for a sparse file, nothing measured\n");
            return 1;
        }
    }
    std::string idx(4, '\0');
    uint32_t n = 0;
    for (size_t i = 0; i < starts.size(); ++i) {
        const int64_t pos = at + starts[i] + 1;
        if (pos > bench::kMaxIndexedPosition) break;
        const auto p32 = static_cast<uint32_t>(pos);
        const double t = (600 + static_cast<int>(i)) / 86400.0;
        char rec[12];
        std::memcpy(rec, &p32, 4);
        std::memcpy(rec + 4, &t, 8);
        idx.append(rec, 12);
        ++n;
    }
    std::memcpy(idx.data(), &n, 4);
    test::WriteFileBytes(home.File("huge_NMEA.idx"), idx);
    Windows w2;
    bench::Replay huge_replay(w2, timer, home.Path(), [](const std::string&) {});
    huge_replay.AddLog(huge);
    huge_replay.Command6_Click();
    const double last_ms = Ms([&] { huge_replay.Slider1_Change(huge_replay.Slider1Max()); });

    // Both windows decoded what they were fed.
    const bool fed = !w1.made[0]->GetCurrentGGAString().empty() && !w2.made[0]->GetCurrentGGAString().empty();
    if (!fed) std::printf("perf_replay_step: nothing reached the device windows\n");
    const bool met = fed && seek_worst < 100 && last_ms < 100;
    std::printf("perf_replay_step: day log %.1f MB, worst of 300 seeks %.1f ms; last second of a 4.7 GiB log %.1f ms "
                "(goal < 100 ms each): %s\n",
                static_cast<double>(day.size()) / 1e6, seek_worst, last_ms, perf::Verdict(met));
    return fed ? 0 : 1;
}
