// Whole sessions on the real clock: the main window with its real device
// windows, two scripted receivers on pseudo-terminals, the configuration
// dialog's OK and the Testing menu, then the files a test engineer opens.
#include <QAction>
#include <QProcess>
#include <QDir>
#include <QFileInfo>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/devices/comm_window.h"
#include "bench/session/results_window.h"
#include "bench/session/test_line.h"
#include "platform/core/numtext.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

std::vector<std::string> SubFolders(const std::string& parent) {
    std::vector<std::string> out;
    for (const QString& d : QDir(QString::fromStdString(parent)).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        out.push_back(d.toStdString());
    return out;
}

bool IsDir(const std::string& p) { return QFileInfo(QString::fromStdString(p)).isDir(); }


class SessionEndToEnd : public ::testing::Test {
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

    test::ScriptedReceiver& AddReceiver(int port, std::vector<int> delays_ms, int epoch_ms = 1000,
                                        int ignore_commands = 0, bool qnv_time = false) {
        test::ScriptedReceiver::Script s;
        s.qnv_time = qnv_time;
        s.fix_delays_ms = std::move(delays_ms);
        s.epoch_ms = epoch_ms;
        s.ignore_commands = ignore_commands;
        // Each receiver somewhere else, so one's fix cannot pass for the other's.
        s.latitude = port % 2 ? "4807.038,N" : "4512.250,N";
        s.longitude = port % 2 ? "01131.000,E" : "00741.875,E";
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
        receivers.back()->RegisterPort(port);
        return *receivers.back();
    }

    // Two receivers on ports 3 and 4, primary and results logs on, and one
    // COLD test as the test editor makes it.
    void WriteConfig(int trials, int min_wait, int max_wait) {
        bench::SystemConfig c = test::TwoReceiverConfig(3);
        for (int s = 0; s < 2; ++s) {
            c.Devices[s].ColdC = "$PQNVCOLD";
        }
        test::SetFirstTest(c, test::ColdTestLine(trials, min_wait, max_wait));
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    }

    // Starts the program's main window, which shows the configuration
    // dialog with Config.dat; the user presses OK.
    void OpenBench() {
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        ASSERT_TRUE(top->ConfigDialog().isVisible());
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(Window(0), nullptr);
        ASSERT_NE(Window(1), nullptr);
        // Short enough that a receiver that goes quiet cannot hold the session long.
        top->SetMaxAcceptableTTFF(20);
    }

    bench::CommWindow* Window(int slot) { return dynamic_cast<bench::CommWindow*>(top->NmeaWindow(slot)); }

    void Trigger(const char* name) {
        QAction* a = top->findChild<QAction*>(name);
        ASSERT_NE(a, nullptr) << name;
        ASSERT_TRUE(a->isEnabled()) << name;
        a->trigger();
    }

    // The one session folder under the configured results folder.
    std::string SessionFolder() {
        const std::vector<std::string> s = SubFolders(home->File("GPS_TEST"));
        if (s.size() != 1) {
            ADD_FAILURE() << s.size() << " session folders";
            return "";
        }
        return home->File("GPS_TEST/" + s[0]);
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

// What each device's results file must say about its receiver's restarts.
void ExpectResultsMatch(const std::string& results, const test::ScriptedReceiver& rcv, const std::string& who) {
    const std::vector<std::string> lines = test::SplitLines(results);
    ASSERT_EQ(lines.size(), 3u) << who << ":\n" << results;
    ASSERT_EQ(rcv.Restarts().size(), 3u) << who;
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(who + " trial " + std::to_string(k + 1));
        const std::string& line = lines[static_cast<size_t>(k)];
        const test::ScriptedReceiver::Restart& r = rcv.Restarts()[static_cast<size_t>(k)];
        const size_t tab1 = line.find('\t');
        const size_t tab2 = line.find('\t', tab1 + 1);
        ASSERT_NE(tab2, std::string::npos) << line;
        EXPECT_EQ(line.substr(tab1, tab2 - tab1 + 1), "\t% " + std::to_string(k + 1) + "\t");
        double ttff = 0;
        ASSERT_TRUE(platform::TryReadStrict(line.substr(0, tab1), ttff)) << line;
        EXPECT_NEAR(ttff, r.delay_ms / 1000.0, test::kRealClockMargin) << "the receiver's scripted delay";
        EXPECT_NEAR(ttff, (r.fix_ms - r.startup_ms) / 1000.0, test::kRealClockMargin) << "what the receiver really did";
        EXPECT_EQ(line.substr(tab2 + 1), r.fix_gga) << "the GGA sentence of the fix, byte for byte";
        EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
        std::printf("[ e2e ] %s trial %d: scripted %d ms, sent %lld ms, measured %s s\n", who.c_str(), k + 1,
                    r.delay_ms, static_cast<long long>(r.fix_ms - r.startup_ms), line.substr(0, tab1).c_str());
    }
}

TEST_F(SessionEndToEnd, ColdSessionOfThreeTrialsOnTwoReceivers) {
    test::ScriptedReceiver& a = AddReceiver(3, {1200, 2400, 1700});
    test::ScriptedReceiver& b = AddReceiver(4, {2100, 1000, 2800});
    WriteConfig(3, 1, 2);
    OpenBench();
    // Both receivers are heard before the session starts.
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));

    Trigger("exectest");
    ASSERT_TRUE(top->SessionRunning());
    ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 45000))
        << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_TRUE(top->findChild<QAction*>("exectest")->isEnabled()) << "a new session can start";
    EXPECT_EQ(a.CommandsSeen(), 3);
    EXPECT_EQ(b.CommandsSeen(), 3);

    // The session folder is the configured one, "_" and the start time.
    const std::string session = SessionFolder();
    ASSERT_FALSE(session.empty());
    const std::string stamp = session.substr(session.rfind('/') + 1);
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(_\d{1,2}-\d{1,2}-\d{4}_\d{1,2}\.\d{1,2}\.\d{1,2})"))) << stamp;

    for (int s = 0; s < 2; ++s) {
        const test::ScriptedReceiver& rcv = s == 0 ? a : b;
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string folder = session + "/" + name;
        ASSERT_TRUE(IsDir(folder));
        const std::string base = folder + "/" + name + "_TTFF_COLD_NMEA";

        // The primary log: every received line as it came, the start-up
        // texts and the fixes among them.
        const std::string log = test::ReadFileBytes(base + ".txt");
        ASSERT_FALSE(log.empty()) << base << ".txt";
        EXPECT_NE(rcv.Sent().find(log), std::string::npos) << "the log is a stretch of what the receiver sent";
        for (const std::string& line : test::SplitLines(log)) {
            ASSERT_GE(line.size(), 2u);
            ASSERT_EQ(line.substr(line.size() - 2), "\r\n") << line;
        }
        int startups = 0;
        for (size_t at = 0; (at = log.find("$PQNVRST,COLD", at)) != std::string::npos; ++at) ++startups;
        EXPECT_EQ(startups, 3);
        for (const auto& r : rcv.Restarts()) EXPECT_NE(log.find(r.fix_gga), std::string::npos) << r.fix_gga;

        ExpectResultsMatch(test::ReadFileBytes(base + "_Results.txt"), rcv, name);

        // The companion tables: T2A and T2U with their header and one row a
        // trial, the GSA of each fix, the statistics block of the test.
        const std::string results = base + "_Results";
        for (const char* table : {"_Results_T2A.csv", "_Results_T2U.csv"}) {
            const std::vector<std::string> rows = test::SplitLines(test::ReadFileBytes(results + table));
            ASSERT_EQ(rows.size(), 4u) << table;
            EXPECT_EQ(rows[0].rfind("TTFF,Test N,1,2,3,", 0), 0u) << rows[0];
            EXPECT_EQ(rows[0].substr(rows[0].size() - 10), ",201,202\r\n") << rows[0];
            for (int k = 1; k <= 3; ++k) {
                const std::string& row = rows[static_cast<size_t>(k)];
                const size_t c1 = row.find(',');
                double ttff = 0;
                ASSERT_TRUE(platform::TryReadStrict(row.substr(0, c1), ttff)) << row;
                EXPECT_NEAR(ttff, rcv.Restarts()[static_cast<size_t>(k - 1)].delay_ms / 1000.0, test::kRealClockMargin) << row;
                EXPECT_EQ(row.substr(c1, 2 + std::to_string(k).size()), "," + std::to_string(k) + ",") << row;
                EXPECT_EQ(std::count(row.begin(), row.end(), ','), 74) << "TTFF, trial and 73 satellites: " << row;
            }
        }
        // One GSA line a trial, after the same TTFF as the tables, ending
        // with the GSA sentence of the fix epoch.
        const std::vector<std::string> gsa = test::SplitLines(test::ReadFileBytes(results + "_Results_GSA.txt"));
        ASSERT_EQ(gsa.size(), 3u);
        for (int k = 1; k <= 3; ++k) {
            const test::ScriptedReceiver::Restart& r = rcv.Restarts()[static_cast<size_t>(k - 1)];
            const size_t g = r.fix_epoch.find("$GPGSA,");
            ASSERT_NE(g, std::string::npos);
            const std::string fix_gsa = r.fix_epoch.substr(g, r.fix_epoch.find('\n', g) + 1 - g);
            const std::string& line = gsa[static_cast<size_t>(k - 1)];
            const std::string mark = "\t% " + std::to_string(k) + "\t";
            const size_t at = line.find(mark);
            ASSERT_NE(at, std::string::npos) << line;
            double ttff = 0;
            ASSERT_TRUE(platform::TryReadStrict(line.substr(0, at), ttff)) << line;
            EXPECT_NEAR(ttff, r.delay_ms / 1000.0, test::kRealClockMargin) << line;
            EXPECT_EQ(line.substr(at + mark.size()), fix_gsa);
        }
        const std::string stats = test::ReadFileBytes(results + "_Results_T2A_T2U_Statistics.csv");
        EXPECT_EQ(stats.rfind("%SatID,T2Asamp,T2Aave,T2Amax,T2Amin,T2Usamp,T2Uave,T2Umax,T2Umin\r\n", 0), 0u) << stats;
    }

    // The results window shows the same times, trial by trial.
    bench::Results& grid = top->ResultsWindow();
    grid.show();
    auto* table = grid.findChild<QTableWidget*>("MSFlexGrid1");
    ASSERT_NE(table, nullptr);
    for (int s = 0; s < 2; ++s) {
        const std::string results = test::ReadFileBytes(SessionFolder() + "/RCV" + std::to_string(s + 1) + "/RCV" +
                                                        std::to_string(s + 1) + "_TTFF_COLD_NMEA_Results.txt");
        const std::vector<std::string> lines = test::SplitLines(results);
        ASSERT_EQ(lines.size(), 3u);
        for (int k = 1; k <= 3; ++k) {
            const std::string written = lines[static_cast<size_t>(k - 1)].substr(0, lines[static_cast<size_t>(k - 1)].find('\t'));
            QTableWidgetItem* cell = table->item(k + 3, s + 1);
            ASSERT_NE(cell, nullptr) << "trial " << k << " slot " << s;
            EXPECT_EQ(cell->text().toStdString(), written) << "trial " << k << " slot " << s;
        }
    }

    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(system_log.find("disabled"), std::string::npos) << system_log;
}

