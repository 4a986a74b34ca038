// The test state machine: one bounded step per timer tick.
#include <cmath>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/qt/bench_timer.h"
#include "bench/session/labsat_test_machine.h"
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "bench/session/time_text.h"
#include "platform/core/clock.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"

namespace bench::session {

using platform::NumberToText;

namespace {
constexpr double kLevelTolerance = 1e-9;
std::string I(int v) { return std::to_string(v); }
}  // namespace

TestEngine::TestEngine(BenchState& state, DeviceFanout& fanout, SessionServices& services)
    : state_(state), fanout_(fanout), services_(services) {
    if (services_.testTimer) services_.testTimer->SetTickHandler([this] { TestStateMachineTimer_Timer(); });
    if (services_.scriptTimer) services_.scriptTimer->SetTickHandler([this] { ScriptExecutionTimer_Timer(); });
    powerLevelStep = [this] { PowerLevelTestStateMachine(); };
    auto labsat = std::make_shared<LabSatTestMachine>(*this, services_);
    labSatStep = [labsat] { labsat->LabSatTestStateMachine(); };
}

void TestEngine::Status(int16_t panel, const std::string& text) {
    if (services_.status) services_.status->StatusBarMessage(panel, text);
}

void TestEngine::Log(const std::string& text) {
    if (services_.log) services_.log->WriteLine(text);
}

double TestEngine::Now() const { return services_.clock->Now(); }

int32_t TestEngine::SecondsSince(double then) const { return MakeTimeDifference(Now(), then); }

int16_t TestEngine::RandomWait() {
    const TestRun& r = state_.Run;
    const double u = services_.random ? services_.random->Next() : 0.0;
    return platform::RoundToInt16(r.MinWait + (r.MaxWait - r.MinWait) * u);
}

void TestEngine::TimerInterval(int ms) {
    if (services_.testTimer) services_.testTimer->SetInterval(ms);
}

void TestEngine::TimerEnabled(bool on) {
    if (services_.testTimer) services_.testTimer->SetEnabled(on);
}

void TestEngine::SetMaxAcceptableTTFF(int16_t seconds) {
    state_.MaxAcceptableTTFF = seconds;
    fanout_.SetMaxAcceptableTTFFOnDevice(seconds);
    if (maxTtffChanged) maxTtffChanged(seconds);
}

std::string TestEngine::TestLine0() const {
    const TestRun& r = state_.Run;
    const std::string tt = r.TttrkOption == 1
                               ? "Time To Track " + I(r.TttrkSats) + " Sats For " + I(r.TttrkTime) + "s"
                               : "";
    if (!r.PowerMode)
        return "TEST: " + r.TestType + " " + tt + " ongoing " + I(r.Trial) + " of " + I(r.Trials);
    return "TEST: " + r.TestType + " " + tt + "  - ongoing " + I(r.Trial) + " of " + I(r.Trials) +
           " - power level " + NumberToText(r.CurrentPower) + " range (" + NumberToText(r.StartPower) +
           " .. " + NumberToText(r.EndPower) + ")";
}

std::string TestEngine::TestLine3() const {
    const TestRun& r = state_.Run;
    std::string s = "TEST: " + r.TestType + "  - ongoing " + I(r.Trial) + " of " + I(r.Trials);
    if (r.PowerMode)
        s += " - power level " + NumberToText(r.CurrentPower) + " range (" + NumberToText(r.StartPower) +
             " .. " + NumberToText(r.EndPower) + ")";
    return s;
}

// Test end, in the order the devices' files need: statistics before the
// logs close, the next test last.
void TestEngine::EndTest(int from) {
    if (from == 3 || from == 4 || from == 10 || from == 13) state_.Run.Running = false;
    TimerEnabled(false);
    TestState = 0;
    if (from == 3 || from == 4 || from == 10) fanout_.DeviceLogT2AT2UStatistics();
    fanout_.TestingEndPrimaryLogging();
    fanout_.TestingEndSecondaryLogging();
    fanout_.TestingEndResultsLogging();
    // The sampling files are closed whichever series ended the test.
    if ((from == 3 || from == 4 || from == 10) && state_.Options.GGASamp) fanout_.DeviceGGASamplingLogEnd();
    const std::string failure = std::exchange(entry_failure_text_, {});
    ExecuteNextTest();
    if (!failure.empty()) ShowEntryFailure(failure);
}

void TestEngine::EntryFailed(const std::string& text) {
    ++failed_entries_;
    entry_failure_text_ = text;
}

// The UTC second at which a synchronised trial may start: the second of the
// last fix while fixes keep coming; the PC clock less its offset to UTC once
// the last fix is more than 2 s old, so the wait never hangs without a fix.
int TestEngine::UtcSecondNow() const {
    const int64_t set_ms = state_.FixAvailableSetMs;
    if (set_ms >= 0 && services_.clock->MonotonicMs() - set_ms <= 2000)
        return SecondOfMinute(state_.FixAvailableTime);
    long long pc = SecondsOfDay(Now()) - static_cast<long long>(state_.PCtoUTCDelta);
    pc %= 86400;
    if (pc < 0) pc += 86400;
    return static_cast<int>(pc % 60);
}

// A receiver whose trial never ends by itself is taken out of the session:
// one from which no sentence could be read since the trial began (it sends
// nothing, or only bytes that make no sentence, as at a wrong baud rate)
// once the longest acceptable TTFF has passed, as no fix can come from it
// in time; any other after the longest acceptable TTFF and a minute more.
void TestEngine::CheckSilentDevices() {
    const int64_t longest_ms = static_cast<int64_t>(state_.MaxAcceptableTTFF) * 1000;
    const int64_t since_ms = services_.clock->MonotonicMs() - restart_sent_ms_;
    if (since_ms <= longest_ms) return;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s) || state_.TrialFailed[s]) continue;
        bool completed = true, heard = true;
        fanout_.Guarded("TestStateMachine", s, [&] {
            DeviceOps& d = *state_.NmeaWindows[s];
            completed = d.IsTestCompleted();
            heard = d.DeviceHeardSinceTrialStart();
        });
        if (completed || state_.TrialFailed[s]) continue;
        const std::string trial = "trial " + I(state_.Run.Trial) + " of " + state_.Run.TestType;
        if (!heard) {
            Log("Device " + state_.RunConfig.Devices[s].DName + ": no sentence could be read from it in the " +
                I(state_.MaxAcceptableTTFF) + " s of " + trial +
                " (nothing received, or a wrong baud rate): disabled for this session");
        } else if (since_ms > longest_ms + 60000) {
            Log("Device " + state_.RunConfig.Devices[s].DName + " did not complete " + trial + " within " +
                I(state_.MaxAcceptableTTFF + 60) + " s: disabled for this session");
        } else {
            continue;
        }
        fanout_.DeviceDisable(s);
    }
}

