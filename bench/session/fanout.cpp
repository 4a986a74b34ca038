#include "platform/qt/bench_timer.h"
#include <cstdio>
#include "bench/session/fanout.h"

#include "bench/devices/system_log.h"

#include "bench/session/results_grid.h"
#include "platform/core/clock.h"

namespace bench::session {

// Every field at its full width (05-03-2011_09.07.30): session folders of
// one day then list in the order of their times.
std::string GetDateTimeStamp(double date_time) {
    const platform::DateTimeParts p = platform::SplitDateSerial(date_time);
    char text[48];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d_%02d.%02d.%02d", p.Day, p.Month, p.Year, p.Hour, p.Minute,
                  p.Second);
    return text;
}

DeviceFanout::DeviceFanout(BenchState& state, SessionServices& services)
    : state_(state), services_(services) {
    if (services_.chrsTimer) services_.chrsTimer->SetTickHandler([this] { ChrsTimer_Timer(); });
}

bool DeviceFanout::SlotEnabled(int slot) const {
    return slot >= 0 && slot < DeviceSlots && state_.RunConfig.Devices[slot].DevEN == FlagSet &&
           state_.NmeaWindows[slot] != nullptr;
}

bool DeviceFanout::SlotInSession(int slot) const {
    return SlotEnabled(slot) ||
           (slot >= 0 && slot < DeviceSlots && state_.LeftSession[slot] && state_.NmeaWindows[slot] != nullptr);
}

bool DeviceFanout::DebugEnabled(int slot) const {
    return slot >= 0 && slot < DeviceSlots && state_.RunConfig.Devices[slot].DebugEN == FlagSet &&
           state_.DebugWindows[slot] != nullptr;
}

void DeviceFanout::Log(const std::string& text) {
    if (services_.log) services_.log->WriteLine(text);
}

void DeviceFanout::ReportSlotFailure(const char* procedure, int slot, const std::exception_ptr& e) noexcept {
    try {
        if (slot >= 0 && slot < DeviceSlots) state_.TrialFailed[slot] = true;
        if (IsRepeatedWriteFailure(e)) return;  // the file's first failure said it
        const std::string name = slot >= 0 && slot < DeviceSlots ? Slot(slot).DName : std::string("?");
        Log("Device " + name + ": " + ErrorOf(e).Description + " (" + procedure + ")");
    } catch (...) {
    }
}

// A log named after a base that names no folder (nothing set up the logs in
// this session, as in a script's test) would be made in whatever folder the
// program was started from: it goes to the session's device folder, and with
// no session it is not made, which is said once.
bool DeviceFanout::LogFolderReady(DeviceOps& d, int slot, bool secondary, const std::string& name,
                                  const char* procedure) {
    const std::string base = secondary ? d.DeviceGetSecondaryLogFileBaseName() : d.DeviceGetPrimaryLogFileBaseName();
    if (base.find_first_of("\\/") != std::string::npos) return true;
    if (state_.SessionRunning) {
        no_folder_noted_[slot] = false;
        const std::string placed = Slot(slot).LPath + "\\" + base;
        if (secondary)
            d.DeviceSetSecondaryLogFileBaseName(placed);
        else
            d.DeviceSetPrimaryLogFileBaseName(placed);
        return true;
    }
    if (!no_folder_noted_[slot]) {
        no_folder_noted_[slot] = true;
        Log("Device " + Slot(slot).DName + ": log \"" + base + name + "\" not made: no test session folder (" +
            procedure + ")");
    }
    return false;
}

void DeviceFanout::TestingChangePrimaryLogFile(const std::string& name) {
    ForEachEnabled(__func__, true, [&](DeviceOps& d, int s) {
        if (LogFolderReady(d, s, false, name, "TestingChangePrimaryLogFile")) d.DeviceChangePrimaryLogFile(name);
    });
}
void DeviceFanout::TestingChangeSecondaryLogFile(const std::string& name) {
    ForEachEnabled(__func__, true, [&](DeviceOps& d, int s) {
        if (LogFolderReady(d, s, true, name, "TestingChangeSecondaryLogFile")) d.DeviceChangeSecondaryLogFile(name);
    });
}
void DeviceFanout::TestingChangeResultsLogFile(const std::string& name) {
    // The results files are named after the primary log's base.
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        if (LogFolderReady(d, s, false, name, "TestingChangeResultsLogFile")) d.DeviceChangeResultsLogFile(name);
    });
}
// Files end and close for every receiver of the session, one taken out of
// it on the way too: its logs would otherwise take its lines for ever.
void DeviceFanout::TestingEndPrimaryLogging() {
    ForEachInSession(__func__, true, [](DeviceOps& d, int) { d.DeviceEndPrimaryLogging(); });
}
void DeviceFanout::TestingEndSecondaryLogging() {
    ForEachInSession(__func__, true, [](DeviceOps& d, int) { d.DeviceEndSecondaryLogging(); });
}
void DeviceFanout::TestingEndResultsLogging() {
    ForEachInSession(__func__, false, [](DeviceOps& d, int) { d.DeviceEndResultsLogging(); });
    // Whatever was still to come for these files cannot go into the next ones.
    state_.RowsPendingTrial = 0;
    state_.RowsPending.fill(false);
    state_.StatisticsPending = false;
}
void DeviceFanout::TestingCloseSpreadSheets() {
    ForEachInSession(__func__, false, [](DeviceOps& d, int) { d.DeviceSpreadSheetClose(); });
}
void DeviceFanout::TestingSetTTTRKSatsToCurrentStableTracked(int32_t n) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSetTTTRKSatsToCurrentStableTracked(n); });
}
void DeviceFanout::SetTTTRKParameters(int16_t satellites, int16_t time) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSetTTTRKParameters(satellites, time); });
}
void DeviceFanout::InitReacquisitionTest(int32_t a, int32_t b) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceInitReacquisitionTest(a, b); });
}

