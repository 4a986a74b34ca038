#pragma once
// The session's test engine: the test list dispatch with its test-type
// initialisers, the test state machine stepped by its timer, and the
// collection of each trial's results. Widget-free: the owner drives it by
// calling the timer handlers.
#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "bench/session/bench_state.h"
#include "bench/session/fanout.h"

namespace bench::session {

class TestEngine {
public:
    TestEngine(BenchState& state, DeviceFanout& fanout, SessionServices& services);

    // --- session lifecycle ---
    // Reads a configuration into the active record; a running session keeps
    // its own copy until the next start.
    void SystemConfigUpdate(const SystemConfig& config);
    // Testing > Start. False (and nothing started) while a session runs or
    // when a session folder cannot be made.
    bool StartSession();
    // Session start requested by a receiver: the name goes before the stamp
    // and no spreadsheet application is created.
    bool StartTestSession(const std::string& name);
    // Every road that ends a session (Stop, New Test Session, a closed main
    // window, a signal, a receiver's request, a wait that cannot end) goes
    // through here: the trial under way is written as failed for every
    // receiver that has not completed it, and the system log says `why`,
    // at which test and trial, and what each receiver got. Without a
    // running session it only makes sure nothing is left running.
    void StopSession(const std::string& why);
    bool SessionRunning() const { return state_.SessionRunning; }
    // "" when a receiver of the loaded configuration writes a results file;
    // else what a session started now keeps ("No results file will be
    // written: ..."), for the question before Start and the system log.
    std::string ResultsNotKept() const;
    const std::string& SessionStamp() const { return session_stamp_; }

    // --- test list dispatch and initialisers ---
    void ExecuteNextTest();
    void InitTestByType(int16_t index);
    void InitAcquisitionTest(int16_t index);
    void InitReacquisitionTestRun(int16_t index);
    void InitTrack24HTest(int16_t index);
    void InitTestDriveTest(int16_t index);
    void InitTunnelReacquireTest(int16_t index);
    void InitScriptTest(int16_t index);
    void IsAcquisitionTestType(int16_t index);
    void ExecuteTestOnDevices();

    // --- state machine ---
    // A device operation that fails ends this step only: the error goes to
    // the system log and the next tick goes on.
    void TestStateMachineTimer_Timer();
    void TestStateMachine();
    void ScriptExecutionTimer_Timer();

    // --- trial results ---
    void FixEventManagement();
    void SatellitesTrackedEventManagement();
    // Records under the running trial number (as the script steps call it).
    void DiffONEventManagement() { DiffONEventManagementFor(state_.Run.Trial); }
    void DiffONEventManagementFor(int16_t trial);

    // The "600 sec" entry of the maximum-TTFF menu.
    void T600_Click() { SetMaxAcceptableTTFF(600); }
    void SetMaxAcceptableTTFF(int16_t seconds);
    std::function<void(int16_t)> maxTtffChanged;  // the menu redraws its marks

    // Sub-machines of states 12 (power levels) and 13 (LabSat). The power
    // levels' own machine is installed at construction.
    std::function<void()> powerLevelStep;
    std::function<void()> labSatStep;

    // Machine state, readable by the shell and the sub-machines.
    int16_t TestState = 0;
    int16_t PowerSubState = 0;
    int16_t LabSatSubState = 0;
    double WaitStart = 0;
    double ReplayStart = 0;
    int16_t NextTestIndex = 0;
    std::array<int32_t, DeviceSlots> NcoStartValue{}, NcoMaxValue{}, NcoStepValue{}, NcoCurrent{};
    bool NcoInitialised = false;
    int16_t ScriptTestIndex = 0;
    int16_t ScriptIndex = 0;
    int16_t ScriptRunnerState = 0;

    // --- power-level sub-machine (REACQUISITION), one step per tick of state 12 ---
    void PowerLevelTestStateMachine();
    // Its private times: UTC seconds of the day and scenario seconds.
    struct PowerTimes {
        int32_t RunStartUtc = 0;
        int32_t TimeIntoRun = 0;
        int32_t NowUtc = 0;
        int32_t SignalSwitchTime = 0;
        int32_t CycleSeconds = 0;
        int32_t SignalOffUtc = 0;
        int32_t SignalOnUtc = 0;
        double SettleStart = 0;
        int64_t UtcWaitStartMs = -1;  // since when sub-state 0 has had no UTC second
    };
    PowerTimes Power;

