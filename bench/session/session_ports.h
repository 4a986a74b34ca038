#pragma once
// What the session engine needs from its surroundings: the main window's
// status bar and menus, the instruments, the script panel, the report
// builders, the file system and a few platform services. The Qt shell and the
// instrument windows implement these; tests use fakes.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace workbook {
class Application;
}

namespace bench::session {

// Status bar of the main window: panel numbers start at 1.
class IStatusBar {
public:
    virtual ~IStatusBar() = default;
    virtual void StatusBarMessage(int16_t panel, const std::string& text) = 0;
    // A text kept in view under its key until replaced or cleared (empty).
    virtual void StatusBarNotice(const std::string& key, const std::string& text) {
        (void)key;
        if (!text.empty()) StatusBarMessage(1, text);
    }
};

// The longest the bench waits for an instrument's answer (or for the
// receivers' first UTC second) before it gives the wait up as a failure.
constexpr int kInstrumentAnswerTimeoutMs = 60000;

// The simulator window (remote control of the constellation simulator).
class ISimulator {
public:
    virtual ~ISimulator() = default;
    // Last argument true: stop, rewind and start the scenario first; false:
    // the set-up levels only.
    virtual void SimRestart(double power, int16_t restart_arg, double first_sat_power,
                            int16_t first_sat_channel, int16_t first_sat_en, int16_t setup_time,
                            double sim_power, bool full_restart) = 0;
    virtual bool IsSimMngCompleted() = 0;
    // The restart sequence gave up (no answer in time, or the link went down).
    virtual bool IsSimMngFailed() = 0;
    virtual int16_t GetSimStatus() = 0;
    virtual void Start_Command_Click() = 0;
    // True while the link to the simulator is connected.
    virtual bool SimLinkUp() = 0;
    // Level and switching commands (nothing is sent while the link is down).
    virtual void SimSetPower(double level) = 0;
    virtual void SimSetChPower(const std::string& time, int16_t channel, double level) = 0;
    virtual void SimTurnAllONOFF(const std::string& time, int16_t on) = 0;
    virtual void SimTurnChONOFF(const std::string& time, int16_t channel, int16_t on) = 0;
    // "" when the simulator can take commands now, else why not (for
    // example "simulator not connected"); an entry that needs it is then
    // skipped.
    virtual std::string NotReadyReason() { return {}; }
};

// The LabSat window. Each operation says whether it reached the unit (or
// the relay's serial line): a replay that was never sent must not count.
class ILabSat {
public:
    virtual ~ILabSat() = default;
    virtual bool LabSatSetBinFile(const std::string& file) = 0;
    virtual bool LabSatSetAttenuation(int16_t value) = 0;
    // 32 bits: a start offset past 32767 s is a valid point of a long recording.
    virtual bool LabSatSetStartTime(int32_t seconds) = 0;
    virtual bool LabSatSetStartReplay() = 0;
    virtual bool LabSatSetStopReplay() = 0;
    // "" when the unit can take commands now, else why not.
    virtual std::string NotReadyReason() { return {}; }
};

// The script panel: file sending and the script runner's controls.
class IScriptPanel {
public:
    virtual ~IScriptPanel() = default;
    virtual void SendMessagesFromFile(int16_t interval_ms, const std::string& file) = 0;
    virtual bool sendingFlag() = 0;
    virtual void SendFromFile(const std::string& file) = 0;
    // Shows the panel and loads a script file; false when the file is missing.
    virtual bool LoadScript(const std::string& file) = 0;
    virtual void SetScriptName(const std::string& name) = 0;
    virtual void ScriptRun() = 0;
    virtual bool GetScriptEndStatus() = 0;
    virtual void ScriptStop() = 0;
    // Why the script that ended last was stopped as failed; "" when it was not.
    virtual std::string GetScriptFailure() { return {}; }
};

// The report builders' entry points used at the end of a session.
class IReportBuilder {
public:
    virtual ~IReportBuilder() = default;
    // Before the first report of a session end.
    virtual void BeginSessionReports() {}
    virtual void CreateReportSheet(const std::string& base, const std::string& test) = 0;
    virtual void ImportTestResults(const std::string& base, const std::string& test) = 0;
};

// The external-program driver.
class IExternalControl {
public:
    virtual ~IExternalControl() = default;
    // Presses the program's current button.
    virtual void SendExternCommand() = 0;
    // Types a numbered command into the program and runs it, one key group
    // per tick of the driver's timer.
    virtual void ExecuteExtCommand(const std::string& command_number) = 0;
};

// The session's spreadsheet application: created at session start (and
// handed to every device window), told to quit at Stop.
class ISessionSpreadsheet {
public:
    virtual ~ISessionSpreadsheet() = default;
    virtual void StartSessionExcel() = 0;
    virtual std::shared_ptr<workbook::Application>& SessionExcel() = 0;
    virtual void QuitSessionExcel() = 0;
};

// Folders and files, with the configuration's path texts mapped by the
// implementation.
class IFileSystem {
public:
    virtual ~IFileSystem() = default;
    // Makes the folder and its parents; an existing folder is success. On
    // failure returns false and a reason in `error`.
    virtual bool MakeFolder(const std::string& path, std::string& error) = 0;
    // True when the file exists and holds at least one byte.
    virtual bool FileHasData(const std::string& path) = 0;
    // The local path where a stored path's file really is.
    virtual std::string MapPath(const std::string& path) = 0;
};

// Starting another program without waiting for it.
class IProcessLauncher {
public:
    virtual ~IProcessLauncher() = default;
    // "" when started, else why not (for a program given by name: where it
    // was looked for).
    virtual std::string StartDetached(const std::string& program, const std::vector<std::string>& args) = 0;
};

// User warnings; never blocks an unattended session.
class IPrompter {
public:
    virtual ~IPrompter() = default;
    virtual void Warn(const std::string& title, const std::string& text) = 0;
};

// A line in the session's system log.
class ISystemLog {
public:
    virtual ~ISystemLog() = default;
    virtual void WriteLine(const std::string& text) = 0;
};

// Uniform numbers in [0, 1).
class IRandom {
public:
    virtual ~IRandom() = default;
    virtual double Next() = 0;
};

// Runs a continuation once, later, from the event loop.
class IScheduler {
public:
    virtual ~IScheduler() = default;
    virtual void SingleShot(int ms, std::function<void()> fn) = 0;
};

// The Checked marks of the main window's option entries that the engine reads.
struct SessionOptions {
    bool ExelInterface = false;
    bool AutoRepGen = false;
    bool GGASamp = false;
    bool SBASTEST = false;
    bool ExtCtr = false;
};

}  // namespace bench::session
