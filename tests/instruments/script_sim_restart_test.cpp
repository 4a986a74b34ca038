// A SCRIPT session whose script restarts the simulator, as a test engineer
// runs it: the main window with real device windows, two scripted receivers
// on pseudo-terminals, the real script panel and simulator link against the
// fake simulator on 127.0.0.1. A restart that fails must end the script's
// wait, fail its entry and let the session go on; a script line that cannot
// run says so.
#include <QAction>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/instruments/sim_mng.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

class ScriptSimRestart : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {300};
            s.epoch_ms = 250;
            s.gsv = false;
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        dialogs_test::ResetPrompts();
    }

    // One SCRIPT entry running `lines`, then a second that must still run.
    void Open(const std::vector<std::string>& lines) {
        auto write = [&](const std::string& name, const std::vector<std::string>& script) {
            std::string file = std::to_string(script.size()) + "\r\n";
            for (const std::string& l : script) file += "\"" + l + "\"\r\n";
            test::WriteFileBytes(home->File(name), file);
        };
        write("restart.txt", lines);
        write("after.txt", {"SEND>$PQNVAFTER", "END>"});
        bench::SystemConfig c = test::TwoReceiverConfig(3, false);
        test::SetFirstTest(c, "SCRIPT,0," + home->File("restart.txt") + ",");
        c.TestLines[1] = "SCRIPT,0," + home->File("after.txt") + ",";
        bench::ParseTestLine(c.TestLines[1], c.Tests[1]);
        c.Tests[1].Enabled = bench::FlagSet;
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(0), nullptr);
        ASSERT_NE(top->NmeaWindow(1), nullptr);
    }

    // Starts the session and waits until it has ended.
    void RunSession(int timeout_ms) {
        top->findChild<QAction*>("exectest")->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, timeout_ms))
            << "session still running: " << top->StatusText(1) << " / " << top->StatusText(2);
    }

    std::string SystemLog() const { return test::ReadFileBytes(bench::SystemLogPath()); }

    // How many of the receivers got `what`.
    int Received(const std::string& what) const {
        int n = 0;
        for (const auto& r : receivers) n += r->Received().find(what) != std::string::npos ? 1 : 0;
        return n;
    }

    std::vector<std::string> RestartScript(uint16_t port) const {
        return {"SIMCONNECT>127.0.0.1>" + std::to_string(port),
                "DELAY>00:00:02",
                "SIMSTOP>",  // answered "Ended": the restart check will go ahead
                "DELAY>00:00:02",
                "SIMCHECKRESTART>",
                "SEND>$PQNVNEVER",
                "END>"};
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(ScriptSimRestart, ALinkDroppedAtTheRestartsStatusQueryFailsTheEntryAndTheSessionGoesOn) {
    test::FakeSimServer server(0);
    // "-,EN", the check's status query, then the restart's own: gone there,
    // and at every status query after each connection again.
    server.drop_after_commands = 3;
    server.drop_unanswered = true;
    Open(RestartScript(server.Port()));
    top->Simulator().SetAnswerTimeoutMs(3000);
    RunSession(60000);

    const std::vector<std::string> got = server.CommandTexts();
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 3), (std::vector<std::string>{"-,EN", "NULL", "NULL"}));
    for (size_t i = 3; i < got.size(); ++i) EXPECT_EQ(got[i], "NULL") << "only asked again, once connected again";
    EXPECT_GE(server.Connections(), 2);
    EXPECT_TRUE(top->Simulator().IsSimMngFailed());
    const std::string log = SystemLog();
    const std::string failure =
        "script \"" + home->File("restart.txt") + "\" line 5 \"SIMCHECKRESTART>\": the simulator restart failed";
    EXPECT_NE(log.find(" : Script stopped: " + failure + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" : Test entry 0 (SCRIPT) failed: " + failure + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(": the simulator closed the connection"), std::string::npos) << log;
    EXPECT_NE(log.find("SESSION INCOMPLETE: 1 test entry failed"), std::string::npos) << log;
    // A notice before it (a port lost) is no part of this session: the log
    // says what happened.
    EXPECT_EQ(top->StatusText(2).rfind("SESSION INCOMPLETE: 1 test entry failed", 0), 0u)
        << top->StatusText(2) << "\nsystem log:\n" << log;
    // Nothing after the failed restart ran; the next entry did.
    EXPECT_EQ(Received("$PQNVNEVER"), 0);
    EXPECT_EQ(Received("$PQNVAFTER"), 2);
}

TEST_F(ScriptSimRestart, AScenarioThatStaysArmingFailsTheEntryAtTheBound) {
    test::FakeSimServer server(0);
    server.arming_ms = 1 << 30;
    Open(RestartScript(server.Port()));
    top->Simulator().SetAnswerTimeoutMs(4000);
    RunSession(60000);

    EXPECT_TRUE(top->Simulator().IsSimMngFailed());
    const std::string log = SystemLog();
    EXPECT_NE(log.find("Simulator did not get the scenario running within 4 s: it stayed Arming"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Test entry 0 (SCRIPT) failed"), std::string::npos) << log;
    EXPECT_NE(log.find("SESSION INCOMPLETE: 1 test entry failed"), std::string::npos) << log;
    EXPECT_EQ(Received("$PQNVNEVER"), 0);
    EXPECT_EQ(Received("$PQNVAFTER"), 2);
}

// A completed restart still lets the script go on, and a line that cannot
// run is said in the system log rather than silently doing nothing.
TEST_F(ScriptSimRestart, ACompletedRestartGoesOnAndALineThatCannotRunIsLogged) {
    test::FakeSimServer server(0);
    std::vector<std::string> lines = RestartScript(server.Port());
    lines[5] = "SENDCHRS>0>$PQNVZERO";
    lines.insert(lines.begin() + 6, "SEND>$PQNVDONE");
    Open(lines);
    RunSession(60000);

    EXPECT_TRUE(top->Simulator().IsSimMngCompleted());
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    const std::string log = SystemLog();
    EXPECT_NE(log.find("Script line 6 \"SENDCHRS>0>$PQNVZERO\": field A1 \"0\" is not an interval of at least 1 ms; "
                       "skipped (ExecuteCommand)"),
              std::string::npos)
        << log;
    EXPECT_EQ(Received("$PQNVDONE"), 2);
    EXPECT_EQ(Received("PQNVZERO"), 0);
}

}  // namespace