TEST_F(SessionEndToEnd, StopDuringATrialSendsNoMoreRestarts) {
    // The first receiver ignores its first command, so its window still waits
    // for the restart (and would repeat the command ten epochs later); the
    // second has restarted and waits for a fix that comes too late.
    test::ScriptedReceiver& a = AddReceiver(3, {1000}, 200, 1);
    test::ScriptedReceiver& b = AddReceiver(4, {4000}, 200);
    WriteConfig(3, 1, 1);
    OpenBench();
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return a.CommandsSeen() == 1 && b.Restarts().size() == 1; }, 5000));
    test::Pump(300);

    // What each window had sent when Stop came: its command, and the
    // repetitions of it (a loaded machine may have let the first window's
    // time for one run out). A command still on its way through the
    // terminal then is not one sent after Stop.
    const int a_sent = 1 + Window(0)->State().Failures;
    const int b_sent = 1 + Window(1)->State().Failures;
    Trigger("StopTesting");
    EXPECT_FALSE(top->SessionRunning());
    // Long enough for ten epochs of the first receiver, a fix of the second
    // and the wait before the next trial.
    test::Pump(7000);
    EXPECT_EQ(a.ReceivedLines(), std::vector<std::string>(static_cast<size_t>(a_sent), "$PQNVCOLD*1D\r\n"));
    EXPECT_EQ(b.ReceivedLines(), std::vector<std::string>(static_cast<size_t>(b_sent), "$PQNVCOLD*1D\r\n"));
    EXPECT_NE(top->StatusText(1), "Test Session Completed");

    // The trial that was stopped is written as failed, and the files are
    // closed with what they had.
    const std::string session = SessionFolder();
    ASSERT_FALSE(session.empty());
    for (const char* name : {"RCV1", "RCV2"}) {
        const std::string base = session + "/" + name + "/" + name + "_TTFF_COLD_NMEA";
        EXPECT_EQ(test::ReadFileBytes(base + "_Results.txt"), "-1\t% 1\t\r\n") << name;
        EXPECT_FALSE(test::ReadFileBytes(base + ".txt").empty()) << name;
    }
    // Start runs again after a stop.
    EXPECT_TRUE(top->findChild<QAction*>("exectest")->isEnabled());
}

