// The test list: which entry runs next, and how each test type starts.
#include <cstdlib>
#include <utility>

#include "platform/qt/bench_timer.h"
#include "bench/devices/byte_log.h"
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "platform/core/clock.h"
#include "platform/core/numtext.h"

namespace bench::session {

using platform::NumberToText;

namespace {
bool IsSyncType(const std::string& t) { return t == "SYNC_COLD" || t == "SYNC_WARM" || t == "SYNC_HOT"; }
bool Contains(const std::string& s, const char* what) { return s.find(what) != std::string::npos; }
}  // namespace

bool TestEngine::IsLabSatEntry(const TestEntry& e) const { return e.LabSat == FlagSet; }

// What kept a session from running every entry ("" when all ran).
std::string TestEngine::EntriesNotRun() const {
    std::string text;
    if (skipped_entries_ > 0)
        text += std::to_string(skipped_entries_) + (skipped_entries_ == 1 ? " test entry" : " test entries") + " skipped";
    if (failed_entries_ > 0)
        text += (text.empty() ? "" : ", ") + std::to_string(failed_entries_) +
                (failed_entries_ == 1 ? " test entry" : " test entries") + " failed";
    return text;
}

// A session that lost files or skipped entries must not look like a clean
// one: the second status panel and a warning say so at its end, and the
// system log names each file with what it lost.
void TestEngine::ReportSessionLosses() {
    const size_t files = WriteFailures::Count();
    const std::string entries = EntriesNotRun();
    if (files == 0 && entries.empty()) return;
    std::string text = "SESSION INCOMPLETE:";
    if (files > 0) text += " " + std::to_string(files) + (files == 1 ? " file" : " files") + " could not be written";
    if (files > 0 && !entries.empty()) text += ",";
    if (!entries.empty()) text += " " + entries;
    Status(2, text);
    std::string detail = text + " (see the system log)";
    Log(text);
    for (const std::string& loss : WriteFailures::Losses()) {
        detail += "\n" + loss;
        Log(loss);
    }
    if (services_.prompter) services_.prompter->Warn("WARNING", detail);
}

// After a failed entry has ended: its failure stays in view while the
// session goes on, and after the closing text when the list has ended (a
// session stopped meanwhile keeps its own text).
void TestEngine::ShowEntryFailure(const std::string& text) {
    if (state_.SessionRunning)
        Status(1, text);
    else if (!list_end_text_.empty())
        Status(1, list_end_text_ + " - " + text);
}

// One check per instrument, asked of what the bench has wired: "" when it
// can act now, else what is missing.
std::string TestEngine::SimulatorMissing() const {
    if (!services_.simulator) return "no simulator connected";
    return services_.simulator->NotReadyReason();
}

std::string TestEngine::LabSatMissing() const {
    if (!services_.labsat || !labSatStep) return "no LabSat unit connected";
    return services_.labsat->NotReadyReason();
}

std::string TestEngine::PowerLevelMissing() const {
    return powerLevelStep ? std::string() : "the power-level sequence is not available";
}

std::string TestEngine::ScriptPanelMissing() const { return services_.script ? std::string() : "no script panel"; }

std::string TestEngine::MissingInstrument(const TestEntry& e) {
    const std::string& t = e.Type;
    const bool acquisition = t == "WARM" || t == "COLD" || t == "HOT" || t == "BAD_POSITION" || IsSyncType(t) ||
                             Contains(t, "BAD_NCO");
    std::string why;
    if (t == "REACQUISITION") {
        why = PowerLevelMissing();
        if (why.empty() && e.Simulator == FlagSet) why = SimulatorMissing();
    } else if (acquisition || t == "TRACK24H") {
        if (e.Simulator == FlagSet)
            why = SimulatorMissing();
        else if (IsLabSatEntry(e))
            why = LabSatMissing();
        // The almanacs go to the receivers through the script panel.
        if (why.empty() && !e.AlmanacFile.empty() && fanout_.testfile(e.AlmanacFile)) why = ScriptPanelMissing();
    } else if (t == "SCRIPT") {
        why = ScriptPanelMissing();
    }
    return why;
}

void TestEngine::ExecuteNextTest() {
    SystemConfig& cfg = state_.RunConfig;
    while (NextTestIndex < TestSlots && cfg.Tests[NextTestIndex].Enabled != FlagSet) ++NextTestIndex;

    if (NextTestIndex >= TestSlots) {
        // "Completed" is for a session in which every entry ran.
        const std::string not_run = EntriesNotRun();
        list_end_text_ = not_run.empty() ? std::string("Test Session Completed") : "Test Session INCOMPLETE: " + not_run;
        Status(1, list_end_text_);
        Status(2, "");  // no test is ongoing any more
        state_.SessionRunning = false;
        ReportSessionLosses();
        if (state_.Options.ExelInterface) fanout_.TestingCloseSpreadSheets();
        if (state_.Options.AutoRepGen && services_.reports) {
            services_.reports->BeginSessionReports();
            for (int s = 0; s < DeviceSlots; ++s) {
                const DeviceConfig& dc = cfg.Devices[s];
                if (dc.DevEN != FlagSet || dc.RLog != FlagSet) continue;
                const std::string base = dc.LPath + "\\" + dc.DName;
                for (int i = 0; i < TestSlots; ++i) {
                    if (cfg.Tests[i].Enabled != FlagSet) continue;
                    try {
                        services_.reports->CreateReportSheet(base, cfg.Tests[i].Type);
                        services_.reports->ImportTestResults(base, cfg.Tests[i].Type);
                    } catch (const std::exception& e) {
                        Log(std::string(e.what()) + " (ExecuteNextTest)");
                    }
                }
            }
        }
        return;
    }

    const int16_t index = NextTestIndex;
    TestEntry& entry = cfg.Tests[index];
    const std::string missing = MissingInstrument(entry);
    if (!missing.empty()) {
        // Waiting for an instrument that is not there would hang the
        // session; running without it would record results it never made.
        const std::string text = "Test entry " + std::to_string(index) + " (" + entry.Type + ") skipped: " + missing;
        Log(text);
        Status(1, text);
        ++skipped_entries_;
        ++NextTestIndex;
        ExecuteNextTest();
        return;
    }
    if (!Contains(entry.Type, "BAD_NCO")) {
        // The index moves on first: an entry that cannot run passes straight
        // on to the next one.
        ++NextTestIndex;
        InitTestByType(index);
        return;
    }

    T600_Click();
    bool any = false;
    for (int s = 0; s < DeviceSlots; ++s) any = any || fanout_.SlotEnabled(s);
    if (NcoInitialised) {
        for (int s = 0; s < DeviceSlots; ++s)
            if (fanout_.SlotEnabled(s)) NcoCurrent[s] += NcoStepValue[s];
    } else {
        NcoInitialised = true;
        for (int s = 0; s < DeviceSlots; ++s) {
            if (!fanout_.SlotEnabled(s)) continue;
            const DeviceConfig& dc = cfg.Devices[s];
            NcoStartValue[s] = dc.NcoStart;
            NcoMaxValue[s] = dc.NcoMax;
            NcoStepValue[s] = dc.NcoStep;
            NcoCurrent[s] = dc.NcoStart;
            nco_base_command_[s] = dc.BadNcoC;
            if (dc.BadNcoC.empty())
                Log("Device " + dc.DName + ": no NCO command configured, nothing is sent for " + entry.Type +
                    " (ExecuteNextTest)");
        }
    }
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s)) continue;
        entry.Type = "BAD_NCO_" + std::to_string(NcoCurrent[s]);
        RebuildBadNcoCommand(s);
    }
    InitAcquisitionTest(index);

    // The last value, a step that would never reach the maximum, or no
    // device at all: the entry is done.
    bool last = !any;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s)) continue;
        if (NcoStepValue[s] <= 0 || static_cast<int64_t>(NcoCurrent[s]) + NcoStepValue[s] > NcoMaxValue[s])
            last = true;
    }
    if (last) {
        entry.Type = "BAD_NCO";
        NcoInitialised = false;
        ++NextTestIndex;
    }
}

