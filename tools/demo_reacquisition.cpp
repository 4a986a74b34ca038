// Shows a REACQUISITION sweep without hardware: the program's main window,
// unattended, drives the fake constellation simulator on 127.0.0.1 over TCP
// while two emulated receivers on pseudo-terminals lose the signal when the
// simulator switches it off and track again some time after it comes back.
// Prints, per power level and receiver, the time to track again that the
// bench measured beside what the receiver really did.
//
// Run by tools/demo with $FIXBENCH_HOME set to a fresh program folder.
#include <QAbstractButton>
#include <QAction>
#include <QDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "platform/core/numtext.h"
#include "platform/core/paths.h"
#include "platform/qt/program_folder.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"
#include "tests/support/signal_receiver.h"

namespace {

constexpr int kSessionTimeoutMs = 240000;
const char* const kNames[2] = {"RCV1", "RCV2"};
const int kReacquireMs[2] = {1500, 2600};
const char* const kLevels[2] = {"-130", "-136"};
constexpr int kStableEpochs = 2;

int Fail(const std::string& why) {
    std::fprintf(stderr, "demo: %s\n", why.c_str());
    return 1;
}

std::vector<std::string> Split(const std::string& s, char sep) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t at = s.find(sep, start);
        out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

// The configuration: the simulator on the fake's port, two receivers with
// their hot start, one REACQUISITION entry of one trial at two levels.
bool WriteConfig(uint16_t port) {
    bench::SystemConfig c;
    bench::SystemConfigReset(c);
    c.SimulatorType = "Spirent GSS7700";
    c.SimHostName = "127.0.0.1";
    c.SimHostPort = port;
    for (int s = 0; s < 2; ++s) {
        bench::DeviceConfig& d = c.Devices[s];
        d.DevEN = bench::FlagSet;
        d.DName = kNames[s];
        d.NmeaP = static_cast<int16_t>(s + 1);
        d.NmeaB = 9600;
        d.StartupS = "$PQNVRST";
        d.HotC = "$PQNVHOT";
        d.RestartC = "$PQNVHOT";
        d.GLog = bench::FlagSet;
        d.RLog = bench::FlagSet;
    }
    c.TestLines[0] = std::string("REACQUISITION,1,1,0,1,4,") + std::to_string(kStableEpochs) +
                     ",0,-1,0,-120," + kLevels[0] + "," + kLevels[1] + ",6,3,0,0,0,0,0,0,,,0,0,0";
    bench::ParseTestLine(c.TestLines[0], c.Tests[0]);
    c.Tests[0].Enabled = bench::FlagSet;
    const bench::ConfigSaveResult saved = bench::SaveSystemConfig(platform::ProgramFile("Config.dat"), c);
    if (!saved.ok) std::fprintf(stderr, "demo: Config.dat not written: %s\n", saved.warning.c_str());
    return saved.ok;
}

std::string FindResults(const std::string& folder, const std::string& level) {
    const std::string ending = "_Results_PW" + level + ".txt";
    for (const QString& f : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
        const std::string name = f.toStdString();
        if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            return folder + "/" + name;
    }
    return "";
}

}  // namespace

int main() {
    if (!std::getenv("FIXBENCH_HOME")) return Fail("FIXBENCH_HOME is not set; run it through tools/demo");
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    test::EnsureApp();

    test::FakeSimServer simulator(1);
    simulator.SetStatus(4);
    std::printf("Simulator (second dialect) on 127.0.0.1:%u\n", simulator.Port());
    std::vector<std::unique_ptr<test::SignalReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::SignalReceiver::Plan plan;
        plan.reacquire_ms = kReacquireMs[s];
        receivers.push_back(std::make_unique<test::SignalReceiver>(plan));
        receivers.back()->RegisterPort(s + 1);
        test::SignalReceiver* r = receivers.back().get();
        simulator.OnSignal([r](bool on) { r->Signal(on); });
        std::printf("Receiver %s on port %d: %s, tracks again at its first epoch %d ms after the signal\n", kNames[s], s + 1,
                    r->DevicePath().c_str(), kReacquireMs[s]);
    }
    if (!WriteConfig(simulator.Port())) return 1;

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    auto* ok = top->ConfigDialog().findChild<QAbstractButton*>("Save_Command");
    if (!ok) return Fail("the configuration dialog has no OK button");
    ok->click();
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    if (!w0 || !w1) return Fail("OK did not open a device window for each receiver");
    if (!test::WaitFor([&] { return !w0->GetCurrentGGAString().empty() && !w1->GetCurrentGGAString().empty(); }, 5000))
        return Fail("the device windows hear nothing from the receivers");

    std::printf("Starting a REACQUISITION sweep at %s and %s dBm, one trial each (about two minutes)...\n", kLevels[0],
                kLevels[1]);
    QAction* start = top->findChild<QAction*>("exectest");
    if (!start || !start->isEnabled()) return Fail("Testing > Start is not available");
    start->trigger();
    std::string last;
    const bool done = test::WaitFor(
        [&] {
            const std::string now = top->StatusText(2);
            if (now != last && !now.empty()) {
                std::printf("  %s\n", now.c_str());
                last = now;
            }
            return !top->SessionRunning();
        },
        kSessionTimeoutMs);
    if (!done || top->StatusText(1) != "Test Session Completed")
        return Fail("the sweep did not complete; status: \"" + top->StatusText(1) + "\"; see " + bench::SystemLogPath());
    std::printf("%s\n\n", top->StatusText(1).c_str());

    std::printf("Simulator commands received: %zu, signal switched %zu times\n\n", simulator.CommandTexts().size(),
                simulator.Switches().size());
    std::printf("%-7s %-6s %22s %14s %11s\n", "Level", "Device", "time to track (s)", "receiver (s)", "error (ms)");
    int measured = 0, close = 0;
    for (int level = 0; level < 2; ++level) {
        for (int s = 0; s < 2; ++s) {
            auto* w = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(s));
            const std::string folder =
                platform::MapStoredPath(w->DeviceGetPrimaryLogFileBaseName(), platform::ProgramFolder());
            const std::string results = FindResults(folder.substr(0, folder.rfind('/')), kLevels[level]);
            const std::string text = test::ReadFileBytes(results);
            const std::vector<std::string> f = Split(text.substr(0, text.find('\n')), '\t');
            if (results.empty() || f.size() < 3) {
                std::printf("%-7s %-6s %22s\n", kLevels[level], kNames[s], "no result");
                continue;
            }
            ++measured;
            const test::SignalReceiver& r = *receivers[static_cast<size_t>(s)];
            const auto& o = r.Outages()[static_cast<size_t>(level)];
            const int64_t from = r.EpochSentMs(static_cast<int32_t>(platform::ReadLenient(f[2])));
            double real = -1;
            // The receiver's own moment: its first epoch tracked again.
            if (!o.tracked_ms.empty() && from >= 0) real = (o.tracked_ms[0] - from) / 1000.0;
            const double error_ms = (platform::ReadLenient(f[0]) - real) * 1000.0;
            close += real >= 0 && std::fabs(error_ms) <= 50.0;
            std::printf("%-7s %-6s %22s %14.3f %11.0f\n", kLevels[level], kNames[s], f[0].c_str(), real, error_ms);
        }
    }
    std::printf("\n  system log: %s\n", bench::SystemLogPath().c_str());
    top.reset();
    if (measured != 4) return Fail(std::to_string(measured) + " of 4 results found");
    std::printf("%d of %d measured within 50 ms of the receiver's own timing.\n", close, measured);
    return close == measured ? 0 : 1;
}