bool TestEngine::StopWhenNoReceiverLeft() {
    std::string out;
    for (int s = 0; s < DeviceSlots; ++s) {
        DeviceOps* d = state_.NmeaWindows[s];
        if (!d) continue;
        std::string why;
        if (!fanout_.SlotEnabled(s)) {
            why = "disabled";
        } else {
            bool lost = false;
            fanout_.Guarded("TestStateMachine", s, [&] { lost = d->DevicePortLost() && !d->DevicePortReopening(); });
            if (!lost) return false;
            why = "port " + I(state_.RunConfig.Devices[s].NmeaP) + " lost";
        }
        out += (out.empty() ? "" : ", ") + state_.RunConfig.Devices[s].DName + " " + why;
    }
    if (out.empty()) return false;
    StopSessionAsFailure("No receiver left in the test session (" + out + ")");
    return true;
}

void TestEngine::ErrorReportTo(const char* procedure, const std::exception_ptr& e) noexcept {
    try {
        if (IsRepeatedWriteFailure(e)) return;
        Log(ErrorOf(e).Description + " (" + procedure + ")");
    } catch (...) {
    }
}

void TestEngine::TestStateMachineTimer_Timer() {
    try {
        TestStateMachine();
    } catch (...) {
        ErrorReportTo("TestStateMachine", std::current_exception());
    }
}

