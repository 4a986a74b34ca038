#pragma once
// The script panel without its widgets: the script lines, the run state of
// the command language, the stepper on its timer, and the sending of files to
// every enabled receiver. The window (command_panel_window.h) draws this
// state and forwards the user's clicks; the session engine drives it through
// its script-panel interface.
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/instruments/script_ports.h"
#include "bench/session/session_ports.h"

namespace platform {
class Clock;
class Timer;
class SerialLink;
}  // namespace platform

namespace bench::instruments {

// The run state of the script panel: one record for the life of the program.
struct ScriptRunState {
    // 0 run the next line; 1 delay; 2 wait for a fix; 3 wait for the
    // simulator restart; 4 wait for differential; 5 wait for a UTC second.
    int16_t StepState = 0;
    int16_t LineIndex = 0;  // next line, 0-based
    double DelayEnd = 0;    // local date-time, for the display
    int16_t WaitFixTimeout = 0;
    std::string ScriptFileName = "script.txt";
    int16_t RepeatCount = 0;
    int16_t RepeatStartLine = 0;
    bool EndFlag = false;
    int16_t TargetSecond = 0;
};

// Everything outside the panel. A missing neighbour makes the words that
// need it write a line to the system log and do nothing else.
struct ScriptPanelServices {
    platform::Clock* clock = nullptr;
    ScriptBench* bench = nullptr;
    session::ISimulator* simulator = nullptr;
    ScriptSimulator* simulatorScript = nullptr;
    session::IExternalControl* external = nullptr;
    ScriptResults* results = nullptr;
    session::ISystemLog* log = nullptr;
    session::IProcessLauncher* launcher = nullptr;
    session::IRandom* random = nullptr;
    // Stored paths ("C:\...") and relative names resolve here.
    std::string programFolder;
    // The owner makes the timers; the panel installs its handlers.
    platform::Timer* scriptTimer = nullptr;  // the stepper, 200 ms
    platform::Timer* lineTimer = nullptr;    // line-by-line sending
    platform::Timer* byteTimer = nullptr;    // byte-by-byte sending, a short interval
    // The signal generator's serial port, made for each command.
    std::function<std::unique_ptr<platform::SerialLink>()> makePort;
    // Messages the user should see without anything waiting on them.
    std::function<void(const std::string& title, const std::string& text)> inform;
};

class CommandPanel final : public session::IScriptPanel {
public:
    static constexpr int kTemplates = 31;
    static constexpr int kStepIntervalMs = 200;
    static constexpr int kSimulatorPollMs = 1000;
    static constexpr int kFileSlots = 20;
    static constexpr int kDeviceSlots = 4;
    // Bytes sent per turn of the event loop by byte-by-byte sending.
    static constexpr int kBytesPerTurn = 256;

    explicit CommandPanel(ScriptPanelServices services);
    ~CommandPanel() override;
    CommandPanel(const CommandPanel&) = delete;
    CommandPanel& operator=(const CommandPanel&) = delete;

    // --- the templates and help texts the command box offers ---
    static const std::string& Template(int index);
    static const std::string& HelpText(int index);

    // --- list operations (other windows use them on their own lists) ---
    static void ListAdd(std::vector<std::string>& list, int16_t index, const std::string& text);
    static void ListRemove(std::vector<std::string>& list, int16_t index);
    static void ListReplace(std::vector<std::string>& list, int16_t index, const std::string& text);

    // --- what the window shows ---
    const std::vector<std::string>& Lines() const { return lines_; }
    void SetLines(std::vector<std::string> lines);
    int16_t Selected() const { return selected_; }
    void Select(int16_t index);
    const std::string& Caption() const { return caption_; }
    // The first panel of the panel's status bar.
    const std::string& StatusText() const { return status_; }
    ScriptRunState& State() { return state_; }
    const ScriptRunState& State() const { return state_; }
    // Told after every change of lines, selection, caption or status.
    std::function<void()> changed;
    // Asked to show the window (a script test shows the panel).
    std::function<void()> show;

