// The event loop during a session with the spreadsheet interface and the
// automatic reports on: four receivers at 1 Hz on pseudo-terminals, the real
// main window and device windows, a COLD test of several trials. A probe
// timer measures how long the event loop goes without running it. Goal: no
// stall longer than 100 ms while the session runs (each fix and each
// snapshot writes the receivers' workbooks). The reports built when the
// session ends are timed too, for information.
#include <QAction>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "perf/perf_process.h"
#include "platform/ui/prompts.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

constexpr int kReceivers = 4;
constexpr int kFirstPort = 41;
constexpr int kTrials = 6;

bench::SystemConfig FourReceivers() {
    bench::SystemConfig c = test::ReceiversConfig(kFirstPort, kReceivers);
    for (int s = 0; s < kReceivers; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
    // A wait of 12 s lets both snapshots (5 s and 10 s after the fix) come.
    test::SetFirstTest(c, test::ColdTestLine(kTrials, 12, 12));
    return c;
}

// The longest time the event loop went without running a 5 ms timer, and
// how many times it went over `over_ms`.
class StallProbe {
public:
    explicit StallProbe(int over_ms) : over_ms_(over_ms) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
    }
    void Start() {
        clock_.start();
        last_ = 0;
        worst_ = 0;
        over_ = 0;
        timer_.start();
    }
    void Stop() { timer_.stop(); }
    double WorstMs() const { return worst_; }
    int Over() const { return over_; }

private:
    void Tick() {
        const double now = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        const double stall = now - last_ - 5.0;
        last_ = now;
        worst_ = std::max(worst_, stall);
        if (stall > over_ms_) ++over_;
        if (stall > 50) std::printf("  stall of %.1f ms at %.1f s\n", stall, now / 1000.0);
    }
    QTimer timer_;
    QElapsedTimer clock_;
    double last_ = 0, worst_ = 0;
    int over_ = 0;
    int over_ms_;
};

}  // namespace

int main() {
    perf::DeclareGoals(1);
    test::EnsureApp();
    test::TempHome home;
    auto& prompts = platform::Prompts::Instance();
    prompts.SetUnattended(true);

    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int s = 0; s < kReceivers; ++s) {
        test::ScriptedReceiver::Script script;
        script.fix_delays_ms = {1500 + 300 * s, 2100, 1700, 2500, 1900, 2300};
        script.latitude = s % 2 ? "4807.038,N" : "4512.250,N";
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(script));
        receivers.back()->RegisterPort(kFirstPort + s);
    }
    if (!bench::SaveSystemConfig(home.File("Config.dat"), FourReceivers()).ok) {
        std::printf("cannot write the configuration\n");
        return 1;
    }

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
    top->show();
    QMetaObject::invokeMethod(top->ConfigDialog().findChild<QObject*>("Save_Command"), "click");
    if (!test::WaitFor([&] { return top->NmeaWindow(kReceivers - 1) != nullptr; }, 5000)) {
        std::printf("the device windows did not open\n");
        return 1;
    }
    top->Entry("ExelInterface")->trigger();
    top->Entry("AutoRepGen")->trigger();
    if (!top->State().Options.ExelInterface || !top->State().Options.AutoRepGen) {
        std::printf("the spreadsheet options did not switch on\n");
        return 1;
    }
    test::Pump(1500);  // every receiver sending

    StallProbe probe(100);
    probe.Start();
    top->Entry("exectest")->trigger();
    // The session's own end: its status says it completed (or how it did
    // not); the reports follow in the same step.
    const bool ended = test::WaitFor(
        [&] {
            const std::string s = top->StatusText(1);
            return !top->SessionRunning() && s.find("Test Session") != std::string::npos;
        },
        kTrials * 30000);
    // The step that ended the session also built the reports: the probe
    // sees that stall on its next tick.
    test::Pump(300);
    probe.Stop();
    if (!ended) {
        std::printf("the session did not end: %s / %s\n", top->StatusText(1).c_str(), top->StatusText(2).c_str());
        return 1;
    }
    std::printf("session of %d trials on %d receivers: %s\n", kTrials, kReceivers, top->StatusText(1).c_str());
    std::printf("longest stall of the event loop while the session ran: %.1f ms, %d over 100 ms, goal <= 100 ms: %s\n",
                probe.WorstMs(), probe.Over(), perf::Verdict(probe.WorstMs() <= 100.0));
    top.reset();
    return 0;
}
