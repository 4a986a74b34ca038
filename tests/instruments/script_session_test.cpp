// SCRIPT tests as a test engineer runs them: the main window with real
// device windows, two scripted receivers on pseudo-terminals, the real clock.
// The receivers must see exactly the bytes the script and the almanac upload
// send, in that order, and the results grid and files what the script asks.
#include <QAction>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/devices/nmea.h"
#include "bench/instruments/command_panel_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "platform/core/numtext.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

std::string Framed(const std::string& body) { return body + "*" + bench::NMEA_Checksum(body) + "\r\n"; }

class ScriptSession : public ::testing::Test {
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

    test::ScriptedReceiver& AddReceiver(int port, std::vector<int> delays_ms) {
        test::ScriptedReceiver::Script s;
        s.fix_delays_ms = std::move(delays_ms);
        s.epoch_ms = 250;
        s.gsv = false;
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
        receivers.back()->RegisterPort(port);
        return *receivers.back();
    }

    // Two receivers on ports 3 and 4 and one SCRIPT test with its almanac.
    void WriteConfig(const std::string& test_line) {
        bench::SystemConfig c = test::TwoReceiverConfig(3, false);
        for (int s = 0; s < 2; ++s) {
            c.Devices[s].ColdC = "$PQNVCOLD";
        }
        test::SetFirstTest(c, test_line);
        ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    }

    void OpenBench() {
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(0), nullptr);
        ASSERT_NE(top->NmeaWindow(1), nullptr);
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(ScriptSession, ScriptAndAlmanacReachTheReceiversAndTheResults) {
    test::ScriptedReceiver& a = AddReceiver(3, {300, 1200});
    test::ScriptedReceiver& b = AddReceiver(4, {300, 1700});
    // Bytes of every value but line ends, so the upload cannot pass for lines.
    std::string almanac = "$PQNVALM,1,";
    for (int i = 0; i < 256; ++i)
        if (i != '\r' && i != '\n') almanac += static_cast<char>(i);
    almanac += "\r\n$PQNVALM,2,END\r\n";
    test::WriteFileBytes(home->File("alm.txt"), almanac);
    test::WriteFileBytes(home->File("extra.bin"), "$PQNVEXTRA,\x01\x02\xFF\r\n");
    const std::vector<std::string> script{
        "INITLOG>C:\\GPS_TEST>scripted",
        "SEND>$PQNVCOLD",
        "WAITFIX>20",
        "RESADDLINELABLE>1>first cold",
        "SENDMSGONPORT>4>$PQNVVER,1",
        "SENDFILE>extra.bin",
        "SENDCHRS>5>$PQNVDONE",
        "DELAY>00:00:01",
        "STOPLOG>",
        "END>",
        "SEND>$PQNVNEVER",
    };
    std::string file = std::to_string(script.size()) + "\r\n";
    for (const std::string& l : script) file += "\"" + l + "\"\r\n";
    test::WriteFileBytes(home->File("night.txt"), file);
    WriteConfig("SCRIPT,0," + home->File("night.txt") + "," + home->File("alm.txt"));
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return !a.Sent().empty() && !b.Sent().empty(); }, 3000));

    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 30000))
        << top->StatusText(1) << " / " << top->StatusText(2);

    // Erase, the almanac whole, then the script's own bytes, nothing between.
    const std::string common = Framed("$PQNVCOLD,15") + almanac + Framed("$PQNVCOLD");
    const std::string tail = std::string("$PQNVEXTRA,\x01\x02\xFF\r\n") + Framed("$PQNVDONE");
    EXPECT_EQ(a.Received(), common + tail);
    EXPECT_EQ(b.Received(), common + "$PQNVVER,1\r\n" + tail);

    // The fix the script waited for is in the grid under the script's label.
    bench::session::ResultsGrid& grid = top->Grid();
    EXPECT_EQ(grid.Cell(4, 0), "first cold");
    for (int s = 0; s < 2; ++s) {
        const test::ScriptedReceiver& rcv = s == 0 ? a : b;
        ASSERT_EQ(rcv.Restarts().size(), 2u);
        double ttff = 0;
        ASSERT_TRUE(platform::TryReadStrict(grid.Cell(4, s + 1), ttff)) << grid.Cell(4, s + 1);
        EXPECT_NEAR(ttff, rcv.Restarts()[1].delay_ms / 1000.0, 0.1);
    }

    // The panel shows the script by its file name, stopped at its END line.
    auto* window = top->findChild<bench::instruments::CommandPanelWindow*>("CommandPanel");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle().toStdString(), home->File("night.txt").substr(home->File("night.txt").rfind('\\') + 1));
    EXPECT_EQ(dialogs_test::Lines(window->findChild<QListWidget*>("List1")), script);
}

// An entry whose script cannot be loaded (no such file, or a first record
// that is no line count) did not run: the session goes on with the next
// entry but ends incomplete, with each such entry counted as failed.
TEST_F(ScriptSession, AnEntryWhoseScriptCannotBeLoadedCountsAsFailed) {
    test::ScriptedReceiver& a = AddReceiver(3, {300});
    test::ScriptedReceiver& b = AddReceiver(4, {300});
    test::WriteFileBytes(home->File("badcount.txt"), "two\r\n\"SEND>$PQNVBAD\"\r\n\"END>\"\r\n");
    test::WriteFileBytes(home->File("after.txt"), "2\r\n\"SEND>$PQNVAFTER\"\r\n\"END>\"\r\n");
    bench::SystemConfig c = test::TwoReceiverConfig(3, false);
    const std::vector<std::string> lines{"SCRIPT,0," + home->File("missing.txt") + ",",
                                         "SCRIPT,0," + home->File("badcount.txt") + ",",
                                         "SCRIPT,0," + home->File("after.txt") + ","};
    for (size_t i = 0; i < lines.size(); ++i) {
        c.TestLines[i] = lines[i];
        bench::ParseTestLine(c.TestLines[i], c.Tests[i]);
        c.Tests[i].Enabled = bench::FlagSet;
    }
    ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), c).ok);
    OpenBench();
    ASSERT_TRUE(test::WaitFor([&] { return !a.Sent().empty() && !b.Sent().empty(); }, 3000));

    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000))
        << top->StatusText(1) << " / " << top->StatusText(2);

    EXPECT_EQ(top->StatusText(2).rfind("SESSION INCOMPLETE: 2 test entries failed", 0), 0u) << top->StatusText(2);
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Test entry 0 (SCRIPT) failed: script \"" + home->File("missing.txt") + "\" could not be loaded"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Test entry 1 (SCRIPT) failed: script \"" + home->File("badcount.txt") +
                       "\" could not be loaded"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("SESSION INCOMPLETE: 2 test entries failed"), std::string::npos) << log;
    // Nothing of the refused file was sent; the entry after them ran.
    EXPECT_EQ(a.Received().find("$PQNVBAD"), std::string::npos);
    EXPECT_NE(a.Received().find("$PQNVAFTER"), std::string::npos);
    EXPECT_NE(b.Received().find("$PQNVAFTER"), std::string::npos);
}

}  // namespace
