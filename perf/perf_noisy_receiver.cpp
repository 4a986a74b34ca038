// A receiver at the wrong baud rate beside a healthy one, in the bench as the
// program shows it: the main window makes both device windows from a
// configuration file and shows them in its workspace on the offscreen
// platform, with the system's fonts. Bytes are written to one window's
// pseudo-terminal as fast as it takes them, from a thread of their own,
// while the other window times restarts of an emulated receiver. Two kinds
// of noise, each on a fresh bench: NMEA characters mixed with control and
// high bytes, without line feeds; and uniformly random bytes. For each, how
// fast the first 10 MiB were read (into the log, byte for byte), how far the
// healthy TTFFs are from what the emulator did, and how much the process
// grew, each against its goal. The noise goes on at full speed through every
// trial, so the log in the temporary folder reaches a few hundred megabytes
// on a fast machine.
#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/program_folder.h"
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
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr size_t kNoiseBytes = size_t{10} << 20;
constexpr double kReadGoalMBs = 2.0;
constexpr double kTtffGoalMs = 20.0;
constexpr double kRssGoalMB = 20.0;
constexpr int kTrials = 12;

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

uint32_t Next(uint32_t& x) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

// What a receiver at the wrong speed looks like to the bench: mostly the
// characters of sentences, with control bytes (NUL and CR among them) and
// bytes above 0x7E, never a line feed.
std::string NmeaLikeNoise(size_t n) {
    static const std::string nmea = "$GPGGARMCSVTQN0123456789,.*-ENSW";
    std::string out(n, '\0');
    uint32_t x = 88172645u;
    for (char& c : out) {
        const uint32_t r = Next(x);
        const unsigned pick = r % 100;
        if (pick < 70)
            c = nmea[(r >> 8) % nmea.size()];
        else if (pick < 85)
            c = static_cast<char>((r >> 8) % 0x20 == '\n' ? '\r' : (r >> 8) % 0x20);
        else
            c = static_cast<char>(0x80 + (r >> 8) % 0x80);
    }
    return out;
}

// Every byte value alike, line feeds included.
std::string UniformNoise(size_t n) {
    std::string out(n, '\0');
    uint32_t x = 2463534242u;
    for (char& c : out) c = static_cast<char>(Next(x) >> 24);
    return out;
}

struct Figures {
    double read_seconds = -1;
    uint64_t total = 0;
    bool exact = false;
    int timed = 0;
    double worst_ms = 0;
    double sum_ms = 0;
    double rss_before = 0;
    double rss_peak = 0;
    bool ready = false;
};