void TestEngine::TestStateMachine() {
    TestRun& r = state_.Run;
    switch (TestState) {
    case 0:
        if (r.Running) {
            if (StopWhenNoReceiverLeft()) break;
            TestState = 1;
            Status(2, TestLine0());
            if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
        }
        break;
    case 1:
        // The state moves on first: whatever fails below, the next tick
        // never restarts the receivers again.
        TestState = 2;
        Status(1, "Test Session Init");
        restart_sent_ms_ = services_.clock->MonotonicMs();
        ExecuteTestOnDevices();
        if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
        break;
    case 2:
        State2();
        break;
    case 3:
        State3();
        break;
    case 4:
        State4();
        break;
    case 5: {
        // The simulator is waited on only while it can answer, and never
        // for ever: a lost link fails the entry, a silent one the session.
        if (!services_.simulator) {
            FailSimulatorEntry(r.TestType, "there is no simulator");
            break;
        }
        if (services_.simulator->IsSimMngFailed()) {
            if (!services_.simulator->SimLinkUp())
                FailSimulatorEntry(r.TestType, "the simulator is not connected");
            else
                StopSessionAsFailure("Simulator restart failed (" + r.TestType + ")");
            break;
        }
        if (!services_.simulator->IsSimMngCompleted()) break;
        ApplyPendingLevelLogs();
        Status(1, "Simulator Configuration Completed - Current Power: " + NumberToText(r.CurrentPower));
        if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
        r.Wait = RandomWait();
        if (r.AlmanacWaitTime != 0) {
            TestState = 6;
        } else if (r.TestType == "REACQUISITION") {
            TestState = 12;
            PowerSubState = 0;
        } else if (r.UtcMode) {
            // A synchronised test on the simulator starts its series on the
            // UTC second once the simulator is ready.
            r.TrialEnd = Now();
            TestState = 3;
        } else {
            TestState = 0;
        }
        break;
    }
    case 6:
        WaitStart = Now();
        TestState = 7;
        break;
    case 7: {
        const int32_t elapsed = SecondsSince(WaitStart);
        Status(1, "Waiting AlmanacsTest: " + I(r.AlmanacWaitTime - elapsed) + " s");
        if (elapsed >= r.AlmanacWaitTime) TestState = 0;
        break;
    }
    case 8:
        if (!SimulatorUsable()) {
            FailSimulatorEntry(r.TestType, "the simulator is not connected");
            break;
        }
        if (services_.simulator->GetSimStatus() == 6) {
            TimerEnabled(false);
            TestState = 0;
            fanout_.TestingEndPrimaryLogging();
            fanout_.TestingEndSecondaryLogging();
            fanout_.TestingEndResultsLogging();
            ExecuteNextTest();
        } else {
            Status(1, "24H Tracking Test Running: " + RunningTimeText(Now(), r.TestStart));
        }
        break;
    case 9:
        Status(1, "Test Running: " + RunningTimeText(Now(), r.TestStart));
        break;
    case 10:
        State10();
        break;
    case 11:
        if (fanout_.DiffAvailableEvent()) {
            // The differential result belongs to the trial that just ended.
            DiffONEventManagementFor(static_cast<int16_t>(r.Trial - 1));
            r.TrialEnd = Now();
            TestState = 3;
        } else {
            Status(1, "SBAS Test in progress: " + I(SecondsSince(r.TrialEnd)));
        }
        break;
    case 12:
        if (powerLevelStep) powerLevelStep();
        break;
    case 13:
        if (labSatStep) labSatStep();
        // The replays' logs and the results logs opened for the test end
        // with it, as after any other test.
        if (LabSatSubState == 6) EndTest(13);
        break;
    case 14:
        Status(1, "Erasing Old Almanacs");
        fanout_.SendTestCommandToDevice("$PQNVCOLD,15");
        WaitStart = Now();
        TestState = 15;
        break;
    case 15:
        if (SecondsSince(WaitStart) > 1) {
            Status(1, "Loading Almanacs");
            if (services_.script) services_.script->SendMessagesFromFile(100, r.AlmanacFile);
            WaitStart = Now();
            TestState = 16;
        }
        break;
    case 16:
        Status(1, "Waiting for Loading Almanacs " + I(SecondsSince(WaitStart)));
        if (!services_.script || !services_.script->sendingFlag()) TestState = r.ReturnState;
        break;
    default:
        break;
    }
}

