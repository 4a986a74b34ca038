#pragma once
// The external-program driver `ExtControl` without its widgets: it starts a
// program that has no remote interface and works its user interface by
// keystrokes: TABs to reach a field or button, typed text, ENTER. Key groups
// go one per tick of its 100 ms timer.
//
// Keys go only to a window of the started program: before each group the
// driver raises that window and checks that it has the focus. A program that
// shows no window within 10 s, or that is not running, gets nothing and the
// system log and status bar say so; no key ever lands in whatever window
// happens to be active.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/session/session_ports.h"
#include "platform/core/clock.h"
#include "platform/process/keystrokes.h"
#include "platform/process/program_start.h"
#include "platform/qt/bench_timer.h"

namespace bench {

class ExtControl final : public session::IExternalControl {
public:
    using Starter = std::function<platform::StartedProgram(const std::string&, const std::vector<std::string>&)>;
    using Report = std::function<void(const std::string&)>;

    // How long a key group waits for the program's window.
    static constexpr int64_t kWindowWaitMs = 10000;
    // The key groups of a numbered command and of the start-up sequence.
    static constexpr int kTabsBackToNumber = 31;
    static constexpr int kTabsStartupNumber = 24;

    // `timer` is the 100 ms Timer1, off; the driver installs its handler.
    ExtControl(platform::KeystrokeSink& keys, platform::Timer& timer, const platform::Clock& clock, Starter start,
               Report report);

    // --- controls ---
    // Text1: the program and its arguments as the user types them.
    void SetProgramPath(const std::string& text) { program_path_ = text; }
    const std::string& ProgramPath() const { return program_path_; }
    // "Connect": starts the program and runs the start-up sequence.
    void Command1_Click();
    const std::string& Label1() const { return label_; }
    // "Send".
    void Command2_Click();

    // --- public operations ---
    void SendExternCommand() override { Command2_Click(); }
    void JumpToSetCommandNumber();
    void JumpToPos(int16_t count);
    void JumpToSetCommandNumberStartup();
    void SetCommandNumber(const std::string& text);
    void JumpToCommandButton();
    void PressCommandButton();
    void ExecuteExtCommand(const std::string& command_number) override;

    // Test buttons.
    void SendTab_Click() { JumpToSetCommandNumber(); }
    void SendCom_Click() { ExecuteExtCommand("520"); }
    void Set520_Click() { SetCommandNumber("520"); }
    void JumpToCom_Click() { JumpToCommandButton(); }
    void Set510_Click() { SetCommandNumber("510"); }
    void Sartup_Click() { JumpToSetCommandNumberStartup(); }

    void Timer1_Timer();

    int16_t Step() const { return step_; }
    int64_t ProgramId() const { return program_id_; }
    // The window redraws on this.
    std::function<void()> onChange;
    // What it last reported no longer holds: a program started, keys went.
    std::function<void()> settled;

private:
    // Raises the program's window; false with the reason when keys must not go.
    bool Activate(std::string& why);
    // Activates, then sends; reports and sends nothing when the window is
    // not the program's.
    void Keys(const std::function<bool()>& send);
    void StopSequence(const std::string& why);
    void Say(const std::string& text) {
        said_ = true;
        if (report_) report_(text);
    }
    void Settle() {
        if (!said_) return;
        said_ = false;
        if (settled) settled();
    }

    platform::KeystrokeSink& keys_;
    platform::Timer& timer_;
    const platform::Clock& clock_;
    Starter start_;
    Report report_;
    std::string program_path_;
    std::string label_;
    int64_t program_id_ = 0;
    int16_t step_ = 0;
    std::string command_number_;
    int64_t wait_since_ms_ = -1;  // a key group waits for the window since then
    bool said_ = false;           // a report stands that may no longer hold
};

}  // namespace bench
