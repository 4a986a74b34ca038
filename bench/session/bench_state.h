#pragma once
// The state the main window keeps for a session, shared by the fan-out and
// the test engine, and the services both reach their surroundings through.
#include <array>
#include <cstdint>
#include <string>

#include "bench/devices/device_ops.h"
#include "bench/session/config.h"
#include "bench/session/session_ports.h"

namespace platform {
class Clock;
class Timer;
}

namespace bench::session {

class ResultsGrid;

// The running test: a copy of its test entry and its progress.
struct TestRun {
    int16_t Trials = 0;
    int16_t TestIndex = 0;
    std::string TestType;
    int16_t Trial = 0;
    std::array<std::string, DeviceSlots> TestCommand{};
    bool Running = false;
    int16_t MaxWait = 0;
    int16_t MinWait = 0;
    int16_t Wait = 0;
    double TestStart = 0;
    double TrialEnd = 0;
    bool PowerMode = false;
    bool UtcMode = false;
    // The receivers' workbooks hold a sheet for this test (and series).
    bool DeviceSheet = false;
    int16_t UtcSecond = 0;
    int16_t UtcSecondLimit = 60;
    int16_t UtcSecondStep = 0;
    double StartPower = 0;
    double EndPower = 0;
    double PowerStep = 0;
    int16_t FirstSatEn = 0;
    double FirstSatPower = 0;
    int16_t FirstSatChannel = 0;
    int16_t RestartArg = 0;
    double CurrentPower = 0;
    std::string LogSuffix;
    int16_t SetupTime = 0;
    double SimPower = 0;
    double SingleSatStartPower = 0;
    double SingleSatEndPower = 0;
    double SingleSatPower = 0;
    int16_t SingleSatChannel = 0;
    double SingleSatStep = 0;
    int16_t AlmanacWaitTime = 0;
    bool RestartBeforeSim = false;
    int16_t TttrkOption = 0;
    int16_t TttrkSats = 0;
    int16_t TttrkTime = 0;
    double SimPowerCopy = 0;
    int16_t SignalCycleSeconds = 0;
    int16_t OffTime = 0;
    bool SingleSatEn = false;
    std::string LabSatBinFile;
    int32_t LabSatStart = 0;
    int32_t LabSatDuration = 0;
    int16_t LabSatIterations = 0;
    int16_t LabSatAttenuation = 0;
    int16_t LabSatIteration = 0;
    int16_t ReturnState = 0;
    std::string AlmanacFile;
};

// Everything outside the engine. Instruments, the script panel, reports, the
// external driver and the spreadsheet may be missing; calls to a missing one
// are skipped.
struct SessionServices {
    platform::Clock* clock = nullptr;
    IStatusBar* status = nullptr;
    ISystemLog* log = nullptr;
    IFileSystem* files = nullptr;
    IPrompter* prompter = nullptr;
    IRandom* random = nullptr;
    IProcessLauncher* launcher = nullptr;
    ResultsGrid* results = nullptr;
    // The engine installs its handlers on these timers; their owner only
    // makes them (TestStateMachineTimer 500 ms, ChrsTimer 10 ms,
    // ScriptExecutionTimer 1000 ms, all disabled).
    platform::Timer* testTimer = nullptr;    // TestStateMachineTimer
    platform::Timer* chrsTimer = nullptr;    // ChrsTimer
    platform::Timer* scriptTimer = nullptr;  // ScriptExecutionTimer
    IScheduler* scheduler = nullptr;
    ISimulator* simulator = nullptr;
    ILabSat* labsat = nullptr;
    IScriptPanel* script = nullptr;
    IReportBuilder* reports = nullptr;
    IExternalControl* external = nullptr;
    ISessionSpreadsheet* spreadsheet = nullptr;
    std::string navsiftProgram = "navsift";
};

// Main-window state of the session.
struct BenchState {
    // The record last loaded from the configuration file.
    SystemConfig ActiveConfig;
    // The running session's copy: its folders and enable flags. Loading a
    // configuration during a session does not touch it; the next start does.
    SystemConfig RunConfig;
    std::array<std::string, DeviceSlots> ConfiguredLPath{};
    std::array<DeviceOps*, DeviceSlots> NmeaWindows{};
    std::array<DeviceOps*, DeviceSlots> DebugWindows{};
    TestRun Run;
    int16_t MaxAcceptableTTFF = 300;
    double FixAvailableTime = 0;    // time of day of the latest GGA with a fix
    int64_t FixAvailableSetMs = -1;  // monotonic time it was last written
    int32_t PCtoUTCDelta = 0;
    SessionOptions Options;
    bool SessionRunning = false;
    // Slots whose part of the running trial failed (a device call that
    // threw): such a trial counts as ended, with an error result, and is
    // never retried by the next tick.
    std::array<bool, DeviceSlots> TrialFailed{};
    // Slots taken out of the session during the running trial (silent,
    // unanswered, gone): their trial is still written, as failed, once.
    std::array<bool, DeviceSlots> DisabledInTrial{};
    // Slots taken out of the running session: their logs and results files
    // still close with the test and the session, and Stop still reaches
    // their test machines.
    std::array<bool, DeviceSlots> LeftSession{};
    // Slots disabled since the configuration was last loaded: a later start
    // says that it runs without them.
    std::array<bool, DeviceSlots> DisabledSinceLoad{};
    // The trial whose results lines are written but whose T2A/T2U rows are
    // not yet (0: none), and the slots that have its results line.
    int16_t RowsPendingTrial = 0;
    std::array<bool, DeviceSlots> RowsPending{};
    // Trials written to the results files since the test's last statistics block.
    bool StatisticsPending = false;
};

}  // namespace bench::session