    TestRun& Run() { return state_.Run; }
    DeviceFanout& Fanout() { return fanout_; }

    // The running entry failed on a sub-machine's road: counted for the
    // session's end, and `text` shown again once the test has ended, after
    // the next entry's opening texts, so it is not lost in the same turn.
    void EntryFailed(const std::string& text);

private:
    // The stop itself: timers, receivers' test machines, files.
    void StopTesting();
    // The trial under way, written with its receivers' results ("" when
    // no trial was under way); returns what each receiver got.
    std::string FailTrialInProgress();
    bool TrialUnderWay() const;
    std::string WhereTheSessionIs() const;
    // FixEventManagement: the slots that got a results line.
    std::array<bool, DeviceSlots> CollectFixResults();
    bool TrialHasNoMeasurement(int slot, DeviceOps& d) const;
    void NoteTrialRowsPending(const std::array<bool, DeviceSlots>& written);
    // A start says which receivers with a window it runs without.
    void NameLeftOutReceivers();
    bool StartCommon(const std::string& stamp, bool create_excel);
    void CommonOpening(int16_t index);
    // A new sheet in every receiver's workbook for the series about to start.
    void DeviceSheetForSeries();
    void Status(int16_t panel, const std::string& text);
    void Log(const std::string& text);
    // "description (procedure)" of a caught error to the system log.
    void ErrorReportTo(const char* procedure, const std::exception_ptr& e) noexcept;
    double Now() const;
    int32_t SecondsSince(double then) const;
    int16_t RandomWait();
    void TimerInterval(int ms);
    void TimerEnabled(bool on);
    void EndTest(int from_state);
    std::string TestLine0() const;
    std::string TestLine3() const;
    int UtcSecondNow() const;
    void CheckSilentDevices();
    // Every receiver of the session out (disabled, or its port lost for
    // good): the session stops as a failure. True when it did.
    bool StopWhenNoReceiverLeft();
    bool IsLabSatEntry(const TestEntry& e) const;
    // What an entry needs that the bench lacks now ("" when it can run).
    std::string MissingInstrument(const TestEntry& e);
    std::string SimulatorMissing() const;
    std::string LabSatMissing() const;
    std::string PowerLevelMissing() const;
    std::string ScriptPanelMissing() const;
    void ReportSessionLosses();
    // "2 test entries failed" and the like; "" when every entry ran.
    std::string EntriesNotRun() const;
    void ShowEntryFailure(const std::string& text);
    void RebuildBadNcoCommand(int slot);

    // A test that needs the simulator while its link is down: the entry is
    // failed (system log, status bar) and the session goes on.
    bool SimulatorUsable() const;
    void FailSimulatorEntry(std::string type, const std::string& why);
    // A wait that cannot end: the session stops, nothing reported as done.
    void StopSessionAsFailure(const std::string& why);
    void StartLevelLogs(int16_t index, bool on_simulator);
    void ApplyPendingLevelLogs();
    void PowerSubStateNextLevel();
    void PowerSubStateNextSingleSat();
    void PowerSubStateBetweenTrials();

    void State2();
    void State3();
    void State4();
    void State10();

    BenchState& state_;
    DeviceFanout& fanout_;
    SessionServices& services_;
    std::string session_stamp_;
    unsigned session_epoch_ = 0;
    int skipped_entries_ = 0;  // entries of this session that could not run
    int failed_entries_ = 0;   // entries that started and failed, on any road
    std::string entry_failure_text_;  // shown when the failed entry has ended
    std::string list_end_text_;       // how the session ended at the list's end ("" otherwise)
    std::string script_load_failure_;  // the running SCRIPT entry lost a script file
    int64_t restart_sent_ms_ = 0;
    std::array<std::string, DeviceSlots> nco_base_command_{};
    // Log set-up waiting for the simulator to finish setting a level.
    enum class LevelLogs { None, Start, Change };
    LevelLogs level_logs_pending_ = LevelLogs::None;
    int16_t level_logs_index_ = 0;
};

}  // namespace bench::session
