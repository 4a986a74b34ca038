// What the bench tells a person before and after a session, through its real
// windows and two receivers on pseudo-terminals: Start with nothing to keep
// asks first and the system log says so; the status bar lets go of what no
// longer holds and says when a session was stopped.
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "tests/session/dialogs_ui.h"
#include "tests/session/keys_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"
#include "tests/support/xvfb.h"

namespace {

class SessionNotices : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        xvfb.reset();  // after the bench's connection to it has gone
        dialogs_test::ResetPrompts();
    }

    // Two receivers on ports 3 and 4 that fix `fix_ms` after each restart,
    // one COLD trial; `results`: the device page's "Results Logging" and
    // "Global Logging" ticked (a new configuration has them clear).
    void OpenBench(bool results, int fix_ms = 60000) {
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {fix_ms};
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
        bench::SystemConfig c = test::TwoReceiverConfig(3, results);
        for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
        test::SetFirstTest(c, test::ColdTestLine(1, 0, 0));
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
        bench::BenchtopOptions options;
        options.allMenus = true;
        top = std::make_unique<bench::Benchtop>(factory, nullptr, options);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(1), nullptr);
        keys_test::Focus(top.get());
    }
    std::string SystemLog() const { return test::ReadFileBytes(bench::SystemLogPath()); }
    std::string Panel1() const { return top->StatusText(1); }

    std::unique_ptr<test::TempHome> home;
    std::unique_ptr<test::Xvfb> xvfb;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

constexpr const char* kNoResults =
    "No results file and no log will be written: \"Results Logging\" and \"Global Logging\" are off for every "
    "enabled receiver";

TEST_F(SessionNotices, StartWithNoResultsToWriteAsksFirstAndTheSystemLogSaysSo) {
    OpenBench(false, 1000);
    {
        // Tab from Yes to No, then Enter: nothing starts.
        keys_test::BoxAnswer no({{Qt::Key_Tab, QStringLiteral("\t")}, {Qt::Key_Return, QStringLiteral("\r")}});
        ASSERT_TRUE(test::PressKey(Qt::Key_F5));
        ASSERT_TRUE(no.Answered()) << "F5 started a session that keeps nothing without a word";
        EXPECT_EQ(no.Text().toStdString(), std::string(kNoResults) + ".\n\nStart the test session anyway?");
    }
    EXPECT_FALSE(top->SessionRunning()) << "No still started the session";
    EXPECT_NE(SystemLog().find(std::string("Test session not started: ") + kNoResults + "\r\n"), std::string::npos)
        << SystemLog();

    // Enter goes on as configured, and the session says what it keeps.
    keys_test::Focus(top.get());
    {
        keys_test::BoxAnswer enter({{Qt::Key_Return, QStringLiteral("\r")}});
        ASSERT_TRUE(test::PressKey(Qt::Key_F5));
        ASSERT_TRUE(enter.Answered());
    }
    EXPECT_TRUE(top->SessionRunning()) << "Enter did not go on";
    EXPECT_NE(SystemLog().find(std::string("Test session keeps no results: ") + kNoResults + "\r\n"),
              std::string::npos)
        << SystemLog();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000)) << "the one trial never ended";
    EXPECT_EQ(Panel1(), "Test Session Completed");
}

// A session that keeps its results starts at once, as unattended runs need;
// Stop leaves the first panel saying so.
TEST_F(SessionNotices, WithResultsStartAsksNothingAndStopSaysTheSessionWasStopped) {
    OpenBench(true);
    dialogs_test::TakeAsked();
    ASSERT_TRUE(test::PressKey(Qt::Key_F5));
    ASSERT_TRUE(top->SessionRunning());
    EXPECT_TRUE(dialogs_test::TakeAsked().empty()) << "a question before a session that keeps its results";
    EXPECT_EQ(SystemLog().find("Test session keeps no results"), std::string::npos);
    ASSERT_TRUE(test::WaitFor([&] { return !Panel1().empty(); }, 5000)) << "the session showed no progress";
    ASSERT_TRUE(test::PressKey(Qt::Key_F5, Qt::ShiftModifier));
    ASSERT_FALSE(top->SessionRunning());
    EXPECT_EQ(Panel1(), "Test Session Stopped");
    EXPECT_EQ(top->StatusText(2), "") << "no test is shown as ongoing";
}

// The external program's failure leaves the status bar once a program is
// started, and when its window is closed.
TEST_F(SessionNotices, AnExternControlFailureGoesOnceItNoLongerHolds) {
    test::EnsureApp();
    xvfb = std::make_unique<test::Xvfb>();  // where its keys would go
    std::string why;
    if (!xvfb->Start(why)) GTEST_SKIP() << "needs an X server: " << why;
    OpenBench(true);
    QAction* entry = top->findChild<QAction*>("ExtCtr");
    ASSERT_NE(entry, nullptr);
    entry->trigger();
    auto* ext = top->findChild<QWidget*>("ExtControl");
    ASSERT_TRUE(ext && ext->isVisible());
    auto* path = ext->findChild<QLineEdit*>("Text1");
    auto* connect = ext->findChild<QPushButton*>("Command1");
    ASSERT_TRUE(path && connect);

    const std::string missing = home->File("no-such-program");
    path->setText(QString::fromStdString(missing));
    connect->click();
    const std::string failed = "Extern Control: the program was not started: not an executable file: " + missing;
    ASSERT_EQ(Panel1(), failed);
    EXPECT_NE(SystemLog().find(failed), std::string::npos);

    // A program that starts: the failure no longer holds.
    path->setText(QStringLiteral("/bin/sleep 30"));
    connect->click();
    EXPECT_EQ(Panel1(), "") << "the failure stays after the program started";
    const QString label = ext->findChild<QWidget*>("Label1")->property("text").toString();
    const long long pid = label.section(':', 1).trimmed().toLongLong();
    ASSERT_GT(pid, 0) << label.toStdString();
    ::kill(static_cast<pid_t>(pid), SIGTERM);

    // Failed again, then the window closed: nothing is under way any more.
    path->setText(QString::fromStdString(missing));
    connect->click();
    ASSERT_EQ(Panel1(), failed);
    ext->close();
    ASSERT_TRUE(test::WaitFor([&] { return top->findChild<QWidget*>("ExtControl") == nullptr; }, 3000));
    EXPECT_EQ(Panel1(), "") << "the failure stays after its window was closed";
    EXPECT_FALSE(entry->isChecked());

    // What others say is theirs: a later Extern Control has nothing to take back.
    top->StatusBarMessage(1, "Next Test");
    entry->trigger();
    entry->trigger();
    EXPECT_EQ(Panel1(), "Next Test");
}

}  // namespace
