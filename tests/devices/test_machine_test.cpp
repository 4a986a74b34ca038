// The per-device restart test, stepped event by event on a fake clock with a
// recording port and main window: every transition of the machine.
#include "bench/devices/test_machine.h"

#include "bench/devices/nmea.h"
#include "platform/qt/bench_timer.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"

#include <gtest/gtest.h>

using namespace bench;

namespace {

struct Machine : ::testing::Test {
    Machine() {
        dev.Clock = &clock;
        dev.Host = &host;
        dev.Console.Port = &port;
        port.SetPortOpen(true);
        dev.DeviceID = 2;
        dev.MaxTTFF = 300;
    }
    // As the window starts every trial.
    void Execute(const std::string& command) {
        dev.TestCommand = command;
        dev.Ticks = 0;
        dev.TickLimit = 10;
        DeviceTestMachine(dev, EvStop);
        DeviceTestMachine(dev, EvStart);
    }
    std::string Panel1() const { return dev.Console.Status->PanelText(1); }
    platform::ManualTimer& Script() { return static_cast<platform::ManualTimer&>(*dev.Console.ScriptTimer); }
    int Sent(const std::string& command) const {
        int n = 0;
        for (const auto& w : port.Writes) n += w == command + "*" + NMEA_Checksum(command) + "\r\n";
        return n;
    }

    test::FakeClock clock;
    test::FakeBenchHost host;
    test::FakeSerialLink port;
    DeviceState dev;
};

}  // namespace

TEST_F(Machine, StartSendsTheCommandAndWaitsForTheRestart) {
    dev.TestCompleted = true;
    Execute("$PQNVCOLD");
    EXPECT_EQ(dev.TestState, CommandSent);
    EXPECT_FALSE(dev.TestCompleted);
    EXPECT_EQ(Sent("$PQNVCOLD"), 1);
    EXPECT_EQ(Panel1(), "TEST COMMAND SENT TO DEVICE");
    EXPECT_FALSE(Script().Enabled()) << "plain commands need no script";
}

TEST_F(Machine, HardwareResetAlsoPulsesThroughTheScriptTimer) {
    dev.HWReset = true;
    Execute("$PQNVCOLD");
    EXPECT_EQ(Sent("$PQNVCOLD"), 1);
    EXPECT_TRUE(Script().Enabled());
    EXPECT_EQ(Script().Interval(), 2000);
}

TEST_F(Machine, FamilyCommandsRunTheirScriptInsteadOfSending) {
    Execute("GARMIN COLD");
    EXPECT_TRUE(Script().Enabled());
    EXPECT_TRUE(port.Writes.empty());
    EXPECT_EQ(dev.TestState, CommandSent);
    DeviceTestMachine(dev, EvStop);
    Script().SetEnabled(false);
    Execute("garmin COLD");  // prefixes are case-sensitive
    EXPECT_FALSE(Script().Enabled());
    EXPECT_EQ(Sent("garmin COLD"), 1);
    EXPECT_TRUE(IsFamilyRestart("UBLOX HOT"));
    EXPECT_TRUE(IsFamilyRestart("OPUSCOLD"));
    EXPECT_FALSE(IsFamilyRestart(" UBLOX"));
}

TEST_F(Machine, IdleIgnoresEverythingButStartAndClear) {
    for (uint8_t e : {EvStop, EvRestartSeen, EvTick, EvFix, EvTrackingReached}) DeviceTestMachine(dev, e);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_TRUE(port.Writes.empty());
    EXPECT_EQ(Panel1(), "");
    dev.TestCompleted = true;
    DeviceTestMachine(dev, EvClearCompleted);
    EXPECT_FALSE(dev.TestCompleted);
    EXPECT_EQ(dev.TestState, Idle);
}

TEST_F(Machine, RestartSeenStartsTheClock) {
    Execute("$PQNVCOLD");
    clock.Advance(700);
    DeviceTestMachine(dev, EvRestartSeen);
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_EQ(Panel1(), "SYSTEM RESTART");
    EXPECT_DOUBLE_EQ(dev.RestartTime, clock.Now());
    EXPECT_EQ(dev.RestartClock.Milliseconds, 700);
    EXPECT_EQ(dev.RestartClock.Hour, 12);
}

TEST_F(Machine, StopInCommandSentReturnsToIdle) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvStop);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_FALSE(dev.TestCompleted);
}

TEST_F(Machine, StopIsShownInPlaceOfTheRunningText) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvStop);
    EXPECT_EQ(Panel1(), "TEST STOPPED") << "not the command it no longer waits for";
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    DeviceTestMachine(dev, EvTick);
    ASSERT_EQ(Panel1(), "TEST RUNNING: 0 -> WAITING FOR POSITION FIX");
    DeviceTestMachine(dev, EvStop);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_EQ(Panel1(), "TEST STOPPED");
    // The next trial's texts follow as before.
    Execute("$PQNVCOLD");
    EXPECT_EQ(Panel1(), "TEST COMMAND SENT TO DEVICE");
}

