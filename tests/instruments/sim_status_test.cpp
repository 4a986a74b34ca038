// What the simulator window and the main window's status bar say about the
// link over a real TCP socket: no simulator state shown once the link is
// gone, and no old warning left once a connection is made.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bench/instruments/sim_mng.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"

namespace {

using namespace bench::sim;

std::unique_ptr<SimMng> MakeSim(fakes::FakeStatusBar& status, uint16_t port) {
    test::EnsureApp();
    SimServices s;
    s.clock = &platform::SystemClock::Instance();
    s.mainStatus = &status;
    auto sim = std::make_unique<SimMng>(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
                                        std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(),
                                        std::move(s));
    sim->SetSimType("STR4500");
    sim->SetSimHostName("127.0.0.1");
    sim->SetSimHostPort(port);
    return sim;
}

TEST(SimStatusTexts, TheSimulatorsStateGoesWithTheLink) {
    test::FakeSimServer server(0);
    server.SetStatus(4);
    fakes::FakeStatusBar status;
    auto sim = MakeSim(status, server.Port());
    sim->Connect_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 3000));
    sim->Status_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return sim->Panel(2) == "Running"; }, 3000)) << sim->Panel(2);

    server.DropConnection();
    ASSERT_TRUE(test::WaitFor([&] { return sim->Panel(1) == "Closed"; }, 3000)) << sim->Panel(1);
    EXPECT_EQ(sim->Panel(2), "") << "nothing is known to run without a link";

    // Connected again, the state is shown as the simulator reports it.
    sim->Connect_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 3000));
    sim->Status_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return sim->Panel(2) == "Running"; }, 3000)) << sim->Panel(2);
}

TEST(SimStatusTexts, AConnectionMadeReplacesTheWarningOfARefusedOne) {
    test::FakeSimServer down(0);
    down.Refuse();
    fakes::FakeStatusBar status;
    auto sim = MakeSim(status, down.Port());
    sim->Connect_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return sim->Panel(1) == "Error"; }, 3000));
    ASSERT_NE(status.panels[1].find("refused"), std::string::npos) << status.panels[1];

    // The simulator is up again (here on another port), and the script
    // connects to it.
    test::FakeSimServer up(0);
    sim->SimConnect("127.0.0.1", std::to_string(up.Port()));
    ASSERT_TRUE(test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 3000));
    EXPECT_EQ(status.panels[1], "Simulator connected to 127.0.0.1:" + std::to_string(up.Port()));
}

}  // namespace