// Reads "a b c ..." blank-separated values of a fixed-width line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> out;
    std::string w;
    for (char c : line) {
        if (c == ' ' || c == '\r' || c == '\n') {
            if (!w.empty()) out.push_back(w);
            w.clear();
        } else {
            w += c;
        }
    }
    if (!w.empty()) out.push_back(w);
    return out;
}

// Field `n` (0 = the sentence name) of the sentence that starts at `from`.
std::string SentenceField(const std::string& text, size_t from, int n) {
    size_t at = from;
    for (int k = 0; k < n; ++k) at = text.find(',', at) + 1;
    return text.substr(at, text.find_first_of(",*", at) - at);
}

double NmeaDegrees(const std::string& field, int degree_digits) {
    return std::stod(field.substr(0, static_cast<size_t>(degree_digits))) +
           std::stod(field.substr(static_cast<size_t>(degree_digits))) / 60.0;
}

// The bench's own files, read by the analysis program afterwards: every
// trial's TTFF and fix epoch in fix_info are those of the results file.
TEST_F(SessionEndToEnd, TtffAnalysisOfTheSessionFolderFindsEachTrialsFixEpoch) {
    // Five epochs a second, so that twelve epochs after each fix fit into
    // the wait before the next restart.
    AddReceiver(3, {1200, 1900, 1500}, 200, 0, true);
    AddReceiver(4, {1000}, 200, 0, true);
    WriteConfig(3, 3, 3);
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 45000))
        << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    top.reset();  // every log closed, as after the session

    const std::string folder = SessionFolder() + "/RCV1/";
    const std::vector<std::string> results = test::SplitLines(test::ReadFileBytes(folder + "RCV1_TTFF_COLD_NMEA_Results.txt"));
    ASSERT_EQ(results.size(), 3u);

    QProcess navsift;
    navsift.setWorkingDirectory(QString::fromStdString(folder));
    navsift.start(QString(FIXBENCH_BUILD_DIR_DEFAULT) + "/analysis/navsift", {"-nmea", "./", "-ttff"});
    ASSERT_TRUE(navsift.waitForFinished(30000));
    const std::string out = navsift.readAllStandardOutput().toStdString();
    const std::string err = navsift.readAllStandardError().toStdString();
    EXPECT_EQ(navsift.exitCode(), 0) << err;
    EXPECT_NE(out.find("Processing RCV1_TTFF_COLD_NMEA.txt...\n"), std::string::npos) << out << err;

    const std::vector<std::string> fix_info =
        test::SplitLines(test::ReadFileBytes(folder + "report/ttff_analysis/COLD/fix_info_RCV1_TTFF_COLD_NMEA_Results.txt"));
    ASSERT_EQ(fix_info.size(), 3u) << err;
    EXPECT_TRUE(test::ReadFileBytes(folder + "report/ttff_analysis/COLD/global_info_RCV1_TTFF_COLD_NMEA_Results.txt").size() > 0);
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("trial " + std::to_string(k + 1));
        const std::string& line = results[k];
        const std::vector<std::string> cols = Words(fix_info[k]);
        ASSERT_EQ(cols.size(), 39u) << fix_info[k];
        EXPECT_EQ(cols[0], std::to_string(k + 1));
        // The TTFF as the results file has it.
        EXPECT_DOUBLE_EQ(std::stod(cols[1]), std::stod(line.substr(0, line.find('\t')))) << fix_info[k] << line;
        // The fix epoch: its receiver time is the second of the results
        // file's GGA, and its position that GGA's.
        const size_t gga = line.find("$GPGGA");
        ASSERT_NE(gga, std::string::npos);
        const std::string hms = SentenceField(line, gga, 1);
        const int sod = std::stoi(hms.substr(0, 2)) * 3600 + std::stoi(hms.substr(2, 2)) * 60 + std::stoi(hms.substr(4, 2));
        const long long gps = std::stoll(cols[2]);
        EXPECT_EQ((gps - 18) % 86400, sod) << fix_info[k] << line;
        EXPECT_NEAR(std::stod(cols[3]), NmeaDegrees(SentenceField(line, gga, 2), 2), 1e-6);
        EXPECT_NEAR(std::stod(cols[4]), NmeaDegrees(SentenceField(line, gga, 4), 3), 1e-6);
        EXPECT_EQ(cols[6], "1") << "fix quality of the fix epoch";
    }
}

}  // namespace