// One bench: the main window, its two device windows from Config.dat, one
// receiver babbling `noise` while the other is restarted kTrials times.
Figures RunBench(const std::string& noise) {
    Figures f;
    test::TempHome home;

    // The noisy receiver's terminal: its master is written by a thread.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        std::printf("noisy receiver: no pseudo-terminal\n");
        return f;
    }
    std::ofstream(platform::ProgramFile("ComPorts.txt"), std::ios::app) << "51 " << ::ptsname(master) << "\n";
    test::RestartingReceiver healthy({.fix_delay_ms = 400, .gga_interval_ms = 100});
    healthy.RegisterPort(52);

    bench::SystemConfig cfg;
    cfg.Devices[0].DevEN = bench::FlagSet;
    cfg.Devices[0].DName = "BABBLE";
    cfg.Devices[0].NmeaP = 51;
    cfg.Devices[0].NmeaB = 115200;
    cfg.Devices[1].DevEN = bench::FlagSet;
    cfg.Devices[1].DName = "STEADY";
    cfg.Devices[1].NmeaP = 52;
    cfg.Devices[1].NmeaB = 115200;
    cfg.Devices[1].StartupS = "$PQNVRST";
    const std::string config = home.File("Config.dat");
    bench::SaveSystemConfig(config, cfg);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    top->ConfigDialog().hide();
    top->InitializeDevices(config);
    auto* noisy = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* steady = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    if (!noisy || !steady || !noisy->isVisible() || !steady->isVisible() || !noisy->Port().PortOpen() ||
        !steady->Port().PortOpen()) {
        std::printf("noisy receiver: device windows not shown or ports not open\n");
        ::close(master);
        return f;
    }
    const std::string log = home.File("BABBLE_NMEA.txt");
    noisy->DeviceSetPrimaryLogFileBaseName(home.File("BABBLE_NMEA"));
    noisy->DeviceStartPrimaryLogging(".txt");
    test::WaitFor([&] { return steady->State().GGACount >= 3; }, 3000);
    test::Pump(300);

    // The first 10 MiB are timed; the noise then goes on, at full speed,
    // until the last trial is done, and a line feed ends it.
    f.rss_before = RssMB();
    f.rss_peak = f.rss_before;
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

    auto watch = [&] {
        f.rss_peak = std::max(f.rss_peak, RssMB());
        if (f.read_seconds < 0 && FileSize(log) >= kNoiseBytes)
            f.read_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    // Restarts of the healthy receiver while the noise goes on.
    for (int i = 0; i < kTrials; ++i) {
        auto plan = healthy.GetPlan();
        plan.fix_delay_ms = 300 + (i * 137) % 600;
        healthy.SetPlan(plan);
        steady->ExecuteTest("$PQNVCOLD");
        const bool done = test::WaitFor(
            [&] {
                watch();
                return steady->IsTestCompleted();
            },
            5000);
        if (!done || healthy.FixSentMs() < 0) {
            std::printf("trial %d: no fix timed (%s)\n", i + 1, steady->State().Console.Status->PanelText(1).c_str());
            f.worst_ms = 1e9;
            continue;
        }
        const double truth_ms = static_cast<double>(healthy.FixSentMs() - healthy.StartupSentMs());
        const double err = std::fabs(steady->GetTTFF() * 1000.0 - truth_ms);
        f.worst_ms = std::max(f.worst_ms, err);
        f.sum_ms += err;
        ++f.timed;
        test::WaitFor([&] { watch(); return false; }, 150);
    }
    test::WaitFor(
        [&] {
            watch();
            return f.read_seconds >= 0;
        },
        60000);
    stop = true;
    // The writer's last bytes wait for the window to read them.
    test::WaitFor([&] { return finished.load(); }, 60000);
    writer.join();
    f.total = sent;
    test::WaitFor([&] { watch(); return FileSize(log) >= f.total; }, 60000);
    noisy->DeviceEndPrimaryLogging();
    top.reset();
    ::close(master);

    // The log holds the noise as it was sent, byte for byte.
    std::ifstream in(log, std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const uint64_t total = f.total;
    f.exact = got.size() == total && total >= 2 && got.compare(total - 2, 2, "\r\n") == 0;
    for (size_t at = 0; f.exact && at + 2 < total; at += noise.size())
        f.exact = got.compare(at, std::min<size_t>(noise.size(), total - 2 - at), noise, 0,
                              std::min<size_t>(noise.size(), total - 2 - at)) == 0;
    f.ready = true;
    return f;
}

void Report(const char* what, const Figures& f) {
    const double mb = static_cast<double>(kNoiseBytes) / 1e6;
    const double rate = f.read_seconds > 0 ? mb / f.read_seconds : 0;
    std::printf("%s, read with the device windows shown: first %.1f MB in %.2f s, %.1f MB in all, log %s: "
                "%.2f MB/s, goal >= %.0f MB/s: %s\n",
                what, mb, f.read_seconds, static_cast<double>(f.total) / 1e6, f.exact ? "byte-exact" : "DIFFERS",
                rate, kReadGoalMBs, perf::Verdict(f.ready && f.read_seconds > 0 && rate >= kReadGoalMBs && f.exact));
    std::printf("%s, the other receiver's TTFF: %d of %d trials timed, mean error %.1f ms, worst %.1f ms, "
                "goal <= %.0f ms: %s\n",
                what, f.timed, kTrials, f.timed ? f.sum_ms / f.timed : 0.0, f.worst_ms, kTtffGoalMs,
                perf::Verdict(f.ready && f.timed == kTrials && f.worst_ms <= kTtffGoalMs));
    std::printf("%s, RSS: %.1f MB before, %.1f MB peak, growth %.1f MB, goal <= %.0f MB: %s\n", what, f.rss_before,
                f.rss_peak, f.rss_peak - f.rss_before, kRssGoalMB,
                perf::Verdict(f.ready && f.rss_peak - f.rss_before <= kRssGoalMB));
    std::fflush(stdout);
}

}  // namespace

int main() {
    perf::DeclareGoals(6);
    // A screen as large as a lab PC's, so the windows open at their full size.
    test::EnsureAppWithScreen(1600, 1000);
    Report("noise of NMEA characters with control and high bytes", RunBench(NmeaLikeNoise(kNoiseBytes)));
    Report("uniformly random bytes", RunBench(UniformNoise(kNoiseBytes)));
    return 0;
}
