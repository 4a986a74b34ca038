// Session start and stop around the test list.
#include "bench/devices/byte_log.h"
#include "platform/qt/bench_timer.h"
#include "bench/session/test_engine.h"
#include "platform/core/clock.h"
#include "platform/core/numtext.h"

#include <algorithm>

namespace bench::session {

using platform::NumberToText;

std::string DeviceWorkbookName(const std::string& device) {
    // The session-end report of the receiver is <device>.xlsx in the same
    // folder: the live workbook must not be replaced by it.
    return device + "_Device";
}

void TestEngine::SystemConfigUpdate(const SystemConfig& config) {
    state_.ActiveConfig = config;
    state_.DisabledSinceLoad.fill(false);
    for (int s = 0; s < DeviceSlots; ++s)
        if (config.Devices[s].DevEN == FlagSet) state_.ConfiguredLPath[s] = config.Devices[s].LPath;
    if (!state_.SessionRunning) state_.RunConfig = config;
}

std::string TestEngine::ResultsNotKept() const {
    const SystemConfig& cfg = state_.ActiveConfig;
    bool any = false, logs = false;
    for (int s = 0; s < DeviceSlots; ++s) {
        const DeviceConfig& d = cfg.Devices[s];
        if (d.DevEN != FlagSet || state_.NmeaWindows[s] == nullptr) continue;
        any = true;
        if (d.RLog == FlagSet) return {};
        logs = logs || d.GLog == FlagSet || d.PLog == FlagSet;
    }
    if (!any) return {};
    if (logs) return "No results file will be written: \"Results Logging\" is off for every enabled receiver";
    return "No results file and no log will be written: \"Results Logging\" and \"Global Logging\" are off "
           "for every enabled receiver";
}

bool TestEngine::StartSession() { return StartCommon(GetDateTimeStamp(Now()), true); }

bool TestEngine::StartTestSession(const std::string& name) {
    return StartCommon(name + "_" + GetDateTimeStamp(Now()), false);
}

bool TestEngine::StartCommon(const std::string& stamp, bool create_excel) {
    if (state_.SessionRunning) return false;
    ++session_epoch_;
    // A new session starts from the loaded configuration: entries renamed by
    // an interrupted BAD_NCO run and its NCO values are gone.
    state_.RunConfig = state_.ActiveConfig;
    state_.LeftSession.fill(false);
    state_.RowsPendingTrial = 0;
    state_.RowsPending.fill(false);
    state_.StatisticsPending = false;
    NameLeftOutReceivers();
    NcoInitialised = false;
    NextTestIndex = 0;
    skipped_entries_ = 0;
    failed_entries_ = 0;
    entry_failure_text_.clear();
    list_end_text_.clear();
    script_load_failure_.clear();
    WriteFailures::Reset();
    session_stamp_ = stamp;

    // A session that keeps nothing must not pass for one that did.
    if (const std::string none = ResultsNotKept(); !none.empty()) Log("Test session keeps no results: " + none);

    SystemConfig& cfg = state_.RunConfig;
    std::array<std::string, DeviceSlots> folders;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (cfg.Devices[s].DevEN != FlagSet) continue;
        // The loaded record keeps the configured folders; only this copy
        // gets the session's.
        folders[s] = cfg.Devices[s].LPath + "_" + stamp;
    }
    for (int s = 0; s < DeviceSlots; ++s) {
        if (cfg.Devices[s].DevEN != FlagSet) continue;
        const std::string device_folder = folders[s] + "\\" + cfg.Devices[s].DName;
        for (const std::string& f : {folders[s], device_folder}) {
            std::string why;
            if (!services_.files || !services_.files->MakeFolder(f, why)) {
                const std::string text = "Cannot create the session folder " + f + (why.empty() ? "" : ": " + why);
                Log(text);
                if (services_.prompter) services_.prompter->Warn("WARNING", text);
                state_.RunConfig = state_.ActiveConfig;
                return false;
            }
        }
        cfg.Devices[s].LPath = device_folder;
    }

    if (create_excel && state_.Options.ExelInterface && services_.spreadsheet) {
        Status(1, "SpreadSheet Initialization...");
        services_.spreadsheet->StartSessionExcel();
        for (int s = 0; s < DeviceSlots; ++s) {
            if (!fanout_.SlotEnabled(s)) continue;
            fanout_.Guarded("StartSession", s, [&] {
                state_.NmeaWindows[s]->InitDeviceSpreadSheet(services_.spreadsheet->SessionExcel());
                state_.NmeaWindows[s]->DeviceSpreadSheetSaveas(cfg.Devices[s].LPath, DeviceWorkbookName(cfg.Devices[s].DName));
            });
        }
    } else if (!create_excel && state_.Options.ExelInterface) {
        for (int s = 0; s < DeviceSlots; ++s)
            if (fanout_.SlotEnabled(s))
                fanout_.Guarded("StartSession", s, [&] {
                    state_.NmeaWindows[s]->DeviceSpreadSheetSaveas(cfg.Devices[s].LPath, DeviceWorkbookName(cfg.Devices[s].DName));
                });
    }

    state_.SessionRunning = true;
    ExecuteNextTest();
    return true;
}

// A receiver whose window is open but that this session runs without (taken
// out of an earlier one, or not enabled in the configuration loaded since)
// is said in the system log and kept in view in the status bar.
void TestEngine::NameLeftOutReceivers() {
    for (int s = 0; s < DeviceSlots; ++s) {
        const DeviceConfig& d = state_.RunConfig.Devices[s];
        const std::string key = "left out " + std::to_string(s);
        if (services_.status) services_.status->StatusBarNotice(key, "");
        if (d.DevEN == FlagSet || state_.NmeaWindows[s] == nullptr) continue;
        const std::string why = state_.DisabledSinceLoad[s]
                                    ? "it was disabled in an earlier session (New Test Session brings it back)"
                                    : "it is not enabled in the configuration";
        Log("Device " + d.DName + " left out of this test session: " + why);
        if (services_.status) services_.status->StatusBarNotice(key, "Device " + d.DName + " left out of the session");
    }
}

