// Simulator entries against a simulator that closes its remote port when it
// rewinds and refuses connections for a while, on 127.0.0.1, with the main
// window, its real device windows and two scripted receivers. The lost link
// is connected again within the restart's bound; an entry fails only when
// its own attempt has run out of that bound.
#include <QAction>
#include <QDir>

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

// One HOT trial at one level on the simulator, no set-up delay.
constexpr const char* kHotOnSimulator = "HOT,1,1,0,0,4,2,-1,0,0,-130,-130,-130,5,0,0,0,0,0,0,0,,,0,0,0";

class SimulatorRelink : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.restart_command = "$PQNVHOT";
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

    // `entries` entries on the simulator, then `plain` HOT entries without it.
    void Run(uint16_t sim_port, int entries, int answer_timeout_ms, int plain = 0) {
        bench::SystemConfig c = test::HotReceiversWithSimulator(sim_port, kHotOnSimulator);
        bench::TestEditorValues hot;
        hot.type = "HOT";
        hot.testField = {"1", "0", "0", "6", "10"};
        for (int i = 1; i < entries + plain; ++i) {
            c.TestLines[i] = i < entries ? std::string(kHotOnSimulator) : bench::BuildTestLine(hot);
            bench::ParseTestLine(c.TestLines[i], c.Tests[i]);
            c.Tests[i].Enabled = bench::FlagSet;
        }
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(1), nullptr);
        if (answer_timeout_ms > 0) top->Simulator().SetAnswerTimeoutMs(answer_timeout_ms);
        top->findChild<QAction*>("exectest")->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 60000))
            << "still running: " << top->StatusText(1) << " / " << top->StatusText(2);
    }

    static size_t Count(const std::string& all, const std::string& what) {
        size_t n = 0;
        for (size_t at = all.find(what); at != std::string::npos; at = all.find(what, at + 1)) ++n;
        return n;
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(SimulatorRelink, ALinkClosedAtTheRewindAndRefusedForAMomentIsConnectedAgain) {
    test::FakeSimServer server(0);
    server.rewind_refusal_ms = 1500;
    Run(server.Port(), 1, 0);

    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    EXPECT_EQ(top->StatusText(2), "") << "nothing incomplete";
    EXPECT_TRUE(top->Simulator().IsSimMngCompleted());
    EXPECT_EQ(server.Connections(), 2);
    const std::vector<std::string> got = server.CommandTexts();
    ASSERT_GE(got.size(), 4u);
    // The status decides again after the reconnect: rewound, so START.
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 4),
              (std::vector<std::string>{"NULL", "RW", "NULL", "RU"}));
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("WARNING: simulator 127.0.0.1:" + std::to_string(server.Port()) +
                       ": the simulator closed the connection at the REWIND; connecting again"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("failed"), std::string::npos) << log;
    // The trial ran and was measured.
    const QStringList sessions = QDir(QString::fromStdString(home->File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(sessions.size(), 1);
    for (const char* name : {"RCV1", "RCV2"}) {
        SCOPED_TRACE(name);
        const QDir folder(QString::fromStdString(home->File("GPS_TEST/" + sessions[0].toStdString() + "/" + name)));
        const QStringList files = folder.entryList({"*_NMEA_Results_PW-130.txt"}, QDir::Files);
        ASSERT_EQ(files.size(), 1) << folder.path().toStdString() << ": " << folder.entryList().join(" ").toStdString();
        const std::string results = test::ReadFileBytes(folder.filePath(files[0]).toStdString());
        ASSERT_FALSE(results.empty());
        EXPECT_NE(results.rfind("-1\t", 0), 0u) << results;
    }
}

// Refused for good: each entry makes its own attempt, connecting again until
// its own bound, and only then fails; the session ends incomplete.
TEST_F(SimulatorRelink, EachEntryFailsOnlyWhenItsOwnAttemptRunsOut) {
    test::FakeSimServer server(0);
    server.rewind_refusal_ms = 0;
    Run(server.Port(), 2, 2500);

    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(Count(log, "Simulator restart: the link was lost ("), 2u) << log;
    EXPECT_EQ(Count(log, ") and not connected again within 2500 ms"), 2u) << log;
    EXPECT_NE(log.find("Test entry 0 (HOT) failed"), std::string::npos) << log;
    EXPECT_NE(log.find("Test entry 1 (HOT) failed"), std::string::npos) << log;
    EXPECT_EQ(top->StatusText(2).rfind("SESSION INCOMPLETE: 2 test entries failed", 0), 0u) << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1),
              "Test Session INCOMPLETE: 2 test entries failed - TEST FAILED: HOT - the simulator is not connected")
        << "the last entry's failure does not hide how the session ended";
    EXPECT_TRUE(top->Simulator().IsSimMngFailed());
}