TEST_F(Machine, AFixBeforeTheRestartOnlyCountsATick) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvFix);
    EXPECT_EQ(dev.TestState, CommandSent);
    EXPECT_EQ(dev.Ticks, 1);
    EXPECT_FALSE(dev.TestCompleted);
    for (uint8_t e : {EvStart, EvTick, EvTrackingReached, EvClearCompleted}) DeviceTestMachine(dev, e);
    EXPECT_EQ(dev.Ticks, 5) << "start, tick, tracking and clear all count";
    EXPECT_EQ(Sent("$PQNVCOLD"), 1) << "a start does not restart the test";
}

TEST_F(Machine, UnansweredCommandIsRepeatedThenTheDeviceDisabled) {
    Execute("$PQNVCOLD");
    for (int failure = 1; failure <= 5; ++failure) {
        for (int t = 0; t < 9; ++t) DeviceTestMachine(dev, EvTick);
        EXPECT_EQ(Sent("$PQNVCOLD"), failure) << "nine ticks are not yet a time-out";
        DeviceTestMachine(dev, EvTick);
        EXPECT_EQ(dev.Failures, failure);
        EXPECT_EQ(dev.Ticks, 0);
        EXPECT_EQ(Sent("$PQNVCOLD"), failure + 1);
        EXPECT_EQ(Panel1(), "TEST COMMAND SENT TO DEVICE");
    }
    for (int t = 0; t < 10; ++t) DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.Failures, 6);
    EXPECT_EQ(host.Disabled, (std::vector<int16_t>{2}));
    EXPECT_EQ(Panel1(), "DEVICE DISABLED");
    EXPECT_EQ(Sent("$PQNVCOLD"), 6) << "a disabled device gets no more commands";
    EXPECT_EQ(dev.TestState, CommandSent);
    for (int t = 0; t < 10; ++t) DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(host.Disabled.size(), 2u) << "every further time-out tells the main window again";
}

TEST_F(Machine, FailuresLastForTheWindowsLife) {
    for (int trial = 0; trial < 6; ++trial) {
        Execute("$PQNVCOLD");
        for (int t = 0; t < 10; ++t) DeviceTestMachine(dev, EvTick);
        DeviceTestMachine(dev, EvRestartSeen);
        DeviceTestMachine(dev, EvFix);
    }
    EXPECT_EQ(dev.Failures, 6);
    EXPECT_EQ(host.Disabled.size(), 1u) << "the sixth time-out disables even across trials";
}

TEST_F(Machine, FamilyRepeatReenablesTheScript) {
    Execute("UBLOX COLD");
    Script().SetEnabled(false);
    for (int t = 0; t < 10; ++t) DeviceTestMachine(dev, EvTick);
    EXPECT_TRUE(Script().Enabled());
    EXPECT_TRUE(port.Writes.empty());
}

TEST_F(Machine, UnsetTickLimitStillRepeats) {
    dev.TestCommand = "$PQNVCOLD";
    dev.TickLimit = 0;
    DeviceTestMachine(dev, EvStart);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.Failures, 1) << "a zero limit is reached at the first tick";
    EXPECT_EQ(Sent("$PQNVCOLD"), 2);
}

