#pragma once
// A device window that records every operation called on it and plays a
// receiver whose trial ends a set time after its restart command, by the
// clock it is given.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/devices/device_ops.h"
#include "platform/core/clock.h"

namespace fakes {

class FakeDeviceWindow : public bench::DeviceOps {
public:
    // Calls go to `calls` (shared by all fakes of a test, so their order
    // across devices shows) as "<tag>.<Operation>(<args>)".
    FakeDeviceWindow(std::string tag, std::vector<std::string>* calls, const platform::Clock* clock)
        : tag_(std::move(tag)), calls_(calls), clock_(clock) {}

    // --- behaviour ---
    int64_t fix_delay_ms = 5000;  // trial ends this long after ExecuteTest; < 0: never
    bool auto_ttff = true;        // TTFF := the delay in seconds
    double ttff = 0;
    std::string fix_gga = "$GPGGA,120000.00,4500.0000,N,00700.0000,E,1,08,1.0,100.0,M,0.0,M,,*00\r\n";
    std::string current_gga;
    int32_t utc_seconds = -1;
    int32_t signal_on_second = 0;
    int16_t tttrk_sats = 0;
    bool diff_on = false;
    bool port_lost = false;       // the port's device went away
    bool port_reopening = false;  // ... and the port time-out tries to open it again
    bool heard = true;            // a sentence of the receiver was read in this trial
    double diff_time = 0;
    std::string diff_gga;
    double sbas_time = 0;
    int16_t test_status = 0;
    std::string primary_base, secondary_base, primary_name, secondary_name;
    std::vector<std::string> results_lines;
    std::vector<std::string> own_calls;        // this window's calls without tag
    std::function<void(const std::string&)> on_call;  // runs after each recorded call

    int executed = 0;
    // How often the call with exactly this text was made.
    int CallsCount(const std::string& text) const {
        int n = 0;
        for (const auto& c : own_calls) n += c == text;
        return n;
    }
    std::vector<int64_t> execute_ms;  // clock time of every ExecuteTest
    std::vector<std::string> commands;  // command of every ExecuteTest

