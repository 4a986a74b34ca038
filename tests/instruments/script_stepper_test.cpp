// The stepper on hand-stepped ticks and a fake clock: one line per tick,
// the waits and what ends them, RUN, PAUSE and STOP.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/instruments/script_fakes.h"
#include "tests/support/qt_app.h"

namespace {

using script_test::Calls;
using script_test::Rig;

// Ticks until the script ends or `max` ticks; the number of ticks run.
int RunToEnd(Rig& rig, int max = 100, int64_t ms = 200) {
    int n = 0;
    while (n < max && !rig.P().GetScriptEndStatus()) {
        rig.Tick(ms);
        ++n;
    }
    return n;
}

TEST(ScriptStepper, DelayEndsOnTheFirstTickAfterItAndTheNextLineRunsOneTickLater) {
    Rig rig;
    rig.P().SetLines({"DELAY>00:00:10", "SEND>A"});
    rig.P().ScriptRun();
    EXPECT_TRUE(rig.scriptTimer.Enabled());
    rig.Tick(200);  // runs the DELAY line
    ASSERT_EQ(rig.P().State().StepState, 1);
    int ticks = 0;
    while (rig.P().State().StepState == 1 && ticks < 100) {
        rig.Tick(1000);
        ++ticks;
        if (rig.P().State().StepState == 1) { EXPECT_EQ(rig.P().StatusText(), std::to_string(10 - ticks) + " s"); }
    }
    EXPECT_EQ(ticks, 11) << "the end is seen at the first tick after it";
    EXPECT_TRUE(rig.calls.empty()) << "the tick that ends a wait runs no line";
    rig.Tick();
    EXPECT_EQ(rig.calls, Calls{"SendCommandToDevices(A)"});
    EXPECT_TRUE(rig.P().GetScriptEndStatus());
    EXPECT_FALSE(rig.scriptTimer.Enabled());
    EXPECT_EQ(rig.P().State().LineIndex, 0) << "running past the end rewinds";
}

TEST(ScriptStepper, PauseDuringADelayLetsTheClockRun) {
    Rig rig;
    rig.P().SetLines({"DELAY>00:00:10", "SEND>A"});
    rig.P().ScriptRun();
    rig.Tick();
    rig.P().ScriptPause();
    EXPECT_FALSE(rig.Tick(30000)) << "a paused script does not tick";
    rig.P().ScriptRun();
    rig.Tick();
    EXPECT_EQ(rig.P().State().StepState, 0) << "the delay ended while paused";
    rig.Tick();
    EXPECT_EQ(rig.calls, Calls{"SendCommandToDevices(A)"});
}

TEST(ScriptStepper, DelayIsMeasuredOnTheMonotonicClock) {
    Rig rig;
    rig.P().SetLines({"DELAY>00:01:00", "SEND>A"});
    rig.P().ScriptRun();
    rig.Tick();
    rig.clock.StepWallClock(3600 * 1000);  // the wall clock jumps an hour
    rig.Tick();
    EXPECT_EQ(rig.P().State().StepState, 1) << "a clock change does not cut a delay";
    rig.Tick(60000);
    EXPECT_EQ(rig.P().State().StepState, 0);
}

TEST(ScriptStepper, StopDuringAWaitRewindsAndRunStartsAgainFromTheTop) {
    Rig rig;
    rig.P().SetLines({"SEND>A", "WAITFIX>60", "SEND>B"});
    rig.P().ScriptRun();
    rig.Tick();
    rig.Tick();
    rig.Tick();
    ASSERT_EQ(rig.P().State().StepState, 2);
    rig.P().ScriptStop();
    EXPECT_TRUE(rig.P().GetScriptEndStatus());
    EXPECT_EQ(rig.P().State().StepState, 0);
    EXPECT_EQ(rig.P().State().LineIndex, 0);
    rig.calls.clear();
    rig.P().ScriptRun();
    rig.Tick();
    EXPECT_EQ(rig.calls, Calls{"SendCommandToDevices(A)"});
}

TEST(ScriptStepper, EndInTheMiddleHoldsThePositionAndRunGoesOn) {
    Rig rig;
    rig.P().SetLines({"SEND>1", "SEND>2", "END>", "SEND>4", "SEND>5"});
    rig.P().ScriptRun();
    EXPECT_EQ(RunToEnd(rig), 3);
    EXPECT_EQ(rig.P().State().LineIndex, 3);
    EXPECT_FALSE(rig.scriptTimer.Enabled()) << "END stops the ticking";
    rig.P().ScriptRun();
    rig.Tick();
    EXPECT_EQ(rig.calls.back(), "SendCommandToDevices(4)");

    Rig last;
    last.P().SetLines({"SEND>1", "END>"});
    last.P().ScriptRun();
    RunToEnd(last);
    EXPECT_EQ(last.P().State().LineIndex, 0) << "END as the last line rewinds";

    Rig empty;
    empty.P().ScriptRun();
    empty.Tick();
    EXPECT_TRUE(empty.P().GetScriptEndStatus());
    EXPECT_FALSE(empty.scriptTimer.Enabled());
}

TEST(ScriptStepper, FixAndDifferentialWaitsEndWithTheirResultsInOrder) {
    Rig rig;
    rig.P().SetLines({"WAITFIX>30", "WAITDIFF>", "SEND>X"});
    rig.P().ScriptRun();
    rig.Tick();
    rig.calls.clear();
    for (int i = 0; i < 5; ++i) rig.Tick();
    EXPECT_TRUE(rig.calls.empty()) << "no fix, no results";
    rig.bench.testEnded = true;
    rig.Tick();
    EXPECT_EQ(rig.calls, (Calls{"IncrementTestDataTestNumber()", "IncrementResultsTestNumber()",
                                "FixEventManagement()"}));
    rig.calls.clear();
    rig.Tick();  // WAITDIFF
    rig.Tick();
    EXPECT_EQ(rig.calls, Calls{"ResetDiffAvailability()"});
    rig.bench.diffAvailable = true;
    rig.Tick();
    EXPECT_EQ(rig.calls, (Calls{"ResetDiffAvailability()", "IncrementTestDataTestNumber()",
                                "IncrementResultsTestNumber()", "DiffONEventManagement()"}));
}

TEST(ScriptStepper, UtcSecondWaitCountsAcrossTheMinute) {
    Rig rig;
    rig.P().SetLines({"WAITUTCSEC>10", "SEND>X"});
    const double day = 46000.0;
    auto at = [&](int second) { rig.bench.fixTime = day + (12 * 3600 + 5 * 60 + second) / 86400.0; };
    at(50);
    rig.P().ScriptRun();
    rig.Tick();
    rig.Tick();
    EXPECT_EQ(rig.P().StatusText(), "20");
    at(5);
    rig.Tick();
    EXPECT_EQ(rig.P().StatusText(), "5");
    at(10);
    rig.Tick();
    EXPECT_EQ(rig.P().State().StepState, 0);
    rig.Tick();
    EXPECT_EQ(rig.calls, Calls{"SendCommandToDevices(X)"});
}

TEST(ScriptStepper, SimulatorWaitPollsOnceASecond) {
    Rig rig;
    rig.bench.simEnded = true;
    rig.P().SetLines({"SIMCHECKRESTART>", "SEND>X"});
    rig.P().ScriptRun();
    rig.Tick();
    EXPECT_EQ(rig.P().State().StepState, 3);
    rig.Tick();
    EXPECT_EQ(rig.scriptTimer.Interval(), 1000);
    rig.Tick(1000);
    EXPECT_EQ(rig.P().State().StepState, 3);
    rig.sim.completed = true;
    rig.Tick(1000);
    EXPECT_EQ(rig.P().State().StepState, 0);
    EXPECT_EQ(rig.scriptTimer.Interval(), 200);
}

TEST(ScriptStepper, ControlsPressedDuringAStepActAfterIt) {
    // STOP pressed while a line runs: the script rewinds to its first line
    // instead of carrying on one line further.
    Rig rig;
    rig.P().SetLines({"SEND>A", "SEND>B", "SEND>C"});
    rig.P().ScriptRun();
    rig.bench.during = [&] { rig.P().ScriptStop(); };
    rig.Tick();
    EXPECT_TRUE(rig.P().GetScriptEndStatus());
    EXPECT_FALSE(rig.scriptTimer.Enabled());
    EXPECT_EQ(rig.P().State().LineIndex, 0);
    rig.P().ScriptRun();
    rig.Tick();
    EXPECT_EQ(rig.calls, (Calls{"SendCommandToDevices(A)", "SendCommandToDevices(A)"}));

    // PAUSE pressed while a line runs is not undone by the end of the step.
    Rig paused;
    paused.P().SetLines({"SEND>A", "SEND>B"});
    paused.P().ScriptRun();
    paused.bench.during = [&] { paused.P().ScriptPause(); };
    paused.Tick();
    EXPECT_FALSE(paused.scriptTimer.Enabled());
    EXPECT_EQ(paused.P().State().LineIndex, 1);

    // A second RUN while running changes nothing.
    Rig twice;
    twice.P().SetLines({"SEND>A", "SEND>B"});
    twice.P().ScriptRun();
    const int restarts = twice.scriptTimer.Restarts();
    twice.P().ScriptRun();
    EXPECT_EQ(twice.scriptTimer.Restarts(), restarts);
}

TEST(ScriptStepper, ALineWhoseCallFailsIsReportedOnceAndTheScriptGoesOn) {
    Rig rig;
    rig.P().SetLines({"SEND>A", "SEND>B"});
    rig.P().ScriptRun();
    rig.bench.during = [] { throw std::runtime_error("port gone"); };
    rig.Tick();
    rig.Tick();
    EXPECT_EQ(rig.calls, (Calls{"SendCommandToDevices(A)", "SendCommandToDevices(B)"}));
    ASSERT_EQ(rig.log.lines.size(), 1u);
    EXPECT_EQ(rig.log.lines[0], "Script line 1: port gone (ExecuteCommand)");
    EXPECT_TRUE(rig.P().GetScriptEndStatus());
}

TEST(ScriptStepper, LoadingAScriptForASessionStartsItAtTheTop) {
    test::TempHome home;
    test::WriteFileBytes(home.File("a.txt"), "3\r\n\"SEND>1\"\r\n\"END>\"\r\n\"SEND>3\"\r\n");
    test::WriteFileBytes(home.File("b.txt"), "2\r\n\"SEND>B1\"\r\n\"SEND>B2\"\r\n");
    Rig rig(home.Path());
    bench::session::IScriptPanel& engine_side = rig.P();
    ASSERT_TRUE(engine_side.LoadScript("a.txt"));
    engine_side.ScriptRun();
    RunToEnd(rig);
    ASSERT_EQ(rig.P().State().LineIndex, 2) << "halted by END in the middle";
    ASSERT_TRUE(engine_side.LoadScript("b.txt"));
    engine_side.ScriptRun();
    RunToEnd(rig);
    EXPECT_EQ(rig.calls, (Calls{"SendCommandToDevices(1)", "SendCommandToDevices(B1)", "SendCommandToDevices(B2)"}));

    // The panel's own Load keeps the position, as RUN resumes.
    rig.P().State().LineIndex = 1;
    int16_t status = 1;
    rig.P().LoadScript("a.txt", status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(rig.P().State().LineIndex, 1);
}

}  // namespace
