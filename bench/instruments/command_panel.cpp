// The script panel's lines, its script files, the stepper and its controls.
#include "bench/instruments/command_panel.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "bench/instruments/script_file.h"
#include "platform/core/clock.h"
#include "platform/core/paths.h"
#include "platform/qt/bench_timer.h"

namespace bench::instruments {

namespace {

struct TemplateEntry {
    std::string text;
    std::string help;
};

const std::array<TemplateEntry, CommandPanel::kTemplates>& Templates() {
    static const std::array<TemplateEntry, CommandPanel::kTemplates> t{{
        {"SEND>", "SEND>$PQNVxxxx (Or SEND>\"text string\" to send a generic string)"},
        {"SENDCHRS>", "SENDCHRS>$PQNVxxxx (Or SENDCHRS>\"text string\" to send a generic string)\""},
        {"SENDFILE>",
         "SENDFILE>filename (send to all devices the commands written in a text file. Filename should include "
         "also the file path)"},
        {"SWITCHRTS>", "SWITCHRTS>val (val=1 means RTS High, val=0 means RTS Low)"},
        {"SWITCHRTSONPORT>", "SWITCHRTSONPORT>port (port is the serial port number)"},
        {"DELAY>", "DELAY>hh:mm:ss (introduce a time delay before execution of next instruction)"},
        {"RANDOMDELAY>",
         "RANDOMDELAY>min>max (introduce a random time delay, in the range between min and max, before execution "
         "of next instruction)"},
        {"WAITFIX>",
         "WAITFIX>timeout (wait up to the GPS fix or up to timeout is expired before execution of next "
         "instruction. Timeout is in seconds)"},
        {"REPEATSTART>",
         "REPEATSTART>iterations (Repeat a fixed number of times the instructions delimited by REPEATSTART> and "
         "REPEATEND>)"},
        {"REPEATEND>", "REPEATEND> (end delimiter of the instruction set for iteration)"},
        {"INITLOG>", "INITLOG>path>filename (start data logging)"},
        {"STOPLOG>", "STOPLOG> (stop data logging)"},
        {"CHANGESECONDARYLOG>",
         "CHANGESECONDARYLOG>suffix (change the secondary log file name adding suffix to the base name)"},
        {"SIMCONNECT>", "SIMCONNECT>HostName>PortNumber (connect to simulator)"},
        {"SIMSCLOAD>", "SIMSCLOAD>SimScenarioPath (load a scenario)"},
        {"SIMSTART>", "SIMSTART> (start scenario)"},
        {"SIMAUTOSTART>",
         "SIMAUTOSTART>CurrentPower>SatIdOFF>FirstSatPower>FirstSatChannel>FirstSatEnabled>SimRestartDelay>"
         "SimRestartPower (start scenario automatically)"},
        {"SIMSTOP>", "SIMSTOP> (stop scenario)"},
        {"SIMREWIND>", "SIMREWIND> (rewind scenario)"},
        {"SIMSETPOWER>", "SIMSETPOWER>power (set signal level to all channels)"},
        {"SIMINCREASEPOWER>", "SIMINCREASEPOWER>step (increase signal to all channels by a step)"},
        {"SIMDECREASEPOWER>", "SIMDECREASEPOWER>step (decrease signal to all channels by a step)"},
        {"SIMSETSATPOWER>", "SIMSETSATPOWER>sat>power (set signal level to a specific satellite)"},
        {"SIMINCREASESATPOWER>", "SIMINCREASESATPOWER>sat>step (increase signal to a specific satellite by a step)"},
        {"SIMDECREASESATPOWER>", "SIMDECREASESATPOWER>sat>step (decrease signal to a specific satellite by a step)"},
        {"SIMSETCHPOWER>", "SIMSETCHPOWER>ch>power (set signal level to a specific channel)"},
        {"SIMINCREASECHPOWER>", "SIMINCREASECHPOWER>ch>step (increase signal to a specific channel by a step)"},
        {"SIMDECREASECHPOWER>", "SIMDECREASECHPOWER>ch>step (decrease signal to a specific channel by a step)"},
        {"SIMTURNSATONOFF>",
         "SIMTURNSATONOFF>sat>onoff (turn on/off a specific satellite. onoff=1 means sat ON, onoff=0 means sat "
         "OFF)"},
        {"SIMTURNCHONOFF>",
         "SIMTURNCHONOFF>ch>onoff (turn on/off a specific channel. onoff=1 means ch ON, onoff=0 means ch OFF)"},
        {"SIMTURNALLONOFF>",
         "SIMTURNALLONOFF>onoff (turn on/off all satellites. onoff=1 means all sats ON, onoff=0 means all sats "
         "OFF)"},
    }};
    return t;
}

}  // namespace

const std::string& CommandPanel::Template(int index) { return Templates().at(static_cast<size_t>(index)).text; }
const std::string& CommandPanel::HelpText(int index) { return Templates().at(static_cast<size_t>(index)).help; }

CommandPanel::CommandPanel(ScriptPanelServices services) : services_(std::move(services)) {
    if (auto* t = services_.scriptTimer) {
        t->SetEnabled(false);
        t->SetInterval(kStepIntervalMs);
        t->SetTickHandler([this] { ScriptTimer_Timer(); });
    }
    if (auto* t = services_.lineTimer) {
        t->SetEnabled(false);
        t->SetTickHandler([this] { LineTimer_Timer(); });
    }
    if (auto* t = services_.byteTimer) {
        t->SetEnabled(false);
        t->SetTickHandler([this] { ByteTimer_Timer(); });
    }
}

CommandPanel::~CommandPanel() {
    for (platform::Timer* t : {services_.scriptTimer, services_.lineTimer, services_.byteTimer}) {
        if (!t) continue;
        t->SetEnabled(false);
        t->SetTickHandler(nullptr);
    }
}

void CommandPanel::Log(const std::string& text) {
    if (services_.log)
        services_.log->WriteLine(text);
    else
        SystemLogWrite(text);
}

void CommandPanel::ReportCaught(const std::string& procedure, const std::string& where) {
    const PendingError e = ErrorOf(std::current_exception());
    Log(where + e.Description + " (" + procedure + ")");
}

void CommandPanel::Changed() {
    if (changed) changed();
}

void CommandPanel::SetStatus(const std::string& text) {
    status_ = text;
    Changed();
}

std::string CommandPanel::LocalPath(const std::string& stored) const {
    std::string local = platform::MapStoredPath(stored, services_.programFolder);
    if (!local.empty() && local.front() != '/' && !services_.programFolder.empty())
        local = platform::JoinPath(services_.programFolder, local);
    return local;
}

// --- list operations ---

void CommandPanel::ListAdd(std::vector<std::string>& list, int16_t index, const std::string& text) {
    if (index == -1) index = static_cast<int16_t>(list.size());
    // An index past the end appends; one below -1 goes first.
    const size_t at = index < 0 ? 0 : std::min(static_cast<size_t>(index), list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), text);
}

