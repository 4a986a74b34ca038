// A session whose folders sit on a small file system that fills up in the
// middle of a trial: the main window, its real device windows, two scripted
// receivers on pseudo-terminals and a tmpfs under the results folder (when
// this process may mount one).
#include <QAction>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/two_receivers.h"

namespace {

// Two receivers talking, a COLD entry of two trials running, both primary
// logs on the small disk and past their first kilobyte.
class FullDiskSession : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (" << disk.Why() << ")";
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {2500, 1000};
            s.epoch_ms = 200;
            s.latitude = port % 2 ? "4807.038,N" : "4512.250,N";
            s.longitude = port % 2 ? "01131.000,E" : "00741.875,E";
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
        bench::SystemConfig c = test::TwoReceiverConfig(3);
        for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
        test::SetFirstTest(c, test::ColdTestLine(2, 1, 1));
        ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        top->SetMaxAcceptableTTFF(20);
        ASSERT_NE(Window(0), nullptr);
        ASSERT_NE(Window(1), nullptr);
        ASSERT_TRUE(test::WaitFor([&] { return Window(0)->State().GGACount > 0 && Window(1)->State().GGACount > 0; },
                                  3000));
        QAction* start = top->findChild<QAction*>("exectest");
        ASSERT_NE(start, nullptr);
        start->trigger();
        ASSERT_TRUE(
            test::WaitFor([&] { return Window(0)->State().PrimaryOpen && Window(1)->State().PrimaryOpen; }, 5000));
        logs = {Window(0)->State().PrimaryFile.Path(), Window(1)->State().PrimaryFile.Path()};
        ASSERT_TRUE(test::WaitFor(
            [&] { return test::ReadFileBytes(logs[0]).size() > 1000 && test::ReadFileBytes(logs[1]).size() > 1000; },
            5000));
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        dialogs_test::ResetPrompts();
    }

    bench::CommWindow* Window(int slot) { return dynamic_cast<bench::CommWindow*>(top->NmeaWindow(slot)); }
    std::string Sent(int s) const { return receivers[static_cast<size_t>(s)]->Sent(); }
    // Every line of the log is one the receiver sent, whole.
    void ExpectOnlyWholeLinesSent(int s, const std::string& log) {
        const std::vector<std::string> sent = test::SplitLines(Sent(s));
        const std::set<std::string> lines(sent.begin(), sent.end());
        for (const std::string& line : test::SplitLines(log))
            ASSERT_TRUE(lines.count(line)) << "not a line the receiver sent, a splice: " << line;
    }
    static size_t Count(const std::string& all, const std::string& what) {
        size_t n = 0;
        for (size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
        return n;
    }

    test::TempHome home;
    test::SmallTmpfs disk{home.File("GPS_TEST")};
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
    std::vector<std::string> logs;
};

}  // namespace

// The disk fills while both receivers talk: the first refused write of each
// log is shown at once in the main window and written to the system log,
// both naming the file; the bytes are kept, and once the disk has room
// again every line is in its log whole, none the splice of two. Every held
// byte went out, so each log is said to be whole again and the session
// lost nothing.
TEST_F(FullDiskSession, LogsOnADiskThatFillsMidSessionAreToldAtOnceAndKeptWhole) {
    const size_t sent_at_fill[2] = {Sent(0).size(), Sent(1).size()};
    disk.Fill();
    const std::string told = "Log not written: " + logs[0] + " (No space left on device)";
    EXPECT_TRUE(test::WaitFor([&] { return top->StatusText(2).find(told) != std::string::npos; }, 3000))
        << top->StatusText(2);
    test::Pump(1500);  // the spell goes on
    EXPECT_TRUE(top->SessionRunning());
    EXPECT_NE(top->StatusText(2).find("Log not written: " + logs[1]), std::string::npos) << top->StatusText(2);
    const std::string during = test::ReadFileBytes(bench::SystemLogPath());
    for (const std::string& path : logs) {
        const std::string line = "Device I/O error (" + path + ": No space left on device)";
        const size_t at = during.find(line);
        EXPECT_NE(at, std::string::npos) << "written at once: " << line << "\n" << during;
        EXPECT_EQ(during.find(line, at + 1), std::string::npos) << "once";
    }
    EXPECT_GT(Window(0)->State().PrimaryFile.Unwritten(), 0u) << "the refused bytes wait";
    disk.Free();
    const size_t sent_at_free[2] = {Sent(0).size(), Sent(1).size()};

    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000))
        << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    EXPECT_EQ(top->StatusText(2), "") << "every held byte was written: nothing incomplete, no file shown as failing";
    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(system_log.find("SESSION INCOMPLETE"), std::string::npos) << system_log;
    for (int s = 0; s < 2; ++s) {
        const std::string& path = logs[static_cast<size_t>(s)];
        SCOPED_TRACE(path);
        EXPECT_EQ(Count(system_log, " : All held-back bytes written to " + path + ": the file is whole again\r\n"), 1u)
            << system_log;
        EXPECT_EQ(system_log.find("not written to " + path), std::string::npos) << system_log;
        const std::string log = test::ReadFileBytes(path);
        ASSERT_GT(log.size(), 5000u) << "the spell came in the middle of the log";
        const size_t at = Sent(s).find(log);
        ASSERT_NE(at, std::string::npos) << "the log is a stretch of what the receiver sent, nothing left out";
        EXPECT_LT(at, sent_at_fill[static_cast<size_t>(s)]);
        EXPECT_GT(at + log.size(), sent_at_free[static_cast<size_t>(s)]) << "it goes on past the spell";
        ExpectOnlyWholeLinesSent(s, log);
    }
}

// The disk fills and stays full to the end of the session: each log ends in
// a whole line, its drop is told once with its count, and the session ends
// incomplete, naming each log with the lines it lost.
TEST_F(FullDiskSession, LogsOnADiskThatStaysFullEndInWholeLinesAndEachLossIsNamed) {
    disk.Fill();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000))
        << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed") << "every entry ran";
    const std::string panel2 = top->StatusText(2);
    EXPECT_NE(panel2.find("SESSION INCOMPLETE: "), std::string::npos) << panel2;
    EXPECT_NE(panel2.find(" files could not be written"), std::string::npos) << panel2;
    const std::string system_log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(Count(system_log, "SESSION INCOMPLETE: "), 1u) << "said once\n" << system_log;
    for (int s = 0; s < 2; ++s) {
        const std::string& path = logs[static_cast<size_t>(s)];
        SCOPED_TRACE(path);
        const std::string log = test::ReadFileBytes(path);
        ASSERT_GT(log.size(), 1000u);
        EXPECT_EQ(log.back(), '\n') << "the log ends in part of a line: ..." << log.substr(log.size() - 60);
        EXPECT_NE(Sent(s).find(log), std::string::npos) << "the log is a stretch of what the receiver sent";
        ExpectOnlyWholeLinesSent(s, log);

        const std::string tail = " bytes) not written to " + path + ": the file did not take them";
        ASSERT_EQ(Count(system_log, tail), 1u) << "told once for the spell\n" << system_log;
        const size_t end = system_log.find(tail);
        const size_t start = system_log.rfind(" : ", end) + 3;
        const std::string lines = system_log.substr(start, system_log.find(" lines (", start) - start);
        ASSERT_FALSE(lines.empty());
        EXPECT_GT(std::stoi(lines), 0);
        EXPECT_EQ(Count(system_log, path + ": " + lines + " lines lost\r\n"), 1u)
            << "the session names the log with the lines it lost, once\n" << system_log;
    }
    EXPECT_EQ(system_log.find("whole again"), std::string::npos) << system_log;
}
