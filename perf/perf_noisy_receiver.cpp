// A receiver at the wrong baud rate beside a healthy one: bytes without line
// feeds are written to one device window's pseudo-terminal as fast as it
// takes them, from a thread of their own, while the other window times
// restarts of an emulated receiver. Prints how fast the first 10 MiB of noise
// were read (into the log), how far the healthy TTFFs are from what the
// emulator did, and how much the process grew, each against its goal. The
// noise goes on at full speed through every trial, so the log in the
// temporary folder reaches a few hundred megabytes on a fast machine.
#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/program_folder.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/restarting_receiver.h"

#include "perf/perf_process.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

constexpr size_t kNoiseBytes = size_t{10} << 20;
constexpr double kReadGoalMBs = 1.0;
constexpr double kTtffGoalMs = 20.0;
constexpr double kRssGoalMB = 20.0;

double RssMB() {
    std::ifstream f("/proc/self/status");
    std::string key;
    while (f >> key) {
        if (key == "VmRSS:") {
            double kb = 0;
            f >> kb;
            return kb / 1024.0;
        }
        f.ignore(1 << 12, '\n');
    }
    return 0;
}

uintmax_t FileSize(const std::string& path) {
    std::error_code ec;
    const uintmax_t n = std::filesystem::file_size(path, ec);
    return ec ? 0 : n;
}

}  // namespace

int main() {
    perf::DeclareGoals(3);
    test::EnsureApp();
    test::TempHome home;
    bench::OpenSystemLog();

    // The noisy receiver's terminal: its master is written by a thread.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::printf("noisy receiver: no pseudo-terminal\n");
        return 1;
    }
    std::ofstream(platform::ProgramFile("ComPorts.txt"), std::ios::app) << "51 " << ::ptsname(master) << "\n";
    test::RestartingReceiver healthy({.fix_delay_ms = 400, .gga_interval_ms = 100});
    healthy.RegisterPort(52);

    test::FakeBenchHost host;
    bench::CommWindow noisy(&host), steady(&host);
    noisy.SetDeviceName("BABBLE");
    steady.SetDeviceName("STEADY");
    steady.SetDeviceID(1);
    steady.SetGPSStartupString("$PQNVRST");
    steady.SetDeviceMaxAcceptableTTFF(300);
    noisy.SetDeviceComParams(51, 115200);
    steady.SetDeviceComParams(52, 115200);
    noisy.show();
    steady.show();
    noisy.OpenPort_Click();
    steady.OpenPort_Click();
    if (!noisy.Port().PortOpen() || !steady.Port().PortOpen()) {
        std::printf("noisy receiver: ports not open\n");
        return 1;
    }
    const std::string log = home.File("BABBLE_NMEA.txt");
    noisy.DeviceSetPrimaryLogFileBaseName(home.File("BABBLE_NMEA"));
    noisy.DeviceStartPrimaryLogging(".txt");
    test::WaitFor([&] { return steady.State().GGACount >= 3; }, 3000);
    test::Pump(300);

    // The first 10 MiB are timed; the noise then goes on, at full speed,
    // until the last trial is done, and a line feed ends it.
    const std::string noise = test::LineFreeNoise(kNoiseBytes);
    const double rss_before = RssMB();
    double rss_peak = rss_before;
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> sent{0};
    std::atomic<bool> finished{false};
    const auto t0 = std::chrono::steady_clock::now();
    std::thread writer([&] {
        size_t pos = 0;
        auto put = [&](const char* p, size_t n) {
            while (n > 0) {
                const ssize_t w = ::write(master, p, n);
                if (w > 0) {
                    p += w;
                    n -= static_cast<size_t>(w);
                    sent += static_cast<uint64_t>(w);
                } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
                    return false;
                }
            }
            return true;
        };
        while (!stop) {
            const size_t n = std::min<size_t>(noise.size() - pos, 4096);
            if (!put(noise.data() + pos, n)) return;
            pos = (pos + n) % noise.size();
        }
        put("\r\n", 2);
        finished = true;
    });

    double read_seconds = -1;
    auto watch = [&] {
        rss_peak = std::max(rss_peak, RssMB());
        if (read_seconds < 0 && FileSize(log) >= kNoiseBytes)
            read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    // Restarts of the healthy receiver while the noise goes on.
    constexpr int kTrials = 12;
    int timed = 0;
    double worst_ms = 0, sum_ms = 0;
    for (int i = 0; i < kTrials; ++i) {
        auto plan = healthy.GetPlan();
        plan.fix_delay_ms = 300 + (i * 137) % 600;
        healthy.SetPlan(plan);
        steady.ExecuteTest("$PQNVCOLD");
        const bool done = test::WaitFor(
            [&] {
                watch();
                return steady.IsTestCompleted();
            },
            5000);
        if (!done || healthy.FixSentMs() < 0) {
            std::printf("trial %d: no fix timed (%s)\n", i + 1, steady.State().Console.Status->PanelText(1).c_str());
            worst_ms = 1e9;
            continue;
        }
        const double truth_ms = static_cast<double>(healthy.FixSentMs() - healthy.StartupSentMs());
        const double err = std::fabs(steady.GetTTFF() * 1000.0 - truth_ms);
        worst_ms = std::max(worst_ms, err);
        sum_ms += err;
        ++timed;
        test::WaitFor([&] { watch(); return false; }, 150);
    }
    test::WaitFor(
        [&] {
            watch();
            return read_seconds >= 0;
        },
        60000);
    stop = true;
    // The writer's last bytes wait for the window to read them.
    test::WaitFor([&] { return finished.load(); }, 60000);
    writer.join();
    const uint64_t total = sent;
    test::WaitFor([&] { watch(); return FileSize(log) >= total; }, 60000);
    noisy.DeviceEndPrimaryLogging();
    ::close(master);

    // The log holds the noise as it was sent, byte for byte.
    const std::string got = test::ReadFileBytes(log);
    bool exact = got.size() == total && total >= 2 && got.compare(total - 2, 2, "\r\n") == 0;
    for (size_t at = 0; exact && at + 2 < total; at += noise.size())
        exact = got.compare(at, std::min<size_t>(noise.size(), total - 2 - at), noise, 0,
                            std::min<size_t>(noise.size(), total - 2 - at)) == 0;

    const double mb = static_cast<double>(kNoiseBytes) / 1e6;
    const double rate = read_seconds > 0 ? mb / read_seconds : 0;
    std::printf("noise read: first %.1f MB in %.2f s = %.1f MB/s; %.1f MB in all, log %s (goal >= %.0f MB/s): %s\n",
                mb, read_seconds, rate, static_cast<double>(total) / 1e6, exact ? "byte-exact" : "DIFFERS",
                kReadGoalMBs, perf::Verdict(read_seconds > 0 && rate >= kReadGoalMBs && exact));
    std::printf("healthy TTFF during the noise: %d of %d trials timed, mean error %.1f ms, worst %.1f ms "
                "(goal <= %.0f ms): %s\n",
                timed, kTrials, timed ? sum_ms / timed : 0.0, worst_ms, kTtffGoalMs,
                perf::Verdict(timed == kTrials && worst_ms <= kTtffGoalMs));
    std::printf("RSS: %.1f MB before, %.1f MB peak, growth %.1f MB (goal <= %.0f MB): %s\n", rss_before, rss_peak,
                rss_peak - rss_before, kRssGoalMB, perf::Verdict(rss_peak - rss_before <= kRssGoalMB));
    bench::CloseSystemLog();
    return 0;
}
