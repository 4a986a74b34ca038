// Collecting each device's measurement when a trial has ended everywhere.
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "bench/devices/timing.h"
#include "platform/core/numtext.h"

#include <utility>

namespace bench::session {

using platform::NumberToText;

namespace {
bool EndsWithCrLf(const std::string& s) { return s.size() >= 2 && s.compare(s.size() - 2, 2, "\r\n") == 0; }

// One line per trial whatever the receiver delivered: a missing sentence
// must not glue the next trial's line onto this one.
std::string WithCrLf(std::string s) {
    if (EndsWithCrLf(s)) return s;
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s + "\r\n";
}

std::string WithoutCrLf(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    return s;
}
}  // namespace

void TestEngine::FixEventManagement() { CollectFixResults(); }

// A trial the engine gave up for the device, or a time to track the device
// did not measure within its bound: either has no measurement.
bool TestEngine::TrialHasNoMeasurement(int slot, DeviceOps& d) const {
    if (state_.TrialFailed[slot]) return true;
    return state_.Run.TttrkOption != 0 && d.GetTTFF() < 0;
}

std::array<bool, DeviceSlots> TestEngine::CollectFixResults() {
    const int16_t trial = state_.Run.Trial;
    std::array<bool, DeviceSlots> written{};
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s) && !std::exchange(state_.DisabledInTrial[s], false)) continue;
        written[s] = true;
        fanout_.Guarded("FixEventManagement", s, [&] {
            DeviceOps& d = *state_.NmeaWindows[s];
            // A device whose trial failed has no measurement: its line
            // carries the error value, once, and so do its companion lines.
            const bool failed = TrialHasNoMeasurement(s, d);
            if (failed) d.DeviceMarkTrialFailed();
            const double t = failed ? -1.0 : platform::RoundDecimals(d.GetTTFF(), 2);
            if (t < 0) Status(1, "Time Measure ERROR!");
            const std::string g = failed ? std::string() : d.GetGGAFixString();
            if (services_.results) services_.results->UpdateCell(trial, static_cast<int16_t>(s), t);
            d.DeviceLogResultsToFile(NumberToText(t) + "\t% " + std::to_string(trial) + "\t" + WithCrLf(g));
            if (state_.Options.ExelInterface && state_.Run.DeviceSheet) d.DeviceSpreadSheetSetTTFFData(trial, t);
        });
    }
    // Every device with a results line for the trial logs the GSA sentence
    // of its fix (one taken out of the session during the trial too).
    for (int s = 0; s < DeviceSlots; ++s)
        if (written[s])
            fanout_.Guarded("DeviceLogFixGSAToFile", s, [&] { state_.NmeaWindows[s]->DeviceLogFixGSAToFile(trial); });
    return written;
}

// The test machine's trial: its rows in the T2A/T2U tables follow after the
// wait, and the test's statistics at its end (or at a stop).
void TestEngine::NoteTrialRowsPending(const std::array<bool, DeviceSlots>& written) {
    state_.RowsPendingTrial = state_.Run.Trial;
    state_.RowsPending = written;
    state_.StatisticsPending = true;
}

void TestEngine::SatellitesTrackedEventManagement() {
    const int16_t trial = state_.Run.Trial;
    std::array<bool, DeviceSlots> written{};
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s) && !std::exchange(state_.DisabledInTrial[s], false)) continue;
        written[s] = true;
        fanout_.Guarded("SatellitesTrackedEventManagement", s, [&] {
            DeviceOps& d = *state_.NmeaWindows[s];
            const bool failed = TrialHasNoMeasurement(s, d);
            if (failed) d.DeviceMarkTrialFailed();
            const double t = failed ? -1.0 : platform::RoundDecimals(d.GetTTFF(), 2);
            if (t < 0) Status(1, "Time Measure ERROR!");
            const std::string g = failed ? std::string() : d.GetCurrentGGAString();
            const int16_t n = failed ? int16_t{0} : d.DeviceGetTTTRKSatellitesN();
            const int32_t on = failed ? 0 : d.DeviceGetSignalONUTCTimestamp();
            if (services_.results) services_.results->UpdateCell(trial, static_cast<int16_t>(s), t);
            d.DeviceLogResultsToFile(NumberToText(t) + "\t" + std::to_string(n) + "\t" + std::to_string(on) +
                                     "\t% " + MakeTimeStringFromSeconds(on) + "% " + std::to_string(trial) +
                                     "\t" + WithCrLf(g));
            if (state_.Options.ExelInterface && state_.Run.DeviceSheet) d.DeviceSpreadSheetSetTTFFData(trial, t);
        });
    }
    NoteTrialRowsPending(written);
}

void TestEngine::DiffONEventManagementFor(int16_t trial) {
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!fanout_.SlotEnabled(s)) continue;
        fanout_.Guarded("DiffONEventManagement", s, [&] {
            DeviceOps& d = *state_.NmeaWindows[s];
            const double t = d.GetTTFF();
            const std::string g = d.GetGGAFixString();
            const double diff = d.GetDiffONTime();
            const std::string dg = d.GetDiffONGGAString();
            const double acquire = d.GetSBASTimeToAcquire();
            if (services_.results) services_.results->UpdateCell(trial, static_cast<int16_t>(s), diff);
            d.DeviceLogResultsToFile(NumberToText(t) + "\t% " + std::to_string(trial) + "\t" + WithoutCrLf(g) +
                                     " SBAS " + NumberToText(acquire) + " % " + NumberToText(diff) + "\t% " +
                                     WithCrLf(dg));
        });
    }
}

}  // namespace bench::session
