#pragma once
// The whole state of one receiver as its device window sees it. Every device
// routine takes the record by reference; nothing keeps a copy, so the record
// cannot be copied. Window controls are reached through the views of
// device_view.h; a record made without a window gets plain views of its own,
// which is how tests and benchmarks run it.
//
// Flags are bool here; operations that receive a flag from outside (a script,
// the configuration) convert it where it arrives (only -1 is true).
#include "bench/devices/byte_log.h"
#include "bench/devices/device_view.h"
#include "bench/devices/system_time.h"
#include "platform/core/clock.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace platform {
class SerialLink;
class Timer;
}  // namespace platform

namespace workbook {
class Application;
class Workbook;
class Worksheet;
}  // namespace workbook

namespace bench {

class BenchHost;
struct DeviceState;

// The console ring of the last 256 received lines.
struct ConsoleBuffer {
    static constexpr int kLines = 256;
    static constexpr int kShown = 35;  // lines in the console label

    std::array<std::string, kLines> Lines;  // a completed line keeps its CR and LF
    int16_t Current = 0;                    // line now being received
    int16_t FirstShown = 0;                 // first line shown in the label
    platform::SerialLink* Port = nullptr;   // MSComm1; null: no port (always closed)
    ControlView* Label = nullptr;           // Label1, the console text
    ScrollBarView* Scroll = nullptr;        // VScroll1
    StatusBarView* Status = nullptr;        // StatusBar1
    platform::Timer* RefreshTimer = nullptr;      // DisplayRefreshTimer
    platform::Timer* ScriptTimer = nullptr;       // ScriptTimer
    platform::Timer* ReplayTimer = nullptr;       // ReproduceFileTimer
    platform::Timer* PortTimeoutTimer = nullptr;  // PortTimeout
    int32_t LongestChunk = 0;               // most bytes one receive event delivered
};

// One satellite of the satellite database.
struct SatDBEntry {
    int16_t Azimuth = 0;
    int16_t Elevation = 0;
    int16_t CN0 = 0;
    int16_t MaxCN0 = 0;
    int16_t MinCN0 = 0;
    double MeanCN0 = 0;
    int32_t CN0Count = 0;
    int32_t TrackTime = 0;
    int16_t CN0RingIndex = 0;
    std::array<int16_t, 10> CN0Ring{};
    int32_t T2A = 0;
    int32_t T2AMax = 0;
    int32_t T2AMin = 86400;  // no sample yet: any sample is smaller
    double T2AMean = 0;
    int32_t T2ASamples = 0;
    int32_t T2U = 0;
    int32_t T2UMax = 0;
    int32_t T2UMin = 86400;
    double T2UMean = 0;
    int32_t T2USamples = 0;
    double ReferenceTime = 0;
    double AcquiredTime = 0;
    int32_t AcquiredEpochs = 0;
    // Monotonic reading of the epoch that began the present run of tracked
    // epochs: the moment a time to track is taken from.
    int64_t AcquiredMonotonicMs = 0;
    double UsedTime = 0;
    int32_t UsedEpochs = 0;
    bool T2AValid = false;
    bool T2AStatsDone = false;
    bool T2UValid = false;
    bool T2UStatsDone = false;
    bool T2AArmed = false;
    bool T2UArmed = false;
    std::string FirstSampleTime;
    bool EphArmed = false;
    double EphTime = 0;
    int32_t T2E = 0;
    bool EphValid = false;
    uint32_t FillColor = 0;    // 0x00BBGGRR
    uint32_t BorderColor = 0;
    std::vector<uint8_t> CN0Samples;  // tracked C/N0 values since the counts were reset
    bool SeenThisEpoch = false;
    bool UsedThisEpoch = false;
};

// Indexed by satellite number 1..255; element 0 is unused.
using SatDB = std::array<SatDBEntry, 256>;

// A value written into a worksheet cell: nothing, a number, a text or a
// date-time (days since 1899-12-30).
struct DateTimeCell {
    double Serial = 0;
    friend bool operator==(const DateTimeCell&, const DateTimeCell&) = default;
};
using CellValue = std::variant<std::monostate, double, std::string, DateTimeCell>;

// A row of 32 satellite-table cells.
using CellRow = std::array<ControlView*, 32>;

// Called with the device for every completed line of an NMEA window; the line
// is Console.Lines[Console.Current]. The sentence dispatcher installs itself
// here.
using LineHandler = std::function<void(DeviceState&)>;

struct DeviceState {
    DeviceState();
    ~DeviceState();
    DeviceState(const DeviceState&) = delete;
    DeviceState& operator=(const DeviceState&) = delete;