// A receiver unplugged in the middle of a trial (the process at the far end
// of its pseudo-terminal killed, just after the bench's thread made an
// unrelated system call that failed): its trials fail at once, the port is
// not polled on, the other receiver's trials go on, and the session ends
// without waiting out the longest acceptable TTFF and a minute.
TEST_F(SessionEndToEnd, ReceiverWhosePortVanishesMidTrialFailsItsTrialsAtOnce) {
    test::ScriptedReceiver& a = AddReceiver(3, {3000}, 500);
    AddReceiver(4, {8000}, 500);
    receivers[1]->RelayThroughChildProcess();
    const std::string lost_path = receivers[1]->DevicePath();
    WriteConfig(2, 1, 1);
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return receivers[1]->Restarts().size() == 1; }, 8000));
    test::Pump(300);
    const std::string sent = receivers[1]->Sent();
    const long reads_before = test::ReadCallsOfThisThread();
    receivers[1]->KillRelayProcess();  // unplugged
    ASSERT_NE(::mkdir(home->Path().c_str(), 0700), 0);
    ASSERT_EQ(errno, EEXIST);

    ASSERT_TRUE(test::WaitFor([&] { return Window(1)->DevicePortLost(); }, 3000));
    const std::string lost_text = "Device RCV2: port 4 (" + lost_path + ") lost";
    EXPECT_EQ(top->StatusText(2).rfind(lost_text, 0), 0u) << top->StatusText(2);
    test::Pump(500);
    EXPECT_LT(test::ReadCallsOfThisThread() - reads_before, 200)
        << "the lost port is not read over and over, before its loss is seen or after";
    // The failed trial's error and the next trial's progress line come; the
    // loss stays in view beside them, in the main window and the device's.
    bool error_seen = false, second_seen = false;
    ASSERT_TRUE(test::WaitFor([&] {
        const std::string one = top->StatusText(1), two = top->StatusText(2);
        if (two.rfind(lost_text, 0) != 0) {
            ADD_FAILURE() << "panel 2 lost the port's text: " << one << " / " << two;
            return true;
        }
        error_seen = error_seen || one == "Time Measure ERROR!";
        second_seen = second_seen || two == lost_text + " | TEST: COLD  ongoing 2 of 2";
        return one == "Test Session Completed";
    }, 20000)) << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_TRUE(error_seen);
    EXPECT_TRUE(second_seen);
    EXPECT_EQ(Window(1)->State().Console.Status->PanelText(1), "PORT LOST") << "not the restart it could not send";
    EXPECT_EQ(a.Restarts().size(), 2u);

    const std::string session = SessionFolder();
    const std::string lost = session + "/RCV2/RCV2_TTFF_COLD_NMEA";
    EXPECT_EQ(test::ReadFileBytes(lost + "_Results.txt"), "-1\t% 1\t\r\n-1\t% 2\t\r\n");
    const std::string log = test::ReadFileBytes(lost + ".txt");
    ASSERT_FALSE(log.empty());
    EXPECT_NE(sent.find(log), std::string::npos) << "the log is a stretch of what the receiver sent";
    EXPECT_NE(log.find("$PQNVRST,COLD"), std::string::npos) << "up to the restart and after";
    const std::vector<std::string> kept =
        test::SplitLines(test::ReadFileBytes(session + "/RCV1/RCV1_TTFF_COLD_NMEA_Results.txt"));
    ASSERT_EQ(kept.size(), 2u);
    for (const std::string& line : kept) EXPECT_NE(line.rfind("-1\t", 0), 0u) << line;

    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    const size_t first = system_log.find("Device RCV2: port 4 lost (" + lost_path + ": ");
    EXPECT_NE(first, std::string::npos) << system_log;
    EXPECT_EQ(system_log.find("Device RCV2: port 4 lost", first + 1), std::string::npos) << "said once";
    EXPECT_EQ(system_log.find("did not complete"), std::string::npos) << "not left to the silence guard";
    EXPECT_NE(system_log.find(lost_text + ", command not sent (SendNmeaCommand)"), std::string::npos) << system_log;
    EXPECT_EQ(system_log.find("Port closed"), std::string::npos) << "every line about the port names it";
}