void DeviceFanout::StartReacquisitionTest() {
    const TestRun& run = state_.Run;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        state_.NmeaWindows[s]->DeviceSetTestMode(run.TttrkOption);
        if (Slot(s).PLog == FlagSet) {
            const std::string name = run.LogSuffix + "_" + std::to_string(run.Trial) + ".txt";
            DeviceOps& nmea = *state_.NmeaWindows[s];
            if (LogFolderReady(nmea, s, true, name, "StartReacquisitionTest")) nmea.DeviceChangeSecondaryLogFile(name);
            if (DebugEnabled(s) && LogFolderReady(*state_.DebugWindows[s], s, true, name, "StartReacquisitionTest"))
                state_.DebugWindows[s]->DeviceChangeSecondaryLogFile(name);
        }
    }
}

void DeviceFanout::AcquiringTestStartOnDevices() {
    ClearTrialFailures();  // a reacquisition trial starts here
    const double now = services_.clock->Now();
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceStartSatReacquiringAll(now); });
}
void DeviceFanout::ResetDiffAvailability() {
    const double now = services_.clock->Now();
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.ResetDiffONAvailability(now); });
}
void DeviceFanout::SetMaxAcceptableTTFFOnDevice(int16_t seconds) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.SetDeviceMaxAcceptableTTFF(seconds); });
}
void DeviceFanout::SetSerialPortTimeoutOnDevices(bool enabled, int32_t ms) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSetSerialPortTimeout(enabled, ms); });
}
void DeviceFanout::SpreadSheetWriteAfterFixData(int16_t n) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSpreadSheetWriteAfterFixData(n); });
}
void DeviceFanout::SpreadSheetSave() {
    ForEachEnabled(__func__, false, [](DeviceOps& d, int) { d.DeviceSpreadSheetSave(); });
}
void DeviceFanout::DeviceAddNewSheet(int16_t n, const std::string& name, int16_t k) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) {
        d.AddNewDeviceSheet(static_cast<int16_t>(n + 1), name);
        d.InitializeDeviceSheet(static_cast<int16_t>(n + 1), name, k);
    });
}
void DeviceFanout::DeviceSavePosPicture() {
    ForEachEnabled(__func__, false, [](DeviceOps& d, int) { d.DeviceSavePositionPicture(); });
}
void DeviceFanout::DeviceGGASamplingLogAddLine(int16_t n) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceGGASamplingLog(n); });
}
void DeviceFanout::DeviceGGASamplingLogEnd() {
    ForEachInSession(__func__, false, [](DeviceOps& d, int) { d.DeviceGGASamplingEnd(); });
}
void DeviceFanout::DeviceLogT2AT2UToFile(int16_t n) {
    // Every receiver that has the trial's results line gets its rows, one
    // taken out of the session during that trial too.
    const bool pending = n > 0 && state_.RowsPendingTrial == n;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s) && !(pending && state_.RowsPending[s] && state_.NmeaWindows[s])) continue;
        Guarded(__func__, s, [&] { state_.NmeaWindows[s]->DeviceLogT2AT2UToFile(n); });
    }
    if (pending) {
        state_.RowsPendingTrial = 0;
        state_.RowsPending.fill(false);
    }
}
void DeviceFanout::DeviceLogFixGSAToFile(int16_t n) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceLogFixGSAToFile(n); });
}
void DeviceFanout::DeviceResetT2AT2UStatistics() {
    ForEachEnabled(__func__, false, [](DeviceOps& d, int) { d.DeviceResetT2AT2UStatistics(); });
}
void DeviceFanout::DeviceLogT2AT2UStatistics() {
    ForEachInSession(__func__, false, [](DeviceOps& d, int) { d.DeviceLogT2AT2UStatistics(); });
    state_.StatisticsPending = false;
}
void DeviceFanout::SetWatchDogStatusOnDevices(bool on) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSetWatchDogStatus(on); });
}
void DeviceFanout::SetGGATimeCheckOnDevices(bool on) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSetGGATimeCheck(on); });
}

