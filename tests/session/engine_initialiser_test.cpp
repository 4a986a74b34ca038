// The test types that do not run plain trials, and the waits between trials.
#include <gtest/gtest.h>

#include "platform/core/error.h"
#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

TEST(EngineInitialisers, SyncTestOnTheSimulatorWaitsForItBeforeItsFirstSeries) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    TestEntry& t = h.AddTest(0, "SYNC_WARM", 1, 20, 0);
    t.Simulator = FlagSet;
    t.StartPower = -130;
    t.EndPower = -130;
    t.PowerStep = 1;
    h.sim.polls_until_ready = 100;  // 20 s at 200 ms
    d.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.engine.TestState, 5);
    ASSERT_GE(h.RunToEnd(), 0);
    ASSERT_EQ(d.execute_ms.size(), 1u);
    EXPECT_GE(d.execute_ms[0], 20000);
    EXPECT_EQ(d.execute_ms[0] / 1000 % 60, 20);
}

TEST(EngineInitialisers, UtcWaitShowsTheSecondsLeftAcrossTheMinute) {
    Harness h;
    h.clock = fakes::FakeSessionClock(46364.5 + 50.0 / 86400);  // second 50
    h.AddDevice(0, "GPS1");
    h.AddTest(0, "SYNC_COLD", 1, 10, 0);
    ASSERT_TRUE(h.Start());
    h.Tick();
    EXPECT_EQ(h.status.panels[1], "Waiting to start next test: 20");
    h.clock.Advance(15000);  // second 5
    h.Tick();
    EXPECT_EQ(h.status.panels[1], "Waiting to start next test: 5");
}

TEST(EngineInitialisers, GgaSamplingStretchesShortWaitsByAMinute) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "COLD", 3, 10, 10);
    h.AddTest(1, "HOT", 2, 60, 60);
    h.state.Options.GGASamp = true;
    d.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    ASSERT_EQ(d.execute_ms.size(), 5u);
    EXPECT_GE(d.execute_ms[1] - d.execute_ms[0], 71000);  // 1 s fix + 70 s
    EXPECT_LT(d.execute_ms[1] - d.execute_ms[0], 73000);
    EXPECT_GE(d.execute_ms[4] - d.execute_ms[3], 61000);  // 60 s stays 60 s
    EXPECT_LT(d.execute_ms[4] - d.execute_ms[3], 63000);
    // Every trial's sampling line, then the files closed at each test end.
    EXPECT_EQ(d.CallsCount("DeviceGGASamplingLog(3)"), 1);
    EXPECT_EQ(d.CallsCount("DeviceGGASamplingLog(2)"), 2);
    EXPECT_EQ(d.CallsCount("DeviceGGASamplingEnd()"), 2);
}

TEST(EngineInitialisers, OpenEndedTestsRunUntilStopped) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    h.AddTest(0, "TESTDRIVE", 0);
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.testTimer.Interval(), 1000);
    EXPECT_EQ(d.CallsCount("DeviceSetPrimaryLogFileBaseName(C:\\T_08-12-2026_12.00.00\\GPS1\\GPS1_TTFF_TESTDRIVE_NMEA)"), 1);
    for (int i = 0; i < 3725; ++i) h.Tick();
    EXPECT_EQ(h.status.panels[1], "Test Running: 01:02:05");
    EXPECT_TRUE(h.engine.SessionRunning());
    EXPECT_EQ(d.executed, 0);
    h.engine.StopSession("Stop was chosen");
    EXPECT_FALSE(h.testTimer.Enabled());
    EXPECT_EQ(d.CallsCount("DeviceEndPrimaryLogging()"), 1);
}

