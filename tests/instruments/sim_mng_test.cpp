// The simulator controller driven by hand: its replies, its commands when the
// link is up or down, and its restart sequence step by step.
#include <gtest/gtest.h>

#include "tests/instruments/sim_fixture.h"

namespace {

using namespace simtest;
using Strings = std::vector<std::string>;

TEST(SimReplies, StatusPanelsAndLastStatusFollowTheReplies) {
    Fixture f(1);
    f.Connect();
    EXPECT_EQ(f.sim->Panel(1), "Connected to simhost");
    EXPECT_TRUE(f.sim->GetSimConnectionStatus());

    // Second dialect: 4 is "Arming", 7 "Ended", 9 nothing known.
    f.link->Status(4);
    EXPECT_EQ(f.sim->LastSimStatus(), 3);
    EXPECT_EQ(f.sim->Panel(2), "Arming");
    f.link->Status(7);
    EXPECT_EQ(f.sim->Panel(2), "Ended");
    f.link->Status(9);
    EXPECT_EQ(f.sim->LastSimStatus(), 0);
    EXPECT_EQ(f.sim->Panel(2), "No scenario specified");

    // Panel 3: the error, else the fatal text, else empty; data never stays.
    f.link->Reply("<data>hello</data><fatal>bad</fatal><error>worse</error>");
    EXPECT_EQ(f.sim->Panel(3), "worse");
    f.link->Reply("<data>hello</data><fatal>bad</fatal>");
    EXPECT_EQ(f.sim->Panel(3), "bad");
    f.link->Reply("<status>2</status><data>hello</data>");
    EXPECT_EQ(f.sim->Panel(3), "");
    // A reply with only an error keeps the status.
    f.link->Reply("<error>oops</error>");
    EXPECT_EQ(f.sim->LastSimStatus(), 2);
    EXPECT_EQ(f.sim->Panel(3), "oops");
}

TEST(SimReplies, FirstDialectNumbersRoundingAndOverflow) {
    Fixture f(0);
    f.Connect();
    f.link->Status(9);
    EXPECT_EQ(f.sim->LastSimStatus(), 9);
    EXPECT_EQ(f.sim->Panel(2), "9");
    f.link->Reply("<status>2.5</status>");
    EXPECT_EQ(f.sim->LastSimStatus(), 2);
    f.link->Reply("<status>3.5</status>");
    EXPECT_EQ(f.sim->LastSimStatus(), 4);
    // Beyond 16 bits: shown, otherwise ignored.
    f.link->Reply("<status>99999</status>");
    EXPECT_EQ(f.sim->LastSimStatus(), 4);
    EXPECT_EQ(f.sim->Panel(2), "99999");
    // Exponents beyond any double are out of range too, never a small
    // number they once wrapped around to ("6e4294967296" read as 6).
    for (const char* text : {"6e4294967296", "1e400", "0.6e2147483648"}) {
        f.link->Reply(std::string("<status>") + text + "</status>");
        EXPECT_EQ(f.sim->LastSimStatus(), 4) << text;
        EXPECT_EQ(f.sim->Panel(2), text);
    }
}

TEST(SimReplies, GetSimStatusAnswersFromTheLastReplyAndPollsFromThenOn) {
    Fixture f;
    EXPECT_EQ(f.sim->GetSimStatus(), 0) << "nothing heard yet";
    f.Connect();
    f.link->Status(6);
    EXPECT_EQ(f.sim->GetSimStatus(), 6);
    EXPECT_EQ(f.link->sent, Strings{"NULL"});
    EXPECT_TRUE(f.statusCheck->Enabled());
    f.statusCheck->Tick();
    EXPECT_EQ(f.link->sent, (Strings{"NULL", "NULL"}));
    // A dropped link: the poll sends nothing and raises no box every second.
    f.link->PeerCloses();
    for (int i = 0; i < 5; ++i) f.statusCheck->Tick();
    EXPECT_EQ(f.link->sent.size(), 2u);
    EXPECT_TRUE(f.warnings.empty());
}

TEST(SimCommands, ClosedLinkSendsNothingLogsOncePerEpisodeAndWarnsOnlyAButton) {
    Fixture f;
    f.sim->SimSetPower(-130);
    f.sim->SimIncreasePower(2.5);
    EXPECT_EQ(f.sim->CurrentPower(), -128) << "the level moves even when nothing is sent";
    f.sim->SimTurnAllONOFF("-", 0);
    EXPECT_TRUE(f.link->sent.empty());
    EXPECT_EQ(f.log, Strings{"Simulator not connected: \"-,POW_LEV,v1_a1,-130,1,1,1,1\" not sent"});
    EXPECT_TRUE(f.warnings.empty()) << "programmatic callers get no box";
    f.sim->Stop_Command_Click();
    EXPECT_EQ(f.warnings, Strings{"WARNING: Winsock connection is closed!"});

    f.Connect();
    f.sim->SimSetPower(-130);
    f.sim->SimIncreasePower(2.5);
    f.sim->SimDecreaseChPower(3, 1);
    f.sim->SimSetSatPower(5, -140);
    EXPECT_EQ(f.link->sent, (Strings{"-,POW_LEV,v1_a1,-130,1,1,1,1", "-,POW_LEV,v1_a1,-128,1,1,1,1",
                                     "-,POW_LEV,v1_a1,-1,3,1,0,0", "-,POW_LEV,v1_a1,-140,5,0,0,1"}));
    // A new episode is logged again.
    f.link->PeerCloses();
    f.sim->SimTurnAllONOFF("-", 1);
    EXPECT_EQ(f.log.back(), "Simulator not connected: \"-,POW_ON,v1_a1,1,0,1,1\" not sent");
}

TEST(SimCommands, SetPowerButtonRefusesAnythingButANumber) {
    Fixture f;
    f.Connect();
    f.sim->SetPower_Command_Click("-13O");
    EXPECT_TRUE(f.link->sent.empty());
    EXPECT_EQ(f.warnings, Strings{"WARNING: Invalid power level"});
    f.sim->SetPower_Command_Click(" -131.5 ");
    EXPECT_EQ(f.link->sent, Strings{"-,POW_LEV,v1_a1,-131.5,1,1,1,1"});
    EXPECT_EQ(f.sim->CurrentPower(), 0) << "the button leaves the current level";
}

TEST(SimIdentity, TypeHostAndPortFromTheConfiguration) {
    Fixture f;
    f.sim->SetSimType("Spirent GSS7700 rev B");
    EXPECT_EQ(f.sim->GetSimType(), 1);
    f.sim->SetSimType("gss7700");
    EXPECT_EQ(f.sim->GetSimType(), 1) << "case matters; an unknown name keeps the type";
    f.sim->SetSimType("STR4500");
    EXPECT_EQ(f.sim->GetSimType(), 0);
    f.sim->SetSimType("STR4500 and GSS6560");
    EXPECT_EQ(f.sim->GetSimType(), 1);

    f.sim->SetSimHostName("lab-sim-2");
    f.sim->SetSimHostPort(15651);
    f.sim->Connect_Command_Click();
    ASSERT_EQ(f.link->connects.size(), 1u);
    EXPECT_EQ(f.link->connects[0], (std::pair<std::string, uint16_t>{"lab-sim-2", 15651}));
    f.link->Accept();
    f.sim->Connect_Command_Click();
    EXPECT_EQ(f.link->connects.size(), 1u) << "Connect again while connected does nothing";
    EXPECT_EQ(f.link->closes, 0);
    // A port that does not fit is refused, not truncated.
    f.link->PeerCloses();
    f.sim->SimConnect("lab-sim-2", "70000");
    EXPECT_EQ(f.link->connects.size(), 1u);
    EXPECT_EQ(f.warnings.size(), 0u);
    EXPECT_NE(f.log.back().find("70000"), std::string::npos);
}

TEST(SimLinkState, RefusedOrDroppedLinkIsOneWarningAndConnectWorksAgain) {
    Fixture f;
    f.sim->SetSimHostName("simhost");
    f.sim->Connect_Command_Click();
    f.link->Refuse();
    EXPECT_EQ(f.sim->Panel(1), "Error");
    EXPECT_EQ(f.status.panels[1], "WARNING: simulator simhost:15650: link error: Connection refused");
    EXPECT_EQ(f.log.size(), 1u);
    // The error stays until Connect is pressed again, which connects.
    f.sim->Connect_Command_Click();
    EXPECT_EQ(f.link->connects.size(), 2u);
    f.link->Accept();
    f.link->PeerCloses();
    EXPECT_EQ(f.sim->Panel(1), "Closed");
    EXPECT_FALSE(f.sim->GetSimConnectionStatus());
    EXPECT_EQ(f.log.back(), "WARNING: simulator simhost:15650: the simulator closed the connection");
    f.sim->Connect_Command_Click();
    EXPECT_EQ(f.link->connects.size(), 3u) << "a dropped link can be connected again";
}

// --- restart sequence ---

const Strings kSetUp = {"-,POW_ON,v1_a1,0,20,0,0", "-,POW_LEV,v1_a1,10,1,1,1,1", "-,POW_LEV,v1_a1,-130,1,1,1,1",
                        "-,POW_LEV,v1_a1,10,2,1,0,1"};

TEST(SimRestartSequence, FullRestartOfARunningScenario) {
    Fixture f;
    f.Connect();
    f.sim->AutoSetUp_Command_Click("-130");
    EXPECT_EQ(f.link->sent, Strings{"NULL"});
    EXPECT_EQ(f.sim->SequenceState(), kStatusAsked);
    f.link->Status(4);  // running
    f.link->Status(6);  // ended
    f.link->Status(2);  // initialised
    EXPECT_EQ(f.link->sent, (Strings{"NULL", "-,EN", "RW", "RU"}));
    f.link->Status(3);
    EXPECT_TRUE(f.statusCheck->Enabled()) << "arming is polled once a second";
    f.statusCheck->Tick();
    f.link->Status(3);
    f.link->Status(4);
    EXPECT_FALSE(f.statusCheck->Enabled());
    for (int i = 0; i < 8 && !f.sim->IsSimMngCompleted(); ++i) f.Tick();
    EXPECT_TRUE(f.sim->IsSimMngCompleted());
    Strings want = {"NULL", "-,EN", "RW", "RU", "NULL"};
    want.insert(want.end(), kSetUp.begin(), kSetUp.end());
    EXPECT_EQ(f.link->sent, want);
    for (const char* m : {"Sent STOP command to simulator", "Received STOP response from simulator",
                          "Sent REWIND command to simulator", "Received REWIND response from simulator",
                          "Sent START command to simulator", "Received ARMING status from simulator",
                          "Received RUNNING status from simulator"})
        EXPECT_TRUE(f.status.Shown(1, m)) << m;
    EXPECT_FALSE(f.sim->IsSimMngFailed());
}

TEST(SimRestartSequence, SetUpOnlyTakesOneTickPerStepAndCountsTheDelayDown) {
    Fixture f;
    f.Connect();
    f.sim->SimRestart(100.0, 0, 10.0, 2, 0, 0, 10.0, false);
    int ticks = 0;
    while (!f.sim->IsSimMngCompleted() && ticks < 20) {
        f.Tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 6);
    EXPECT_EQ(f.link->sent, Strings{"-,POW_LEV,v1_a1,10,1,1,1,1"}) << "only the settle level";

    Fixture g;
    g.Connect();
    g.sim->SimRestart(-135, 0, 10.0, 2, 0, 5, 12.0, false);
    for (int i = 0; i < 20 && !g.sim->IsSimMngCompleted(); ++i) g.Tick();
    for (int n = 4; n >= 0; --n) EXPECT_TRUE(g.status.Shown(1, "Test Setup Delay: " + std::to_string(n) + " s")) << n;
    // The other-satellites level goes out after the settle level, not instead.
    EXPECT_EQ(g.link->sent, (Strings{"-,POW_LEV,v1_a1,12,1,1,1,1", "-,POW_LEV,v1_a1,-135,1,1,1,1"}));
}

TEST(SimRestartSequence, AnInitialisedScenarioStartsAtOnceAndLateRepliesAreIgnored) {
    Fixture f(1);
    f.Connect();
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    f.link->Status(2);  // initialised already
    EXPECT_EQ(f.link->sent, (Strings{"NULL", "RU"}));
    f.link->Status(5);  // running in the second dialect
    f.Tick();
    f.Tick();
    f.Tick();
    EXPECT_EQ(f.sim->SequenceState(), kOtherLevel);
    f.link->Status(5);
    f.link->Status(7);
    EXPECT_EQ(f.sim->SequenceState(), kOtherLevel);
    f.Tick();
    f.Tick();
    f.Tick();
    EXPECT_TRUE(f.sim->IsSimMngCompleted());
    EXPECT_EQ(f.link->sent.back(), "-,POW_LEV,v1_a1,-130,GPS,1,0,1,1,1,1");
}

TEST(SimRestartSequence, ASilentSimulatorEndsTheSequenceAsAFailure) {
    Fixture f;
    f.Connect();
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    f.link->Status(4);
    ASSERT_EQ(f.sim->SequenceState(), kStopSent);
    EXPECT_EQ(f.timeout->Interval(), 60000);
    EXPECT_TRUE(f.timeout->Enabled());
    f.timeout->Tick();  // a minute without "Ended"
    EXPECT_EQ(f.sim->SequenceState(), kIdle);
    EXPECT_FALSE(f.sim->IsSimMngCompleted());
    EXPECT_TRUE(f.sim->IsSimMngFailed());
    EXPECT_EQ(f.log.back(), "Simulator did not answer the STOP within 60 s");
    EXPECT_EQ(f.status.panels[1], "Simulator did not answer the STOP within 60 s");
    // The status query is bounded too.
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    EXPECT_FALSE(f.sim->IsSimMngFailed());
    f.link->Status(5);  // paused: no step follows from it
    f.timeout->Tick();
    EXPECT_TRUE(f.sim->IsSimMngFailed());
    EXPECT_EQ(f.log.back(),
              "Simulator restart failed: the simulator answered the status query, but not with the status it needs "
              "within 60 s; its last status was \"Paused\"")
        << "an answer is not told as none";
}

TEST(SimRestartSequence, ALinkLostMidSequenceIsConnectedAgainWithinTheBound) {
    Fixture f;
    f.Connect();
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    f.link->Status(6);
    f.link->PeerCloses();
    EXPECT_FALSE(f.sim->IsSimMngFailed());
    EXPECT_EQ(f.sim->SequenceState(), kWaitConnect);
    EXPECT_EQ(f.log.back(), "WARNING: simulator simhost:15650: the simulator closed the connection at the REWIND; "
                            "connecting again");
    // Once a second, however often it is refused.
    f.Tick();
    EXPECT_EQ(f.link->connects.size(), 2u);
    f.link->Refuse();
    f.Tick();
    EXPECT_EQ(f.link->connects.size(), 3u);
    const size_t lines = f.log.size();
    f.link->Accept();
    f.Tick();
    EXPECT_EQ(f.sim->SequenceState(), kStatusAsked);
    EXPECT_EQ(f.link->sent.back(), "NULL");
    EXPECT_EQ(f.log.size(), lines + 1) << "one line for the connection, none per refusal";
    f.link->Status(2);
    EXPECT_EQ(f.link->sent.back(), "RU");
    EXPECT_EQ(f.sim->SequenceState(), kStartSent);

    // Lost once the scenario runs: connected again, its levels go out again.
    f.link->Status(4);
    f.Tick();
    EXPECT_EQ(f.sim->SequenceState(), kSettle);
    f.link->PeerCloses();
    f.link->Accept();
    f.Tick();
    EXPECT_EQ(f.sim->SequenceState(), kSwitchOff);
    for (int i = 0; i < 8 && !f.sim->IsSimMngCompleted(); ++i) f.Tick();
    EXPECT_TRUE(f.sim->IsSimMngCompleted());

    // Not connected again within the bound: failed, and said why.
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, true);
    f.link->PeerCloses();
    f.Tick();
    f.link->Refuse();
    f.timeout->Tick();
    EXPECT_TRUE(f.sim->IsSimMngFailed());
    EXPECT_EQ(f.sim->SequenceState(), kIdle);
    EXPECT_EQ(f.sim->FailureText(),
              "Simulator restart: the link was lost (link error: Connection refused) and not connected again within 60 s");
}

// A set-up only restart with no link connects first: levels sent into a
// closed link would read as set.
TEST(SimRestartSequence, ASetUpOnlyRestartWithoutALinkConnectsFirst) {
    Fixture f;
    f.sim->SetSimHostName("simhost");
    f.sim->SimRestart(-130, 0, 0, 0, 0, 0, 10, false);
    EXPECT_EQ(f.sim->SequenceState(), kWaitConnect);
    EXPECT_EQ(f.link->connects.size(), 1u);
    f.link->Accept();
    f.Tick();
    EXPECT_EQ(f.sim->SequenceState(), kSwitchOff);
    for (int i = 0; i < 8 && !f.sim->IsSimMngCompleted(); ++i) f.Tick();
    EXPECT_TRUE(f.sim->IsSimMngCompleted());
    EXPECT_EQ(f.link->sent.size(), 2u) << "the settle and the other-satellites levels";
}

}  // namespace