void CommandPanel::ListRemove(std::vector<std::string>& list, int16_t index) {
    if (index > -1 && static_cast<size_t>(index) < list.size())
        list.erase(list.begin() + index);
}

void CommandPanel::ListReplace(std::vector<std::string>& list, int16_t index, const std::string& text) {
    if (index > -1 && static_cast<size_t>(index) < list.size()) list[static_cast<size_t>(index)] = text;
}

void CommandPanel::SetLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    if (selected_ >= static_cast<int16_t>(lines_.size())) selected_ = -1;
    Changed();
}

void CommandPanel::Select(int16_t index) {
    selected_ = index >= 0 && index < static_cast<int16_t>(lines_.size()) ? index : -1;
    Changed();
}

// --- buttons ---

void CommandPanel::Add(const std::string& command) {
    ListAdd(lines_, -1, command);
    Changed();
}

void CommandPanel::Insert(const std::string& command) {
    ListAdd(lines_, selected_, command);
    Changed();
}

void CommandPanel::Replace(const std::string& command) {
    ListReplace(lines_, selected_, command);
    Changed();
}

void CommandPanel::Remove() {
    ListRemove(lines_, selected_);
    if (selected_ >= static_cast<int16_t>(lines_.size())) selected_ = -1;
    Changed();
}