    void SetDeviceType(uint8_t kind) override { Rec("SetDeviceType", {Arg(kind)}); }
    void SetDeviceName(const std::string& name) override { Rec("SetDeviceName", {Arg(name)}); }
    void SetDeviceID(int16_t id) override { Rec("SetDeviceID", {Arg(id)}); }
    void SetGPSStartupString(const std::string& text) override { Rec("SetGPSStartupString", {Arg(text)}); }
    void SetDeviceMaxAcceptableTTFF(int16_t seconds) override { Rec("SetDeviceMaxAcceptableTTFF", {Arg(seconds)}); }
    void SetDeviceComParams(int16_t port, int32_t baud) override { Rec("SetDeviceComParams", {Arg(port), Arg(baud)}); }
    void OpenPort_Click() override { Rec("OpenPort_Click", {}); }
    void ClosePort_Click() override { Rec("ClosePort_Click", {}); }
    void Check1_Click() override { Rec("Check1_Click", {}); }
    void DeviceSetProductVersionString(const std::string& text) override { Rec("DeviceSetProductVersionString", {Arg(text)}); }
    void DeviceSetWatchDogStatus(bool on) override { Rec("DeviceSetWatchDogStatus", {Arg(on)}); }
    void DeviceSetHWResetEnabled(bool on) override { Rec("DeviceSetHWResetEnabled", {Arg(on)}); }
    void DeviceSetGGAAsStartupStringEnabled(bool on) override { Rec("DeviceSetGGAAsStartupStringEnabled", {Arg(on)}); }
    void DeviceResetNGGAMessageCounter() override { Rec("DeviceResetNGGAMessageCounter", {}); }
    void DeviceSetSerialPortTimeout(bool enabled, int32_t interval_ms) override { Rec("DeviceSetSerialPortTimeout", {Arg(enabled), Arg(interval_ms)}); }
    void DeviceSetGGATimeCheck(bool on) override { Rec("DeviceSetGGATimeCheck", {Arg(on)}); }
    void DeviceSetStartupDelay(int16_t seconds) override { Rec("DeviceSetStartupDelay", {Arg(seconds)}); }
    void DeviceEnableDataDecoding() override { Rec("DeviceEnableDataDecoding", {}); }
    void DeviceDisableDataDecoding() override { Rec("DeviceDisableDataDecoding", {}); }
    int32_t DeviceGetTop() override { Rec("DeviceGetTop", {}); return 0; }
    int32_t DeviceGetLeft() override { Rec("DeviceGetLeft", {}); return 0; }
    int32_t DeviceGetHeight() override { Rec("DeviceGetHeight", {}); return 1000; }
    int32_t DeviceGetWidth() override { Rec("DeviceGetWidth", {}); return 2000; }
    void DeviceSetTop(float value) override { Rec("DeviceSetTop", {Arg(value)}); }
    void DeviceSetLeft(float value) override { Rec("DeviceSetLeft", {Arg(value)}); }
    void ExecuteTest(const std::string& command) override { Rec("ExecuteTest", {Arg(command)}); OnExecuteTest(command); }
    void ExecuteReacquisitionTest() override { Rec("ExecuteReacquisitionTest", {}); }
    // A reacquisition trial ends fix_delay_ms after it is armed.
    void DeviceInitReacquisitionTest(int32_t parameter, int32_t signal_on_second) override {
        Rec("DeviceInitReacquisitionTest", {Arg(parameter), Arg(signal_on_second)});
        running_ = true;
        started_ms_ = clock_ ? clock_->MonotonicMs() : 0;
    }
    void SetNewTestMachineState(uint8_t event) override { Rec("SetNewTestMachineState", {Arg(event)}); OnEvent(event); }
    int16_t GetTestStatus() override { Rec("GetTestStatus", {}); return test_status; }
    double GetTTFF() override { Rec("GetTTFF", {}); return ttff; }
    int16_t GetElapsedTime() override { Rec("GetElapsedTime", {}); return 0; }
    std::string GetGGAFixString() override { Rec("GetGGAFixString", {}); return fix_gga; }
    std::string GetCurrentGGAString() override { Rec("GetCurrentGGAString", {}); return current_gga; }
    bool IsTestCompleted() override { Rec("IsTestCompleted", {}); return Completed(); }
    bool DevicePortLost() override { return port_lost; }
    bool DevicePortReopening() override { return port_lost && port_reopening; }
    bool DeviceHeardSinceTrialStart() override { return heard; }
    int16_t GetTotalTestFailure() override { Rec("GetTotalTestFailure", {}); return 0; }
    int32_t DeviceGetPCtoUTCDeltaTime() override { Rec("DeviceGetPCtoUTCDeltaTime", {}); return 0; }
    void DeviceSetRestartCommand(const std::string& command) override { Rec("DeviceSetRestartCommand", {Arg(command)}); }
    void DeviceExecuteRestartScript() override { Rec("DeviceExecuteRestartScript", {}); }
    void ExcuteScript() override { Rec("ExcuteScript", {}); }
    void SwitchRTSSignal(uint8_t port, uint8_t state) override { Rec("SwitchRTSSignal", {Arg(port), Arg(state)}); }
    void DeviceStartSatReacquiring(int16_t satellite) override { Rec("DeviceStartSatReacquiring", {Arg(satellite)}); }
    void DeviceStartSatReacquiringAll(double start) override { Rec("DeviceStartSatReacquiringAll", {Arg(start)}); }
    void DeviceSetTestMode(int16_t mode) override { Rec("DeviceSetTestMode", {Arg(mode)}); }
    void DeviceSetTTTRKParameters(int16_t satellites, int16_t epochs) override { Rec("DeviceSetTTTRKParameters", {Arg(satellites), Arg(epochs)}); }
    void DeviceSetTTTRKSatsToCurrentTracked() override { Rec("DeviceSetTTTRKSatsToCurrentTracked", {}); }
    void DeviceSetTTTRKSatsToCurrentStableTracked(int32_t epochs) override { Rec("DeviceSetTTTRKSatsToCurrentStableTracked", {Arg(epochs)}); }
    int16_t DeviceGetNSatsStableTracking(int32_t epochs) override { Rec("DeviceGetNSatsStableTracking", {Arg(epochs)}); return 0; }
    bool DeviceGetNSatsTrackerAchieved(int16_t satellites, int32_t epochs) override { Rec("DeviceGetNSatsTrackerAchieved", {Arg(satellites), Arg(epochs)}); return false; }
    int16_t DeviceGetTTTRKSatellitesN() override { Rec("DeviceGetTTTRKSatellitesN", {}); return tttrk_sats; }
    int16_t DeviceGetTTTRKTimeForStableTrack() override { Rec("DeviceGetTTTRKTimeForStableTrack", {}); return 0; }
    int32_t DeviceGetCurrentUTCSeconds(bool require_fix) override { Rec("DeviceGetCurrentUTCSeconds", {Arg(require_fix)}); return utc_seconds; }
    int32_t DeviceGetSignalONUTCTimestamp() override { Rec("DeviceGetSignalONUTCTimestamp", {}); return signal_on_second; }
    bool GetDiffONAvailability() override { Rec("GetDiffONAvailability", {}); return diff_on; }
    double GetDiffONTime() override { Rec("GetDiffONTime", {}); return diff_time; }
    std::string GetDiffONGGAString() override { Rec("GetDiffONGGAString", {}); return diff_gga; }
    int16_t GetSBASSatID() override { Rec("GetSBASSatID", {}); return 0; }
    double GetSBASTimeToAcquire() override { Rec("GetSBASTimeToAcquire", {}); return sbas_time; }
    void ResetDiffONAvailability(double reference) override { Rec("ResetDiffONAvailability", {Arg(reference)}); }
    void DeviceSetPrimaryLogFileBaseName(const std::string& base) override { Rec("DeviceSetPrimaryLogFileBaseName", {Arg(base)}); primary_base = base; }
    void DeviceSetSecondaryLogFileBaseName(const std::string& base) override { Rec("DeviceSetSecondaryLogFileBaseName", {Arg(base)}); secondary_base = base; }
    // Queries the fan-out makes before it changes a log's name: not recorded.
    std::string DeviceGetPrimaryLogFileBaseName() override { return primary_base; }
    std::string DeviceGetSecondaryLogFileBaseName() override { return secondary_base; }
    void DeviceSetPrimaryLogFileName(const std::string& suffix) override { Rec("DeviceSetPrimaryLogFileName", {Arg(suffix)}); }
    void DeviceSetSecondaryLogFileName(const std::string& suffix) override { Rec("DeviceSetSecondaryLogFileName", {Arg(suffix)}); }
    std::string DeviceGetPrimaryLogFileName() override { Rec("DeviceGetPrimaryLogFileName", {}); return primary_name; }
    std::string DeviceGetSecondaryLogFileName() override { Rec("DeviceGetSecondaryLogFileName", {}); return secondary_name; }
    void DeviceStartPrimaryLogging(const std::string& suffix) override { Rec("DeviceStartPrimaryLogging", {Arg(suffix)}); primary_name = primary_base + suffix; }
    void DeviceInitSecondaryLogging(const std::string& suffix) override { Rec("DeviceInitSecondaryLogging", {Arg(suffix)}); secondary_name = secondary_base + suffix; }
    void DeviceChangePrimaryLogFile(const std::string& name) override { Rec("DeviceChangePrimaryLogFile", {Arg(name)}); primary_name = primary_base + name; }
    void DeviceChangeSecondaryLogFile(const std::string& name) override { Rec("DeviceChangeSecondaryLogFile", {Arg(name)}); secondary_name = secondary_base + name; }
    void DeviceEndPrimaryLogging() override { Rec("DeviceEndPrimaryLogging", {}); }
    void DeviceEndSecondaryLogging() override { Rec("DeviceEndSecondaryLogging", {}); }
    void DeviceStartResultsLogging(const std::string& suffix) override { Rec("DeviceStartResultsLogging", {Arg(suffix)}); }
    void DeviceChangeResultsLogFile(const std::string& suffix) override { Rec("DeviceChangeResultsLogFile", {Arg(suffix)}); }
    void DeviceEndResultsLogging() override { Rec("DeviceEndResultsLogging", {}); }
    void DeviceLogResultsToFile(const std::string& line) override { Rec("DeviceLogResultsToFile", {Arg(line)}); results_lines.push_back(line); }
    void DeviceLogT2AT2UToFile(int16_t test_number) override { Rec("DeviceLogT2AT2UToFile", {Arg(test_number)}); }
    void DeviceLogFixGSAToFile(int16_t test_number) override { Rec("DeviceLogFixGSAToFile", {Arg(test_number)}); }
    void DeviceResetT2AT2UStatistics() override { Rec("DeviceResetT2AT2UStatistics", {}); }
    void DeviceLogT2AT2UStatistics() override { Rec("DeviceLogT2AT2UStatistics", {}); }
    void DeviceSavePositionPicture() override { Rec("DeviceSavePositionPicture", {}); }
    void DeviceGGASamplingInit(const std::string& folder) override { Rec("DeviceGGASamplingInit", {Arg(folder)}); }
    void DeviceGGASamplingEnable() override { Rec("DeviceGGASamplingEnable", {}); }
    void DeviceGGASamplingLog(int16_t trial) override { Rec("DeviceGGASamplingLog", {Arg(trial)}); }
    void DeviceGGASamplingEnd() override { Rec("DeviceGGASamplingEnd", {}); }
    std::string DeviceGetGGAOnFixString() override { Rec("DeviceGetGGAOnFixString", {}); return {}; }
    std::string DeviceGetGGA05sFixString() override { Rec("DeviceGetGGA05sFixString", {}); return {}; }
    std::string DeviceGetGGA10sFixString() override { Rec("DeviceGetGGA10sFixString", {}); return {}; }
    std::string DeviceGetGGA15sFixString() override { Rec("DeviceGetGGA15sFixString", {}); return {}; }
    std::string DeviceGetGGA30sFixString() override { Rec("DeviceGetGGA30sFixString", {}); return {}; }
    std::string DeviceGetGGA60sFixString() override { Rec("DeviceGetGGA60sFixString", {}); return {}; }
    void DeviceEnableCN0Logging(int16_t on) override { Rec("DeviceEnableCN0Logging", {Arg(on)}); }
    void DeviceSendSerialCommand(const std::string& command) override { Rec("DeviceSendSerialCommand", {Arg(command)}); }
    void DeviceSendBinaryCommand(const std::string& hex) override { Rec("DeviceSendBinaryCommand", {Arg(hex)}); }
    void DeviceSendChar(const std::string& text) override { Rec("DeviceSendChar", {Arg(text)}); }
    void DeviceSendMsg(const std::string& text) override { Rec("DeviceSendMsg", {Arg(text)}); }
    void ReproduceInputFileStart(const std::string& file) override { Rec("ReproduceInputFileStart", {Arg(file)}); }
    void ReproduceInputFileStop() override { Rec("ReproduceInputFileStop", {}); }
    void DeviceReplayFile(const std::string& file, int64_t first, int64_t end) override { Rec("DeviceReplayFile", {Arg(file), Arg(static_cast<double>(first)), Arg(static_cast<double>(end))}); }
    void InitDeviceSpreadSheet(std::shared_ptr<workbook::Application>& excel) override { Rec("InitDeviceSpreadSheet", {Arg(excel)}); }
    void DeviceSpreadSheetSaveas(const std::string& folder, const std::string& name) override { Rec("DeviceSpreadSheetSaveas", {Arg(folder), Arg(name)}); }
    void DeviceSpreadSheetSave() override { Rec("DeviceSpreadSheetSave", {}); }
    void DeviceSpreadSheetClose() override { Rec("DeviceSpreadSheetClose", {}); }
    void AddNewDeviceSheet(int16_t number, const std::string& name) override { Rec("AddNewDeviceSheet", {Arg(number), Arg(name)}); }
    void InitializeDeviceSheet(int16_t number, const std::string& test, int16_t trials) override { Rec("InitializeDeviceSheet", {Arg(number), Arg(test), Arg(trials)}); }
    void DeviceSheetAddTTFFChart(const std::string& test, int16_t trials) override { Rec("DeviceSheetAddTTFFChart", {Arg(test), Arg(trials)}); }
    void DeviceSpreadSheetSetTTFFData(int16_t trial, double value) override { Rec("DeviceSpreadSheetSetTTFFData", {Arg(trial), Arg(value)}); }
    void DeviceSpreadSheetWriteAfterFixData(int16_t trial) override { Rec("DeviceSpreadSheetWriteAfterFixData", {Arg(trial)}); }
    void DeviceGetCN0Samples(int16_t satellite, std::vector<uint8_t>& samples) override { Rec("DeviceGetCN0Samples", {Arg(satellite), Arg(samples)}); }

private:
    static std::string Arg(const std::string& s) { return s; }
    static std::string Arg(bool b) { return b ? "true" : "false"; }
    static std::string Arg(double d);
    static std::string Arg(float f) { return Arg(static_cast<double>(f)); }
    static std::string Arg(int16_t v) { return std::to_string(v); }
    static std::string Arg(int32_t v) { return std::to_string(v); }
    static std::string Arg(uint8_t v) { return std::to_string(static_cast<int>(v)); }
    template <class T>
    static std::string Arg(const std::shared_ptr<T>&) { return "excel"; }
    static std::string Arg(const std::vector<uint8_t>&) { return "samples"; }
    void Rec(const char* name, std::vector<std::string> args);
    void OnExecuteTest(const std::string& command);
    void OnEvent(uint8_t event);
    bool Completed();

    std::string tag_;
    std::vector<std::string>* calls_;
    const platform::Clock* clock_;
    bool running_ = false;
    int64_t started_ms_ = 0;
};

}  // namespace fakes
