// A REACQUISITION session end to end on the real clock: the main window with
// its real device windows and simulator link, two receivers on
// pseudo-terminals that lose and regain the signal, and the fake simulator
// on 127.0.0.1 that switches it. Two power levels, two trials each.
#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "bench/instruments/sim_mng.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "platform/core/numtext.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"
#include "tests/support/signal_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

using Strings = std::vector<std::string>;

Strings Lines(const std::string& all) {
    Strings out;
    size_t start = 0;
    while (start < all.size()) {
        const size_t lf = all.find('\n', start);
        const size_t end = lf == std::string::npos ? all.size() : lf + 1;
        out.push_back(all.substr(start, end - start));
        start = end;
    }
    return out;
}

Strings Fields(const std::string& line, char sep) {
    Strings out;
    size_t start = 0;
    for (;;) {
        const size_t at = line.find(sep, start);
        out.push_back(line.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return out;
        start = at + 1;
    }
}

std::string FindFile(const std::string& folder, const std::string& ending) {
    for (const QString& f : QDir(QString::fromStdString(folder)).entryList(QDir::Files)) {
        const std::string name = f.toStdString();
        if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            return folder + "/" + name;
    }
    return "";
}

TEST(ReacquisitionEndToEnd, TwoLevelsTwoTrialsOnTwoReceiversAgainstTheSimulator) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    test::FakeSimServer server(0);
    server.SetStatus(4);  // a scenario already running: the bench stops and rewinds it first

    std::vector<std::unique_ptr<test::SignalReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::SignalReceiver::Plan plan;
        plan.reacquire_ms = s == 0 ? 1500 : 2500;
        receivers.push_back(std::make_unique<test::SignalReceiver>(plan));
        receivers.back()->RegisterPort(3 + s);
        test::SignalReceiver* r = receivers.back().get();
        server.OnSignal([r](bool on) { r->Signal(on); });
    }

    // Two trials of 0-1 s wait; 4 satellites for 2 epochs; the simulator
    // at -120 between trials, levels -130 and -135, the signal off 3 s.
    const bench::SystemConfig c = test::HotReceiversWithSimulator(
        server.Port(), "REACQUISITION,1,2,0,1,4,2,0,-1,0,-120,-130,-135,5,3,0,0,0,0,0,0,,,0,0,0");
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_NE(w0, nullptr);
    ASSERT_NE(w1, nullptr);
    top->SetMaxAcceptableTTFF(30);
    ASSERT_TRUE(test::WaitFor([&] { return w0->State().GGACount > 1 && w1->State().GGACount > 1; }, 4000));

    // The results grid of each level, as it stood when the level ended.
    std::map<std::string, Strings> grids;
    bench::session::ResultsGrid& grid = top->Grid();
    auto keep = grid.changed;
    grid.changed = [&] {
        if (keep) keep();
        const std::string level = platform::NumberToText(top->Engine().Run().CurrentPower);
        Strings cells;
        for (int trial = 1; trial <= 2; ++trial)
            for (int slot = 0; slot < 2; ++slot) cells.push_back(grid.Cell(trial + 3, slot + 1));
        if (!cells[0].empty() || !cells[1].empty()) grids[level] = cells;
    };

    QAction* start = top->findChild<QAction*>("exectest");
    ASSERT_NE(start, nullptr);
    start->trigger();
    ASSERT_TRUE(top->SessionRunning());
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 280000))
        << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    EXPECT_FALSE(top->Simulator().IsSimMngFailed());

    // --- the simulator's wire, in order (the arming polls aside) ---
    Strings got = server.CommandTexts();
    Strings wire;
    bool arming = false;
    for (const std::string& cmd : got) {
        if (cmd == "RU") arming = true;
        if (arming && cmd == "NULL") continue;
        if (cmd.find("POW") != std::string::npos) arming = false;
        wire.push_back(cmd);
    }
    ASSERT_EQ(wire.size(), 24u) << ::testing::PrintToString(got);
    const std::string nominal = "-,POW_LEV,v1_a1,-120,1,1,1,1";
    auto level = [](const char* p) { return std::string("-,POW_LEV,v1_a1,") + p + ",1,1,1,1"; };
    EXPECT_EQ(Strings(wire.begin(), wire.begin() + 6), (Strings{"NULL", "-,EN", "RW", "RU", nominal, level("-130")}));
    std::vector<long> offs, ons;
    auto trial = [&](size_t at, const char* p) {
        EXPECT_EQ(wire[at], nominal);
        EXPECT_EQ(wire[at + 1], level(p));
        const Strings off = Fields(wire[at + 2], ','), on = Fields(wire[at + 3], ',');
        EXPECT_EQ(wire[at + 2], off[0] + ",POW_ON,v1_a1,0,0,1,1");
        EXPECT_EQ(wire[at + 3], on[0] + ",POW_ON,v1_a1,1,0,1,1");
        offs.push_back(std::atol(off[0].c_str()));
        ons.push_back(std::atol(on[0].c_str()));
        EXPECT_EQ(ons.back() - offs.back(), 3) << "the off time";
    };
    trial(6, "-130");
    trial(10, "-130");
    // The next level: set-up only, no stop or rewind.
    EXPECT_EQ(wire[14], nominal);
    EXPECT_EQ(wire[15], level("-135"));
    trial(16, "-135");
    trial(20, "-135");
    EXPECT_EQ(server.Received().find("\r"), std::string::npos) << "no terminators";

    // --- the switching happened at its scenario second ---
    ASSERT_EQ(server.Switches().size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const test::FakeSimServer::Switch& sw = server.Switches()[i];
        EXPECT_EQ(sw.on, i % 2 == 1);
        const long t = i % 2 ? ons[i / 2] : offs[i / 2];
        EXPECT_EQ((sw.utc_ms / 1000) % 3600, ((t - 15) % 3600 + 3600) % 3600);
        EXPECT_LT(sw.utc_ms % 1000, 100) << "switched at the start of its second";
    }

    // --- each receiver's "_PW" results: one line per trial, the time to
    // track again as the receiver really did it ---
    const Strings sessions = [&] {
        Strings out;
        for (const QString& d : QDir(QString::fromStdString(home.File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            out.push_back(d.toStdString());
        return out;
    }();
    ASSERT_EQ(sessions.size(), 1u);
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string folder = home.File("GPS_TEST/" + sessions[0] + "/" + name);
        const test::SignalReceiver& rcv = *receivers[static_cast<size_t>(s)];
        ASSERT_EQ(rcv.Outages().size(), 4u);
        int k = 0;
        for (const char* p : {"-130", "-135"}) {
            const std::string results = FindFile(folder, std::string("_Results_PW") + p + ".txt");
            ASSERT_FALSE(results.empty()) << "no results file for " << p;
            ASSERT_FALSE(FindFile(folder, std::string("_PW") + p + ".txt").empty());
            const Strings lines = Lines(test::ReadFileBytes(results));
            ASSERT_EQ(lines.size(), 2u) << results;
            for (int t = 0; t < 2; ++t, ++k) {
                const Strings f = Fields(lines[static_cast<size_t>(t)], '\t');
                ASSERT_GE(f.size(), 5u) << lines[static_cast<size_t>(t)];
                const double measured = platform::ReadLenient(f[0]);
                const int32_t on_second = static_cast<int32_t>(platform::ReadLenient(f[2]));
                const test::SignalReceiver::Outage& o = rcv.Outages()[static_cast<size_t>(k)];
                ASSERT_GE(o.tracked_ms.size(), 2u);
                const int64_t clock_start = rcv.EpochSentMs(on_second);
                ASSERT_GE(clock_start, 0);
                // From the epoch of the switch-on second to the receiver's
                // first tracked epoch: when it tracked again, however many
                // stable epochs the goal then waited for.
                const double expected = (o.tracked_ms[0] - clock_start) / 1000.0;
                EXPECT_NEAR(measured, expected, test::kRealClockMargin) << lines[static_cast<size_t>(t)];
                EXPECT_EQ(f[3], "% " + bench::MakeTimeStringFromSeconds(on_second) + "% " + std::to_string(t + 1));
                EXPECT_EQ((o.on_ms - rcv.EpochSentMs(on_second)) / 1000, 0) << "the switch-on second";
                std::printf("[ e2e ] %s level %s trial %d: measured %s s\n", name.c_str(), p, t + 1, f[0].c_str());
            }
        }
    }

    // --- the results grid of each level ---
    ASSERT_EQ(grids.count("-130"), 1u);
    ASSERT_EQ(grids.count("-135"), 1u);
    for (const auto& [lvl, cells] : grids)
        for (const std::string& cell : cells) EXPECT_FALSE(cell.empty()) << "level " << lvl;

    top.reset();
    receivers.clear();
    dialogs_test::ResetPrompts();
}

// Receivers that lose every satellite within the switch-off second itself
// (their epoch comes late in the second, after the switch): the goal is
// still what they tracked while the signal was on, and it is reached only
// once they track again after the switch-on. One that never tracks again
// within the longest TTFF is a failed trial, never a time.
TEST(ReacquisitionEndToEnd, ASignalLostWithinItsSwitchOffSecondIsTimedFromTheFirstEpochTrackedAgain) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    test::FakeSimServer server(0);
    server.SetStatus(4);

    std::vector<std::unique_ptr<test::SignalReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::SignalReceiver::Plan plan;
        plan.loss_epochs = 0;
        plan.latency_ms = 300;  // the switch comes first in its second
        plan.hot_ms = 200;
        plan.reacquire_ms = s == 0 ? 2000 : 3600 * 1000;
        receivers.push_back(std::make_unique<test::SignalReceiver>(plan));
        receivers.back()->RegisterPort(3 + s);
        test::SignalReceiver* r = receivers.back().get();
        server.OnSignal([r](bool on) { r->Signal(on); });
    }
    // One trial, 4 satellites for 3 epochs, one level, the signal off 3 s.
    const bench::SystemConfig c = test::HotReceiversWithSimulator(
        server.Port(), "REACQUISITION,1,1,0,0,4,3,0,-1,0,-120,-130,-130,0,3,0,0,0,0,0,0,,,0,0,0");
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_NE(w0, nullptr);
    ASSERT_NE(w1, nullptr);
    top->SetMaxAcceptableTTFF(8);
    ASSERT_TRUE(test::WaitFor([&] { return w0->State().GGACount > 1 && w1->State().GGACount > 1; }, 4000));

    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
    top->Engine().Run().SignalCycleSeconds = 6;  // the settle time, shortened
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 120000))
        << "waited for the session's end: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");

    const QStringList sessions =
        QDir(QString::fromStdString(home.File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(sessions.size(), 1);
    const std::string root = home.File("GPS_TEST/" + sessions[0].toStdString());
    auto results = [&](int s) {
        const std::string folder = root + "/RCV" + std::to_string(s + 1);
        const std::string file = FindFile(folder, "_Results_PW-130.txt");
        EXPECT_FALSE(file.empty()) << "no results file in " << folder;
        return Lines(test::ReadFileBytes(file));
    };

    // The receiver that tracks again: from its switch-on epoch to its first
    // tracked one.
    const test::SignalReceiver& back = *receivers[0];
    ASSERT_EQ(back.Outages().size(), 1u);
    const test::SignalReceiver::Outage& o = back.Outages()[0];
    ASSERT_GE(o.lost_ms, 0);
    EXPECT_LT(o.lost_ms - o.off_ms, 1000) << "satellites lost within the switch-off second";
    const Strings got = results(0);
    ASSERT_EQ(got.size(), 1u);
    const Strings f = Fields(got[0], '\t');
    ASSERT_GE(f.size(), 5u) << got[0];
    ASSERT_GT(platform::ReadLenient(f[0]), 0) << "a time taken before the receiver tracked again: " << got[0];
    ASSERT_FALSE(o.tracked_ms.empty());
    const int32_t on_second = static_cast<int32_t>(platform::ReadLenient(f[2]));
    const int64_t from = back.EpochSentMs(on_second);
    ASSERT_GE(from, 0);
    const double truth = (o.tracked_ms[0] - from) / 1000.0;
    EXPECT_GT(truth, 1.5);
    EXPECT_NEAR(platform::ReadLenient(f[0]), truth, test::kRealClockMargin) << got[0];
    EXPECT_EQ(f[1], "8") << "the satellites tracked before the switch-off";

    // The one that never tracks again: failed, in its results and its tables.
    const Strings failed = results(1);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(Fields(failed[0], '\t')[0], "-1") << failed[0];
    const std::string folder = root + "/RCV2";
    const Strings t2a = Lines(test::ReadFileBytes(FindFile(folder, "_Results_T2A.csv")));
    ASSERT_EQ(t2a.size(), 2u);
    EXPECT_EQ(t2a[1].substr(0, 5), "-1,1,") << t2a[1];

    top.reset();
    receivers.clear();
    dialogs_test::ResetPrompts();
}

// Stop while the receivers track again: the trial is written with what each
// receiver got (a time for one that tracked again, failed for one that did
// not), and the system log says where the session stopped.
TEST(ReacquisitionEndToEnd, StopWhileTrackingAgainWritesTheTrialAndSaysWhere) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    test::FakeSimServer server(0);
    server.SetStatus(4);
    std::vector<std::unique_ptr<test::SignalReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::SignalReceiver::Plan plan;
        plan.hot_ms = 200;
        plan.reacquire_ms = s == 0 ? 1000 : 3600 * 1000;
        receivers.push_back(std::make_unique<test::SignalReceiver>(plan));
        receivers.back()->RegisterPort(3 + s);
        test::SignalReceiver* r = receivers.back().get();
        server.OnSignal([r](bool on) { r->Signal(on); });
    }
    const bench::SystemConfig c = test::HotReceiversWithSimulator(
        server.Port(), "REACQUISITION,1,2,0,0,4,2,0,-1,0,-120,-130,-130,0,3,0,0,0,0,0,0,,,0,0,0");
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_NE(w0, nullptr);
    ASSERT_NE(w1, nullptr);
    top->SetMaxAcceptableTTFF(120);
    ASSERT_TRUE(test::WaitFor([&] { return w0->State().GGACount > 1 && w1->State().GGACount > 1; }, 4000));
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
    top->Engine().Run().SignalCycleSeconds = 6;
    ASSERT_TRUE(test::WaitFor([&] { return top->Engine().PowerSubState == 9 && w0->IsTestCompleted(); }, 90000))
        << "waited for the first receiver to track again: " << top->StatusText(1);
    const double measured = platform::RoundDecimals(w0->GetTTFF(), 2);
    ASSERT_FALSE(w1->IsTestCompleted());

    top->findChild<QAction*>("StopTesting")->trigger();
    EXPECT_FALSE(top->SessionRunning());

    const QStringList sessions =
        QDir(QString::fromStdString(home.File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(sessions.size(), 1);
    const std::string root = home.File("GPS_TEST/" + sessions[0].toStdString());
    const Strings tracked = Lines(test::ReadFileBytes(FindFile(root + "/RCV1", "_Results_PW-130.txt")));
    ASSERT_EQ(tracked.size(), 1u);
    EXPECT_EQ(Fields(tracked[0], '\t')[0], platform::NumberToText(measured)) << tracked[0];
    EXPECT_EQ(Lines(test::ReadFileBytes(FindFile(root + "/RCV2", "_Results_PW-130.txt"))),
              Strings{"-1\t0\t0\t% 00:00:00% 1\t\r\n"});
    const Strings t2a = Lines(test::ReadFileBytes(FindFile(root + "/RCV2", "_Results_T2A.csv")));
    ASSERT_EQ(t2a.size(), 2u);
    EXPECT_EQ(t2a[1].substr(0, 5), "-1,1,") << t2a[1];
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Test session stopped: Stop was chosen during REACQUISITION test, trial 1 of 2, power level "
                       "-130; RCV1: " + platform::NumberToText(measured) + " s, RCV2: failed (-1)\r\n"),
              std::string::npos)
        << log;

    top.reset();
    receivers.clear();
    dialogs_test::ResetPrompts();
}

}  // namespace
