#pragma once
// The main window's per-device operations: each applies the matching device
// window operation to every enabled receiver slot, 0 to 3 in order, reading
// the slot's enable flag at the moment it is visited (a device may be
// disabled by a call made during the fan-out itself).
#include <array>
#include <cstdint>
#include <exception>
#include <string>

#include "bench/session/bench_state.h"

namespace bench::session {

// "d-m-yyyy_h.m.s" of a local date-time, numbers without leading zeros.
std::string GetDateTimeStamp(double date_time);
// The name (without extension) of a receiver's live workbook in its session folder.
std::string DeviceWorkbookName(const std::string& device);

class DeviceFanout {
public:
    DeviceFanout(BenchState& state, SessionServices& services);

    // A slot is visited when its DevEN is set and it has a device window.
    bool SlotEnabled(int slot) const;
    bool DebugEnabled(int slot) const;
    // Enabled, or taken out of the running session (its files are still the
    // session's to close).
    bool SlotInSession(int slot) const;

    // --- per-device operations ---
    void TestingChangePrimaryLogFile(const std::string& name);
    void TestingChangeSecondaryLogFile(const std::string& name);
    void TestingChangeResultsLogFile(const std::string& name);
    void TestingEndPrimaryLogging();
    void TestingEndSecondaryLogging();
    void TestingEndResultsLogging();
    void TestingCloseSpreadSheets();
    void TestingSetTTTRKSatsToCurrentStableTracked(int32_t n);
    void SetTTTRKParameters(int16_t satellites, int16_t time);
    void InitReacquisitionTest(int32_t a, int32_t b);
    void StartReacquisitionTest();
    void AcquiringTestStartOnDevices();
    void ResetDiffAvailability();
    void SetMaxAcceptableTTFFOnDevice(int16_t seconds);
    void SetSerialPortTimeoutOnDevices(bool enabled, int32_t ms);
    void SpreadSheetWriteAfterFixData(int16_t n);
    void SpreadSheetSave();
    void DeviceAddNewSheet(int16_t n, const std::string& name, int16_t k);
    void DeviceSavePosPicture();
    void DeviceGGASamplingLogAddLine(int16_t n);
    void DeviceGGASamplingLogEnd();
    void DeviceLogT2AT2UToFile(int16_t n);
    void DeviceLogFixGSAToFile(int16_t n);
    void DeviceResetT2AT2UStatistics();
    void DeviceLogT2AT2UStatistics();
    void SetWatchDogStatusOnDevices(bool on);
    void SetGGATimeCheckOnDevices(bool on);

    // --- aggregating queries ---
    bool TestEndEvent();
    bool DiffAvailableEvent();
    int32_t GetCurrentUTCSeconds(bool require_fix);

    // --- single-slot operations ---
    std::string GetDeviceCurrentGGAString(int slot);
    std::string GetDevicePrimaryLogFileName(int slot);
    void DeviceSetVersionString(int slot, const std::string& text);
    void DeviceDisable(int slot);
    bool CheckDeviceEnabled(int slot) const;

    // --- other small operations ---
    void SetPCtoUTCDeltaTime(int32_t value) { state_.PCtoUTCDelta = value; }
    int32_t GetPCtoUTCDeltaTime() const { return state_.PCtoUTCDelta; }
    // Written by the GGA processing at every fix.
    void SetFixAvailableTime(double time_of_day);
    void IncrementTestDataTestNumber();
    void IncrementResultsTestNumber();
    bool CheckSimulatorStatusEnd();
    void ExecuteSimulatorRestart();
    bool testfile(const std::string& path);

    // --- logging set-up ---
    void InitLogging(int16_t test_index, const std::string& extra);
    void InitNemaDebugLogging(int16_t test_index, const std::string& folder, const std::string& ending);
    void InitLog(const std::string& path, const std::string& name);
    void StopLog();

    // --- sending to the receivers ---
    void SendRestartCommandToDevice();
    void SendTestCommandToDevice(const std::string& command);
    void SendCommandToDevices(const std::string& command);
    void SwitchRTSSignalOnDevices(uint8_t a, uint8_t b);
    void RestartSingleDevice(uint8_t port);
    void SendMessageOnSerialPort(int16_t port, const std::string& text);
    void DeviceSendMessage(const std::string& text);
    void SendChrToDevices(const std::string& chr);
    void SendChrsCommandToDevices(int16_t interval_ms, const std::string& command);
    void ChrsTimer_Timer();
    void StopChrsQueue();
    const std::string& ChrsQueue() const { return chrs_queue_; }
    void MakeKML();

    // The state the operations read and change.
    BenchState& State() { return state_; }
    const BenchState& State() const { return state_; }
    SessionServices& Services() { return services_; }

    // Runs one slot's part of an operation: a failure is written to the
    // system log once, as "Device NAME: description (procedure)", marks the
    // slot's trial as failed and does not stop the other slots. False when
    // it failed.
    template <class F>
    bool Guarded(const char* procedure, int slot, F&& fn) noexcept;
    // A new trial: no slot has failed yet.
    void ClearTrialFailures() {
        state_.TrialFailed.fill(false);
        state_.DisabledInTrial.fill(false);
    }
    // Before a log of window d (slot's NMEA or debug window) changes its
    // name: false when it has no folder to be made in.
    bool LogFolderReady(DeviceOps& d, int slot, bool secondary, const std::string& name, const char* procedure);

private:
    template <class F>
    void ForEachEnabled(const char* procedure, bool with_debug, F&& fn);
    // The same over the session's slots (SlotInSession).
    template <class F>
    void ForEachInSession(const char* procedure, bool with_debug, F&& fn);
    void ReportSlotFailure(const char* procedure, int slot, const std::exception_ptr& e) noexcept;
    DeviceConfig& Slot(int slot) { return state_.RunConfig.Devices[slot]; }
    void Log(const std::string& text);
    void MakeFolderOrThrow(const std::string& path);
    void InitLoggingSlot(int slot, const std::string& mode, const std::string& type,
                         const std::string& extra);

    BenchState& state_;
    SessionServices& services_;
    std::string chrs_queue_;
    int chrs_index_ = 1;
    std::array<bool, DeviceSlots> no_folder_noted_{};
};

template <class F>
bool DeviceFanout::Guarded(const char* procedure, int slot, F&& fn) noexcept {
    try {
        fn();
        return true;
    } catch (...) {
        ReportSlotFailure(procedure, slot, std::current_exception());
        return false;
    }
}

template <class F>
void DeviceFanout::ForEachEnabled(const char* procedure, bool with_debug, F&& fn) {
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        if (!Guarded(procedure, s, [&] { fn(*state_.NmeaWindows[s], s); })) continue;
        if (with_debug && DebugEnabled(s)) Guarded(procedure, s, [&] { fn(*state_.DebugWindows[s], s); });
    }
}

template <class F>
void DeviceFanout::ForEachInSession(const char* procedure, bool with_debug, F&& fn) {
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotInSession(s)) continue;
        if (!Guarded(procedure, s, [&] { fn(*state_.NmeaWindows[s], s); })) continue;
        if (with_debug && DebugEnabled(s)) Guarded(procedure, s, [&] { fn(*state_.DebugWindows[s], s); });
    }
}

}  // namespace bench::session