// The configured command up to and including its third comma, then the NCO
// value; a command with fewer fields gets the value as one more field.
void TestEngine::RebuildBadNcoCommand(int s) {
    const std::string& base = nco_base_command_[s];
    // No command is no command: a bare ",value" would reach the receiver.
    if (base.empty()) {
        state_.RunConfig.Devices[s].BadNcoC.clear();
        return;
    }
    const std::string value = std::to_string(NcoCurrent[s]);
    size_t pos = std::string::npos;
    int commas = 0;
    for (size_t i = 0; i < base.size(); ++i)
        if (base[i] == ',' && ++commas == 3) {
            pos = i;
            break;
        }
    state_.RunConfig.Devices[s].BadNcoC =
        pos != std::string::npos ? base.substr(0, pos + 1) + value : base + "," + value;
}

void TestEngine::InitTestByType(int16_t index) {
    const TestEntry& e = state_.RunConfig.Tests[index];
    const std::string& t = e.Type;
    // Tests without a sheet of their own write no rows into an earlier test's.
    state_.Run.DeviceSheet = false;
    if (t == "WARM" || t == "COLD" || t == "HOT" || t == "BAD_POSITION" || t == "SYNC_COLD" ||
        t == "SYNC_HOT" || t == "SYNC_WARM") {
        state_.Run.DeviceSheet = state_.Options.ExelInterface;
        if (state_.Options.ExelInterface) {
            fanout_.DeviceAddNewSheet(index, t, e.Trials);
            fanout_.SpreadSheetSave();
        }
        InitAcquisitionTest(index);
    } else if (t == "REACQUISITION") {
        InitReacquisitionTestRun(index);
    } else if (t == "TRACK24H") {
        InitTrack24HTest(index);
    } else if (t == "TESTDRIVE") {
        InitTestDriveTest(index);
    } else if (t == "TUNNELREACQUIRE") {
        InitTunnelReacquireTest(index);
    } else if (t == "SCRIPT") {
        InitScriptTest(index);
    } else {
        // An entry that cannot run has not passed: it counts as failed.
        ++failed_entries_;
        Log("Test entry " + std::to_string(index) + " (" + t + ") failed: unknown test type \"" + t + "\"");
        ExecuteNextTest();
    }
}

