#pragma once
// The public operations of a device window: the only way the main window, the
// replay window and the scripts reach a receiver. The operation names are the
// interface between the session engine and the device windows, so they keep
// their historical spelling (ExcuteScript included).
//
// Flags taken as bool are plain on/off switches; DeviceEnableCN0Logging keeps
// the 16-bit flag because only the exact value -1 switches the log on.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace workbook {
class Application;
}

namespace bench {

class DeviceOps {
public:
    virtual ~DeviceOps() = default;

    // --- identity and settings ---
    virtual void SetDeviceType(uint8_t kind) = 0;  // 0 NMEA window, 1 debug window
    virtual void SetDeviceName(const std::string& name) = 0;
    virtual void SetDeviceID(int16_t id) = 0;
    virtual void SetGPSStartupString(const std::string& text) = 0;
    virtual void SetDeviceMaxAcceptableTTFF(int16_t seconds) = 0;
    virtual void SetDeviceComParams(int16_t port, int32_t baud) = 0;
    virtual void OpenPort_Click() = 0;
    virtual void ClosePort_Click() = 0;
    virtual void Check1_Click() = 0;
    virtual void DeviceSetProductVersionString(const std::string& text) = 0;
    virtual void DeviceSetWatchDogStatus(bool on) = 0;
    virtual void DeviceSetHWResetEnabled(bool on) = 0;
    virtual void DeviceSetGGAAsStartupStringEnabled(bool on) = 0;
    virtual void DeviceResetNGGAMessageCounter() = 0;
    virtual void DeviceSetSerialPortTimeout(bool enabled, int32_t interval_ms) = 0;
    virtual void DeviceSetGGATimeCheck(bool on) = 0;
    virtual void DeviceSetStartupDelay(int16_t seconds) = 0;
    virtual void DeviceEnableDataDecoding() = 0;
    virtual void DeviceDisableDataDecoding() = 0;
    // A window that shows recorded data only: its port is never opened from it.
    virtual void DeviceDisableOpenPort() {}
    // A window no session holds: its close box closes it.
    virtual void DeviceSetClosable() {}
    // A replay window's word on what it shows (panel 1 of its status bar):
    // "" once its log has the second being replayed.
    virtual void DeviceSetReplayStatus(const std::string& text) { (void)text; }

    // --- geometry (twips) ---
    virtual int32_t DeviceGetTop() = 0;
    virtual int32_t DeviceGetLeft() = 0;
    virtual int32_t DeviceGetHeight() = 0;
    virtual int32_t DeviceGetWidth() = 0;
    virtual void DeviceSetTop(float value) = 0;
    virtual void DeviceSetLeft(float value) = 0;

    // --- test control and status ---
    virtual void ExecuteTest(const std::string& command) = 0;
    virtual void ExecuteReacquisitionTest() = 0;
    virtual void DeviceInitReacquisitionTest(int32_t parameter, int32_t signal_on_second) = 0;
    virtual void SetNewTestMachineState(uint8_t event) = 0;
    // The session stopped: the receiver's test ends, and nothing is left
    // that would still send to it for the test (a restart script's next
    // step, a restart taken from its next sentence).
    virtual void DeviceStopTest() { SetNewTestMachineState(0); }
    // The main window recorded the running trial as failed: the trial's
    // T2A, T2U and GSA lines carry the error value and no measurement, and
    // what the trial added to the T2A/T2U statistics is taken back.
    virtual void DeviceMarkTrialFailed() {}
    virtual int16_t GetTestStatus() = 0;
    virtual double GetTTFF() = 0;
    virtual int16_t GetElapsedTime() = 0;
    virtual std::string GetGGAFixString() = 0;
    virtual std::string GetCurrentGGAString() = 0;
    virtual bool IsTestCompleted() = 0;
    // The port's device went away (unplugged, closed) and the port has not
    // opened again since: the receiver's trial cannot complete.
    virtual bool DevicePortLost() { return false; }
    // A lost port that the port time-out keeps trying to open again: the
    // receiver may come back.
    virtual bool DevicePortReopening() { return false; }
    virtual int16_t GetTotalTestFailure() = 0;
    virtual int32_t DeviceGetPCtoUTCDeltaTime() = 0;
    virtual void DeviceSetRestartCommand(const std::string& command) = 0;
    virtual void DeviceExecuteRestartScript() = 0;
    virtual void ExcuteScript() = 0;
    virtual void SwitchRTSSignal(uint8_t port, uint8_t state) = 0;
    virtual void DeviceStartSatReacquiring(int16_t satellite) = 0;
    virtual void DeviceStartSatReacquiringAll(double start) = 0;

    // --- tracking time ---
    virtual void DeviceSetTestMode(int16_t mode) = 0;
    virtual void DeviceSetTTTRKParameters(int16_t satellites, int16_t epochs) = 0;
    virtual void DeviceSetTTTRKSatsToCurrentTracked() = 0;
    virtual void DeviceSetTTTRKSatsToCurrentStableTracked(int32_t epochs) = 0;
    virtual int16_t DeviceGetNSatsStableTracking(int32_t epochs) = 0;
    virtual bool DeviceGetNSatsTrackerAchieved(int16_t satellites, int32_t epochs) = 0;
    virtual int16_t DeviceGetTTTRKSatellitesN() = 0;
    virtual int16_t DeviceGetTTTRKTimeForStableTrack() = 0;
    virtual int32_t DeviceGetCurrentUTCSeconds(bool require_fix) = 0;
    virtual int32_t DeviceGetSignalONUTCTimestamp() = 0;

