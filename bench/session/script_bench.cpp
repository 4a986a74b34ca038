#include "bench/session/script_bench.h"

#include <QWidget>

#include "bench/instruments/command_panel_window.h"
#include "bench/session/fanout.h"
#include "bench/session/results_grid.h"
#include "bench/session/test_engine.h"
#include "platform/comm/serial_port.h"
#include "platform/core/clock.h"
#include "platform/qt/bench_timer.h"
#include "platform/ui/prompts.h"

namespace bench::session {

void ScriptBenchAdapter::SendCommandToDevices(const std::string& c) { fanout_.SendCommandToDevices(c); }
void ScriptBenchAdapter::SendChrsCommandToDevices(int16_t ms, const std::string& c) {
    fanout_.SendChrsCommandToDevices(ms, c);
}
void ScriptBenchAdapter::SwitchRTSSignalOnDevices(uint8_t port, uint8_t state) {
    fanout_.SwitchRTSSignalOnDevices(port, state);
}
void ScriptBenchAdapter::SendMessageOnSerialPort(int16_t port, const std::string& text) {
    fanout_.SendMessageOnSerialPort(port, text);
}
void ScriptBenchAdapter::SendChrToDevices(const std::string& chr) { fanout_.SendChrToDevices(chr); }
void ScriptBenchAdapter::DeviceSendMessage(const std::string& text) { fanout_.DeviceSendMessage(text); }
bool ScriptBenchAdapter::CheckSimulatorStatusEnd() { return fanout_.CheckSimulatorStatusEnd(); }
void ScriptBenchAdapter::ExecuteSimulatorRestart() { fanout_.ExecuteSimulatorRestart(); }
void ScriptBenchAdapter::AcquiringTestStartOnDevices() { fanout_.AcquiringTestStartOnDevices(); }
void ScriptBenchAdapter::DeviceSavePosPicture() { fanout_.DeviceSavePosPicture(); }
void ScriptBenchAdapter::SetMaxAcceptableTTFFOnDevice(int16_t s) { fanout_.SetMaxAcceptableTTFFOnDevice(s); }
void ScriptBenchAdapter::ResetDiffAvailability() { fanout_.ResetDiffAvailability(); }
bool ScriptBenchAdapter::TestEndEvent() { return fanout_.TestEndEvent(); }
bool ScriptBenchAdapter::DiffAvailableEvent() { return fanout_.DiffAvailableEvent(); }
void ScriptBenchAdapter::IncrementTestDataTestNumber() { fanout_.IncrementTestDataTestNumber(); }
void ScriptBenchAdapter::IncrementResultsTestNumber() { fanout_.IncrementResultsTestNumber(); }
void ScriptBenchAdapter::FixEventManagement() { engine_.FixEventManagement(); }
void ScriptBenchAdapter::DiffONEventManagement() { engine_.DiffONEventManagement(); }
double ScriptBenchAdapter::FixAvailableTime() { return fanout_.State().FixAvailableTime; }
void ScriptBenchAdapter::InitLog(const std::string& path, const std::string& name) { fanout_.InitLog(path, name); }
void ScriptBenchAdapter::TestingChangeSecondaryLogFile(const std::string& name) {
    fanout_.TestingChangeSecondaryLogFile(name);
}
void ScriptBenchAdapter::StopLog() { fanout_.StopLog(); }
void ScriptBenchAdapter::MakeKML() { fanout_.MakeKML(); }
bool ScriptBenchAdapter::CheckDeviceEnabled(int16_t slot) { return fanout_.SlotEnabled(slot); }
std::string ScriptBenchAdapter::GetDevicePrimaryLogFileName(int16_t slot) {
    return fanout_.GetDevicePrimaryLogFileName(slot);
}
std::string ScriptBenchAdapter::GetDeviceCurrentGGAString(int16_t slot) {
    return fanout_.GetDeviceCurrentGGAString(slot);
}

class ScriptPanelOwner::ResultsAdapter final : public instruments::ScriptResults {
public:
    explicit ResultsAdapter(ResultsGrid* grid) : grid_(grid) {}
    void AddLineLable(int16_t line, const std::string& text) override {
        if (grid_) grid_->AddLineLable(line, text);
    }

private:
    ResultsGrid* grid_;
};

ScriptPanelOwner::ScriptPanelOwner(DeviceFanout& fanout, TestEngine& engine, SessionServices& services,
                                   std::string program_folder, QWidget* window_parent)
    : fanout_(fanout),
      engine_(engine),
      services_(services),
      program_folder_(std::move(program_folder)),
      window_parent_(window_parent) {}

ScriptPanelOwner::~ScriptPanelOwner() {
    delete window_;
    window_ = nullptr;
    panel_.reset();
}

instruments::CommandPanel& ScriptPanelOwner::Panel() {
    if (panel_) return *panel_;
    bench_ = std::make_unique<ScriptBenchAdapter>(fanout_, engine_);
    results_ = std::make_unique<ResultsAdapter>(services_.results);
    script_timer_ = std::make_unique<platform::QtTimer>(instruments::CommandPanel::kStepIntervalMs, false);
    line_timer_ = std::make_unique<platform::QtTimer>(0, false);
    byte_timer_ = std::make_unique<platform::QtTimer>(0, false);
    instruments::ScriptPanelServices s;
    s.clock = services_.clock ? services_.clock : &platform::SystemClock::Instance();
    s.bench = bench_.get();
    s.simulator = services_.simulator;
    s.simulatorScript = simulatorScript;
    s.external = services_.external;
    s.results = results_.get();
    s.log = services_.log;
    s.launcher = services_.launcher;
    s.random = services_.random;
    s.programFolder = program_folder_;
    s.scriptTimer = script_timer_.get();
    s.lineTimer = line_timer_.get();
    s.byteTimer = byte_timer_.get();
    s.makePort = [] { return std::make_unique<platform::SerialPort>(); };
    s.inform = [](const std::string& title, const std::string& text) {
        platform::Prompts::Instance().Inform(text, title, platform::Icon::Warning);
    };
    panel_ = std::make_unique<instruments::CommandPanel>(std::move(s));
    window_ = new instruments::CommandPanelWindow(*panel_, program_folder_, window_parent_);
    panel_->changed = [this] {
        if (window_) window_->Redraw();
    };
    panel_->show = [this] { Show(); };
    return *panel_;
}

void ScriptPanelOwner::Show() {
    Panel();
    if (!window_) return;
    window_->show();
    window_->raise();
}

}  // namespace bench::session
