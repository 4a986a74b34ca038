#include "tests/support/fake_device_window.h"

#include "platform/core/numtext.h"

namespace fakes {

std::string FakeDeviceWindow::Arg(double d) { return platform::NumberToText(d); }

void FakeDeviceWindow::Rec(const char* name, std::vector<std::string> args) {
    std::string text = std::string(name) + "(";
    for (size_t i = 0; i < args.size(); ++i) text += (i ? "," : "") + args[i];
    text += ")";
    own_calls.push_back(text);
    if (calls_) calls_->push_back(tag_ + "." + text);
    if (on_call) on_call(text);
}

void FakeDeviceWindow::OnExecuteTest(const std::string& command) {
    ++executed;
    commands.push_back(command);
    execute_ms.push_back(clock_ ? clock_->MonotonicMs() : 0);
    running_ = true;
    started_ms_ = clock_ ? clock_->MonotonicMs() : 0;
}

void FakeDeviceWindow::OnEvent(uint8_t event) {
    if (event == 0) running_ = false;
}

bool FakeDeviceWindow::Completed() {
    if (!running_ || fix_delay_ms < 0 || !clock_) return false;
    if (clock_->MonotonicMs() - started_ms_ < fix_delay_ms) return false;
    if (auto_ttff) ttff = static_cast<double>(fix_delay_ms) / 1000.0;
    return true;
}

}  // namespace fakes
