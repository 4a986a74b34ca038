#pragma once
// What the script panel reaches outside itself: the main window's
// operations, the simulator window's operations beyond those the session
// engine uses, and the results grid. The main
// window supplies adapters; tests use recording fakes.
#include <cstdint>
#include <string>

namespace bench::instruments {

// The main window's public operations that scripts and file sending use.
class ScriptBench {
public:
    virtual ~ScriptBench() = default;
    // Sending to every enabled receiver.
    virtual void SendCommandToDevices(const std::string& command) = 0;
    virtual void SendChrsCommandToDevices(int16_t interval_ms, const std::string& command) = 0;
    virtual void SwitchRTSSignalOnDevices(uint8_t port, uint8_t state) = 0;
    virtual void SendMessageOnSerialPort(int16_t port, const std::string& text) = 0;
    virtual void SendChrToDevices(const std::string& chr) = 0;
    virtual void DeviceSendMessage(const std::string& text) = 0;
    // Simulator restart through the main window.
    virtual bool CheckSimulatorStatusEnd() = 0;
    virtual void ExecuteSimulatorRestart() = 0;
    // Tests and their results.
    virtual void AcquiringTestStartOnDevices() = 0;
    virtual void DeviceSavePosPicture() = 0;
    virtual void SetMaxAcceptableTTFFOnDevice(int16_t seconds) = 0;
    virtual void ResetDiffAvailability() = 0;
    virtual bool TestEndEvent() = 0;
    virtual bool DiffAvailableEvent() = 0;
    virtual void IncrementTestDataTestNumber() = 0;
    virtual void IncrementResultsTestNumber() = 0;
    virtual void FixEventManagement() = 0;
    virtual void DiffONEventManagement() = 0;
    // Time of day of the latest GGA with a fix (days since 1899-12-30).
    virtual double FixAvailableTime() = 0;
    // Logs.
    virtual void InitLog(const std::string& path, const std::string& name) = 0;
    virtual void TestingChangeSecondaryLogFile(const std::string& name) = 0;
    virtual void StopLog() = 0;
    virtual void MakeKML() = 0;
    // Single devices, by slot 0 to 3.
    virtual bool CheckDeviceEnabled(int16_t slot) = 0;
    virtual std::string GetDevicePrimaryLogFileName(int16_t slot) = 0;
    virtual std::string GetDeviceCurrentGGAString(int16_t slot) = 0;
};

// The simulator window's operations that only scripts use (the restart
// sequence and its completion come through the session engine's interface).
class ScriptSimulator {
public:
    virtual ~ScriptSimulator() = default;
    virtual void SimShow() = 0;
    virtual void SimConnect(const std::string& host, const std::string& port) = 0;
    virtual void SimLoadScenario(const std::string& path) = 0;
    virtual void SimStartScenario() = 0;
    virtual void SimStopScenario() = 0;
    virtual void SimRewindScenario() = 0;
    virtual void SimSetPower(double level) = 0;
    virtual void SimIncreasePower(double step) = 0;
    virtual void SimDecreasePower(double step) = 0;
    virtual void SimSetSatPower(int16_t satellite, double level) = 0;
    virtual void SimIncreaseSatPower(int16_t satellite, double step) = 0;
    virtual void SimDecreaseSatPower(int16_t satellite, double step) = 0;
    virtual void SimSetChPower(const std::string& time, int16_t channel, double level) = 0;
    virtual void SimIncreaseChPower(int16_t channel, double step) = 0;
    virtual void SimDecreaseChPower(int16_t channel, double step) = 0;
    virtual void SimTurnSatONOFF(int16_t satellite, int16_t on) = 0;
    virtual void SimTurnChONOFF(const std::string& time, int16_t channel, int16_t on) = 0;
    virtual void SimTurnAllONOFF(const std::string& time, int16_t on) = 0;
};

// The results grid.
class ScriptResults {
public:
    virtual ~ScriptResults() = default;
    virtual void AddLineLable(int16_t line, const std::string& text) = 0;
};

}  // namespace bench::instruments
