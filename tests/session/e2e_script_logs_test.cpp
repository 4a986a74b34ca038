// A SCRIPT session on the real clock whose script restarts the simulator
// (the fake simulator on 127.0.0.1 reports its scenario ended): the
// receivers' logs are renamed after the trial number, and they must be made
// in each receiver's session folder, never in the folder the program was
// started from.
#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/instruments/script_file.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"
#include "tests/support/two_receivers.h"

namespace {

std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> out;
    for (const QString& f : QDir(QString::fromStdString(folder)).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
        out.push_back(f.toStdString());
    return out;
}

// The program started from a folder of its own, put back afterwards.
struct StartedIn {
    explicit StartedIn(const std::string& folder) : previous(QDir::currentPath().toStdString()) {
        QDir().mkpath(QString::fromStdString(folder));
        EXPECT_EQ(::chdir(folder.c_str()), 0);
    }
    ~StartedIn() { (void)::chdir(previous.c_str()); }
    std::string previous;
};

TEST(ScriptSessionLogs, ASimulatorRestartInAScriptRenamesTheLogsInsideTheSessionFolders) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    const StartedIn cwd(home.File("started_here"));
    test::FakeSimServer server(0);  // its scenario has run and ended

    std::vector<std::unique_ptr<test::EmulatedReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        receivers.push_back(std::make_unique<test::EmulatedReceiver>());
        receivers.back()->RegisterPort(3 + s);
        const std::string rcv = std::to_string(s + 1);
        receivers.back()->StartStream({test::Sentence("$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"),
                                       test::Sentence("$PQNVMARK,RCV" + rcv)},
                                      100);
    }

    // The first check asks the simulator for its state; the second sees it ended.
    test::WriteFileBytes(home.File("restart.scr"),
                         bench::instruments::FormatScriptFile({"SIMCONNECT>127.0.0.1>" + std::to_string(server.Port()),
                                                               "DELAY>00:00:01", "SIMCHECKRESTART>", "DELAY>00:00:01",
                                                               "SIMCHECKRESTART>", "DELAY>00:00:02", "END>"}));
    bench::SystemConfig c = test::TwoReceiverConfig(3);
    c.SimulatorType = "Spirent STR4500";
    c.SimHostName = "127.0.0.1";
    c.SimHostPort = server.Port();
    bench::TestEditorValues v;
    v.type = "SCRIPT";
    v.scriptFile = home.File("restart.scr");
    test::SetFirstTest(c, bench::BuildTestLine(v));
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    auto* w0 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(0));
    auto* w1 = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_NE(w0, nullptr);
    ASSERT_NE(w1, nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return w0->State().GGACount > 1 && w1->State().GGACount > 1; }, 4000));

    QAction* start = top->findChild<QAction*>("exectest");
    ASSERT_NE(start, nullptr);
    start->trigger();
    ASSERT_TRUE(top->SessionRunning());
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 60000))
        << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    bool restarted = false;
    for (const std::string& cmd : server.CommandTexts()) restarted = restarted || cmd == "RU";
    const std::string system_log_path = bench::SystemLogPath();
    top.reset();  // every log closed
    EXPECT_TRUE(restarted) << "the script restarted the simulator\n" << test::ReadFileBytes(system_log_path);

    EXPECT_TRUE(Entries(home.File("started_here")).empty())
        << "nothing is made where the program was started";
    const std::vector<std::string> sessions = Entries(home.File("GPS_TEST"));
    ASSERT_EQ(sessions.size(), 1u);
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string folder = home.File("GPS_TEST/" + sessions[0] + "/" + name);
        const std::string log = test::ReadFileBytes(folder + "/0.txt");
        EXPECT_NE(log.find(test::Sentence("$PQNVMARK," + name)), std::string::npos)
            << "the receiver's own lines, in its own folder: " << ::testing::PrintToString(Entries(folder))
        << ::testing::PrintToString(Entries(home.File("started_here")));
        EXPECT_EQ(log.find("$PQNVMARK,RCV" + std::to_string(2 - s)), std::string::npos);
    }
}

}  // namespace
