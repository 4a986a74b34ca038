// Ending a running session from outside the Testing menu's Stop, on the real
// clock with two scripted receivers on pseudo-terminals: "New Test Session"
// and "Load Config" ask first, a shutdown's SIGTERM and a closed terminal's
// SIGHUP stop it without asking. Whichever way, the trial under way is
// written as failed, the system log says where the session stopped and
// every log is closed whole; the program itself ends with status 0.
#include <QAction>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "platform/qt/termination_signals.h"
#include "platform/ui/prompts.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

class SessionStop : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {30000};  // the trial is still running when it is ended
            s.epoch_ms = 200;
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
        bench::SystemConfig c = test::TwoReceiverConfig(3);
        for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
        test::SetFirstTest(c, test::ColdTestLine(3, 1, 1));
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        dialogs_test::ResetPrompts();
    }

    // The main window, OK in its configuration dialog, Start, and the first
    // trial under way on both receivers.
    void StartSession() {
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(1), nullptr);
        auto* w = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
        ASSERT_TRUE(test::WaitFor([&] { return w->State().GGACount > 0; }, 3000));
        top->findChild<QAction*>("exectest")->trigger();
        ASSERT_TRUE(top->SessionRunning());
        ASSERT_TRUE(test::WaitFor(
            [&] { return receivers[0]->Restarts().size() == 1 && receivers[1]->Restarts().size() == 1; }, 8000));
        test::Pump(300);
        system_log = bench::SystemLogPath();
    }

    std::string DeviceFile(const std::string& name, const std::string& suffix) {
        const QStringList s =
            QDir(QString::fromStdString(home->File("GPS_TEST"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (s.size() != 1) {
            ADD_FAILURE() << s.size() << " session folders";
            return {};
        }
        return test::ReadFileBytes(home->File("GPS_TEST/" + s[0].toStdString() + "/" + name + "/" + name +
                                              "_TTFF_COLD_NMEA" + suffix));
    }

    // What the stop leaves: the trial as failed, the line, the logs whole.
    void ExpectStoppedCleanly(const std::string& why) {
        EXPECT_FALSE(top && top->SessionRunning());
        const std::string log = test::ReadFileBytes(system_log);
        EXPECT_NE(log.find("Test session stopped: " + why +
                           " during COLD test, trial 1 of 3; RCV1: failed (-1), RCV2: failed (-1)\r\n"),
                  std::string::npos)
            << log;
        for (int s = 0; s < 2; ++s) {
            const std::string name = "RCV" + std::to_string(s + 1);
            SCOPED_TRACE(name);
            EXPECT_EQ(DeviceFile(name, "_Results.txt"), "-1\t% 1\t\r\n");
            const std::string nmea = DeviceFile(name, ".txt");
            ASSERT_GE(nmea.size(), 2u);
            EXPECT_EQ(nmea.substr(nmea.size() - 2), "\r\n");
            EXPECT_NE(receivers[static_cast<size_t>(s)]->Sent().find(nmea), std::string::npos)
                << "the log is a stretch of what the receiver sent";
        }
        const size_t sent = receivers[0]->Received().size();
        test::Pump(1200);
        EXPECT_EQ(receivers[0]->Received().size(), sent) << "nothing more is sent";
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
    std::string system_log;
};

TEST_F(SessionStop, NewTestSessionAsksFirstAndYesStopsTheSessionWithItsLine) {
    StartSession();
    auto& prompts = platform::Prompts::Instance();
    prompts.QueueAnswer(platform::Answer::No);
    top->findChild<QAction*>("NewTestSession")->trigger();
    std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "WARNING: A test session is running. Stop the session and start a new one?");
    EXPECT_TRUE(top->SessionRunning()) << "No keeps it running";
    EXPECT_NE(top->NmeaWindow(0), nullptr);
    EXPECT_TRUE(top->NmeaWidget(0)->isVisible()) << "and its windows";
    EXPECT_EQ(test::ReadFileBytes(system_log).find("Test session stopped"), std::string::npos);

    prompts.QueueAnswer(platform::Answer::Yes);
    top->findChild<QAction*>("NewTestSession")->trigger();
    EXPECT_EQ(dialogs_test::TakeAsked().size(), 1u);
    EXPECT_TRUE(top->ConfigDialog().isVisible()) << "the new session's configuration";
    ExpectStoppedCleanly("New Test Session was chosen");
}

// Testing > Stop ends the trial as every other road does.
TEST_F(SessionStop, StopFromTheTestingMenuWritesTheTrialAsFailedAndSaysWhere) {
    StartSession();
    top->findChild<QAction*>("StopTesting")->trigger();
    EXPECT_TRUE(dialogs_test::TakeAsked().empty()) << "Stop asks nothing";
    ExpectStoppedCleanly("Stop was chosen");
    // The companion files carry the failed trial too.
    for (const char* name : {"RCV1", "RCV2"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(DeviceFile(name, "_Results_Results_GSA.txt"), "-1\t% 1\t\r\n");
        const std::vector<std::string> rows = test::SplitLines(DeviceFile(name, "_Results_Results_T2A.csv"));
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[1], "-1,1" + std::string(73, ',') + "\r\n");
    }
}

TEST_F(SessionStop, LoadConfigAsksFirstAndYesStopsTheSessionWithItsLine) {
    StartSession();
    auto& prompts = platform::Prompts::Instance();
    prompts.QueueAnswer(platform::Answer::No);
    top->findChild<QAction*>("LoadConfig")->trigger();
    std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "WARNING: A test session is running. Stop the session and load another configuration?");
    EXPECT_TRUE(top->SessionRunning()) << "No keeps it running";
    EXPECT_TRUE(top->NmeaWidget(1)->isVisible());

    prompts.QueueAnswer(platform::Answer::Yes);
    prompts.QueueFileNames({});  // the file dialog cancelled
    top->findChild<QAction*>("LoadConfig")->trigger();
    ExpectStoppedCleanly("Load Config was chosen");
}

class SignalStop : public SessionStop, public ::testing::WithParamInterface<int> {};

// The program's own handling: the signal reaches the event loop and stops the
// session as closing the main window does, without a question.
TEST_P(SignalStop, StopsTheSessionAsClosingTheWindowDoes) {
    const int signo = GetParam();
    const std::string name = signo == SIGTERM ? "SIGTERM" : "SIGHUP";
    StartSession();
    platform::TerminationSignals stop_signals([this](const std::string& n) { top->StopForSignal(n); });
    ASSERT_TRUE(stop_signals.Installed());
    ASSERT_EQ(::kill(::getpid(), signo), 0);
    ASSERT_TRUE(test::WaitFor([&] { return !top->isVisible(); }, 3000)) << "the main window closes";
    EXPECT_TRUE(dialogs_test::TakeAsked().empty()) << "nobody is there to answer";
    EXPECT_FALSE(bench::SystemLogIsOpen());
    ExpectStoppedCleanly(name + " was received");
    EXPECT_NE(test::ReadFileBytes(system_log).find("Fixbench closed: " + name + " was received\r\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(TermAndHup, SignalStop, ::testing::Values(SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& i) { return i.param == SIGTERM ? "Term" : "Hup"; });

// The real program ends with status 0 on either signal, and says why.
TEST(ProgramSignals, FixbenchEndsWithStatusZeroOnSigtermAndSighup) {
    for (int signo : {SIGTERM, SIGHUP}) {
        const std::string name = signo == SIGTERM ? "SIGTERM" : "SIGHUP";
        SCOPED_TRACE(name);
        test::TempHome home;
        QProcess bench;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("FIXBENCH_HOME", QString::fromStdString(home.Path()));
        bench.setProcessEnvironment(env);
        bench.start(QString(FIXBENCH_BUILD_DIR_DEFAULT) + "/bench/fixbench", {});
        ASSERT_TRUE(bench.waitForStarted(3000));
        const QDir logs(QString::fromStdString(home.File("SystemLogs")));
        ASSERT_TRUE(test::WaitFor([&] { return !logs.entryList(QDir::Files).isEmpty(); }, 5000));
        ASSERT_EQ(::kill(static_cast<pid_t>(bench.processId()), signo), 0);
        ASSERT_TRUE(bench.waitForFinished(5000));
        EXPECT_EQ(bench.exitStatus(), QProcess::NormalExit) << "not ended by the signal";
        EXPECT_EQ(bench.exitCode(), 0);
        const QStringList files = logs.entryList(QDir::Files);
        ASSERT_EQ(files.size(), 1);
        const std::string log = test::ReadFileBytes(logs.filePath(files[0]).toStdString());
        EXPECT_NE(log.find("Fixbench closed: " + name + " was received\r\n"), std::string::npos) << log;
    }
}

}  // namespace
