// The power-level sub-machine of REACQUISITION tests: its schedule stepped by
// hand, and whole sweeps on fake devices, a fake simulator and a fake clock.
#include <gtest/gtest.h>

#include "tests/session/session_harness.h"

namespace sessiontest {
namespace {

using Strings = std::vector<std::string>;

TestEntry& Reacquisition(Harness& h, int index, int16_t trials) {
    TestEntry& t = h.AddTest(index, "REACQUISITION", trials);
    t.Simulator = FlagSet;
    t.SimPower = -120;
    t.StartPower = -130;
    t.EndPower = -135;
    t.PowerStep = 5;
    t.OffTime = 30;
    t.TttrkOption = 1;
    t.TttrkSats = 4;
    t.TttrkTime = 2;
    return t;
}

// Ticks with the devices' UTC second following the clock from `utc0`.
int RunWithUtc(Harness& h, int32_t utc0, const std::function<bool()>& done, int max_ticks = 20000) {
    return h.Run([&] {
        for (auto& d : h.nmea)
            if (d) d->utc_seconds = (utc0 + static_cast<int32_t>(h.clock.MonotonicMs() / 1000)) % 86400;
        return done();
    }, max_ticks);
}

// One step of the sub-machine from a given sub-state, the device at `utc`.
void StepAt(Harness& h, fakes::FakeDeviceWindow& d, int16_t sub, int32_t utc) {
    d.utc_seconds = utc;
    h.engine.TestState = 12;
    h.engine.PowerSubState = sub;
    h.engine.PowerLevelTestStateMachine();
}

TEST(PowerLevels, ScheduleArithmeticAroundTheHourNoonAndMidnight) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.state.Run.Running = true;
    h.state.Run.PowerMode = true;
    h.state.Run.SignalCycleSeconds = 20;
    h.state.Run.OffTime = 30;
    h.state.RunConfig = h.cfg;

    StepAt(h, d, 0, 7205);
    EXPECT_EQ(h.engine.Power.TimeIntoRun, 20);
    EXPECT_EQ(h.status.panels[1], "InitTimeIntoRun: 20 s");
    EXPECT_EQ(h.engine.PowerSubState, 1);

    // Switch-off scheduled across midnight.
    StepAt(h, d, 5, 86395);
    EXPECT_EQ(h.engine.Power.SignalOffUtc, 15);
    EXPECT_EQ(h.engine.Power.SignalOnUtc, 45);
    EXPECT_EQ(h.engine.Power.SignalSwitchTime, 86395 - 7205 + 20 + 20);
    EXPECT_EQ(h.Calls("SIM.SimTurnAllONOFF"), Strings{"SIM.SimTurnAllONOFF(79230,0)"});
    EXPECT_EQ(d.CallsCount("DeviceInitReacquisitionTest(15,45)"), 1);
    StepAt(h, d, 6, 86395);
    EXPECT_EQ(h.status.panels[1], "Waiting for signal stabilization: 20s");
    EXPECT_EQ(h.engine.PowerSubState, 6);
    StepAt(h, d, 6, 15);
    EXPECT_EQ(h.engine.PowerSubState, 6) << "the off second itself still waits";
    StepAt(h, d, 6, 16);
    EXPECT_EQ(h.engine.PowerSubState, 8);
    EXPECT_EQ(h.Calls("SIM.SimTurnAllONOFF").back(), "SIM.SimTurnAllONOFF(79260,1)");

    // The switch-on: within two seconds of it is time to measure.
    h.engine.Power.SignalOnUtc = 1000;
    StepAt(h, d, 8, 997);
    EXPECT_EQ(h.engine.PowerSubState, 8);
    EXPECT_EQ(h.status.panels[1], "Signal OFF Time: 3s - UTC Time for Signal ON: 00:16:40");
    StepAt(h, d, 8, 998);
    EXPECT_EQ(h.engine.PowerSubState, 9);
    // Just after midnight, a switch-on at second 1 is not "past" already.
    h.engine.Power.SignalOnUtc = 1;
    StepAt(h, d, 8, 86390);
    EXPECT_EQ(h.engine.PowerSubState, 8);
    EXPECT_EQ(h.status.panels[1], "Signal OFF Time: 11s - UTC Time for Signal ON: 00:00:01");

