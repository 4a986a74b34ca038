// Whole sessions on the real clock in which a receiver drops out: taken out
// for not answering, or the session stopped with a restart under way. The
// main window and its real device windows, scripted receivers on
// pseudo-terminals, and the files a test engineer opens.
#include <QAction>
#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
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
        bench::TestEditorValues v;
        v.type = "COLD";
        v.testField = {std::to_string(trials), std::to_string(wait_s), std::to_string(wait_s), "6", "10"};
        test::SetFirstTest(c, bench::BuildTestLine(v));
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
// first trial. Its files close with the session; the next start says it runs
// without it, and its data go nowhere in the meantime.
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

}  // namespace