void TestEngine::State2() {
    TestRun& r = state_.Run;
    Status(1, "Testing Ongoing");
    CheckSilentDevices();
    if (!fanout_.TestEndEvent()) return;
    r.TrialEnd = Now();
    // Every SBAS trial, the last one too, waits for its differential fix.
    // The state moves first: the results are written once whatever fails.
    TestState = state_.Options.SBASTEST ? 11 : 3;
    if (!state_.Options.SBASTEST) NoteTrialRowsPending(CollectFixResults());
    // The trial that lost the last receiver is written; no other follows.
    if (StopWhenNoReceiverLeft()) return;
    ++r.Trial;
    if (r.Trial <= r.Trials) {
        // The caption keeps counting the trial just ended, as the status bar
        // does, until the next one is announced.
        if (services_.results) services_.results->AddLineLable(r.Trial, I(r.Trial));
        r.Wait = RandomWait();
    }
}

void TestEngine::State3() {
    TestRun& r = state_.Run;
    const int32_t elapsed = SecondsSince(r.TrialEnd);
    if (state_.Options.GGASamp && r.Wait < 60) r.Wait = static_cast<int16_t>(r.Wait + 60);
    bool go;
    if (r.UtcMode) {
        const int s = UtcSecondNow();
        go = s == r.UtcSecond;
        if (!go) Status(1, "Waiting to start next test: " + I(s > r.UtcSecond ? 60 - s + r.UtcSecond : r.UtcSecond - s));
    } else {
        go = elapsed >= r.Wait;
        if (!go) Status(1, "Waiting to start next test: " + I(r.Wait - elapsed));
    }
    if (!go) return;
    if (state_.Options.ExelInterface && r.DeviceSheet)
        fanout_.SpreadSheetWriteAfterFixData(static_cast<int16_t>(r.Trial - 1));
    // A finished series shows no trial past its count.
    if (r.Trial <= r.Trials) {
        Status(2, TestLine3());
        if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
    }
    const int16_t done = static_cast<int16_t>(r.Trial - 1);
    if (r.Trial > r.Trials) {
        // The last trial of a series writes its rows like every other trial.
        if (done >= 1) {
            fanout_.DeviceLogT2AT2UToFile(done);
            if (state_.Options.GGASamp) fanout_.DeviceGGASamplingLogAddLine(done);
        }
        if (r.PowerMode) {
            r.Trial = 1;
            TestState = 4;
        } else if (r.UtcMode) {
            r.Trial = 1;
            TestState = 10;
        } else {
            EndTest(3);
        }
        return;
    }
    TestState = 0;
    if (r.Trial > 1) {
        fanout_.DeviceLogT2AT2UToFile(done);
        Status(1, "");
        if (state_.Options.GGASamp) fanout_.DeviceGGASamplingLogAddLine(done);
    }
}

void TestEngine::State4() {
    TestRun& r = state_.Run;
    const bool rising = r.StartPower <= r.EndPower;
    const double step = std::fabs(r.PowerStep);
    r.CurrentPower = rising ? r.CurrentPower + step : r.CurrentPower - step;
    r.LogSuffix = "_PW" + NumberToText(r.CurrentPower);
    // A step of 0 runs one level only.
    const bool past = step == 0 || (rising ? r.CurrentPower > r.EndPower + kLevelTolerance
                                           : r.CurrentPower < r.EndPower - kLevelTolerance);
    if (past) {
        EndTest(4);
        return;
    }
    // A link that is down is connected again by the restart, within its
    // bound; the level's files wait until its power is set (state 5).
    DeviceSheetForSeries();
    Status(1, "Simulator Configuration Ongoing");
    if (r.RestartBeforeSim) fanout_.SendRestartCommandToDevice();
    services_.simulator->SimRestart(r.CurrentPower, r.RestartArg, r.FirstSatPower, r.FirstSatChannel,
                                    r.FirstSatEn, r.SetupTime, r.SimPower, r.RestartBeforeSim);
    TestState = 5;
    level_logs_pending_ = LevelLogs::Change;
}

void TestEngine::State10() {
    TestRun& r = state_.Run;
    r.UtcSecond = static_cast<int16_t>(r.UtcSecond + r.UtcSecondStep);
    if (r.UtcSecond < r.UtcSecondLimit && r.UtcSecondStep != 0) {
        Status(1, "Commands Synchronization on UTC second " + I(r.UtcSecond));
        r.LogSuffix = "_UTC" + I(r.UtcSecond);
        DeviceSheetForSeries();
        TestState = 3;
        fanout_.TestingChangePrimaryLogFile(r.LogSuffix + ".txt");
        fanout_.TestingChangeResultsLogFile(r.LogSuffix + ".txt");
    } else {
        EndTest(10);
    }
}

}  // namespace bench::session