    // A tick that lands past noon after a switch-off just before it does not
    // read as a wait until the next day.
    h.engine.Power.SignalOffUtc = 43195;
    StepAt(h, d, 6, 43201);
    EXPECT_EQ(h.engine.PowerSubState, 8);
}

TEST(PowerLevels, OneLevelTrialSendsTheSimulatorItsCallsInOrder) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].HotC = "$PQNVHOT";
    h.cfg.Devices[0].RLog = FlagSet;
    TestEntry& t = Reacquisition(h, 0, 1);
    t.EndPower = -130;
    d.fix_delay_ms = 60000;  // the receiver tracks again a minute after the test is armed
    ASSERT_TRUE(h.Start());
    ASSERT_GE(RunWithUtc(h, 7205, [&] { return !h.engine.SessionRunning(); }), 0);
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");

    const Strings sim = h.Calls("SIM.");
    ASSERT_EQ(sim.size(), 5u) << ::testing::PrintToString(sim);
    EXPECT_EQ(sim[0], "SIM.SimRestart(-130,0,0,0,0,0,-120,true)");
    EXPECT_EQ(sim[1], "SIM.SimSetPower(-120)") << "nominal level first";
    EXPECT_EQ(sim[2], "SIM.SimSetPower(-130)") << "then the test level";
    const int32_t off = h.engine.Power.SignalOffUtc;
    const int32_t sw = off - h.engine.Power.RunStartUtc + h.engine.Power.TimeIntoRun;
    EXPECT_EQ(h.engine.Power.TimeIntoRun, (h.engine.Power.RunStartUtc + 15) % 3600);
    EXPECT_EQ(sim[3], "SIM.SimTurnAllONOFF(" + std::to_string(sw) + ",0)");
    EXPECT_EQ(sim[4], "SIM.SimTurnAllONOFF(" + std::to_string(sw + 30) + ",1)");
    EXPECT_EQ(h.engine.Power.SignalOnUtc, off + 30);
    // The hot start goes out before the settle time, the switch-off after it.
    const int hot = h.IndexOf("N0.DeviceSendSerialCommand($PQNVHOT)");
    ASSERT_GE(hot, 0);
    EXPECT_LT(hot, h.IndexOf(sim[3]));
    EXPECT_EQ(d.CallsCount("DeviceStartResultsLogging(_PW-130.txt)"), 1);
    ASSERT_EQ(d.results_lines.size(), 1u);
    EXPECT_EQ(d.results_lines[0].substr(0, 3), "60\t");
    // The target was taken while the signal was on, never after.
    EXPECT_GT(d.CallsCount("DeviceSetTTTRKSatsToCurrentStableTracked(5)"), 0);
    int last_target = -1;
    for (int i = 0; i < static_cast<int>(h.calls.size()); ++i)
        if (h.calls[i] == "N0.DeviceSetTTTRKSatsToCurrentStableTracked(5)") last_target = i;
    EXPECT_LT(last_target, h.IndexOf(sim[3 + 1]));
    // The test line counts no trial past the one the level has.
    EXPECT_TRUE(h.status.Shown(2, "TEST: REACQUISITION  - ongoing 1 of 1 - power level -130 range (-130 .. -130)"));
    for (const auto& [panel, text] : h.status.history)
        EXPECT_EQ(text.find("ongoing 2 of 1"), std::string::npos) << text;
}

TEST(PowerLevels, SingleSatelliteSweepNestsInsideEveryOverallLevel) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;
    TestEntry& t = Reacquisition(h, 0, 1);
    t.SingleSatEn = FlagSet;
    t.SingleSatStartPower = -140;
    t.SingleSatEndPower = -150;
    t.SingleSatStep = 5;
    t.SingleSatChannel = 3;
    d.fix_delay_ms = 45000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(RunWithUtc(h, 40000, [&] { return !h.engine.SessionRunning(); }), 0);
    EXPECT_EQ(h.status.panels[1], "Test Session Completed");
    EXPECT_EQ(h.sim.powers, (std::vector<double>{-130, -135}));
    EXPECT_EQ(h.Calls("SIM.SimSetChPower"),
              (Strings{"SIM.SimSetChPower(-,3,-140)", "SIM.SimSetChPower(-,3,-145)", "SIM.SimSetChPower(-,3,-150)",
                       "SIM.SimSetChPower(-,3,-140)", "SIM.SimSetChPower(-,3,-145)", "SIM.SimSetChPower(-,3,-150)"}));
    Strings files;
    for (const std::string& c : d.own_calls)
        if (c.rfind("DeviceChangeResultsLogFile", 0) == 0 || c.rfind("DeviceStartResultsLogging", 0) == 0) files.push_back(c);
    EXPECT_EQ(files, (Strings{"DeviceStartResultsLogging(_SatPW-140_PW-130.txt)",
                              "DeviceChangeResultsLogFile(_SatPW-145_PW-130.txt)",
                              "DeviceChangeResultsLogFile(_SatPW-150_PW-130.txt)",
                              "DeviceChangeResultsLogFile(_SatPW-140_PW-135.txt)",
                              "DeviceChangeResultsLogFile(_SatPW-145_PW-135.txt)",
                              "DeviceChangeResultsLogFile(_SatPW-150_PW-135.txt)"}));
    EXPECT_EQ(d.results_lines.size(), 6u);
    // Switching one channel, not all satellites.
    EXPECT_TRUE(h.Calls("SIM.SimTurnAllONOFF").empty());
    EXPECT_EQ(h.Calls("SIM.SimTurnChONOFF").size(), 12u);
}

