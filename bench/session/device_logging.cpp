// Setting up the per-device log files and their names.
#include "bench/session/fanout.h"
#include "bench/session/results_grid.h"
#include "platform/core/clock.h"
#include "platform/core/error.h"

namespace bench::session {

void DeviceFanout::MakeFolderOrThrow(const std::string& path) {
    std::string why;
    if (!services_.files || !services_.files->MakeFolder(path, why))
        throw platform::BenchError(platform::err::PathNotFound,
                                   "Cannot create folder " + path + (why.empty() ? "" : ": " + why));
}

void DeviceFanout::InitLoggingSlot(int s, const std::string& mode, const std::string& type,
                                   const std::string& extra) {
    DeviceConfig& dc = Slot(s);
    DeviceOps& nmea = *state_.NmeaWindows[s];
    const std::string& suffix = state_.Run.LogSuffix;
    const std::string stem = dc.DName + "_" + mode + "_" + type + extra;

    nmea.DeviceSetPrimaryLogFileBaseName(dc.LPath + "\\" + stem + "_NMEA");
    if (dc.GLog == FlagSet) {
        nmea.DeviceStartPrimaryLogging(suffix + ".txt");
        if (DebugEnabled(s)) {
            DeviceOps& dbg = *state_.DebugWindows[s];
            dbg.DeviceSetPrimaryLogFileBaseName(dc.LPath + "\\" + stem + "_DEBUG");
            dbg.DeviceStartPrimaryLogging(suffix + ".txt");
        }
    }
    if (dc.PLog == FlagSet) {
        const std::string folder = dc.LPath + "\\" + mode + "_" + type;
        MakeFolderOrThrow(folder);
        const std::string trial_end = suffix + "_" + std::to_string(state_.Run.Trial) + ".txt";
        nmea.DeviceSetSecondaryLogFileBaseName(folder + "\\" + stem + "_NMEA");
        nmea.DeviceInitSecondaryLogging(trial_end);
        if (DebugEnabled(s)) {
            DeviceOps& dbg = *state_.DebugWindows[s];
            dbg.DeviceSetSecondaryLogFileBaseName(folder + "\\" + stem + "_DEBUG");
            dbg.DeviceInitSecondaryLogging(trial_end);
        }
    }
    if (dc.RLog == FlagSet) nmea.DeviceStartResultsLogging(suffix + ".txt");
    if (state_.Options.GGASamp) {
        const std::string folder = dc.LPath + "\\" + type + "_GGASampling";
        MakeFolderOrThrow(folder);
        nmea.DeviceGGASamplingInit(folder + "\\");
    }
}

void DeviceFanout::InitLogging(int16_t test_index, const std::string& extra) {
    if (test_index < 0 || test_index >= TestSlots) return;
    const TestEntry& entry = state_.RunConfig.Tests[test_index];
    const std::string mode =
        entry.TttrkOption == 0 ? "TTFF" : entry.TttrkOption == 1 ? "TTTR" : "";
    const std::string type = entry.Type;
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        // A slot that cannot be set up is reported and the others still get
        // their logs.
        try {
            InitLoggingSlot(s, mode, type, extra);
        } catch (const platform::BenchError& e) {
            Log("Device " + Slot(s).DName + ": " + e.Description() + " (InitLogging)");
        } catch (const std::exception& e) {
            Log("Device " + Slot(s).DName + ": " + e.what() + " (InitLogging)");
        }
    }
    if (services_.results) services_.results->ResetResultsWindow();
}

void DeviceFanout::InitNemaDebugLogging(int16_t, const std::string& folder, const std::string& ending) {
    try {
        int first = -1;
        for (int s = 0; s < DeviceSlots && first < 0; ++s)
            if (SlotEnabled(s)) first = s;
        if (first < 0) return;
        // The session folder of the first enabled slot: slot 0 may be unused.
        const std::string f = Slot(first).LPath + "\\" + folder;
        MakeFolderOrThrow(f);
        for (int s = 0; s < DeviceSlots; ++s) {
            if (!SlotEnabled(s)) continue;
            DeviceConfig& dc = Slot(s);
            DeviceOps& nmea = *state_.NmeaWindows[s];
            nmea.DeviceSetPrimaryLogFileBaseName(f + "\\" + dc.DName + "_" + folder + "_NMEA_");
            if (dc.GLog == FlagSet) {
                nmea.DeviceStartPrimaryLogging(ending + ".txt");
                if (DebugEnabled(s)) {
                    DeviceOps& dbg = *state_.DebugWindows[s];
                    dbg.DeviceSetPrimaryLogFileBaseName(f + "\\" + dc.DName + "_" + folder + "_DEBUG_");
                    dbg.DeviceStartPrimaryLogging(ending + ".txt");
                }
            }
        }
    } catch (const platform::BenchError& e) {
        Log(e.Description() + " (InitNemaDebugLogging)");
    } catch (const std::exception& e) {
        Log(std::string(e.what()) + " (InitNemaDebugLogging)");
    }
}

void DeviceFanout::InitLog(const std::string& path, const std::string& name) {
    const std::string f = path + "\\" + name + "_" + GetDateTimeStamp(services_.clock->Now());
    MakeFolderOrThrow(f);
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        DeviceConfig& dc = Slot(s);
        DeviceOps& nmea = *state_.NmeaWindows[s];
        nmea.DeviceSetPrimaryLogFileBaseName(f + "\\" + dc.DName + "_" + name + "_NMEA");
        if (dc.GLog == FlagSet) {
            nmea.DeviceStartPrimaryLogging(".txt");
            if (DebugEnabled(s)) {
                DeviceOps& dbg = *state_.DebugWindows[s];
                dbg.DeviceSetPrimaryLogFileBaseName(f + "\\" + dc.DName + "_" + name + "_DEBUG");
                dbg.DeviceStartPrimaryLogging(".txt");
            }
        }
        if (dc.PLog == FlagSet) {
            const std::string folder = f + "\\" + dc.DName + "_" + name;
            MakeFolderOrThrow(folder);
            nmea.DeviceSetSecondaryLogFileBaseName(folder + "\\" + name + "_NMEA");
            nmea.DeviceInitSecondaryLogging(".txt");
            if (DebugEnabled(s)) {
                DeviceOps& dbg = *state_.DebugWindows[s];
                dbg.DeviceSetSecondaryLogFileBaseName(folder + "\\" + name + "_DEBUG");
                dbg.DeviceInitSecondaryLogging(".txt");
            }
        }
        if (dc.RLog == FlagSet) nmea.DeviceStartResultsLogging(".txt");
    }
}

void DeviceFanout::StopLog() {
    TestingEndPrimaryLogging();
    TestingEndSecondaryLogging();
    TestingEndResultsLogging();
    TestingCloseSpreadSheets();
}

}  // namespace bench::session
