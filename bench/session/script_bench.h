#pragma once
// The script panel in the main window: the main window's operations as the
// scripts call them, and the one panel of the program, made with its window
// the first time anything uses it.
#include <functional>
#include <memory>
#include <string>

#include "bench/instruments/command_panel.h"
#include "bench/instruments/script_ports.h"
#include "bench/session/bench_state.h"

class QWidget;

namespace platform {
class QtTimer;
}

namespace bench::instruments {
class CommandPanelWindow;
}

namespace bench::session {

class DeviceFanout;
class TestEngine;

// What scripts ask of the main window, answered by its fan-out and engine.
class ScriptBenchAdapter final : public instruments::ScriptBench {
public:
    ScriptBenchAdapter(DeviceFanout& fanout, TestEngine& engine) : fanout_(fanout), engine_(engine) {}
    void SendCommandToDevices(const std::string& command) override;
    void SendChrsCommandToDevices(int16_t interval_ms, const std::string& command) override;
    void SwitchRTSSignalOnDevices(uint8_t port, uint8_t state) override;
    void SendMessageOnSerialPort(int16_t port, const std::string& text) override;
    void SendChrToDevices(const std::string& chr) override;
    void DeviceSendMessage(const std::string& text) override;
    bool CheckSimulatorStatusEnd() override;
    void ExecuteSimulatorRestart() override;
    void AcquiringTestStartOnDevices() override;
    void DeviceSavePosPicture() override;
    void SetMaxAcceptableTTFFOnDevice(int16_t seconds) override;
    void ResetDiffAvailability() override;
    bool TestEndEvent() override;
    bool DiffAvailableEvent() override;
    void IncrementTestDataTestNumber() override;
    void IncrementResultsTestNumber() override;
    void FixEventManagement() override;
    void DiffONEventManagement() override;
    double FixAvailableTime() override;
    void InitLog(const std::string& path, const std::string& name) override;
    void TestingChangeSecondaryLogFile(const std::string& name) override;
    void StopLog() override;
    void MakeKML() override;
    bool CheckDeviceEnabled(int16_t slot) override;
    std::string GetDevicePrimaryLogFileName(int16_t slot) override;
    std::string GetDeviceCurrentGGAString(int16_t slot) override;

private:
    DeviceFanout& fanout_;
    TestEngine& engine_;
};

// Owns the script panel, its timers and its window; the session engine and
// the "Command Panel" menu entry reach the panel through it.
class ScriptPanelOwner final : public IScriptPanel {
public:
    ScriptPanelOwner(DeviceFanout& fanout, TestEngine& engine, SessionServices& services, std::string program_folder,
                     QWidget* window_parent);
    ~ScriptPanelOwner() override;

    // The panel, made on first use.
    instruments::CommandPanel& Panel();
    // Shows the window (made on first use) above its owner, which places it.
    void Show();
    instruments::CommandPanelWindow* Window() const { return window_; }

    void SendMessagesFromFile(int16_t interval_ms, const std::string& file) override {
        Panel().SendMessagesFromFile(interval_ms, file);
    }
    bool sendingFlag() override { return Panel().sendingFlag(); }
    void SendFromFile(const std::string& file) override { Panel().SendFromFile(file); }
    bool LoadScript(const std::string& file) override { return Panel().LoadScript(file); }
    void SetScriptName(const std::string& name) override { Panel().SetScriptName(name); }
    void ScriptRun() override { Panel().ScriptRun(); }
    bool GetScriptEndStatus() override { return Panel().GetScriptEndStatus(); }
    void ScriptStop() override { Panel().ScriptStop(); }
    std::string GetScriptFailure() override { return Panel().GetScriptFailure(); }

    // Set before the panel is made, by whoever has them.
    instruments::ScriptSimulator* simulatorScript = nullptr;

private:
    class ResultsAdapter;
    DeviceFanout& fanout_;
    TestEngine& engine_;
    SessionServices& services_;
    std::string program_folder_;
    QWidget* window_parent_;
    std::unique_ptr<ScriptBenchAdapter> bench_;
    std::unique_ptr<ResultsAdapter> results_;
    std::unique_ptr<platform::QtTimer> script_timer_, line_timer_, byte_timer_;
    std::unique_ptr<instruments::CommandPanel> panel_;
    instruments::CommandPanelWindow* window_ = nullptr;
};

}  // namespace bench::session