void TestEngine::DeviceSheetForSeries() {
    TestRun& r = state_.Run;
    if (!r.DeviceSheet || !state_.Options.ExelInterface) return;
    // Each power level or UTC second counts its trials from 1 again: its rows
    // get a sheet of their own instead of overwriting the last series'.
    fanout_.DeviceAddNewSheet(r.TestIndex, r.TestType + r.LogSuffix, r.Trials);
    fanout_.SpreadSheetSave();
}

void TestEngine::CommonOpening(int16_t index) {
    const TestEntry& e = state_.RunConfig.Tests[index];
    Status(1, e.Type + " Test Initialization");
    state_.Run.TestType = e.Type;
    state_.Run.TestIndex = index;
    // No suffix of an earlier power or UTC test leaks into this test's names.
    state_.Run.LogSuffix.clear();
}

void TestEngine::IsAcquisitionTestType(int16_t index) {
    TestRun& r = state_.Run;
    const TestEntry& e = state_.RunConfig.Tests[index];
    const std::string& t = e.Type;
    for (int s = 0; s < DeviceSlots; ++s) {
        const DeviceConfig& dc = state_.RunConfig.Devices[s];
        if (t == "COLD" || t == "SYNC_COLD")
            r.TestCommand[s] = dc.ColdC;
        else if (t == "WARM" || t == "SYNC_WARM")
            r.TestCommand[s] = dc.WarmC;
        else if (t == "HOT" || t == "SYNC_HOT")
            r.TestCommand[s] = dc.HotC;
        else if (t == "BAD_POSITION")
            r.TestCommand[s] = dc.BadPosC;
        else if (Contains(t, "BAD_NCO"))
            r.TestCommand[s] = dc.BadNcoC;
    }
    r.RestartBeforeSim = e.Rewind == FlagSet;
    for (int s = 0; s < DeviceSlots; ++s)
        if (fanout_.SlotEnabled(s))
            fanout_.Guarded("IsAcquisitionTestType", s, [&] {
                state_.NmeaWindows[s]->DeviceSetRestartCommand(state_.RunConfig.Devices[s].RestartC);
            });
}

namespace {
// The series settings of an entry that every trial-by-trial test starts from.
void TakeTrialSettings(TestRun& r, const TestEntry& e) {
    r.Trials = e.Trials;
    r.MaxWait = e.MaxDelay;
    r.MinWait = e.MinDelay;
    r.Trial = 1;
    r.TttrkOption = e.TttrkOption;
    r.TttrkSats = e.TttrkSats;
    r.TttrkTime = e.TttrkTime;
}

// The replay settings of a LabSat entry; a second LabSat test starts its
// iteration count afresh.
void TakeLabSatSettings(TestRun& r, const TestEntry& e) {
    r.LabSatBinFile = e.LabSatBinFile;
    r.LabSatStart = e.LabSatStart;
    r.LabSatDuration = e.LabSatDuration;
    r.LabSatIterations = e.LabSatIterations;
    r.LabSatAttenuation = e.LabSatAttenuation;
    r.LabSatIteration = 0;
}
}  // namespace