// A receiver unplugged in the first trial and plugged in again after it, its
// device path made anew, with the port time-out on: the port opens again,
// the later trials are measured, and the receiver's log of the session goes
// on, appended after one system-log line that marks the gap.
TEST_F(SessionEndToEnd, ReceiverWhosePortComesBackLogsAgainIntoTheSessionsFile) {
    AddReceiver(3, {1500}, 500);
    AddReceiver(4, {8000}, 500);
    receivers[1]->RelayThroughChildProcess();
    WriteConfig(3, 1, 1);
    OpenBench();
    Window(1)->DeviceSetSerialPortTimeout(true, 200);  // Options > Device Serial Port Timeout
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return receivers[1]->Restarts().size() == 1; }, 8000));
    test::Pump(300);
    receivers[1]->KillRelayProcess();  // unplugged
    ASSERT_TRUE(test::WaitFor([&] { return Window(1)->DevicePortLost(); }, 3000));
    const std::string session = SessionFolder();
    const std::string base = session + "/RCV2/RCV2_TTFF_COLD_NMEA";
    ASSERT_TRUE(test::WaitFor([&] { return !test::ReadFileBytes(base + "_Results.txt").empty(); }, 10000));
    const std::string before = test::ReadFileBytes(base + ".txt");
    ASSERT_FALSE(before.empty());

    // Plugged in again: a new terminal for the same port number.
    test::ScriptedReceiver::Script again;
    again.fix_delays_ms = {2000, 1200};
    again.epoch_ms = 500;
    again.latitude = "4512.250,N";
    again.longitude = "00741.875,E";
    test::ScriptedReceiver back(again);
    test::WriteFileBytes(home->File("ComPorts.txt"),
                         "3 " + receivers[0]->DevicePath() + "\n4 " + back.DevicePath() + "\n");
    ASSERT_TRUE(test::WaitFor([&] { return Window(1)->Port().PortOpen(); }, 3000));
    EXPECT_EQ(top->StatusText(2).find(") lost"), std::string::npos) << "the loss is over: " << top->StatusText(2);
    ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 30000))
        << "status: " << top->StatusText(1) << " / " << top->StatusText(2);

    const std::vector<std::string> results = test::SplitLines(test::ReadFileBytes(base + "_Results.txt"));
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0], "-1\t% 1\t\r\n");
    ASSERT_EQ(back.Restarts().size(), 2u);
    const std::string log = test::ReadFileBytes(base + ".txt");
    ASSERT_EQ(log.rfind(before, 0), 0u) << "the same file, appended";
    for (const test::ScriptedReceiver::Restart& r : back.Restarts()) {
        EXPECT_NE(log.find(r.fix_gga, before.size()), std::string::npos) << "each later fix is logged: " << r.fix_gga;
    }
    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    const std::string gap = "Device RCV2: port 4 (" + back.DevicePath() +
                            ") open again; logging goes on after the gap in " + base + ".txt";
    const size_t at = system_log.find(gap);
    EXPECT_NE(at, std::string::npos) << system_log;
    EXPECT_EQ(system_log.find("open again", at + gap.size()), std::string::npos) << "one line for the gap";
}