bool TestEngine::TrialUnderWay() const {
    if (!state_.SessionRunning || !state_.Run.Running) return false;
    if (TestState == 2) return true;
    // A reacquisition trial runs from its scenario's set-up to the receivers'
    // results.
    if (TestState == 12) return PowerSubState >= 1 && PowerSubState != 10 && PowerSubState != 11 && PowerSubState != 12;
    return false;
}

std::string TestEngine::FailTrialInProgress() {
    if (!TrialUnderWay()) return {};
    const bool reacquisition = TestState == 12;
    // Before the signal-on trigger is armed, "completed" is the last trial's.
    const bool armed = !reacquisition || PowerSubState == 6 || PowerSubState == 8 || PowerSubState == 9;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s) || state_.TrialFailed[s]) continue;
        bool completed = false;
        if (armed)
            fanout_.Guarded("FailTrialInProgress", s, [&] { completed = state_.NmeaWindows[s]->IsTestCompleted(); });
        if (!completed) state_.TrialFailed[s] = true;
    }
    // Written once, whatever comes next.
    std::array<bool, DeviceSlots> written{};
    if (reacquisition) {
        PowerSubState = 10;
        SatellitesTrackedEventManagement();
        written = state_.RowsPending;
    } else {
        TestState = 3;
        written = CollectFixResults();
        NoteTrialRowsPending(written);
    }
    std::string out;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!written[s]) continue;
        std::string got = "failed (-1)";
        fanout_.Guarded("FailTrialInProgress", s, [&] {
            DeviceOps& d = *state_.NmeaWindows[s];
            if (!TrialHasNoMeasurement(s, d)) got = NumberToText(platform::RoundDecimals(d.GetTTFF(), 2)) + " s";
        });
        out += (out.empty() ? "" : ", ") + state_.RunConfig.Devices[s].DName + ": " + got;
    }
    return out;
}

std::string TestEngine::WhereTheSessionIs() const {
    const TestRun& r = state_.Run;
    if (r.TestType.empty()) return {};
    std::string where = " during " + r.TestType + " test";
    if (TrialUnderWay())
        where += ", trial " + std::to_string(r.Trial) + " of " + std::to_string(r.Trials);
    else if (r.Running && r.Trial > 1)
        where += ", after trial " + std::to_string(std::min<int>(r.Trial - 1, r.Trials)) + " of " +
                 std::to_string(r.Trials);
    if (r.PowerMode) where += ", power level " + NumberToText(r.CurrentPower);
    return where;
}

void TestEngine::StopSession(const std::string& why) {
    if (state_.SessionRunning) {
        const std::string where = WhereTheSessionIs();
        std::string receivers = FailTrialInProgress();
        if (receivers.empty()) {
            for (int s = 0; s < DeviceSlots; ++s)
                if (fanout_.SlotEnabled(s))
                    receivers += (receivers.empty() ? "" : ", ") + state_.RunConfig.Devices[s].DName;
            if (!receivers.empty()) receivers = "receivers " + receivers;
        }
        Log("Test session stopped: " + why + where + (receivers.empty() ? "" : "; " + receivers));
    }
    StopTesting();
}

void TestEngine::StopTesting() {
    const int16_t was = TestState;
    const bool running = state_.SessionRunning;
    ++session_epoch_;  // cancels a pending continuation of the script test
    state_.SessionRunning = false;
    state_.Run.Running = false;
    level_logs_pending_ = LevelLogs::None;
    entry_failure_text_.clear();
    list_end_text_.clear();
    script_load_failure_.clear();
    TimerEnabled(false);
    TestState = 0;
    // The receivers' own test machines stop too, and nothing more is sent:
    // also to one taken out of the session, which may talk again.
    for (int s = 0; s < DeviceSlots; ++s)
        if (fanout_.SlotInSession(s))
            fanout_.Guarded("StopTesting", s, [&] { state_.NmeaWindows[s]->DeviceStopTest(); });
    fanout_.StopChrsQueue();
    if (services_.scriptTimer && services_.scriptTimer->Enabled()) {
        services_.scriptTimer->SetEnabled(false);
        if (services_.script) services_.script->ScriptStop();
    }
    if (was == 13 && LabSatSubState == 5 && services_.labsat) services_.labsat->LabSatSetStopReplay();
    // The files of the test are finished as its end would: the last trial's
    // T2A/T2U rows, and the statistics of the trials its results file holds.
    if (state_.RowsPendingTrial > 0) fanout_.DeviceLogT2AT2UToFile(state_.RowsPendingTrial);
    if (state_.StatisticsPending) fanout_.DeviceLogT2AT2UStatistics();
    fanout_.TestingEndPrimaryLogging();
    fanout_.TestingEndSecondaryLogging();
    fanout_.TestingEndResultsLogging();
    if (state_.Options.ExelInterface) {
        fanout_.TestingCloseSpreadSheets();
        if (services_.spreadsheet) services_.spreadsheet->QuitSessionExcel();
    }
    // A blank panel would not tell a stopped session from one never started.
    Status(1, running ? "Test Session Stopped" : "");
    Status(2, "");  // the test shown as ongoing has stopped
    if (running) ReportSessionLosses();
}

}  // namespace bench::session