void TestEngine::InitAcquisitionTest(int16_t index) {
    TestRun& r = state_.Run;
    const TestEntry& e = state_.RunConfig.Tests[index];
    const bool sync = IsSyncType(e.Type);
    if (sync && (e.MinDelay < 0 || e.MinDelay > 59)) {
        // No clock second ever matches: the entry could only hang, so it
        // does not run and counts as failed.
        ++failed_entries_;
        Log("Test entry " + std::to_string(index) + " (" + e.Type + ") failed: UTC second " +
            std::to_string(e.MinDelay) + " is outside 0..59");
        ExecuteNextTest();
        return;
    }
    if (e.Simulator == FlagSet && !services_.simulator) {
        r.TestIndex = index;
        FailSimulatorEntry(e.Type, "there is no simulator");
        return;
    }
    CommonOpening(index);
    TestState = 0;
    TakeTrialSettings(r, e);
    IsAcquisitionTestType(index);
    r.AlmanacWaitTime = e.AlmanacWait == FlagSet ? 900 : 0;
    r.PowerMode = false;
    r.UtcMode = false;
    int16_t first = 0;
    if (e.Simulator != FlagSet) {
        if (IsLabSatEntry(e)) {
            LabSatSubState = 7;
            TakeLabSatSettings(r, e);
            first = 13;
        } else if (r.AlmanacWaitTime != 0 && (e.Type == "HOT" || e.Type == "WARM")) {
            first = 6;
        }
    } else {
        r.PowerMode = true;
        r.FirstSatEn = e.FirstSatEn;
        r.FirstSatPower = e.FirstSatPower;
        r.FirstSatChannel = e.FirstSatChannel;
        r.SetupTime = e.SimSetupTime;
        r.SimPower = e.SimPower;
        r.StartPower = e.StartPower;
        r.EndPower = e.EndPower;
        r.PowerStep = e.PowerStep;
        r.CurrentPower = r.StartPower;
        r.RestartArg = 0;
        r.LogSuffix = "_PW" + NumberToText(r.StartPower);
        fanout_.SendRestartCommandToDevice();
        Status(1, "Simulator Initialization");
        services_.simulator->SimRestart(r.CurrentPower, r.RestartArg, r.FirstSatPower, r.FirstSatChannel,
                                        r.FirstSatEn, r.SetupTime, r.SimPower, true);
        first = 5;
    }
    TestState = first;
    r.ReturnState = first;
    if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
    TimerInterval(500);
    if (sync) {
        r.UtcMode = true;
        r.UtcSecondLimit = 60;
        r.UtcSecond = e.MinDelay;
        r.UtcSecondStep = static_cast<int16_t>(std::abs(e.MaxDelay));
        r.LogSuffix = "_UTC" + std::to_string(r.UtcSecond);
        TimerInterval(200);
        // On the simulator the series waits for the simulator first (state 5
        // then goes on to 3).
        if (e.Simulator != FlagSet) {
            TestState = 3;
            r.ReturnState = 3;
        }
        r.TrialEnd = Now();
    }
    if (e.Type == "BAD_POSITION") T600_Click();
    if (!e.AlmanacFile.empty()) {
        if (fanout_.testfile(e.AlmanacFile)) {
            r.AlmanacFile = e.AlmanacFile;
            TestState = 14;
        } else {
            r.AlmanacFile.clear();
        }
    }
    StartLevelLogs(index, e.Simulator == FlagSet);
    r.Running = true;
    TimerEnabled(true);
}

void TestEngine::ExecuteTestOnDevices() {
    const TestRun& r = state_.Run;
    fanout_.ClearTrialFailures();
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s)) continue;
        // A device whose set-up fails is not restarted: its trial is
        // failed and the others go on.
        fanout_.Guarded("ExecuteTestOnDevices", s, [&] {
            const DeviceConfig& dc = state_.RunConfig.Devices[s];
            DeviceOps& d = *state_.NmeaWindows[s];
            d.DeviceSetTestMode(r.TttrkOption);
            d.DeviceSetTTTRKParameters(r.TttrkSats, r.TttrkTime);
            if (dc.PLog == FlagSet) {
                const std::string name = r.LogSuffix + "_" + std::to_string(r.Trial) + ".txt";
                if (fanout_.LogFolderReady(d, s, true, name, "ExecuteTestOnDevices")) d.DeviceChangeSecondaryLogFile(name);
                if (fanout_.DebugEnabled(s) &&
                    fanout_.LogFolderReady(*state_.DebugWindows[s], s, true, name, "ExecuteTestOnDevices"))
                    state_.DebugWindows[s]->DeviceChangeSecondaryLogFile(name);
            }
            d.DeviceResetNGGAMessageCounter();
            if (dc.StartupS.empty()) d.DeviceSetGGAAsStartupStringEnabled(true);
            d.ExecuteTest(r.TestCommand[s]);
        });
    }
    if (state_.Options.ExtCtr && services_.external) {
        try {
            services_.external->SendExternCommand();
        } catch (...) {
            ErrorReportTo("ExecuteTestOnDevices", std::current_exception());
        }
    }
}