TEST(PowerLevels, ANotConnectedSimulatorFailsTheEntryAndTheSessionGoesOn) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;
    Reacquisition(h, 0, 2);
    h.AddTest(1, "COLD", 1);
    d.fix_delay_ms = 1000;
    h.sim.link_up = false;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(RunWithUtc(h, 1000, [&] { return !h.engine.SessionRunning(); }), 0);
    EXPECT_EQ(h.status.panels[1], "Test Session INCOMPLETE: 1 test entry failed") << "not every entry ran";
    EXPECT_EQ(h.log.lines, (Strings{"Test entry 0 (REACQUISITION) failed: the simulator is not connected",
                                    "SESSION INCOMPLETE: 1 test entry failed"}));
    EXPECT_EQ(h.status.panels[2], "SESSION INCOMPLETE: 1 test entry failed") << "never a clean-looking session";
    EXPECT_TRUE(h.status.Shown(1, "TEST FAILED: REACQUISITION - the simulator is not connected"));
    // The restart sequence tried to connect; nothing else reached the simulator.
    EXPECT_EQ(h.Calls("SIM."), Strings{"SIM.SimRestart(-130,0,0,0,0,0,-120,true)"});
    EXPECT_EQ(d.CallsCount("DeviceInitReacquisitionTest(0,0)"), 0);
    for (const std::string& c : d.own_calls) EXPECT_EQ(c.find("_PW"), std::string::npos) << c;
    EXPECT_EQ(d.executed, 1) << "the COLD entry still runs";
}

TEST(PowerLevels, ALinkLostDuringATrialFailsTheEntryBeforeAnySwitch) {
    Harness h;
    auto& d = h.AddDevice(0, "GPS1");
    h.cfg.Devices[0].RLog = FlagSet;  // a session that keeps its results
    Reacquisition(h, 0, 2);
    h.AddTest(1, "COLD", 1);
    d.fix_delay_ms = 1000;
    ASSERT_TRUE(h.Start());
    ASSERT_GE(RunWithUtc(h, 1000, [&] { return h.engine.TestState == 12 && h.engine.PowerSubState == 3; }), 0);
    h.sim.link_up = false;
    ASSERT_GE(RunWithUtc(h, 1000, [&] { return !h.engine.SessionRunning(); }), 0);
    EXPECT_EQ(h.status.panels[1], "Test Session INCOMPLETE: 1 test entry failed") << "not every entry ran";
    EXPECT_EQ(h.log.lines, (Strings{"Test entry 0 (REACQUISITION) failed: the simulator is not connected",
                                    "SESSION INCOMPLETE: 1 test entry failed"}));
    EXPECT_EQ(h.status.panels[2], "SESSION INCOMPLETE: 1 test entry failed") << "never a clean-looking session";
    EXPECT_TRUE(h.Calls("SIM.SimTurnAllONOFF").empty());
    EXPECT_EQ(d.CallsCount("DeviceEndResultsLogging()"), 2) << "the failed entry's logs and the next one's";
    EXPECT_EQ(d.executed, 1);
}

TEST(PowerLevels, WaitsThatCannotEndStopTheSessionAsAFailure) {
    // No receiver ever reports a UTC second.
    {
        Harness h;
        auto& d = h.AddDevice(0, "GPS1");
        Reacquisition(h, 0, 1);
        h.AddTest(1, "COLD", 1);
        d.utc_seconds = -1;
        ASSERT_TRUE(h.Start());
        const int ticks = h.RunToEnd(1000);
        ASSERT_GE(ticks, 0);
        EXPECT_GT(h.clock.MonotonicMs(), 60000);
        EXPECT_LT(h.clock.MonotonicMs(), 63000);
        EXPECT_EQ(h.status.panels[1],
                  "Test Session FAILED: No receiver reported a UTC second with a fix within 60 s (REACQUISITION)");
        EXPECT_FALSE(h.status.Shown(1, "Test Session Completed"));
        EXPECT_EQ(d.executed, 0) << "nothing after the failure";
        EXPECT_GE(d.CallsCount("DeviceEndResultsLogging()"), 1);
    }
    // The simulator's restart sequence gave up.
    {
        Harness h;
        h.AddDevice(0, "GPS1");
        Reacquisition(h, 0, 1);
        h.sim.fail_restart = true;
        ASSERT_TRUE(h.Start());
        ASSERT_GE(h.RunToEnd(100), 0);
        EXPECT_EQ(h.status.panels[1], "Test Session FAILED: Simulator restart failed (REACQUISITION)");
        EXPECT_EQ(h.log.lines.back().rfind("Test session stopped: Simulator restart failed (REACQUISITION) during "
                                           "REACQUISITION test", 0), 0u) << h.log.lines.back();
    }
}

}  // namespace
}  // namespace sessiontest
