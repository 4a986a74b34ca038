// Whole sessions on the real clock in which a receiver drops out: taken out
// for not answering, its port lost after a good trial, the session stopped
// with a restart under way. The main window and its real device windows,
// scripted receivers on pseudo-terminals, and the files a test engineer opens.
#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

std::vector<std::string> SubFolders(const std::string& parent) {
    std::vector<std::string> out;
    for (const QString& d : QDir(QString::fromStdString(parent)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        out.push_back(d.toStdString());
    return out;
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The fields of a CSV line (its CR LF dropped).
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out(1);
    for (char c : line) {
        if (c == ',')
            out.emplace_back();
        else if (c != '\r' && c != '\n')
            out.back() += c;
    }
    return out;
}

// The T2A or T2U row of a trial without a measurement.
std::string FailedRow(int trial) { return "-1," + std::to_string(trial) + std::string(73, ',') + "\r\n"; }

class ReceiverOut : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        dialogs_test::ResetPrompts();
    }

    test::ScriptedReceiver& AddReceiver(int port, test::ScriptedReceiver::Script s) {
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(std::move(s)));
        receivers.back()->RegisterPort(port);
        return *receivers.back();
    }
    static test::ScriptedReceiver::Script Plain(std::vector<int> delays_ms, int epoch_ms, int ignore = 0) {
        test::ScriptedReceiver::Script s;
        s.fix_delays_ms = std::move(delays_ms);
        s.epoch_ms = epoch_ms;
        s.ignore_commands = ignore;
        return s;
    }

    // RCV1 and RCV2 on ports 3 and 4, primary and results logs on, one COLD
    // test with `command` as the cold start.
    void WriteConfig(int trials, int wait_s, const std::string& command = "$PQNVCOLD",
                     const std::string& startup = "$PQNVRST") {
        bench::SystemConfig c = test::TwoReceiverConfig(3);
        for (int s = 0; s < 2; ++s) {
            c.Devices[s].ColdC = command;
            c.Devices[s].StartupS = startup;
        }
        test::SetFirstTest(c, test::ColdTestLine(trials, wait_s, wait_s));
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    }

    // The main window with the configuration dialog's OK pressed, both
    // receivers heard.
    void OpenBench() {
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(Window(0), nullptr);
        ASSERT_NE(Window(1), nullptr);
        top->SetMaxAcceptableTTFF(20);
        ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                                  3000));
    }

    bench::CommWindow* Window(int slot) { return dynamic_cast<bench::CommWindow*>(top->NmeaWindow(slot)); }

    void Trigger(const char* name) {
        QAction* a = top->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }

    bool Completed(int timeout_ms) {
        return test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, timeout_ms);
    }

    std::vector<std::string> Sessions() {
        std::vector<std::string> s = SubFolders(home->File("GPS_TEST"));
        for (std::string& f : s) f = home->File("GPS_TEST/" + f);
        return s;
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

// A receiver that never answers its restart command is taken out in the
// first trial. Its six files are written for that trial as failed and closed
// with the session; the next start says it runs without it, and its data go
// nowhere in the meantime.
TEST_F(ReceiverOut, ADisabledReceiversFilesCloseWithTheSessionAndTheNextStartNamesIt) {
    test::ScriptedReceiver& deaf = AddReceiver(3, Plain({500}, 50, 1000));
    AddReceiver(4, Plain({600}, 200));
    WriteConfig(2, 1);
    OpenBench();
    Trigger("exectest");
    // Six unanswered commands of ten 50 ms epochs each take it out.
    ASSERT_TRUE(Completed(30000)) << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(deaf.CommandsSeen(), 6);

    ASSERT_EQ(Sessions().size(), 1u);
    const std::string first = Sessions()[0];
    const std::string base = first + "/RCV1/RCV1_TTFF_COLD_NMEA";
    const std::string results = base + "_Results";

    // Closed: the receiver goes on talking, its log does not grow.
    EXPECT_FALSE(Window(0)->State().PrimaryOpen);
    EXPECT_FALSE(Window(0)->State().ResultsOpen);
    const std::string log = test::ReadFileBytes(base + ".txt");
    ASSERT_FALSE(log.empty());
    const int32_t heard = Window(0)->State().GGACount;
    test::Pump(1000);
    ASSERT_GT(Window(0)->State().GGACount, heard + 5) << "still heard";
    EXPECT_EQ(test::ReadFileBytes(base + ".txt").size(), log.size());

    // The trial it was taken out in is failed in every file of the test.
    EXPECT_EQ(test::ReadFileBytes(results + ".txt"), "-1\t% 1\t\r\n");
    for (const char* table : {"_Results_T2A.csv", "_Results_T2U.csv"}) {
        const std::vector<std::string> rows = test::SplitLines(test::ReadFileBytes(results + table));
        EXPECT_EQ(rows.size(), 2u) << table;
        if (rows.size() != 2u) continue;
        EXPECT_EQ(rows[0].rfind("TTFF,Test N,1,2,", 0), 0u) << rows[0];
        EXPECT_EQ(rows[1], FailedRow(1)) << table;
    }
    EXPECT_EQ(test::ReadFileBytes(results + "_Results_GSA.txt"), "-1\t% 1\t\r\n");
    EXPECT_EQ(test::ReadFileBytes(results + "_Results_T2A_T2U_Statistics.csv"),
              "%SatID,T2Asamp,T2Aave,T2Amax,T2Amin,T2Usamp,T2Uave,T2Umax,T2Umin\r\n");

    // The next session runs without it, and says so where the engineer looks.
    test::Pump(1000);  // another second: the next session's folder is a new one
    Trigger("exectest");
    const std::string named = "Device RCV1 left out of this test session: it was disabled in an earlier session";
    EXPECT_NE(test::ReadFileBytes(bench::SystemLogPath()).find(named), std::string::npos);
    EXPECT_NE(top->StatusText(2).find("Device RCV1 left out of the session"), std::string::npos) << top->StatusText(2);
    ASSERT_TRUE(Completed(20000)) << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_NE(top->StatusText(2).find("Device RCV1 left out of the session"), std::string::npos)
        << "in view while it lasts: " << top->StatusText(2);
    std::vector<std::string> sessions = Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    sessions.erase(std::find(sessions.begin(), sessions.end(), first));
    EXPECT_EQ(SubFolders(sessions[0]), std::vector<std::string>{"RCV2"});
    EXPECT_EQ(test::ReadFileBytes(base + ".txt").size(), log.size()) << "nothing more in the first session's log";
    EXPECT_EQ(deaf.CommandsSeen(), 6) << "nothing sent to it";

    // Every message about a port names the device and the port.
    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(system_log.find("RTS line not available on"), std::string::npos) << system_log;
    for (int s = 0; s < 2; ++s) {
        const std::string rts = "Device RCV" + std::to_string(s + 1) + ": port " + std::to_string(3 + s) + " (" +
                                receivers[static_cast<size_t>(s)]->DevicePath() + "): RTS line not available";
        EXPECT_NE(system_log.find(rts), std::string::npos) << system_log;
    }
}

// A receiver whose port is lost after a good trial: the later trials it
// could not finish are failed in its T2A, T2U and GSA files as in its results
// file, and the statistics count only the trial the results file counts.
TEST_F(ReceiverOut, AFailedTrialIsFailedInEveryCompanionFile) {
    AddReceiver(3, Plain({4000}, 100));
    test::ScriptedReceiver& lost = AddReceiver(4, Plain({300}, 100));
    lost.RelayThroughChildProcess();
    WriteConfig(3, 2);
    OpenBench();
    Trigger("exectest");
    // Trial 2: fixed, and its satellites' times taken (ten stable epochs),
    // then the receiver is unplugged before the other has its fix.
    ASSERT_TRUE(test::WaitFor([&] { return lost.Restarts().size() == 2 && lost.HasFix(); }, 20000));
    const bench::SatDBEntry& sat = Window(1)->State().Sats[2];
    ASSERT_TRUE(test::WaitFor([&] { return sat.T2ASamples == 2 && sat.T2USamples == 2; }, 3000));
    const int measured_trials = 1;
    lost.KillRelayProcess();
    ASSERT_TRUE(Completed(30000)) << "status: " << top->StatusText(1) << " / " << top->StatusText(2);

    ASSERT_EQ(Sessions().size(), 1u);
    const std::string results = Sessions()[0] + "/RCV2/RCV2_TTFF_COLD_NMEA_Results";
    const std::vector<std::string> lines = test::SplitLines(test::ReadFileBytes(results + ".txt"));
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "-1\t% 2\t\r\n");
    EXPECT_EQ(lines[2], "-1\t% 3\t\r\n");
    double ttff = 0;
    ASSERT_TRUE(platform::TryReadStrict(lines[0].substr(0, lines[0].find('\t')), ttff)) << lines[0];
    EXPECT_NEAR(ttff, 0.3, test::kRealClockMargin);

    for (const char* table : {"_Results_T2A.csv", "_Results_T2U.csv"}) {
        SCOPED_TRACE(table);
        const std::vector<std::string> rows = test::SplitLines(test::ReadFileBytes(results + table));
        ASSERT_EQ(rows.size(), 4u);
        // Trial 1 measured: its TTFF, and a time for satellite 2.
        const std::vector<std::string> f = Fields(rows[1]);
        ASSERT_EQ(f.size(), 75u) << rows[1];
        double row_ttff = 0;
        ASSERT_TRUE(platform::TryReadStrict(f[0], row_ttff)) << rows[1];
        EXPECT_NEAR(row_ttff, ttff, 0.006) << rows[1];
        EXPECT_EQ(f[1], "1");
        EXPECT_FALSE(f[3].empty()) << "satellite 2 has its time: " << rows[1];
        EXPECT_EQ(rows[2], FailedRow(2));
        EXPECT_EQ(rows[3], FailedRow(3));
    }
    const std::vector<std::string> gsa = test::SplitLines(test::ReadFileBytes(results + "_Results_GSA.txt"));
    ASSERT_EQ(gsa.size(), 3u);
    EXPECT_NE(gsa[0].find("\t% 1\t$GPGSA,A,3,"), std::string::npos) << gsa[0];
    EXPECT_EQ(gsa[1], "-1\t% 2\t\r\n");
    EXPECT_EQ(gsa[2], "-1\t% 3\t\r\n");

    // One sample a satellite: the trial the results file counts.
    const std::vector<std::string> stats =
        test::SplitLines(test::ReadFileBytes(results + "_Results_T2A_T2U_Statistics.csv"));
    ASSERT_EQ(stats.size(), 9u) << "header and the eight satellites";
    for (size_t k = 1; k < stats.size(); ++k) {
        const std::vector<std::string> f = Fields(stats[k]);
        ASSERT_EQ(f.size(), 9u) << stats[k];
        EXPECT_EQ(f[1], std::to_string(measured_trials)) << "T2A samples: " << stats[k];
        EXPECT_EQ(f[5], std::to_string(measured_trials)) << "T2U samples: " << stats[k];
    }
}