TEST(EngineInitialisers, DayLongTrackingOnTheSimulatorEndsWithTheScenario) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "TRACK24H", 0).Simulator = FlagSet;
    h.AddTest(1, "HOT", 1);
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.Calls("SIM."), (std::vector<std::string>{"SIM.Start_Command_Click()"}));
    for (int i = 0; i < 50; ++i) h.Tick();
    EXPECT_EQ(h.status.panels[1], "24H Tracking Test Running: 00:00:50");
    h.sim.status = 6;
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(d.commands, (std::vector<std::string>{"$PQNVHOT"}));
    EXPECT_EQ(d.CallsCount("DeviceEndResultsLogging()"), 2);
}

TEST(EngineInitialisers, ReacquisitionPreparesTheSweepAndHandsOverToThePowerMachine) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].GLog = FlagSet;
    TestEntry& t = h.AddTest(0, "REACQUISITION", 2);
    t.Simulator = FlagSet;
    t.StartPower = -140;
    t.EndPower = -150;
    t.PowerStep = 5;
    t.SingleSatEn = FlagSet;
    t.SingleSatStartPower = -145.5;
    t.TttrkOption = 1;
    t.TttrkSats = 4;
    t.TttrkTime = 10;
    t.OffTime = 30;
    int steps = 0;
    h.engine.powerLevelStep = [&] { ++steps; };
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(d.CallsCount("DeviceSetTTTRKParameters(4,10)"), 1);
    // The level's logs wait until the simulator has set its power.
    EXPECT_EQ(d.CallsCount("DeviceStartPrimaryLogging(_SatPW-145.5_PW-140.txt)"), 0);
    EXPECT_EQ(h.state.Run.SignalCycleSeconds, 20);
    EXPECT_EQ(h.engine.TestState, 5);
    for (int i = 0; i < 10; ++i) h.Tick();
    EXPECT_EQ(d.CallsCount("DeviceStartPrimaryLogging(_SatPW-145.5_PW-140.txt)"), 1);
    EXPECT_EQ(h.engine.TestState, 12);
    EXPECT_EQ(h.engine.PowerSubState, 0);
    EXPECT_GT(steps, 0);
}

TEST(EngineInitialisers, HotTestWithAlmanacWaitWaitsFifteenMinutesFirst) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.AddTest(0, "HOT", 1).AlmanacWait = FlagSet;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.Run([&] { return d.executed == 1; }), 0);
    EXPECT_GE(d.execute_ms[0], 900000);
    EXPECT_LT(d.execute_ms[0], 903000);
    EXPECT_TRUE(h.status.Shown(1, "Waiting AlmanacsTest: 1 s"));
}

TEST(EngineInitialisers, AFailingDeviceOperationIsLoggedAndTheSessionGoesOn) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    TestEntry& t = h.AddTest(0, "COLD", 1);
    t.Simulator = FlagSet;
    t.StartPower = -130;
    t.EndPower = -135;
    t.PowerStep = 5;
    d.fix_delay_ms = 1000;
    d.on_call = [](const std::string& call) {
        if (call == "DeviceChangePrimaryLogFile(_PW-135.txt)")
            throw platform::BenchError(platform::err::FileIo, "Device I/O error");
    };
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0);
    EXPECT_EQ(h.log.lines, (std::vector<std::string>{"Device GPS1: Device I/O error (TestingChangePrimaryLogFile)"}));
    EXPECT_EQ(d.executed, 2);
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
}

TEST(EngineInitialisers, AFailureWhileATestIsSetUpIsLoggedAndTheSessionStillEnds) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    h.AddTest(0, "COLD", 2);
    d.fix_delay_ms = 1000;
    d.on_call = [](const std::string& call) {
        if (call.rfind("DeviceSetPrimaryLogFileBaseName", 0) == 0)
            throw platform::BenchError(platform::err::PathNotFound, "Path not found");
    };
    ASSERT_TRUE(h.Start());
    ASSERT_GE(h.RunToEnd(), 0) << "the session must not hang";
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
    ASSERT_FALSE(h.log.lines.empty());
    EXPECT_NE(h.log.lines.front().find("Path not found"), std::string::npos);
}

}  // namespace
}  // namespace sessiontest