    // --- console
    ConsoleBuffer Console;

    // --- restart test and timing
    double RestartTime = 0;
    SystemTime RestartClock;
    double EndTime = 0;
    int32_t ElapsedSeconds = 0;  // whole seconds of the running test; 32 bits so long waits cannot overflow
    double EndElapsed = 0;
    std::string FixGGA;
    std::string FixGSA;
    std::string CurrentGGA;
    double TTFF = 0;
    int16_t MaxTTFF = 0;
    int16_t TestState = 0;  // 0 idle, 1 restart command sent, 2 running
    int16_t PrevQuality = 0;
    std::string TestCommand;
    std::string RestartCommand;
    std::string StartupString;
    bool GGAAsStartup = false;
    bool TestCompleted = false;
    int16_t TickLimit = 10;  // reached with >=, so an unset limit still repeats the command
    int16_t Ticks = 0;
    int16_t Failures = 0;
    int16_t ReacqSatellite = 0;
    int16_t ReacqCount = 0;
    double ReacqStart = 0;
    int16_t ReacqDone = 0;
    int32_t GGACount = 0;
    double StartupDelay = 0;
    int16_t TestMode = 0;  // 0 time to first fix, else time to track
    int16_t TTTRKSats = 0;
    int16_t TTTRKTime = 0;

    // --- identity, names and log files
    std::string DeviceName;
    int16_t DeviceID = 0;
    std::string PrimaryBaseName;
    std::string SecondaryBaseName;
    std::string PrimaryLogName;
    std::string SecondaryLogName;
    std::string ResultsName;
    ByteLogFile PrimaryFile;
    ByteLogFile SecondaryFile;
    ByteLogFile ResultsFile;
    ByteLogFile T2AFile;
    ByteLogFile GSAFile;
    ByteLogFile StatisticsFile;
    ByteLogFile T2UFile;
    ByteLogFile CN0File;
    bool CN0Logging = false;
    bool PrimaryOpen = false;
    bool SecondaryOpen = false;
    bool ResultsOpen = false;
    uint8_t DeviceKind = 0;  // 0 NMEA window, 1 debug window

    // --- satellite table cells, one row of 32 per table row
    CellRow SatBar{};
    CellRow Cn0{};
    std::array<int16_t, 32> TsRowId{};
    CellRow SatId{};
    CellRow CN0Max{};
    CellRow CN0Min{};
    CellRow CN0Ave{};
    std::array<int16_t, 32> TsRowCn0{};
    CellRow Tim{};
    CellRow T2U{};
    CellRow T2DE{};
    CellRow EPH{};
    CellRow AZ{};
    CellRow EL{};
    CellRow TrackTimer{};

    // --- satellite database
    SatDB Sats{};

    // --- fix, differential and SBAS tracking
    std::string GGATimeText;
    double PrevGGASeconds = 0;
    bool GGATimeCheck = false;
    double FixDate = 0;
    bool FixAvailable = false;
    double FixPCTime = 0;
    double FixLostPCTime = 0;
    int32_t FixLostSeconds = 0;
    int32_t ReacqSeconds = 0;
    double DiffOnTime = 0;
    bool DiffOn = false;
    std::string DiffOnGGA;
    int32_t SBASCount = 0;
    double SBASTime = 0;
    double DiffReference = 0;
    SystemTime DiffClock;
    double SBASFirstSeconds = 0;
    int16_t SBASSatellite = 0;
    double Latitude = 0;
    std::string LatHemisphere;
    double Longitude = 0;
    std::string LonHemisphere;
    int16_t TrackedNow = 0;
    bool FixSeen = false;

    // --- workbook rows
    std::array<CellValue, 8> FixRow{};
    std::array<CellValue, 12> AfterFixRow{};

    // --- console filter, replay and window elements
    std::string FilterText = "KALMAN";
    uint8_t Paused = 0;  // 1 while a debug window's display is paused
    bool FilterOn = false;
    int32_t PCtoUTCDelta = 0;
    int32_t UTCSeconds = 0;
    int16_t Quality = 0;
    bool ReplayActive = false;
    OutputBoxView* OutputWin = nullptr;
    std::array<ControlView*, 16> PositionData{};
    std::array<ControlView*, 7> HoldPositionData{};
    std::array<ControlView*, 4> DataStatistics{};
    std::array<int32_t, 4> GSAStatistics{};  // GGA count, 3D, 2D, no fix; never reset
    platform::Timer* WatchDogTimer = nullptr;
    bool WatchDogOn = false;
    bool WatchDogDisableNoted = false;  // this silence's disable is in the system log; a line clears it
    bool HWReset = false;
    int32_t BlockedCount = 0;
    int16_t DispatchFlag = 0;
    PositionWindowView* PosChartWindow = nullptr;
    bool PosChartShown = false;