TEST_F(Machine, FixGivesTheTTFFFromTheRestartPlusTheStartupDelay) {
    dev.StartupDelay = 2.5;
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(30'000);
    DeviceTestMachine(dev, EvFix);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_DOUBLE_EQ(dev.EndElapsed, 30.0);
    EXPECT_DOUBLE_EQ(dev.TTFF, 32.5);
    EXPECT_EQ(std::get<double>(dev.FixRow[0]), 32.5);
    EXPECT_EQ(Panel1(), "FIX AVAILABLE TTFF: 32.5 s");
    EXPECT_DOUBLE_EQ(dev.EndTime, clock.Now());
}

TEST_F(Machine, TTFFHasMillisecondsAndShortText) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(35'127);
    DeviceTestMachine(dev, EvFix);
    EXPECT_DOUBLE_EQ(dev.TTFF, 35.127);
    EXPECT_EQ(Panel1(), "FIX AVAILABLE TTFF: 35.127 s");
}

TEST_F(Machine, ClockStepsDoNotChangeTheTTFF) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(10'000);
    clock.StepWallClock(3'600'000);  // daylight saving or an NTP step
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.TestState, Running) << "no instant time-out";
    clock.Advance(2'250);
    DeviceTestMachine(dev, EvFix);
    EXPECT_DOUBLE_EQ(dev.TTFF, 12.25);
}

TEST_F(Machine, SecondRestartAnnouncementRestartsTheClock) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(4'000);
    DeviceTestMachine(dev, EvStart);  // a start while running changes nothing
    EXPECT_EQ(Sent("$PQNVCOLD"), 1);
    DeviceTestMachine(dev, EvRestartSeen);
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_EQ(Panel1(), "SYSTEM RESTART");
    clock.Advance(20'000);
    DeviceTestMachine(dev, EvFix);
    EXPECT_DOUBLE_EQ(dev.TTFF, 20.0);
}

TEST_F(Machine, TicksShowTheRunningTimeAndTimeOutPastTheMaximum) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(12'400);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.ElapsedSeconds, 12);
    EXPECT_EQ(Panel1(), "TEST RUNNING: 12 -> WAITING FOR POSITION FIX");
    clock.Advance(300'000 - 12'400);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.ElapsedSeconds, 300);
    EXPECT_EQ(dev.TestState, Running) << "at the maximum the test goes on";
    EXPECT_FALSE(dev.TestCompleted);
    clock.Advance(1'000);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_DOUBLE_EQ(dev.TTFF, 301);
    EXPECT_EQ(std::get<double>(dev.FixRow[0]), 301);
    EXPECT_EQ(Panel1(), "NO FIX AVAILABLE IN 300 s");
}

TEST_F(Machine, LongTestsDoNotOverflowTheElapsedSeconds) {
    dev.MaxTTFF = 32767;
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(40'000'000);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(dev.ElapsedSeconds, 40'000);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_EQ(Panel1(), "NO FIX AVAILABLE IN 32767 s");
}

TEST_F(Machine, TrackingModeMeasuresTheTimeToTrack) {
    dev.TestMode = 1;
    dev.TTTRKSats = 4;
    dev.TTTRKTime = 10;
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    clock.Advance(5'000);
    DeviceTestMachine(dev, EvTick);
    EXPECT_EQ(Panel1(), "TEST RUNNING: 5 -> WAITING FOR 4 TRACKED SATELLITES");
    // Four satellites whose runs of ten tracked epochs began 30 to 35.2 s
    // after the restart, the goal seen at 45.2 s: the receiver tracked them
    // at 35.2 s, when the last run began.
    const int64_t restart = dev.RestartMonotonicMs;
    const int64_t begun[4] = {30'000, 32'000, 34'000, 35'200};
    for (int i = 0; i < 4; ++i) {
        dev.Sats[i + 1].AcquiredEpochs = 10;
        dev.Sats[i + 1].AcquiredMonotonicMs = restart + begun[i];
    }
    dev.Sats[9].AcquiredEpochs = 9;  // not yet stable: no part of the goal
    dev.Sats[9].AcquiredMonotonicMs = restart + 36'200;
    clock.Advance(40'200);
    DeviceTestMachine(dev, EvTrackingReached);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_NEAR(dev.TTFF, 35.2, 1e-9);
    EXPECT_EQ(Panel1(), "TRACKED 4 SATS FOR 10s IN: 35.2 s");
}

TEST_F(Machine, TrackingModeNeedsItsSatellitesAndFailsAtTheTimeOut) {
    dev.TestMode = 1;
    dev.TTTRKSats = 0;  // even a goal of none wants one tracked satellite
    dev.TTTRKTime = 2;
    dev.MaxTTFF = 30;
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    DeviceTestMachine(dev, EvTrackingReached);
    EXPECT_EQ(dev.TestState, Running) << "no satellite tracked since the restart";
    clock.Advance(31'000);
    DeviceTestMachine(dev, EvTick);
    EXPECT_TRUE(dev.TestCompleted);
    EXPECT_EQ(dev.TTFF, -1) << "not tracked within the bound: failed, not a time";
    EXPECT_EQ(Panel1(), "NO FIX AVAILABLE IN 30 s");
}

TEST_F(Machine, StopWhileRunningAbandonsTheTest) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    DeviceTestMachine(dev, EvStop);
    EXPECT_EQ(dev.TestState, Idle);
    EXPECT_FALSE(dev.TestCompleted);
    DeviceTestMachine(dev, EvFix);
    EXPECT_FALSE(dev.TestCompleted) << "a fix after the stop measures nothing";
}

TEST_F(Machine, ClearCompletedWhileRunningChangesNothing) {
    Execute("$PQNVCOLD");
    DeviceTestMachine(dev, EvRestartSeen);
    DeviceTestMachine(dev, EvClearCompleted);
    EXPECT_EQ(dev.TestState, Running);
    EXPECT_EQ(Panel1(), "SYSTEM RESTART");
}
