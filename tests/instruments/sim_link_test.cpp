// The simulator controller over a real TCP socket against the fake simulator
// on 127.0.0.1: the bytes on the wire, replies cut into pieces or merged,
// and a simulator that refuses, drops the link or falls silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "bench/instruments/sim_mng.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"

namespace {

using namespace bench::sim;
using Strings = std::vector<std::string>;

struct TcpRig {
    fakes::FakeStatusBar status;
    Strings log;
    Strings panel2;
    std::unique_ptr<SimMng> sim;

    explicit TcpRig(test::FakeSimServer& server, int type) {
        test::EnsureApp();
        SimServices s;
        s.clock = &platform::SystemClock::Instance();
        s.mainStatus = &status;
        s.log = [this](const std::string& t) { log.push_back(t); };
        sim = std::make_unique<SimMng>(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
                                       std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(),
                                       std::move(s));
        sim->SetSimType(type == 1 ? "GSS6560" : "STR4500");
        sim->SetSimHostName("127.0.0.1");
        sim->SetSimHostPort(server.Port());
        sim->changed = [this] {
            if (panel2.empty() || panel2.back() != sim->Panel(2)) panel2.push_back(sim->Panel(2));
        };
    }
    bool Connect() {
        sim->Connect_Command_Click();
        return test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 3000);
    }
};

std::string Joined(const Strings& v) {
    std::string out;
    for (const auto& s : v) out += s;
    return out;
}

TEST(SimOverTcp, FullRestartWithRepliesCutIntoPiecesSecondDialect) {
    test::FakeSimServer server(1);
    server.SetStatus(4);           // running
    server.split_sizes = {3, 7};   // every reply arrives in small pieces
    TcpRig rig(server, 1);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.sim->Panel(1), "Connected to 127.0.0.1");

    rig.sim->SimRestart(-131.5, 9, -140, 4, -1, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngCompleted() || rig.sim->IsSimMngFailed(); }, 15000));
    ASSERT_TRUE(rig.sim->IsSimMngCompleted()) << rig.sim->FailureText();

    Strings got = server.CommandTexts();
    ASSERT_GE(got.size(), 9u);
    EXPECT_EQ(Strings(got.begin(), got.begin() + 4), (Strings{"NULL", "-,EN", "RW", "RU"}));
    // Status polls while the scenario arms, then the set-up, one a second.
    const Strings setup(got.end() - 4, got.end());
    EXPECT_EQ(setup, (Strings{"-,POW_ON,v1_a1,0,GPS,9,0,0,0", "-,POW_LEV,v1_a1,10,GPS,1,0,1,1,1,1",
                              "-,POW_LEV,v1_a1,-131.5,GPS,1,0,1,1,1,1", "-,POW_LEV,v1_a1,-140,GPS,4,0,1,0,1,1"}));
    for (size_t i = 4; i + 4 < got.size(); ++i) EXPECT_EQ(got[i], "NULL");
    EXPECT_EQ(server.Received(), Joined(got)) << "no terminator, nothing between commands";
    EXPECT_EQ(rig.sim->Panel(2), "Running");
}

TEST(SimOverTcp, RepliesMergedIntoOneSegmentAreEachHandledInOrder) {
    test::FakeSimServer server(0);
    server.merge_count = 3;
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    rig.sim->Stop_Command_Click();
    rig.sim->Rewind_Command_Click();
    rig.sim->Start_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 3; }, 3000))
        << server.Received();
    EXPECT_EQ(server.Received(), "-,ENRWRU");
    // Ended, Initialised and Arming all shown, in that order, from one read.
    auto at = [&](const char* t) { return std::find(rig.panel2.begin(), rig.panel2.end(), t) - rig.panel2.begin(); };
    EXPECT_LT(at("Ended"), at("Initialised"));
    EXPECT_LT(at("Initialised"), at("Arming"));
    EXPECT_LT(at("Arming"), static_cast<long>(rig.panel2.size()));
}

TEST(SimOverTcp, ARefusedConnectionIsAWarningAndNothingIsSent) {
    test::FakeSimServer server(0);
    server.Refuse();
    TcpRig rig(server, 0);
    rig.sim->Connect_Command_Click();
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->Panel(1) == "Error"; }, 3000));
    EXPECT_FALSE(rig.sim->GetSimConnectionStatus());
    ASSERT_EQ(rig.log.size(), 1u);
    EXPECT_NE(rig.log[0].find("refused"), std::string::npos) << rig.log[0];
    EXPECT_EQ(rig.status.panels[1], rig.log[0]);
    rig.sim->SimSetPower(-130);
    EXPECT_EQ(rig.log.back(), "Simulator not connected: \"-,POW_LEV,v1_a1,-130,1,1,1,1\" not sent");
}

TEST(SimOverTcp, ALinkDroppedMidSequenceFailsItAndConnectWorksAgain) {
    test::FakeSimServer server(0);
    server.SetStatus(4);
    server.drop_after_commands = 2;  // answers "-,EN", then is gone
    TcpRig rig(server, 0);
    ASSERT_TRUE(rig.Connect());
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed(); }, 3000));
    EXPECT_FALSE(rig.sim->IsSimMngCompleted());
    EXPECT_EQ(rig.sim->Panel(1), "Closed");
    EXPECT_EQ(server.CommandTexts(), (Strings{"NULL", "-,EN"}));
    EXPECT_EQ(rig.status.panels[1], "Simulator restart stopped at the REWIND: the simulator closed the connection");

    server.drop_after_commands = -1;
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(server.Connections(), 2);
    rig.sim->SimSetPower(-128);
    ASSERT_TRUE(test::WaitFor([&] { return server.CommandTexts().size() == 3; }, 3000));
    EXPECT_EQ(server.CommandTexts().back(), "-,POW_LEV,v1_a1,-128,1,1,1,1");
}

TEST(SimOverTcp, ASilentSimulatorFailsTheSequenceAfterTheBound) {
    test::FakeSimServer server(0);
    server.SetStatus(4);
    TcpRig rig(server, 0);
    rig.sim->SetAnswerTimeoutMs(400);
    ASSERT_TRUE(rig.Connect());
    server.stall = true;
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed(); }, 3000));
    EXPECT_EQ(rig.sim->SequenceState(), kIdle);
    EXPECT_EQ(rig.log.back(), "Simulator did not answer the status query within 400 ms");
    // Slow answers within the bound are no failure.
    server.stall = false;
    server.reply_delay_ms = 150;
    rig.sim->SetAnswerTimeoutMs(5000);
    rig.sim->SimRestart(100, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->SequenceState() == kStartSent; }, 3000));
    EXPECT_FALSE(rig.sim->IsSimMngFailed());
}

}  // namespace
