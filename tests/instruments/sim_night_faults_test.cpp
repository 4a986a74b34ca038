// The simulator link against the fake simulator on 127.0.0.1 when the
// simulator misbehaves the way it does in a lab at night: commands of one
// turn sent together, reply elements that are never closed, a scenario that
// never leaves "Arming".
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/sim_mng.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_session_env.h"
#include "tests/support/fake_sim_server.h"
#include "tests/support/qt_app.h"

namespace {

using namespace bench::sim;
using Strings = std::vector<std::string>;

struct Rig {
    fakes::FakeStatusBar status;
    Strings log;
    std::unique_ptr<SimMng> sim;

    explicit Rig(test::FakeSimServer& server) {
        test::EnsureApp();
        SimServices s;
        s.clock = &platform::SystemClock::Instance();
        s.mainStatus = &status;
        s.log = [this](const std::string& t) { log.push_back(t); };
        sim = std::make_unique<SimMng>(std::make_unique<TcpSimTransport>(), std::make_unique<platform::QtTimer>(),
                                       std::make_unique<platform::QtTimer>(), std::make_unique<platform::QtTimer>(),
                                       std::move(s));
        sim->SetSimType("STR4500");
        sim->SetSimHostName("127.0.0.1");
        sim->SetSimHostPort(server.Port());
    }
    bool Connect() {
        sim->Connect_Command_Click();
        return test::WaitFor([&] { return sim->GetSimConnectionStatus(); }, 5000);
    }
    long Lines(const std::string& part) const {
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
};

// The simulator cuts commands only where one write ended: commands issued
// in one turn of the event loop must not share a segment.
TEST(SimNightFaults, CommandsOfOneTurnLeaveEachInASegmentOfItsOwnInOrder) {
    test::FakeSimServer server(0);
    Rig rig(server);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(test::WaitFor([&] { return server.ClientConnected(); }, 5000));
    const int before = server.DataSegmentsIn();
    ASSERT_GE(before, 0) << "the system reports no segment counts";

    // What the engine sends in one step when it switches the signal, then
    // two status queries and the time query, all without returning to the loop.
    rig.sim->SimTurnAllONOFF("-", 0);
    rig.sim->SimSetPower(-130);
    rig.sim->SimTurnChONOFF("125", 3, 1);
    rig.sim->Status_Command_Click();
    rig.sim->Status_Command_Click();
    rig.sim->Command1_Click();
    const Strings sent{"-,POW_ON,v1_a1,0,0,1,1", "-,POW_LEV,v1_a1,-130,1,1,1,1", "125,POW_ON,v1_a1,1,3,1,0",
                       "NULL", "NULL", "-,TIME"};
    std::string all;
    for (const std::string& c : sent) all += c;
    ASSERT_TRUE(test::WaitFor([&] { return server.Received().size() >= all.size(); }, 5000)) << server.Received();
    EXPECT_EQ(server.Received(), all) << "every byte, in order, nothing between";
    EXPECT_EQ(server.DataSegmentsIn() - before, static_cast<int>(sent.size()))
        << "one segment per command, not glued together";
}

TEST(SimNightFaults, AnUnclosedReplyElementIsDroppedOnceALaterOneCompletes) {
    test::FakeSimServer server(0);
    Rig rig(server);
    ASSERT_TRUE(rig.Connect());
    ASSERT_TRUE(test::WaitFor([&] { return server.ClientConnected(); }, 5000));

    // A data element whose closing tag came out garbled, then an ordinary reply.
    server.SendRaw("<msg><data>12:00:01</dat a></msg>");
    server.SendRaw("<msg><status>2</status><data>NULL</data></msg>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 2; }, 5000))
        << "the reply after the unclosed element was held back";
    EXPECT_EQ(rig.sim->Panel(2), "Initialised");
    EXPECT_EQ(rig.Lines("never closed"), 1);
    EXPECT_NE(rig.log.back().find("<data>12:00:01</dat a>"), std::string::npos) << rig.log.back();

    // An open status element of 60,000 bytes, then the next status: the next
    // counts, and the drop is not said again on this connection.
    server.SendRaw("<status>" + std::string(60000, '7'));
    server.SendRaw("<status>6</status>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 6; }, 5000));
    EXPECT_EQ(rig.sim->Panel(2), "Ended");
    EXPECT_EQ(rig.Lines("never closed"), 1);

    // A reply cut in two is still waited for, not dropped.
    server.SendRaw("<status>4");
    test::Pump(100);
    server.SendRaw("</status>");
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->LastSimStatus() == 4; }, 5000));
    EXPECT_EQ(rig.Lines("never closed"), 1);
}

// A scenario that answers "Arming" to every poll: the restart must still end
// within its bound, as a failure, with the reason.
TEST(SimNightFaults, AScenarioThatStaysArmingFailsTheRestartAtItsBound) {
    test::FakeSimServer server(1);
    server.arming_ms = 1 << 30;
    Rig rig(server);
    rig.sim->SetSimType("GSS7700");
    ASSERT_TRUE(rig.Connect());
    rig.sim->SetAnswerTimeoutMs(2500);  // the polls come every second, well inside it
    rig.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    ASSERT_TRUE(test::WaitFor([&] { return rig.sim->IsSimMngFailed() || rig.sim->IsSimMngCompleted(); }, 20000))
        << "still waiting in state " << rig.sim->SequenceState();
    EXPECT_TRUE(rig.sim->IsSimMngFailed());
    EXPECT_FALSE(rig.sim->IsSimMngCompleted());
    EXPECT_EQ(rig.sim->SequenceState(), kIdle);
    const std::string why = "Simulator did not get the scenario running within 2500 ms: it stayed Arming";
    EXPECT_EQ(rig.sim->FailureText(), why);
    EXPECT_EQ(rig.log.back(), why);
    EXPECT_EQ(rig.status.panels[1], why);
    // It was answering all along: polls went out after START and were answered "Arming".
    const Strings got = server.CommandTexts();
    const auto ru = std::find(got.begin(), got.end(), "RU");
    ASSERT_NE(ru, got.end());
    EXPECT_GE(std::count(ru, got.end(), "NULL"), 1);
    EXPECT_EQ(rig.sim->Panel(2), "Arming");
    // No poll goes on after the failure.
    const size_t after = server.CommandTexts().size();
    test::Pump(1500);
    EXPECT_EQ(server.CommandTexts().size(), after);
}

}  // namespace