    // --- GGA sampling
    bool SamplingOn = false;
    std::string GGAOnFix;
    std::string GGA05s;
    std::string GGA10s;
    std::string GGA15s;
    std::string GGA30s;
    std::string GGA60s;
    std::array<ByteLogFile, 6> SamplingFiles;
    int32_t SampleCounter = 0;
    bool SampleCounting = false;

    // --- workbook, reacquisition trigger and scripts
    bool WorkbookOpen = false;
    workbook::Workbook* WorkbookRef = nullptr;    // lives in ExcelApp
    workbook::Worksheet* WorksheetRef = nullptr;  // the running test's sheet, when it has one
    bool ReacqArmed = false;
    int32_t ReacqParameter = 0;
    int32_t SignalOnSecond = 0;
    bool GSVSeen = false;
    bool GSASeen = false;
    bool GSVThisLine = false;
    bool GSAThisLine = false;
    std::ifstream ReplayFile;            // the recorded log fed into the console (read as bytes)
    uint8_t ScriptStep = 0;
    bool RestartScriptPending = false;
    std::shared_ptr<workbook::Application> ExcelApp;  // the session's spreadsheet application
    // The running test's sheet, for the system log line of a failed save.
    std::string WorkbookSheetName;
    // Set once a failed save of the running test is reported: one line per
    // test. Shared with the saves still being written.
    std::shared_ptr<bool> WorkbookSaveFailed = std::make_shared<bool>(false);

    // --- kept beside the record by the window: the restart script's state
    std::string RestartFrameText;        // hexadecimal frame last chosen
    bool RestartScriptFinished = false;
    bool ResetPulseOn = false;           // the hardware reset holds RTS on until its next step

    // --- this implementation's own
    BenchHost* Host = nullptr;           // the main window (or the replay window's stand-in)
    // Every date-time and elapsed time of the device comes from here; tests
    // put a fake clock in.
    const platform::Clock* Clock = &platform::SystemClock::Instance();
    LineHandler MessageProcessing;       // the sentence dispatcher; empty: lines are only logged
    bool PortTimeoutEnabled = false;     // the port-timeout timer restarts on receive only when set
    bool PortClosedNoted = false;        // a send on the closed port was noted in the system log
    // "Device NAME: port N (PATH)" while the port's device is lost, so the
    // test's texts do not hide the loss; empty otherwise.
    std::string PortLostTitle;
    std::string ReceiveFailureNoted;     // last receive-path failure reported (reported once)
    bool RestartDisableNoted = false;    // the disable for unanswered restarts is in the system log
    bool LongLineNoted = false;          // the console's cutting of long lines was said
    // Reports written once for this window, by text, with how many more came
    // after and were only counted (see ReportOncePerWindow).
    std::map<std::string, int64_t, std::less<>> CountedReports;
    // "$PQNVTS" rows received in this epoch: kept per device so that receivers
    // interleaving their lines do not share rows.
    int16_t TsRowCounter = 0;
    // Monotonic reading taken with RestartClock: the test's elapsed time,
    // immune to clock steps.
    int64_t RestartMonotonicMs = 0;
    // Seconds of the UTC day 5 s and 10 s after this device's fix (-1: no fix yet).
    int32_t FixPlus5Second = -1;
    int32_t FixPlus10Second = -1;
    // Second of day of this device's previous GGA for the blocked-time check (-1: none yet).
    int32_t PrevBlockedSecond = -1;
    // The main window recorded the running trial as failed (lost port,
    // stopped session, receiver taken out): its companion lines carry the
    // error value and no measurement. A new trial clears it.
    bool TrialFailed = false;
    // The T2A/T2U statistics of satellites 1..32 as the running trial found
    // them: what a failed trial added is taken back.
    struct TrialTally {
        int32_t T2AMax = 0, T2AMin = 86400, T2ASamples = 0;
        double T2AMean = 0;
        int32_t T2UMax = 0, T2UMin = 86400, T2USamples = 0;
        double T2UMean = 0;
    };
    std::array<TrialTally, 33> TrialStartTally{};

    // Plain stand-ins for the controls until a window binds its own.
    struct PlainViews;
    std::unique_ptr<PlainViews> Plain;
};

// Points every view and timer reference at the record's plain stand-ins, as
// a freshly made record has them.
void BindPlainViews(DeviceState& dev);

}  // namespace bench
