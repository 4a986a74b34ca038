#pragma once
// The per-device log and result files: the primary and secondary NMEA logs
// (every received line as it came), the results file of a test (one line per
// trial, composed by the main window) and its four companions: the per-
// satellite time-to-acquire and time-to-use tables, the GSA sentence at each
// fix and the T2A/T2U statistics. Report builders and navsift read these files,
// so names and bytes are fixed.
//
// Every file is opened for appending (an existing file keeps what it holds)
// and every write goes straight to the file. File errors go to the caller.
// Names are kept as given (a stored "C:\..." name too) and mapped only where
// the file is made.
#include "bench/devices/device_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

// Satellite numbers of the T2A and T2U columns: 1-32, 65-95, 193-202.
inline constexpr int kT2AT2UColumns = 73;
const std::array<int16_t, kT2AT2UColumns>& T2AT2UColumnSet();

// "TTFF,Test N,1,2,...,202" CR LF.
std::string T2AT2UHeader();

// Companion names of a results file name: the name less its last 4
// characters, then "_Results_T2A.csv" and so on ("Results" twice).
struct ResultsNames {
    std::string Results, T2A, GSA, Statistics, T2U;
};
ResultsNames ResultsFileNames(const std::string& results_name);

// Opens PrimaryLogName (an open primary log is closed first).
void StartPrimaryLog(DeviceState& dev);
// Opens PrimaryBaseName & suffix, then closes the primary log that was open
// (a new log that cannot be opened leaves the old one open); the stored
// PrimaryLogName stays as it was.
void ChangePrimaryLog(DeviceState& dev, const std::string& suffix);
// Closes the primary log when open; nothing otherwise.
void EndPrimaryLog(DeviceState& dev);
// The same for the secondary log and SecondaryBaseName.
void ChangeSecondaryLog(DeviceState& dev, const std::string& suffix);
void EndSecondaryLog(DeviceState& dev);

// Opens ResultsName and its four companions, all or nothing: on a failure
// whatever was opened is closed again and the error goes to the caller. An
// open group is closed first. A table newly made gets its header line.
void StartResultsLogs(DeviceState& dev);
// Only while the results files are open: closes them and opens
// PrimaryBaseName & "_Results" & suffix and, with B the stored ResultsName
// less its last 4 characters, B & "_Results_T2A" & suffix, B & "_Results_GSA"
// & suffix, B & "_Results_T2A_T2U_Statistics" & suffix and B & "_Results_T2U"
// & suffix. ResultsName is not changed. All or nothing as above.
void ChangeResultsLogs(DeviceState& dev, const std::string& suffix);
// Closes the five results files when open.
void EndResultsLogs(DeviceState& dev);

// Writes text when open is set.
void PutLogLine(ByteLogFile& file, bool open, std::string_view text);

// One row into the T2A and one into the T2U table (results files open).
void LogT2AT2ULine(DeviceState& dev, int16_t trial);
// TTFF, TAB, "% ", trial, TAB, the GSA sentence kept at the fix, always ended
// by CR LF (results files open).
void LogFixGSALine(DeviceState& dev, int16_t trial);
// The statistics block of satellites 1..32 that have T2A samples.
void LogT2AT2UStatistics(DeviceState& dev);

// The rows themselves, as written.
std::string T2ARow(const DeviceState& dev, int16_t trial);
std::string T2URow(const DeviceState& dev, int16_t trial);
std::string FixGSALine(const DeviceState& dev, int16_t trial);
std::string T2AT2UStatisticsBlock(const DeviceState& dev);

}  // namespace bench

namespace bench {

// The GSA sentence of a trial's fix, looked after around each line: the
// first GSA sentence after the trial's fix GGA is kept for the GSA-at-fix
// line. (A restart seen drops what the previous trial kept, through
// ClearTrialRecords, as it is recognised.)
class TrialKeeper {
public:
    // Before the line is dispatched.
    void Before(const DeviceState& dev);
    // After it was dispatched.
    void After(DeviceState& dev, const std::string& line);

private:
    double restart_time_ = 0;
    platform::Stamp restart_stamp_;
    std::string fix_gga_;
    bool awaiting_gsa_ = false;
};

// Drops what the last trial kept for its result lines (fix rows, GGA
// samples, GSA at fix) and its pending 5 s and 10 s snapshots, so a trial
// without a fix never reports the earlier position.
void ClearTrialRecords(DeviceState& dev);

}  // namespace bench
