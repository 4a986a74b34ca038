// A Config.dat that is damaged, as the bench meets it at its start: the real
// main window with its configuration dialog, and two scripted receivers on
// pseudo-terminals. A file cut short keeps every entry it holds whole, so
// OK and Start run them; bytes that are no configuration are refused where
// they stop making sense, and the dialog keeps what it held.
#include <QAction>
#include <QDir>
#include <QListWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "platform/ui/prompts.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

// 100 entries: entry 0 a COLD test of one trial that runs, the others kept
// disabled in the record, so the middle of the file falls among them.
bench::SystemConfig ManyEntries() {
    bench::SystemConfig c = test::TwoReceiverConfig(3);
    for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
    test::SetFirstTest(c, test::ColdTestLine(1, 0, 0));
    for (int i = 1; i < 100; ++i) {
        c.TestLines[i] = test::ColdTestLine(i + 1, 0, 1);
        bench::ParseTestLine(c.TestLines[i], c.Tests[i]);
        c.Tests[i].Enabled = bench::FlagClear;
    }
    return c;
}

std::string Noise(size_t n, uint32_t seed) {
    std::string out(n, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    return out;
}

class ConfigAtStart : public ::testing::Test {
protected:
    void SetUp() override {
        dialogs_test::ResetPrompts();
        home = std::make_unique<test::TempHome>();
        for (int port : {3, 4}) {
            test::ScriptedReceiver::Script s;
            s.fix_delays_ms = {500};
            s.epoch_ms = 200;
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
            receivers.back()->RegisterPort(port);
        }
    }
    void TearDown() override {
        top.reset();
        receivers.clear();
        dialogs_test::ResetPrompts();
    }
    void OpenBench() {
        top = std::make_unique<bench::Benchtop>(factory);
        top->show();
        test::Pump(50);  // the dialog's warning comes once it is up
    }
    std::vector<std::string> ListLines() {
        auto* list = dialogs_test::Find<QListWidget>(&top->ConfigDialog(), "TestList");
        std::vector<std::string> out;
        for (int i = 0; list && i < list->count(); ++i) out.push_back(list->item(i)->text().toStdString());
        return out;
    }

    std::unique_ptr<test::TempHome> home;
    bench::CommWindowFactory factory;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    std::unique_ptr<bench::Benchtop> top;
};

TEST_F(ConfigAtStart, AFileCutInHalfRunsTheEntriesItHoldsWhole) {
    const bench::SystemConfig whole = ManyEntries();
    ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), whole).ok);
    const std::string bytes = test::ReadFileBytes(home->File("Config.dat"));
    test::WriteFileBytes(home->File("Config.dat"), bytes.substr(0, bytes.size() / 2));

    OpenBench();
    const std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("ends at byte " + std::to_string(bytes.size() / 2) + ", inside Tests["), std::string::npos)
        << asked[0];
    EXPECT_EQ(ListLines(), std::vector<std::string>{whole.TestLines[0]}) << "the entry lies whole in the first half";

    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(top->NmeaWindow(1), nullptr);
    auto* w = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_TRUE(test::WaitFor([&] { return w->State().GGACount > 0; }, 3000));
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000))
        << "waited for the session's end: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
    for (const auto& r : receivers) EXPECT_EQ(r->Restarts().size(), 1u) << "the trial of entry 0 ran";
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_EQ(log.find("unknown test type"), std::string::npos) << log;
    // What OK wrote back is a whole record that holds the entry.
    const bench::ConfigLoadResult saved = bench::LoadSystemConfig(home->File("Config.dat"));
    EXPECT_EQ(saved.warning, "");
    EXPECT_EQ(saved.config.Tests[0], whole.Tests[0]);
}

TEST_F(ConfigAtStart, BytesThatAreNoConfigurationAreRefusedAndTheDialogKeepsWhatItHeld) {
    // First a good configuration, set up as usual.
    const bench::SystemConfig good = ManyEntries();
    ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), good).ok);
    OpenBench();
    ASSERT_TRUE(dialogs_test::TakeAsked().empty());
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(top->NmeaWindow(0), nullptr);

    // Then the file is overwritten with noise, and the dialog opens again.
    test::WriteFileBytes(home->File("Config.dat"), Noise(30000, 7));
    top->findChild<QAction*>("NewTestSession")->trigger();
    test::Pump(50);
    const std::vector<std::string> asked = dialogs_test::TakeAsked();
    ASSERT_EQ(asked.size(), 1u);
    const std::string head = "WARNING: Config file \"" + home->File("Config.dat") + "\" is not a configuration record: ";
    EXPECT_EQ(asked[0].rfind(head, 0), 0u) << asked[0];
    EXPECT_NE(asked[0].find(" (byte "), std::string::npos) << asked[0];
    EXPECT_NE(asked[0].find(") holds "), std::string::npos) << asked[0];
    EXPECT_EQ(ListLines(), std::vector<std::string>{good.TestLines[0]}) << "the configuration it held";
    EXPECT_EQ(dialogs_test::Text(&top->ConfigDialog(), "DName_0"), "RCV1");
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("is not a configuration record: "), std::string::npos) << log;

    // OK sets up what the dialog shows, and the session runs.
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(top->NmeaWindow(1), nullptr);
    auto* w = dynamic_cast<bench::CommWindow*>(top->NmeaWindow(1));
    ASSERT_TRUE(test::WaitFor([&] { return w->State().GGACount > 0; }, 3000));
    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 30000))
        << "waited for the session's end: " << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_EQ(top->StatusText(1), "Test Session Completed");
}

}  // namespace