void CommandPanel::ExecuteSel() {
    if (selected_ < 0 || selected_ >= static_cast<int16_t>(lines_.size())) return;
    ExecuteCommand(lines_[static_cast<size_t>(selected_)]);
}

void CommandPanel::SendRestart(const std::string& command) {
    if (services_.bench) services_.bench->SendCommandToDevices(command);
}

void CommandPanel::Save() {
    if (!state_.ScriptFileName.empty()) SaveScript(state_.ScriptFileName);
}

// --- script files ---

bool CommandPanel::SaveScript(const std::string& file) {
    const std::string path = LocalPath(file);
    const std::string bytes = FormatScriptFile(lines_);
    // Written beside the file first, so a failed write leaves the old one whole.
    const std::string temp = path + ".saving";
    bool ok = false;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (out) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            ok = !out.fail();
        }
    }
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        std::remove(temp.c_str());
        Log("Cannot write " + file + " (SaveScript)");
        if (services_.inform) services_.inform("WARNING", "Cannot write " + file);
    }
    return ok;
}

void CommandPanel::LoadScript(const std::string& file, int16_t& status) {
    status = 1;
    lines_.clear();
    selected_ = -1;
    std::ifstream in(LocalPath(file), std::ios::binary);
    std::string problem;
    if (!in) {
        problem = "File not found: " + file;
    } else {
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ScriptFileContent c = ParseScriptFile(bytes);
        lines_ = std::move(c.lines);
        if (c.complete)
            status = 0;
        else
            problem = "Script file " + file + ": " + c.problem;
    }
    if (status != 0) {
        Log(problem + " (LoadScript)");
        if (services_.inform) services_.inform("WARNING", problem);
    }
    Changed();
}

bool CommandPanel::LoadScript(const std::string& file) {
    if (show) show();
    int16_t status = 1;
    LoadScript(file, status);
    // A freshly loaded script of a session starts at its first line, even
    // when the one before ended in its middle.
    state_.StepState = 0;
    state_.LineIndex = 0;
    return status == 0;
}

void CommandPanel::SetScriptName(const std::string& name) {
    caption_ = name;
    Changed();
}

// --- stepper ---

bool CommandPanel::Running() const { return services_.scriptTimer && services_.scriptTimer->Enabled(); }

void CommandPanel::ScriptTimer_Timer() {
    platform::Timer* t = services_.scriptTimer;
    if (t) t->SetEnabled(false);
    in_step_ = true;
    try {
        ScriptStateMachine();
    } catch (...) {
        ReportCaught("ScriptStateMachine");
    }
    in_step_ = false;
    if (t && !state_.EndFlag) t->SetEnabled(true);
    ApplyControls();
}

// Controls pressed during a step take effect once it is over; STOP wins.
void CommandPanel::ApplyControls() {
    const bool stop = stop_requested_, pause = pause_requested_, run = run_requested_;
    stop_requested_ = pause_requested_ = run_requested_ = false;
    if (stop)
        Command10_Click();
    else if (pause)
        Command9_Click();
    else if (run)
        Command2_Click();
}

void CommandPanel::Command2_Click() {
    if (in_step_) {
        run_requested_ = true;
        return;
    }
    state_.EndFlag = false;
    failure_.clear();
    if (services_.scriptTimer) services_.scriptTimer->SetEnabled(true);
}

void CommandPanel::Command9_Click() {
    if (in_step_) {
        pause_requested_ = true;
        return;
    }
    if (services_.scriptTimer) services_.scriptTimer->SetEnabled(false);
}

void CommandPanel::Command10_Click() {
    if (in_step_) {
        stop_requested_ = true;
        return;
    }
    StopNow();
}