    // --- differential and SBAS ---
    virtual bool GetDiffONAvailability() = 0;
    virtual double GetDiffONTime() = 0;
    virtual std::string GetDiffONGGAString() = 0;
    virtual int16_t GetSBASSatID() = 0;
    virtual double GetSBASTimeToAcquire() = 0;
    virtual void ResetDiffONAvailability(double reference) = 0;

    // --- logging ---
    virtual void DeviceSetPrimaryLogFileBaseName(const std::string& base) = 0;
    virtual void DeviceSetSecondaryLogFileBaseName(const std::string& base) = 0;
    virtual std::string DeviceGetPrimaryLogFileBaseName() = 0;
    virtual std::string DeviceGetSecondaryLogFileBaseName() = 0;
    virtual void DeviceSetPrimaryLogFileName(const std::string& suffix) = 0;
    virtual void DeviceSetSecondaryLogFileName(const std::string& suffix) = 0;
    virtual std::string DeviceGetPrimaryLogFileName() = 0;
    virtual std::string DeviceGetSecondaryLogFileName() = 0;
    virtual void DeviceStartPrimaryLogging(const std::string& suffix) = 0;
    virtual void DeviceInitSecondaryLogging(const std::string& suffix) = 0;
    virtual void DeviceChangePrimaryLogFile(const std::string& name) = 0;
    virtual void DeviceChangeSecondaryLogFile(const std::string& name) = 0;
    virtual void DeviceEndPrimaryLogging() = 0;
    virtual void DeviceEndSecondaryLogging() = 0;
    virtual void DeviceStartResultsLogging(const std::string& suffix) = 0;
    virtual void DeviceChangeResultsLogFile(const std::string& suffix) = 0;
    virtual void DeviceEndResultsLogging() = 0;
    virtual void DeviceLogResultsToFile(const std::string& line) = 0;
    virtual void DeviceLogT2AT2UToFile(int16_t test_number) = 0;
    virtual void DeviceLogFixGSAToFile(int16_t test_number) = 0;
    virtual void DeviceResetT2AT2UStatistics() = 0;
    virtual void DeviceLogT2AT2UStatistics() = 0;
    virtual void DeviceSavePositionPicture() = 0;

    // --- GGA sampling and C/N0 log ---
    virtual void DeviceGGASamplingInit(const std::string& folder) = 0;
    virtual void DeviceGGASamplingEnable() = 0;
    virtual void DeviceGGASamplingLog(int16_t trial) = 0;
    virtual void DeviceGGASamplingEnd() = 0;
    virtual std::string DeviceGetGGAOnFixString() = 0;
    virtual std::string DeviceGetGGA05sFixString() = 0;
    virtual std::string DeviceGetGGA10sFixString() = 0;
    virtual std::string DeviceGetGGA15sFixString() = 0;
    virtual std::string DeviceGetGGA30sFixString() = 0;
    virtual std::string DeviceGetGGA60sFixString() = 0;
    virtual void DeviceEnableCN0Logging(int16_t on) = 0;

    // --- sending ---
    virtual void DeviceSendSerialCommand(const std::string& command) = 0;
    virtual void DeviceSendBinaryCommand(const std::string& hex) = 0;
    virtual void DeviceSendChar(const std::string& text) = 0;
    virtual void DeviceSendMsg(const std::string& text) = 0;

    // --- replay ---
    virtual void ReproduceInputFileStart(const std::string& file) = 0;
    virtual void ReproduceInputFileStop() = 0;
    // Feeds bytes first..end-1 (1-based) of a recorded log into the receive
    // path. 64-bit positions: recorded logs may pass 2 GiB.
    virtual void DeviceReplayFile(const std::string& file, int64_t first, int64_t end) = 0;

    // --- workbook ---
    // The session's spreadsheet application travels in and out by reference.
    virtual void InitDeviceSpreadSheet(std::shared_ptr<workbook::Application>& excel) = 0;
    virtual void DeviceSpreadSheetSaveas(const std::string& folder, const std::string& name) = 0;
    virtual void DeviceSpreadSheetSave() = 0;
    virtual void DeviceSpreadSheetClose() = 0;
    virtual void AddNewDeviceSheet(int16_t number, const std::string& name) = 0;
    virtual void InitializeDeviceSheet(int16_t number, const std::string& test, int16_t trials) = 0;
    virtual void DeviceSheetAddTTFFChart(const std::string& test, int16_t trials) = 0;
    virtual void DeviceSpreadSheetSetTTFFData(int16_t trial, double value) = 0;
    virtual void DeviceSpreadSheetWriteAfterFixData(int16_t trial) = 0;

    // --- C/N0 samples ---
    // Copies at most samples.size() values; an entry without samples leaves
    // the caller's array as it was.
    virtual void DeviceGetCN0Samples(int16_t satellite, std::vector<uint8_t>& samples) = 0;
};

}  // namespace bench