    // --- the buttons ---
    void Add(const std::string& command);      // "Add"
    void Insert(const std::string& command);   // "Insert"
    void Replace(const std::string& command);  // "Replace"
    void Remove();                             // "Remove"
    void Save();                               // "Save"; false name: nothing
    bool SaveScript(const std::string& file);  // false when it could not be written
    void Execute(const std::string& command) { ExecuteCommand(command); }  // "Execute"
    void ExecuteSel();                                                     // "Execute Sel"
    void Command2_Click();   // RUN
    void Command9_Click();   // PAUSE
    void Command10_Click();  // STOP
    void SendRestart(const std::string& command);  // HOT, WARM, COLD, FULL COLD

    // --- the script ---
    // status 0 when the whole file was read, 1 otherwise; the lines read so
    // far stay. Changes neither the position nor the step state.
    void LoadScript(const std::string& file, int16_t& status);
    void ExecuteCommand(const std::string& line);
    void ScriptStateMachine();
    void ScriptTimer_Timer();
    bool Running() const;

    // --- sending files ---
    // Every byte of the file to every enabled device, in order, a few hundred
    // per turn of the event loop; `done` runs when the last byte is out (or
    // the file could not be read). Requests made meanwhile wait their turn.
    void SendFromFile(const std::string& file, std::function<void()> done);
    bool SendingBytes() const { return byte_file_ != nullptr || !byte_queue_.empty(); }
    void LineTimer_Timer();
    void ByteTimer_Timer();
    // command CR LF once on serial port `port` at `baud`,n,8,1.
    void SendSignalGeneratorCommand(int16_t port, int32_t baud, const std::string& command);

    // --- the session engine's interface ---
    void SendMessagesFromFile(int16_t interval_ms, const std::string& file) override;
    bool sendingFlag() override { return sending_flag_; }
    void SendFromFile(const std::string& file) override { SendFromFile(file, nullptr); }
    // Shows the panel, loads the file and rewinds to its first line.
    bool LoadScript(const std::string& file) override;
    void SetScriptName(const std::string& name) override;
    void ScriptRun() override { Command2_Click(); }
    void ScriptPause() { Command9_Click(); }
    void ScriptStop() override { Command10_Click(); }
    bool GetScriptEndStatus() override { return state_.EndFlag; }
    // Set when a wait failed and stopped the script; cleared by RUN.
    std::string GetScriptFailure() override { return failure_; }

    // Where a stored or relative file name is on this machine.
    std::string LocalPath(const std::string& stored) const;

private:
    struct Word;
    struct Args;
    static const std::vector<Word>& Words();
    void ExecuteLine(const std::string& line, int line_number);
    void Log(const std::string& text);
    // Inside a catch block: the error's description and the procedure.
    void ReportCaught(const std::string& procedure, const std::string& where = "");
    void SetStatus(const std::string& text);
    void Changed();
    void StepWait();
    void ApplyControls();
    void StopNow();
    void ResetTimerInterval();
    void StartNextByteFile();
    void FinishByteFile();

    // Script file slots, per device and slot 1..20.
    std::fstream* FileSlot(int device, int slot);
    void OpenFileSlot(int16_t slot, const std::string& suffix);
    void CloseFileSlot(int16_t slot);
    void WriteFileSlot(int16_t slot, const std::string& text, bool gga);
    void DelaySeconds(int64_t seconds);

    // The words' effects (script_language.cpp).
    friend struct WordTable;

    ScriptPanelServices services_;
    ScriptRunState state_;
    std::vector<std::string> lines_;
    int16_t selected_ = -1;
    std::string caption_ = "Command Panel";
    std::string status_;
    std::string failure_;
    int16_t waiting_line_ = 0;  // the line that started the current wait
    int64_t delay_deadline_ms_ = 0;
    std::unique_ptr<std::fstream> slots_[kDeviceSlots][kFileSlots];

    // Controls pressed while a step runs wait until it has ended.
    bool in_step_ = false;
    bool stop_requested_ = false;
    bool pause_requested_ = false;
    bool run_requested_ = false;

    // Line-by-line sending.
    bool sending_flag_ = false;
    std::unique_ptr<std::ifstream> line_file_;

    // Byte-by-byte sending.
    struct ByteJob {
        std::string file;
        std::function<void()> done;
    };
    std::deque<ByteJob> byte_queue_;
    std::unique_ptr<std::ifstream> byte_file_;
    std::function<void()> byte_done_;
};

}  // namespace bench::instruments