void CommandPanel::StopNow() {
    state_.EndFlag = true;
    if (services_.scriptTimer) services_.scriptTimer->SetEnabled(false);
    state_.StepState = 0;
    state_.LineIndex = 0;
    ResetTimerInterval();
    Changed();
}

void CommandPanel::ResetTimerInterval() {
    if (services_.scriptTimer && services_.scriptTimer->Interval() != kStepIntervalMs)
        services_.scriptTimer->SetInterval(kStepIntervalMs);
}

void CommandPanel::ScriptStateMachine() {
    // A file still going out byte by byte holds the script, whoever sent it.
    if (SendingBytes()) return;
    if (state_.StepState != 0) {
        StepWait();
        return;
    }
    const int16_t n = static_cast<int16_t>(lines_.size());
    if (state_.LineIndex < 0 || state_.LineIndex >= n) {
        StopNow();
        return;
    }
    const int16_t index = state_.LineIndex;
    waiting_line_ = index;
    selected_ = index;
    Changed();
    try {
        ExecuteLine(lines_[static_cast<size_t>(index)], index + 1);
    } catch (...) {
        // The line's call failed; its side effects stay done and the script
        // goes on with the next line.
        ReportCaught("ExecuteCommand", "Script line " + std::to_string(index + 1) + ": ");
    }
    state_.LineIndex = static_cast<int16_t>(state_.LineIndex + 1);
    if (state_.LineIndex > static_cast<int16_t>(lines_.size()) - 1) {
        StopNow();
    }
}

void CommandPanel::StepWait() {
    ScriptBench* bench = services_.bench;
    switch (state_.StepState) {
    case 1: {
        const int64_t now = services_.clock->MonotonicMs();
        if (now > delay_deadline_ms_) {
            state_.StepState = 0;
        } else {
            SetStatus(std::to_string((delay_deadline_ms_ - now) / 1000) + " s");
        }
        break;
    }
    case 2:
        if (bench && bench->TestEndEvent()) {
            state_.StepState = 0;
            bench->IncrementTestDataTestNumber();
            bench->IncrementResultsTestNumber();
            bench->FixEventManagement();
        }
        break;
    case 3:
        if (services_.scriptTimer && services_.scriptTimer->Interval() != kSimulatorPollMs)
            services_.scriptTimer->SetInterval(kSimulatorPollMs);
        if (services_.simulator && services_.simulator->IsSimMngCompleted()) {
            state_.StepState = 0;
            ResetTimerInterval();
        } else if (services_.simulator && services_.simulator->IsSimMngFailed()) {
            // The restart will not complete: the lines after it would run
            // on a simulator in an unknown state, so the script stops here.
            const size_t at = static_cast<size_t>(waiting_line_);
            failure_ = "script \"" + caption_ + "\" line " + std::to_string(waiting_line_ + 1) +
                       (at < lines_.size() ? " \"" + lines_[at] + "\"" : std::string()) +
                       ": the simulator restart failed";
            Log("Script stopped: " + failure_);
            SetStatus("Simulator restart failed");
            StopNow();
        }
        break;
    case 4:
        if (bench && bench->DiffAvailableEvent()) {
            state_.StepState = 0;
            bench->IncrementTestDataTestNumber();
            bench->IncrementResultsTestNumber();
            bench->DiffONEventManagement();
        }
        break;
    case 5: {
        const int s = bench ? SecondOfMinute(bench->FixAvailableTime()) : 0;
        if (s == state_.TargetSecond) {
            state_.StepState = 0;
        } else {
            const int left = s > state_.TargetSecond ? 60 - s + state_.TargetSecond : state_.TargetSecond - s;
            SetStatus(std::to_string(left));
        }
        break;
    }
    default:
        break;
    }
}

void CommandPanel::DelaySeconds(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    state_.DelayEnd = services_.clock->Now() + static_cast<double>(seconds) / 86400.0;
    // The end is measured on the monotonic clock: a clock change does not
    // stretch or cut a delay.
    delay_deadline_ms_ = services_.clock->MonotonicMs() + seconds * 1000;
    state_.StepState = 1;
}

}  // namespace bench::instruments