// Stopped while a restart is still under way, a receiver gets nothing more:
// not the restart taken from its next GGA (no start-up text configured) ...
TEST_F(ReceiverOut, StopLeavesNoRestartToBeTakenFromTheNextGga) {
    test::ScriptedReceiver& a = AddReceiver(3, Plain({1000}, 1000, 1));
    test::ScriptedReceiver& b = AddReceiver(4, Plain({1000}, 1000));
    WriteConfig(3, 1, "$PQNVCOLD", "");
    OpenBench();
    Trigger("exectest");
    // The first receiver ignored its command; its next GGA would be taken as
    // its restart.
    ASSERT_TRUE(test::WaitFor([&] { return a.CommandsSeen() == 1 && b.CommandsSeen() == 1; }, 5000));
    ASSERT_TRUE(Window(0)->State().GGAAsStartup);
    const size_t a_mark = a.Received().size();
    const size_t b_mark = b.Received().size();
    Trigger("StopTesting");
    EXPECT_FALSE(top->SessionRunning());
    const int32_t heard = Window(0)->State().GGACount;
    test::Pump(2500);
    ASSERT_GE(Window(0)->State().GGACount, heard + 2) << "its GGAs came";
    EXPECT_EQ(a.Received().substr(a_mark), "");
    EXPECT_EQ(b.Received().substr(b_mark), "");
    EXPECT_EQ(Window(0)->State().TestState, 0);
}