void TestEngine::InitReacquisitionTestRun(int16_t index) {
    TestRun& r = state_.Run;
    const TestEntry& e = state_.RunConfig.Tests[index];
    if (e.Simulator == FlagSet && !services_.simulator) {
        r.TestIndex = index;
        FailSimulatorEntry(e.Type, "there is no simulator");
        return;
    }
    CommonOpening(index);
    TestState = 12;
    PowerSubState = 0;
    Power = PowerTimes{};
    TakeTrialSettings(r, e);
    fanout_.SetTTTRKParameters(r.TttrkSats, r.TttrkTime);
    r.SignalCycleSeconds = 20;
    r.OffTime = e.OffTime;
    r.SingleSatEn = e.SingleSatEn == FlagSet;
    IsAcquisitionTestType(index);
    if (e.Simulator == FlagSet) {
        r.PowerMode = true;
        r.SetupTime = e.SimSetupTime;
        r.SimPower = e.SimPower;
        r.SimPowerCopy = e.SimPower;
        r.StartPower = e.StartPower;
        r.EndPower = e.EndPower;
        r.PowerStep = e.PowerStep;
        r.CurrentPower = r.StartPower;
        r.SingleSatStartPower = e.SingleSatStartPower;
        r.SingleSatEndPower = e.SingleSatEndPower;
        r.SingleSatChannel = e.SingleSatChannel;
        r.SingleSatStep = e.SingleSatStep;
        r.SingleSatPower = r.SingleSatStartPower;
        r.LogSuffix = r.SingleSatEn ? "_SatPW" + NumberToText(r.SingleSatPower) + "_PW" + NumberToText(r.CurrentPower)
                                    : "_PW" + NumberToText(r.CurrentPower);
        r.FirstSatEn = e.FirstSatEn;
        r.FirstSatPower = e.FirstSatPower;
        r.FirstSatChannel = e.FirstSatChannel;
        r.RestartArg = 0;
        fanout_.SendRestartCommandToDevice();
        Status(1, "Simulator Initialization");
        services_.simulator->SimRestart(r.CurrentPower, r.RestartArg, r.FirstSatPower, r.FirstSatChannel,
                                        r.FirstSatEn, r.SetupTime, r.SimPower, true);
        TestState = 5;
    } else {
        r.PowerMode = false;
    }
    r.UtcMode = false;
    if (services_.results) services_.results->UpdateTest(r.Trial, r.Trials);
    TimerInterval(500);
    StartLevelLogs(index, e.Simulator == FlagSet);
    r.Running = true;
    TimerEnabled(true);
}

void TestEngine::InitTrack24HTest(int16_t index) {
    TestRun& r = state_.Run;
    const TestEntry& e = state_.RunConfig.Tests[index];
    if (e.Simulator == FlagSet && !IsLabSatEntry(e) && !SimulatorUsable()) {
        state_.Run.TestIndex = index;
        FailSimulatorEntry(e.Type, "the simulator is not connected");
        return;
    }
    CommonOpening(index);
    if (!IsLabSatEntry(e)) fanout_.InitLogging(index, "");
    r.TestStart = Now();
    if (e.Simulator != FlagSet) {
        if (IsLabSatEntry(e)) {
            LabSatSubState = 7;
            TakeLabSatSettings(r, e);
            r.AlmanacFile = e.AlmanacFile;
            TestState = 13;
        } else {
            TestState = 9;
        }
    } else {
        services_.simulator->Start_Command_Click();
        TestState = 8;
    }
    r.ReturnState = TestState;
    TimerInterval(1000);
    TimerEnabled(true);
    if (!e.AlmanacFile.empty()) {
        if (fanout_.testfile(e.AlmanacFile)) {
            r.AlmanacFile = e.AlmanacFile;
            TestState = 14;
        } else {
            r.AlmanacFile.clear();
        }
    }
}

