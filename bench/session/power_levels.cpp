// The power-level sub-machine of REACQUISITION tests: per trial the nominal
// level, a hot start, the settle time, the test level, the signal switched
// off at a scheduled scenario second and on again after the off time, then
// the wait until every receiver tracks again; after the last trial the next
// single-satellite level, then the next overall level.
#include <cmath>

#include "bench/devices/timing.h"
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "platform/core/clock.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

namespace bench::session {

using platform::NumberToText;

namespace {
constexpr double kLevelTolerance = 1e-9;
constexpr int32_t kDay = 86400;
std::string I(long v) { return std::to_string(v); }

// Seconds from `now` forward to `target` on the day's circle, 0..86399.
int32_t SecondsUntil(int32_t target, int32_t now) {
    int32_t d = (target - now) % kDay;
    return d < 0 ? d + kDay : d;
}
// `now` has not yet passed `target`: target is ahead by at most half a day
// (or is now). A tick that jumps past noon or midnight cannot read as a
// wait of nearly a day.
bool NotYetPast(int32_t target, int32_t now) { return SecondsUntil(target, now) <= kDay / 2; }
}  // namespace

bool TestEngine::SimulatorUsable() const { return services_.simulator && services_.simulator->SimLinkUp(); }

void TestEngine::FailSimulatorEntry(std::string type, const std::string& why) {
    TestRun& r = state_.Run;
    level_logs_pending_ = LevelLogs::None;
    ++failed_entries_;
    Log("Test entry " + I(r.TestIndex) + " (" + type + ") failed: " + why);
    const bool was_running = r.Running;
    r.Running = false;
    TimerEnabled(false);
    TestState = 0;
    PowerSubState = 0;
    if (was_running) {
        fanout_.TestingEndPrimaryLogging();
        fanout_.TestingEndSecondaryLogging();
        fanout_.TestingEndResultsLogging();
    }
    ExecuteNextTest();
    // After the next entry's own opening texts, so the failure stays in view
    // until something newer happens.
    ShowEntryFailure("TEST FAILED: " + type + " - " + why);
}

// A level's files are made once the simulator has set its power: a level
// that never got its power leaves no files that look like its results.
void TestEngine::StartLevelLogs(int16_t index, bool on_simulator) {
    if (on_simulator) {
        level_logs_pending_ = LevelLogs::Start;
        level_logs_index_ = index;
        return;
    }
    fanout_.InitLogging(index, "");
    fanout_.DeviceResetT2AT2UStatistics();
}

void TestEngine::ApplyPendingLevelLogs() {
    const LevelLogs pending = level_logs_pending_;
    level_logs_pending_ = LevelLogs::None;
    const TestRun& r = state_.Run;
    if (pending == LevelLogs::Start) {
        fanout_.InitLogging(level_logs_index_, "");
        fanout_.DeviceResetT2AT2UStatistics();
    } else if (pending == LevelLogs::Change) {
        fanout_.TestingChangePrimaryLogFile(r.LogSuffix + ".txt");
        fanout_.DeviceLogT2AT2UStatistics();
        fanout_.TestingChangeResultsLogFile(r.LogSuffix + ".txt");
        if (services_.results) services_.results->ResetResultsWindow();
    }
}

void TestEngine::StopSessionAsFailure(const std::string& why) {
    StopSession(why);
    Status(1, "Test Session FAILED: " + why);
}

void TestEngine::PowerLevelTestStateMachine() {
    TestRun& r = state_.Run;
    PowerTimes& p = Power;
    // A simulator that went away does not let the receivers run as if the
    // signal had been switched.
    if (r.PowerMode && PowerSubState != 0 && !SimulatorUsable()) {
        FailSimulatorEntry(r.TestType, "the simulator is not connected");
        return;
    }
    switch (PowerSubState) {
    case 0: {
        Status(1, "IDLE State");
        if (!r.Running) return;
        p.RunStartUtc = fanout_.GetCurrentUTCSeconds(true);
        Status(1, "Initializing UTC Seconds" + I(p.RunStartUtc));
        if (p.RunStartUtc < 0) {
            const int64_t now_ms = services_.clock->MonotonicMs();
            if (p.UtcWaitStartMs < 0) p.UtcWaitStartMs = now_ms;
            if (now_ms - p.UtcWaitStartMs > kInstrumentAnswerTimeoutMs)
                StopSessionAsFailure("No receiver reported a UTC second with a fix within " +
                                     I(kInstrumentAnswerTimeoutMs / 1000) + " s (" + r.TestType + ")");
            return;
        }
        p.UtcWaitStartMs = -1;
        if (r.PowerMode && !SimulatorUsable()) {
            FailSimulatorEntry(r.TestType, "the simulator is not connected");
            return;
        }
        p.TimeIntoRun = (p.RunStartUtc + 15) % 3600;
        Status(1, "InitTimeIntoRun: " + I(p.TimeIntoRun) + " s");
        PowerSubState = 1;
        break;
    }
    case 1:
        // Every trial of every level names itself, the first one too.
        Status(2, TestLine3());
        Status(1, "Initializing Test Scenario");
        if (r.PowerMode && r.CurrentPower < r.SimPowerCopy) services_.simulator->SimSetPower(r.SimPowerCopy);
        PowerSubState = 2;
        break;
    case 2:
        Status(1, "Initializing Devices");
        fanout_.SendTestCommandToDevice("HOT");
        p.SettleStart = Now();
        PowerSubState = 3;
        break;
    case 3: {
        const int32_t elapsed = SecondsSince(p.SettleStart);
        if (elapsed >= r.SignalCycleSeconds) {
            PowerSubState = 4;
            break;
        }
        Status(1, "Waiting for test conditions: " + I(r.SignalCycleSeconds - elapsed) + "s");
        break;
    }
    case 4:
        if (r.PowerMode) {
            Status(1, "Setting Test Signal Level");
            services_.simulator->SimSetPower(r.CurrentPower);
        }
        PowerSubState = r.SingleSatEn ? 13 : 5;
        break;
    case 13:
        if (r.SingleSatEn && r.PowerMode)
            services_.simulator->SimSetChPower("-", r.SingleSatChannel, r.SingleSatPower);
        PowerSubState = 5;
        break;
    case 5: {
        p.CycleSeconds = r.SignalCycleSeconds;
        // The schedule is needed in every mode (sub-states 6 and 8 wait on
        // it); only the switching itself needs the simulator.
        p.NowUtc = fanout_.GetCurrentUTCSeconds(false);
        const int32_t now = p.NowUtc + (p.NowUtc < p.RunStartUtc ? kDay : 0);
        p.SignalSwitchTime = now - p.RunStartUtc + p.TimeIntoRun + p.CycleSeconds;
        p.SignalOffUtc = (p.CycleSeconds + p.NowUtc) % kDay;
        p.SignalOnUtc = (r.OffTime + p.SignalOffUtc) % kDay;
        if (r.PowerMode) {
            if (r.SingleSatEn)
                services_.simulator->SimTurnChONOFF(I(p.SignalSwitchTime), r.SingleSatChannel, 0);
            else
                services_.simulator->SimTurnAllONOFF(I(p.SignalSwitchTime), 0);
        }
        fanout_.InitReacquisitionTest(p.SignalOffUtc, p.SignalOnUtc);
        PowerSubState = 6;
        fanout_.AcquiringTestStartOnDevices();
        p.SettleStart = Now();
        break;
    }
    case 6: {
        p.NowUtc = fanout_.GetCurrentUTCSeconds(false);
        if (NotYetPast(p.SignalOffUtc, p.NowUtc)) {
            const int32_t left = SecondsUntil(p.SignalOffUtc, p.NowUtc);
            if (p.NowUtc > 43200 && p.SignalOffUtc < 43200)
                Status(1, "Waiting for signal stabilization: " + I(left) + "s");
            else
                Status(1, "Waiting for signal stabilization " + I(left) + "s" + I(p.SignalOffUtc) + " " +
                              I(p.SignalOnUtc) + " " + I(p.SignalSwitchTime));
            // The target is what the receivers track while the signal is
            // still on: within the switch-off second a receiver may already
            // have lost it, and a target of none would end every trial at once.
            if (left > 0) fanout_.TestingSetTTTRKSatsToCurrentStableTracked(5);
            break;
        }
        p.SignalSwitchTime += r.OffTime;
        if (r.PowerMode) {
            if (r.SingleSatEn)
                services_.simulator->SimTurnChONOFF(I(p.SignalSwitchTime), r.SingleSatChannel, 1);
            else
                services_.simulator->SimTurnAllONOFF(I(p.SignalSwitchTime), 1);
        }
        fanout_.StartReacquisitionTest();
        restart_sent_ms_ = services_.clock->MonotonicMs();
        PowerSubState = 8;
        break;
    }
    case 8: {
        p.NowUtc = fanout_.GetCurrentUTCSeconds(false);
        // Within 2 s of the switch-on, or past it.
        const int32_t left = SecondsUntil(p.SignalOnUtc, p.NowUtc);
        if (!NotYetPast(p.SignalOnUtc, p.NowUtc) || left <= 2) {
            PowerSubState = 9;
            break;
        }
        Status(1, "Signal OFF Time: " + I(left) + "s - UTC Time for Signal ON: " + MakeTimeStringFromSeconds(p.SignalOnUtc));
        break;
    }
    case 9:
        Status(1, "Test Ongoing");
        // A receiver that never tracks again is taken out, as in every trial.
        CheckSilentDevices();
        if (!fanout_.TestEndEvent()) break;
        r.TrialEnd = Now();
        SatellitesTrackedEventManagement();
        ++r.Trial;
        if (r.Trial <= r.Trials) {
            if (services_.results) {
                services_.results->UpdateTest(r.Trial, r.Trials);
                services_.results->AddLineLable(r.Trial, I(r.Trial));
            }
            r.Wait = RandomWait();
        }
        PowerSubState = 10;
        break;
    case 10:
        PowerSubStateBetweenTrials();
        break;
    case 11:
        PowerSubStateNextLevel();
        break;
    case 12:
        PowerSubStateNextSingleSat();
        break;
    default:
        break;
    }
}

void TestEngine::PowerSubStateBetweenTrials() {
    TestRun& r = state_.Run;
    const int32_t elapsed = SecondsSince(r.TrialEnd);
    if (state_.Options.GGASamp && r.Wait < 60) r.Wait = static_cast<int16_t>(r.Wait + 60);
    if (elapsed < r.Wait) {
        Status(1, "Waiting to start next test: " + I(r.Wait - elapsed));
        return;
    }
    const int16_t done = static_cast<int16_t>(r.Trial - 1);
    if (state_.Options.ExelInterface && r.DeviceSheet) fanout_.SpreadSheetWriteAfterFixData(done);
    // A finished series shows no trial past its count.
    if (r.Trial <= r.Trials) Status(2, TestLine3());
    // Every trial writes its T2A/T2U row, the last of a level too.
    if (done >= 1) fanout_.DeviceLogT2AT2UToFile(done);
    if (r.Trial <= r.Trials) {
        Status(1, "");
        PowerSubState = 1;
    } else if (r.PowerMode) {
        r.Trial = 1;
        PowerSubState = r.SingleSatEn ? 12 : 11;
    } else {
        PowerSubState = 0;
        EndTest(4);
    }
}

void TestEngine::PowerSubStateNextLevel() {
    TestRun& r = state_.Run;
    Status(1, "Next Test");
    if (!r.PowerMode) {
        PowerSubState = 1;
        return;
    }
    const bool rising = r.StartPower <= r.EndPower;
    // A step of 0 runs one level; a negative one still moves towards the end.
    const double step = std::fabs(r.PowerStep);
    r.CurrentPower = rising ? r.CurrentPower + step : r.CurrentPower - step;
    r.LogSuffix = r.SingleSatEn ? "_SatPW" + NumberToText(r.SingleSatPower) + "_PW" + NumberToText(r.CurrentPower)
                                : "_PW" + NumberToText(r.CurrentPower);
    const bool past = step == 0 || (rising ? r.CurrentPower > r.EndPower + kLevelTolerance
                                           : r.CurrentPower < r.EndPower - kLevelTolerance);
    if (past) {
        PowerSubState = 0;
        EndTest(4);
        return;
    }
    Status(1, "Simulator Configuration Ongoing");
    if (r.RestartBeforeSim) fanout_.SendRestartCommandToDevice();
    services_.simulator->SimRestart(r.CurrentPower, r.RestartArg, r.FirstSatPower, r.FirstSatChannel, r.FirstSatEn,
                                    r.SetupTime, r.SimPower, r.RestartBeforeSim);
    TestState = 5;
    PowerSubState = 0;
    level_logs_pending_ = LevelLogs::Change;
}

void TestEngine::PowerSubStateNextSingleSat() {
    TestRun& r = state_.Run;
    Status(1, "Next Single Sat Power");
    if (!r.PowerMode) {
        PowerSubState = 1;
        return;
    }
    const bool rising = r.SingleSatStartPower <= r.SingleSatEndPower;
    const double step = std::fabs(r.SingleSatStep);
    r.SingleSatPower = rising ? r.SingleSatPower + step : r.SingleSatPower - step;
    const bool past = step == 0 || (rising ? r.SingleSatPower > r.SingleSatEndPower + kLevelTolerance
                                           : r.SingleSatPower < r.SingleSatEndPower - kLevelTolerance);
    if (past) {
        r.SingleSatPower = r.SingleSatStartPower;
        PowerSubState = 11;
        return;
    }
    PowerSubState = 1;
    r.LogSuffix = "_SatPW" + NumberToText(r.SingleSatPower) + "_PW" + NumberToText(r.CurrentPower);
    fanout_.TestingChangePrimaryLogFile(r.LogSuffix + ".txt");
    fanout_.DeviceLogT2AT2UStatistics();
    fanout_.TestingChangeResultsLogFile(r.LogSuffix + ".txt");
    if (services_.results) services_.results->ResetResultsWindow();
}

}  // namespace bench::session