bool DeviceFanout::TestEndEvent() {
    bool flag = true;
    // A slot whose trial failed has ended it; so has one whose port went
    // away, which would otherwise be waited for until the silence guard.
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        if (!state_.TrialFailed[s] && d.DevicePortLost()) state_.TrialFailed[s] = true;
        flag = (state_.TrialFailed[s] || d.IsTestCompleted()) && flag;
    });
    return flag;
}

bool DeviceFanout::DiffAvailableEvent() {
    bool flag = true;
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { flag = d.GetDiffONAvailability() && flag; });
    return flag;
}

int32_t DeviceFanout::GetCurrentUTCSeconds(bool require_fix) {
    int32_t last = 0;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        last = state_.NmeaWindows[s]->DeviceGetCurrentUTCSeconds(require_fix);
        if (last >= 0) return last;
    }
    return last;
}

std::string DeviceFanout::GetDeviceCurrentGGAString(int slot) {
    if (slot < 0 || slot >= DeviceSlots || !state_.NmeaWindows[slot]) return {};
    return state_.NmeaWindows[slot]->GetCurrentGGAString();
}

std::string DeviceFanout::GetDevicePrimaryLogFileName(int slot) {
    if (slot < 0 || slot >= DeviceSlots || !state_.NmeaWindows[slot]) return {};
    return state_.NmeaWindows[slot]->DeviceGetPrimaryLogFileBaseName();
}

void DeviceFanout::DeviceSetVersionString(int slot, const std::string& text) {
    if (slot < 0 || slot >= DeviceSlots) return;
    if (state_.NmeaWindows[slot]) state_.NmeaWindows[slot]->DeviceSetProductVersionString(text);
    if (DebugEnabled(slot)) state_.DebugWindows[slot]->DeviceSetProductVersionString(text);
}

void DeviceFanout::DeviceDisable(int slot) {
    if (slot < 0 || slot >= DeviceSlots) return;
    // The running session's copy, and the loaded record until it is loaded
    // again, so a later start does not bring the receiver back unasked.
    const bool was_running = state_.RunConfig.Devices[slot].DevEN == FlagSet;
    state_.RunConfig.Devices[slot].DevEN = FlagClear;
    state_.ActiveConfig.Devices[slot].DevEN = FlagClear;
    if (was_running) state_.DisabledSinceLoad[slot] = true;
    // A trial it was part of ends as failed, as it does for a lost port,
    // rather than leaving no line at all; its files stay the session's.
    if (was_running && state_.SessionRunning && state_.NmeaWindows[slot] != nullptr) {
        state_.TrialFailed[slot] = true;
        state_.DisabledInTrial[slot] = true;
        state_.LeftSession[slot] = true;
        // Out of the session, it is sent nothing more for its test, even
        // when it talks again (its restart command would go on repeating).
        Guarded("DeviceDisable", slot, [&] { state_.NmeaWindows[slot]->DeviceStopTest(); });
    }
}

bool DeviceFanout::CheckDeviceEnabled(int slot) const {
    if (slot < 0 || slot >= DeviceSlots) return false;
    return state_.RunConfig.Devices[slot].DevEN == FlagSet;
}

void DeviceFanout::SetFixAvailableTime(double time_of_day) {
    state_.FixAvailableTime = time_of_day;
    state_.FixAvailableSetMs = services_.clock->MonotonicMs();
}

void DeviceFanout::IncrementTestDataTestNumber() { ++state_.Run.Trial; }

void DeviceFanout::IncrementResultsTestNumber() {
    if (services_.results) services_.results->UpdateTest(state_.Run.Trial, state_.Run.Trials);
}

bool DeviceFanout::CheckSimulatorStatusEnd() {
    return services_.simulator && services_.simulator->GetSimStatus() == 6;
}

void DeviceFanout::ExecuteSimulatorRestart() {
    const TestRun& run = state_.Run;
    if (services_.status) services_.status->StatusBarMessage(1, "Simulator Configuration Ongoing");
    if (services_.simulator)
        services_.simulator->SimRestart(100, run.RestartArg, run.FirstSatPower, run.FirstSatChannel,
                                        run.FirstSatEn, run.SetupTime, run.SimPower, true);
    const std::string name = std::to_string(run.Trial) + ".txt";
    TestingChangePrimaryLogFile(name);
    TestingChangeResultsLogFile(name);
}

bool DeviceFanout::testfile(const std::string& path) {
    try {
        return services_.files && services_.files->FileHasData(path);
    } catch (...) {
        return false;
    }
}

}  // namespace bench::session