void TestEngine::InitTestDriveTest(int16_t index) {
    CommonOpening(index);
    fanout_.InitLogging(index, "");
    state_.Run.TestStart = Now();
    TestState = 9;
    TimerInterval(1000);
    TimerEnabled(true);
}

void TestEngine::InitTunnelReacquireTest(int16_t index) {
    CommonOpening(index);
    fanout_.InitLogging(index, "");
    state_.Run.TestStart = Now();
    TestState = 9;
    state_.Run.Trial = 1;
    TimerInterval(1000);
    TimerEnabled(true);
}

void TestEngine::InitScriptTest(int16_t index) {
    const TestEntry& e = state_.RunConfig.Tests[index];
    state_.Run.LogSuffix.clear();
    auto arm = [this, index]() {
        const TestEntry& entry = state_.RunConfig.Tests[index];
        state_.Run.TestType = entry.Type;
        state_.Run.TestIndex = index;
        // A script counts its own trials from the first fix it waits for and
        // has no number of trials: nothing is left of the test before it.
        state_.Run.Trial = 0;
        state_.Run.Trials = 0;
        ScriptTestIndex = index;
        ScriptIndex = 0;
        ScriptRunnerState = 0;
        script_load_failure_.clear();
        if (services_.scriptTimer) services_.scriptTimer->SetEnabled(true);
    };
    if (!e.AlmanacFile.empty() && fanout_.testfile(e.AlmanacFile)) {
        fanout_.SendTestCommandToDevice("$PQNVCOLD,15");
        // The receivers need 2 s to erase their almanacs. A stop or a new
        // start meanwhile cancels the rest.
        const unsigned epoch = session_epoch_;
        const std::string file = e.AlmanacFile;
        auto rest = [this, epoch, file, arm]() {
            if (epoch != session_epoch_) return;
            if (services_.script) services_.script->SendFromFile(file);
            arm();
        };
        if (services_.scheduler)
            services_.scheduler->SingleShot(2000, rest);
        else
            rest();
        return;
    }
    arm();
}

void TestEngine::ScriptExecutionTimer_Timer() {
    const TestEntry& e = state_.RunConfig.Tests[ScriptTestIndex];
    if (ScriptRunnerState == 0) {
        if (ScriptIndex >= e.ScriptCount || ScriptIndex >= ScriptFileSlots) {
            if (services_.scriptTimer) services_.scriptTimer->SetEnabled(false);
            const std::string failure = std::exchange(script_load_failure_, {});
            const std::string type = state_.Run.TestType;
            ExecuteNextTest();
            if (!failure.empty()) ShowEntryFailure("TEST FAILED: " + type + " - " + failure);
            return;
        }
        const std::string& file = e.ScriptFiles[ScriptIndex];
        const size_t slash = file.find_last_of('\\');
        const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
        Status(2, "TEST: " + state_.Run.TestType + " ongoing " + name);
        if (!services_.script || !services_.script->LoadScript(file)) {
            if (services_.script) services_.script->SetScriptName("Script File Not Found!");
            ++ScriptIndex;
            // The later files still run, but an entry that lost one of its
            // scripts did not run as configured: it counts as failed, once.
            if (script_load_failure_.empty()) {
                ++failed_entries_;
                script_load_failure_ = "script \"" + file + "\" could not be loaded";
                Log("Test entry " + std::to_string(ScriptTestIndex) + " (" + state_.Run.TestType +
                    ") failed: " + script_load_failure_);
            }
            return;
        }
        services_.script->SetScriptName(name);
        services_.script->ScriptRun();
        ScriptRunnerState = 1;
    } else if (ScriptRunnerState == 1) {
        if (services_.script && services_.script->GetScriptEndStatus()) {
            ScriptRunnerState = 0;
            ++ScriptIndex;
            const std::string failure = services_.script->GetScriptFailure();
            if (!failure.empty()) {
                // The entry failed: its later scripts are not run, the
                // session goes on with the next entry.
                if (services_.scriptTimer) services_.scriptTimer->SetEnabled(false);
                if (std::exchange(script_load_failure_, {}).empty()) ++failed_entries_;
                const std::string type = state_.Run.TestType;
                Log("Test entry " + std::to_string(ScriptTestIndex) + " (" + type + ") failed: " + failure);
                ExecuteNextTest();
                // After the next entry's opening texts, so the failure stays in view.
                ShowEntryFailure("TEST FAILED: " + type + " - " + failure);
            }
        }
    }
}

}  // namespace bench::session