// One receiver is unplugged mid-trial and the other never answers its
// restart command, so it is disabled: the trial is written as failed and the
// session stops there as a failure, with one line saying why, instead of
// running its other trials with no receiver.
TEST_F(SessionEndToEnd, SessionWithNoReceiverLeftStopsAsAFailure) {
    test::ScriptedReceiver& deaf = AddReceiver(3, {3000}, 50, 1000);
    AddReceiver(4, {8000}, 500);
    receivers[1]->RelayThroughChildProcess();
    WriteConfig(5, 1, 1);
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return receivers[1]->Restarts().size() == 1; }, 8000));
    receivers[1]->KillRelayProcess();  // unplugged
    ASSERT_TRUE(test::WaitFor([&] { return Window(1)->DevicePortLost(); }, 3000));

    // Six unanswered commands of ten 50 ms epochs each disable the other.
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 15000))
        << "status: " << top->StatusText(1) << " / " << top->StatusText(2);
    const std::string why = "No receiver left in the test session (RCV1 disabled, RCV2 port 4 lost)";
    EXPECT_EQ(top->StatusText(1), "Test Session FAILED: " + why);
    EXPECT_EQ(deaf.CommandsSeen(), 6);
    const std::string session = SessionFolder();
    // The receiver taken out goes on talking into a log that is closed.
    const std::string deaf_log = session + "/RCV1/RCV1_TTFF_COLD_NMEA.txt";
    const size_t logged = test::ReadFileBytes(deaf_log).size();
    test::Pump(1500);  // a wait and a trial's time: nothing more runs
    EXPECT_EQ(deaf.CommandsSeen(), 6);
    EXPECT_GT(logged, 0u);
    EXPECT_EQ(test::ReadFileBytes(deaf_log).size(), logged);
    EXPECT_FALSE(Window(0)->State().PrimaryOpen);

    EXPECT_EQ(test::ReadFileBytes(session + "/RCV2/RCV2_TTFF_COLD_NMEA_Results.txt"), "-1\t% 1\t\r\n");
    EXPECT_EQ(test::ReadFileBytes(session + "/RCV1/RCV1_TTFF_COLD_NMEA_Results.txt"), "-1\t% 1\t\r\n");
    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    const size_t first = system_log.find("Test session stopped: " + why + " during COLD test");
    EXPECT_NE(first, std::string::npos) << system_log;
    EXPECT_EQ(system_log.find("No receiver left", system_log.find('\n', first)), std::string::npos) << "said once";
    EXPECT_EQ(system_log.find("Test Session Completed"), std::string::npos);
}

