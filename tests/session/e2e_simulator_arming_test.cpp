// A REACQUISITION session whose simulator never gets its scenario running:
// it answers "Arming" to every status query. The session must not wait for
// ever: it stops as a failure at the restart's bound and says why.
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
#include "tests/support/signal_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

TEST(SimulatorArmingEndToEnd, ASessionWhoseScenarioStaysArmingStopsAsAFailure) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    test::FakeSimServer server(0);
    server.SetStatus(4);
    server.arming_ms = 1 << 30;  // once started, it arms for ever

    std::vector<std::unique_ptr<test::SignalReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        receivers.push_back(std::make_unique<test::SignalReceiver>(test::SignalReceiver::Plan{}));
        receivers.back()->RegisterPort(3 + s);
    }
    const bench::SystemConfig c = test::HotReceiversWithSimulator(
        server.Port(), "REACQUISITION,1,2,0,1,4,2,0,-1,0,-120,-130,-135,5,3,0,0,0,0,0,0,,,0,0,0");
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    ASSERT_NE(top->NmeaWindow(0), nullptr);
    top->Simulator().SetAnswerTimeoutMs(4000);

    top->findChild<QAction*>("exectest")->trigger();
    ASSERT_TRUE(top->SessionRunning());
    ASSERT_TRUE(test::WaitFor([&] { return !top->SessionRunning(); }, 60000))
        << "still waiting: " << top->StatusText(1) << " / " << top->StatusText(2);

    EXPECT_TRUE(top->Simulator().IsSimMngFailed());
    EXPECT_FALSE(top->Simulator().IsSimMngCompleted());
    EXPECT_EQ(top->StatusText(1), "Test Session FAILED: Simulator restart failed (REACQUISITION)");
    const std::string log = test::ReadFileBytes(bench::SystemLogPath());
    EXPECT_NE(log.find("Simulator did not get the scenario running within 4 s: it stayed Arming"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Test session stopped: Simulator restart failed (REACQUISITION) during REACQUISITION test"),
              std::string::npos)
        << log;
    // The simulator was asked and answered all along; no level went out.
    const std::vector<std::string> got = server.CommandTexts();
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(got.begin(), got.begin() + 4),
              (std::vector<std::string>{"NULL", "-,EN", "RW", "RU"}));
    for (const std::string& cmd : got) EXPECT_EQ(cmd.find("POW"), std::string::npos) << cmd;
    EXPECT_EQ(top->Simulator().Panel(2), "Arming");
}

}  // namespace