// ... nor the rest of a family's restart script.
TEST_F(ReceiverOut, StopEndsARestartScriptUnderWay) {
    test::ScriptedReceiver::Script opus = Plain({800}, 200);
    opus.restart_command = "$PERDCOR,START";
    test::ScriptedReceiver& a = AddReceiver(3, opus);
    test::ScriptedReceiver& b = AddReceiver(4, opus);
    WriteConfig(3, 1, "OPUSCOLD");
    OpenBench();
    Trigger("exectest");
    // The script's first step (STOP) went out; its second (START) is a
    // second away.
    ASSERT_TRUE(test::WaitFor([&] {
        return Count(a.Received(), "$PERDCOR,STOP") == 1 && Count(b.Received(), "$PERDCOR,STOP") == 1;
    }, 5000));
    ASSERT_EQ(a.CommandsSeen(), 0);
    const size_t a_mark = a.Received().size();
    const size_t b_mark = b.Received().size();
    Trigger("StopTesting");
    test::Pump(3000);
    EXPECT_EQ(a.Received().substr(a_mark), "");
    EXPECT_EQ(b.Received().substr(b_mark), "");
    EXPECT_FALSE(Window(0)->State().Console.ScriptTimer->Enabled());
}

// A receiver at the wrong baud rate sends only bytes that make no sentence:
// it is said at once, and taken out of the session once the longest
// acceptable TTFF has passed, as one that sends nothing is, rather than a
// minute later; the other receiver's trials go on.
TEST_F(ReceiverOut, AReceiverAtTheWrongBaudRateIsTakenOutWhenTheLongestTtffHasPassed) {
    AddReceiver(3, Plain({1500, 1500}, 500));
    test::EmulatedReceiver noise;
    noise.RegisterPort(4);
    const std::string bytes = test::LineFreeNoise(480);
    noise.StartStream([bytes] { return bytes; }, 100);
    WriteConfig(2, 1);
    top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(Window(0), nullptr);
    ASSERT_NE(Window(1), nullptr);
    constexpr int kLongest = 6;
    top->SetMaxAcceptableTTFF(kLongest);
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().LongLineNoted; },
                              5000))
        << "waiting for RCV1's GGA and RCV2's noise";
    const auto start = std::chrono::steady_clock::now();
    Trigger("exectest");
    // Under the rule for receivers that talk, this would take a minute more.
    ASSERT_TRUE(Completed(40000)) << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(took, kLongest + 30) << "the session waited for the silent receiver";

    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(Count(system_log, "Device RCV2: no sentence could be read from it in the 6 s of trial 1 of COLD "
                                "(nothing received, or a wrong baud rate): disabled for this session"),
              1)
        << system_log;
    EXPECT_EQ(Count(system_log, "a line longer than 256 bytes (a wrong baud rate?)"), 1) << system_log;
    EXPECT_EQ(Count(system_log, "did not complete"), 0) << system_log;
    const std::vector<std::string> sessions = Sessions();
    ASSERT_EQ(sessions.size(), 1u);
    const std::string results = "_TTFF_COLD_NMEA_Results.txt";
    EXPECT_EQ(test::ReadFileBytes(sessions[0] + "/RCV2/RCV2" + results), "-1\t% 1\t\r\n");
    const std::vector<std::string> kept = test::SplitLines(test::ReadFileBytes(sessions[0] + "/RCV1/RCV1" + results));
    ASSERT_EQ(kept.size(), 2u);
    for (const std::string& line : kept) EXPECT_NE(line.rfind("-1\t", 0), 0u) << line;
}

}  // namespace
