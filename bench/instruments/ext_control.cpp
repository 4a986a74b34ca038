#include "bench/instruments/ext_control.h"

namespace bench {

namespace {
constexpr const char* kTab = "Tab";
constexpr const char* kEnter = "Return";
}  // namespace

ExtControl::ExtControl(platform::KeystrokeSink& keys, platform::Timer& timer, const platform::Clock& clock,
                       Starter start, Report report)
    : keys_(keys), timer_(timer), clock_(clock), start_(std::move(start)), report_(std::move(report)) {
    timer_.SetTickHandler([this] { Timer1_Timer(); });
}

void ExtControl::Command1_Click() {
    const std::string unavailable = keys_.Unavailable();
    if (!unavailable.empty()) {
        Say("Extern Control: keystrokes cannot be sent here: " + unavailable);
        return;
    }
    const std::vector<std::string> words = platform::SplitCommandLine(program_path_);
    const std::vector<std::string> args(words.empty() ? words.end() : words.begin() + 1, words.end());
    const platform::StartedProgram started = start_(words.empty() ? std::string() : words.front(), args);
    if (!started.ok) {
        Say("Extern Control: the program was not started: " + started.error);
        return;
    }
    program_id_ = started.pid;
    Settle();
    label_ = "Extern Control ID : " + std::to_string(program_id_);
    // The start-up sequence; its first group waits for the program's window.
    step_ = 5;
    wait_since_ms_ = -1;
    timer_.SetEnabled(true);
    if (onChange) onChange();
}

bool ExtControl::Activate(std::string& why) {
    if (program_id_ == 0) {
        why = "no program started (Connect first)";
        return false;
    }
    return keys_.Activate(program_id_, why);
}

void ExtControl::Keys(const std::function<bool()>& send) {
    std::string why;
    if (!Activate(why)) {
        Say("Extern Control: keys not sent: " + why);
        return;
    }
    if (!send())
        Say("Extern Control: the keys could not be sent to process " + std::to_string(program_id_));
    else
        Settle();
}

void ExtControl::Command2_Click() {
    Keys([this] { return keys_.SendKey(kEnter, 1); });
}

void ExtControl::JumpToSetCommandNumber() {
    Keys([this] { return keys_.SendKey(kTab, kTabsBackToNumber); });
}

void ExtControl::JumpToPos(int16_t count) {
    Keys([this, count] { return count < 1 || keys_.SendKey(kTab, count); });
}

void ExtControl::JumpToSetCommandNumberStartup() {
    Keys([this] { return keys_.SendKey(kTab, kTabsStartupNumber); });
}

void ExtControl::SetCommandNumber(const std::string& text) {
    Keys([this, &text] { return keys_.TypeText(text); });
}

void ExtControl::JumpToCommandButton() {
    Keys([this] { return keys_.SendKey(kTab, 1); });
}

void ExtControl::PressCommandButton() {
    Keys([this] { return keys_.SendKey(kEnter, 1); });
}

void ExtControl::ExecuteExtCommand(const std::string& command_number) {
    const std::string unavailable = keys_.Unavailable();
    if (!unavailable.empty()) {
        Say("Extern Control: keystrokes cannot be sent here: " + unavailable + "; command " + command_number +
            " not sent");
        return;
    }
    if (program_id_ == 0) {
        Say("Extern Control: no program started; command " + command_number + " not sent");
        return;
    }
    // A new command during a sequence starts over with the new number.
    command_number_ = command_number;
    step_ = 1;
    wait_since_ms_ = -1;
    timer_.SetEnabled(true);
}

void ExtControl::StopSequence(const std::string& why) {
    timer_.SetEnabled(false);
    step_ = 0;
    wait_since_ms_ = -1;
    label_ = "External program window not found";
    Say("Extern Control: " + why + "; key sequence stopped");
    if (onChange) onChange();
}

void ExtControl::Timer1_Timer() {
    if (step_ < 1 || step_ > 9) return;
    std::string why;
    if (!Activate(why)) {
        // The program may still be opening its window: wait a bounded time.
        const int64_t now = clock_.MonotonicMs();
        if (wait_since_ms_ < 0) wait_since_ms_ = now;
        if (!keys_.Unavailable().empty() || program_id_ == 0 || now - wait_since_ms_ >= kWindowWaitMs)
            StopSequence(why);
        return;
    }
    wait_since_ms_ = -1;
    // The step moves on before the keys go: a failure is never repeated.
    const int16_t step = step_;
    bool ok = true;
    switch (step) {
    case 1:
        step_ = 2;
        ok = keys_.TypeText(command_number_);
        break;
    case 2:
        step_ = 3;
        ok = keys_.SendKey(kTab, 1);
        break;
    case 3:
        step_ = 4;
        ok = keys_.SendKey(kEnter, 1);
        break;
    case 4:
        timer_.SetEnabled(false);
        ok = keys_.SendKey(kTab, kTabsBackToNumber);
        break;
    case 5:
        step_ = 6;
        ok = keys_.SendKey(kTab, 16);
        break;
    case 6:
        step_ = 7;
        ok = keys_.SendKey(kEnter, 1);
        break;
    case 7:
        step_ = 8;
        ok = keys_.SendKey(kTab, 27);
        break;
    case 8:
        step_ = 9;
        ok = keys_.SendKey(kEnter, 1);
        break;
    case 9:
        timer_.SetEnabled(false);
        ok = keys_.SendKey(kTab, 13);
        break;
    default:
        break;
    }
    if (ok) Settle();
    if (!ok) {
        // Keys that did not go leave the program's focus unknown: the rest
        // of the sequence would land in the wrong places.
        timer_.SetEnabled(false);
        step_ = 0;
        Say("Extern Control: the keys of step " + std::to_string(step) + " could not be sent to process " +
            std::to_string(program_id_) + "; key sequence stopped");
    }
}

}  // namespace bench