// An entry fails and the next one runs to its end: the session did not run
// every entry, so both panels say it is incomplete.
TEST_F(SimulatorRelink, ASessionWithAFailedEntryIsIncompleteInBothPanels) {
    test::FakeSimServer server(0);
    server.rewind_refusal_ms = 0;
    Run(server.Port(), 1, 2500, 1);

    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Test entry 0 (HOT) failed"), std::string::npos) << log;
    EXPECT_EQ(log.find("Test entry 1 (HOT) failed"), std::string::npos) << log;
    // The second entry ran: its trial was measured.
    const QStringList sessions = QDir(QString::fromStdString(home->File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(sessions.size(), 1);
    for (const char* name : {"RCV1", "RCV2"}) {
        const std::string results = test::ReadFileBytes(
            home->File("GPS_TEST/" + sessions[0].toStdString() + "/" + name + "/" + name + "_TTFF_HOT_NMEA_Results.txt"));
        EXPECT_EQ(results.find("\t% 1\t$GPGGA,"), results.find('\t')) << name << ": " << results;
    }
    EXPECT_EQ(top->StatusText(2), "SESSION INCOMPLETE: 1 test entry failed");
    EXPECT_EQ(top->StatusText(1), "Test Session INCOMPLETE: 1 test entry failed");
}

// What a simulator in trouble answered is in the system log, cut to a line,
// with what the bench did about it; no answer is told as none.
TEST_F(SimulatorRelink, AFatalAnswerIsLoggedAndEndsTheRestartAtOnce) {
    test::FakeSimServer server(0);
    server.answer = "<msg><fatal>Scenario file not found\r\nC:\\scen\\none.scn</fatal></msg>";
    // A bound the session must not wait out: the fatal answer ends it first.
    Run(server.Port(), 1, 30000);

    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Simulator restart failed: the simulator answered the status query with <fatal> "
                       "\"Scenario file not found\"\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("did not answer"), std::string::npos) << log;
    EXPECT_EQ(log.find("none.scn"), std::string::npos) << "one line of it: " << log;
    EXPECT_NE(log.find("Test session stopped: Simulator restart failed (HOT)"), std::string::npos) << log;
    EXPECT_EQ(top->StatusText(1), "Test Session FAILED: Simulator restart failed (HOT)");
}

TEST_F(SimulatorRelink, AnAnswerOfNoiseIsToldAsAnAnswerWithoutAStatus) {
    test::FakeSimServer server(0);
    // A megabyte of bytes that hold no reply element.
    std::string noise(1 << 20, '\0');
    uint32_t x = 12345;
    for (char& c : noise) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 24);
        if (c == '<') c = '>';
    }
    server.answer = noise;
    Run(server.Port(), 1, 2500);

    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Simulator restart failed: the simulator answered the status query, but not with the status "
                       "it needs within 2500 ms; no reply element in its answer ("),
              std::string::npos)
        << log.substr(0, 4000);
    EXPECT_EQ(log.find("did not answer"), std::string::npos) << log.substr(0, 4000);
    EXPECT_TRUE(top->Simulator().IsSimMngFailed());
}

// Every reply cut in half by a dropped connection: the bench connects again
// each time; its outcome says so, never that it was not connected again,
// and the reconnections are not a line each.
TEST_F(SimulatorRelink, ALinkDroppedMidReplyAgainAndAgainIsToldWithItsReconnections) {
    test::FakeSimServer server(0);
    server.cut_replies = true;
    Run(server.Port(), 1, 7000);

    ASSERT_GE(server.Connections(), 3) << "the bench connected again each time";
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(log.find("not connected again"), std::string::npos) << log;
    // However the bound found the link (up, or down once more), the outcome
    // counts the losses and the reconnections.
    const size_t failed = log.find("Simulator restart failed");
    ASSERT_NE(failed, std::string::npos) << log;
    const std::string line = log.substr(failed, log.find('\n', failed) - failed);
    EXPECT_NE(line.find("7 s"), std::string::npos) << line;
    EXPECT_NE(line.find("the link was lost "), std::string::npos) << line;
    EXPECT_NE(line.find(" times and connected again "), std::string::npos) << line;
    EXPECT_NE(line.find("(the last loss: the simulator closed the connection at the "), std::string::npos) << line;
    EXPECT_LE(Count(log, "Simulator connected to"), 2u) << log;
    EXPECT_LE(Count(log, "connecting again"), 1u) << log;
}

}  // namespace