// Closing the main window in the middle of a trial: the user is asked first.
// No keeps the session running; Yes stops it as Stop would, every log closed
// with what it received, and the system log says where it stopped.
TEST_F(SessionEndToEnd, ClosingTheMainWindowDuringATrialAsksFirstAndStopsCleanly) {
    AddReceiver(3, {30000}, 200);
    AddReceiver(4, {30000}, 200);
    WriteConfig(3, 1, 1);
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                              3000));
    Trigger("exectest");
    ASSERT_TRUE(test::WaitFor([&] { return receivers[0]->Restarts().size() == 1 && receivers[1]->Restarts().size() == 1; },
                              8000));
    test::Pump(300);

    auto& prompts = platform::Prompts::Instance();
    prompts.QueueAnswer(platform::Answer::No);
    EXPECT_FALSE(top->close()) << "the window stays";
    std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "WARNING: A test session is running. Stop the session and close Fixbench?");
    EXPECT_TRUE(top->SessionRunning());
    const size_t ggas = static_cast<size_t>(Window(0)->State().GGACount);
    ASSERT_TRUE(test::WaitFor([&] { return static_cast<size_t>(Window(0)->State().GGACount) > ggas + 2; }, 3000))
        << "the receivers are still heard";
    EXPECT_EQ(receivers[0]->Restarts().size(), 1u) << "the same trial goes on";

    const std::string session = SessionFolder();
    // What each device window had taken in, up to its last whole line.
    std::vector<std::string> heard;
    for (int s = 0; s < 2; ++s) heard.push_back(Window(s)->State().CurrentGGA);
    const std::string system_log_path = bench::SystemLogPath();
    prompts.QueueAnswer(platform::Answer::Yes);
    EXPECT_TRUE(top->close());
    EXPECT_FALSE(top->SessionRunning());
    EXPECT_EQ(dialogs_test::TakeAsked().size(), 1u);
    const size_t commands = receivers[0]->Received().size();
    test::Pump(1500);
    EXPECT_EQ(receivers[0]->Received().size(), commands) << "nothing more is sent";

    const std::string system_log = test::ReadFileBytes(system_log_path);
    EXPECT_NE(system_log.find("Test session stopped: the main window was closed during COLD test, trial 1 of 3; "
                              "RCV1: failed (-1), RCV2: failed (-1)\r\n"),
              std::string::npos)
        << system_log;
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string log = test::ReadFileBytes(session + "/" + name + "/" + name + "_TTFF_COLD_NMEA.txt");
        ASSERT_FALSE(heard[static_cast<size_t>(s)].empty());
        EXPECT_NE(log.find(heard[static_cast<size_t>(s)]), std::string::npos) << "the last sentence taken in is logged";
        EXPECT_NE(receivers[static_cast<size_t>(s)]->Sent().find(log), std::string::npos)
            << "the log is a stretch of what the receiver sent";
        EXPECT_EQ(log.substr(log.size() - 2), "\r\n");
        // The trial it stopped is failed in every file of the test, and the
        // statistics are written for what the results file holds.
        const std::string results = session + "/" + name + "/" + name + "_TTFF_COLD_NMEA_Results";
        EXPECT_EQ(test::ReadFileBytes(results + ".txt"), "-1\t% 1\t\r\n");
        for (const char* table : {"_Results_T2A.csv", "_Results_T2U.csv"}) {
            const std::vector<std::string> rows = test::SplitLines(test::ReadFileBytes(results + table));
            ASSERT_EQ(rows.size(), 2u) << table;
            EXPECT_EQ(rows[1], "-1,1" + std::string(73, ',') + "\r\n") << table;
        }
        EXPECT_EQ(test::ReadFileBytes(results + "_Results_GSA.txt"), "-1\t% 1\t\r\n");
        EXPECT_EQ(test::ReadFileBytes(results + "_Results_T2A_T2U_Statistics.csv"),
                  "%SatID,T2Asamp,T2Aave,T2Amax,T2Amin,T2Usamp,T2Uave,T2Umax,T2Umin\r\n");
    }
}
