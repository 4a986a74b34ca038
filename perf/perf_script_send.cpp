// Sends a 1 MB almanac file line by line, with checksums, from the script
// panel through four real device windows to four emulated receivers on
// pseudo-terminals. Prints lines per second, what the bench adds to each
// line beyond the timer's interval, and whether every byte arrived.
#include "platform/core/diagnostics.h"
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "perf/perf_process.h"
#include "bench/devices/comm_window.h"
#include "bench/devices/nmea.h"
#include "bench/instruments/command_panel.h"
#include "platform/qt/bench_timer.h"
#include "tests/instruments/script_fakes.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

namespace {

// The main window's fan-out of a message to every device window.
class FourWindows : public script_test::FakeBench {
public:
    FourWindows(script_test::Calls& c, std::vector<bench::CommWindow*> w) : FakeBench(c), windows_(std::move(w)) {}
    void DeviceSendMessage(const std::string& text) override {
        for (bench::CommWindow* w : windows_) w->DeviceSendMsg(text);
    }

private:
    std::vector<bench::CommWindow*> windows_;
};

std::string Almanac(size_t min_bytes, size_t& lines) {
    std::string out;
    char body[160];
    lines = 0;
    while (out.size() < min_bytes) {
        const unsigned sv = static_cast<unsigned>(lines % 32 + 1);
        std::snprintf(body, sizeof body, "$PQNVALM,%02u,%04u,%08X,%08X,%08X,%08X,%08X,%08X,%08X,%08X", sv,
                      static_cast<unsigned>(2300 + lines / 32), static_cast<unsigned>(lines * 2654435761u),
                      0x1234u + sv, 0xABCDu * sv, 0x55AAu, 0x0F0Fu * sv, 0xFFFFu - sv, 0x7777u, 0x4242u + sv);
        out += body;
        out += "\r\n";
        ++lines;
    }
    return out;
}

// What each receiver must get for the file: line, "*", checksum, two line ends.
std::string Expected(const std::string& file) {
    std::string out;
    size_t start = 0;
    while (start < file.size()) {
        const size_t end = file.find("\r\n", start);
        const std::string line = file.substr(start, end - start);
        out += line + "*" + bench::NMEA_Checksum(line) + "\r\n\r\n";
        start = end + 2;
    }
    return out;
}

struct Run {
    double seconds = 0;
    bool all_arrived = false;
};

Run SendOnce(const std::string& path, const std::string& expected, int interval_ms,
             std::vector<std::unique_ptr<test::EmulatedReceiver>>& receivers, script_test::FakeBench& bench,
             const std::string& folder) {
    for (auto& r : receivers) r->ClearReceived();
    script_test::Calls calls;
    test::FakeClock clock;
    platform::QtTimer script_timer, line_timer, byte_timer;
    bench::instruments::ScriptPanelServices s;
    s.clock = &clock;
    s.bench = &bench;
    s.programFolder = folder;
    s.scriptTimer = &script_timer;
    s.lineTimer = &line_timer;
    s.byteTimer = &byte_timer;
    bench::instruments::CommandPanel panel(s);

    const auto t0 = std::chrono::steady_clock::now();
    panel.SendMessagesFromFile(static_cast<int16_t>(interval_ms), path);
    test::WaitFor([&] { return !panel.sendingFlag(); }, 3600 * 1000);
    const auto t1 = std::chrono::steady_clock::now();
    Run run;
    run.seconds = std::chrono::duration<double>(t1 - t0).count();
    run.all_arrived = test::WaitFor(
        [&] {
            for (auto& r : receivers)
                if (r->Received().size() < expected.size()) return false;
            return true;
        },
        20000);
    for (auto& r : receivers) run.all_arrived = run.all_arrived && r->Received() == expected;
    return run;
}

}  // namespace

int main() {
    perf::DeclareGoals(2);
    test::EnsureApp();
    // The bench's own notes (a pseudo-terminal has no RTS line) are not
    // figures: this output holds figures and verdicts only.
    platform::SetDiagnosticSink([](const std::string&) {});
    test::TempHome home;
    std::vector<std::unique_ptr<test::EmulatedReceiver>> receivers;
    test::FakeBenchHost host;
    std::vector<std::unique_ptr<bench::CommWindow>> windows;
    std::vector<bench::CommWindow*> raw;
    for (int i = 0; i < 4; ++i) {
        receivers.push_back(std::make_unique<test::EmulatedReceiver>());
        receivers.back()->RegisterPort(11 + i);
        windows.push_back(std::make_unique<bench::CommWindow>(&host));
        windows.back()->SetDeviceComParams(static_cast<int16_t>(11 + i), 115200);
        windows.back()->OpenPort_Click();
        raw.push_back(windows.back().get());
    }
    script_test::Calls calls;
    FourWindows bench(calls, raw);

    size_t lines = 0;
    const std::string big = Almanac(1u << 20, lines);
    test::WriteFileBytes(home.File("almanac_1MB.txt"), big);
    const std::string big_expected = Expected(big);

    // 1 MB at a 1 ms interval: what the bench adds per line shows plainly.
    const int interval = 1;
    Run r = SendOnce(home.File("almanac_1MB.txt"), big_expected, interval, receivers, bench, home.Path());
    const double per_line_ms = r.seconds * 1000.0 / static_cast<double>(lines + 1);
    std::printf("line-by-line sending, 1 MB almanac (%zu lines) to 4 receivers at a %d ms interval: %.2f s, "
                "%.0f lines/s, every byte arrived: %s, %.3f ms per line beyond the interval (goal <= 1 ms, every "
                "byte): %s\n",
                lines, interval, r.seconds, static_cast<double>(lines) / r.seconds, r.all_arrived ? "yes" : "NO",
                per_line_ms - interval, perf::Verdict(r.all_arrived && per_line_ms - interval <= 1.0));

    // The almanac upload's own interval, on the first 50 lines.
    size_t short_lines = 0;
    std::string part;
    for (size_t pos = 0; short_lines < 50; ++short_lines) {
        const size_t end = big.find("\r\n", pos) + 2;
        part += big.substr(pos, end - pos);
        pos = end;
    }
    test::WriteFileBytes(home.File("almanac_50.txt"), part);
    Run u = SendOnce(home.File("almanac_50.txt"), Expected(part), 100, receivers, bench, home.Path());
    const double per_line_u = u.seconds * 1000.0 / static_cast<double>(short_lines + 1);
    std::printf("line-by-line sending, %zu lines at the upload's 100 ms interval: %.2f s, %.1f lines/s, %.3f ms per "
                "line beyond the interval, every byte arrived (goal): %s\n",
                short_lines, u.seconds, static_cast<double>(short_lines) / u.seconds, per_line_u - 100,
                perf::Verdict(u.all_arrived));
    return 0;
}
