#pragma once
// The window of one receiver: port settings, the console of received lines,
// the satellite table, the position and fix panels, a message box and the
// status bar; and the public operations through which the main window and
// the replay window drive it. The window owns the device's record, its
// serial port and its six timers, and wires the receive path, the sentence
// dispatcher and the satellite table into the record.
//
// Widgets carry their control names as object names (OpenPort, Combo1,
// Label1, StatusBar1 ...); members of a control array add "_" and the index
// (Command4_1, PositionData_0).
//
// Public operations let run-time errors pass to their caller; the window's
// own event handlers (buttons, timers, port events) catch and report them.
#include "bench/devices/device_logs.h"
#include "bench/devices/device_ops.h"
#include "bench/devices/device_state.h"
#include "bench/devices/system_log.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;

namespace platform {
class QtTimer;
class SerialLink;
}  // namespace platform

namespace bench {

class BenchHost;
class SatTableWidget;

class CommWindow : public QWidget, public DeviceOps {
    Q_OBJECT
public:
    // host: the main window (or the replay window's stand-in); may be null.
    explicit CommWindow(BenchHost* host, QWidget* parent = nullptr);
    ~CommWindow() override;

    DeviceState& State() { return dev_; }
    const DeviceState& State() const { return dev_; }
    SatTableWidget& SatTable() { return *sat_table_; }
    platform::SerialLink& Port();
    // The size that shows every panel (bounded by the screen): the window's
    // opening size and the one "Standard Layout" restores.
    QSize sizeHint() const override;
    // The least room in which every panel shows whole (the console at its
    // fewest lines and characters).
    QSize minimumSizeHint() const override;
    // Lines kept in the message box at most.
    static constexpr int kOutputLines = 5000;

    // Where the task monitor comes from; without one the button says so.
    void SetTaskMonitorOpener(std::function<void()> opener) { open_task_monitor_ = std::move(opener); }

    // --- identity and settings ---
    void SetDeviceType(uint8_t kind) override;
    void SetDeviceName(const std::string& name) override;
    void SetDeviceID(int16_t id) override;
    void SetGPSStartupString(const std::string& text) override;
    void SetDeviceMaxAcceptableTTFF(int16_t seconds) override;
    void SetDeviceComParams(int16_t port, int32_t baud) override;
    void OpenPort_Click() override;
    void ClosePort_Click() override;
    void Check1_Click() override;
    void DeviceSetProductVersionString(const std::string& text) override;
    void DeviceSetWatchDogStatus(bool on) override;
    void DeviceSetHWResetEnabled(bool on) override;
    void DeviceSetGGAAsStartupStringEnabled(bool on) override;
    void DeviceResetNGGAMessageCounter() override;
    void DeviceSetSerialPortTimeout(bool enabled, int32_t interval_ms) override;
    void DeviceSetGGATimeCheck(bool on) override;
    void DeviceSetStartupDelay(int16_t seconds) override;
    void DeviceEnableDataDecoding() override;
    void DeviceDisableDataDecoding() override;
    void DeviceDisableOpenPort() override;
    void DeviceSetClosable() override { closable_ = true; }
    void DeviceSetReplayStatus(const std::string& text) override;

    // --- geometry (twips) ---
    int32_t DeviceGetTop() override;
    int32_t DeviceGetLeft() override;
    int32_t DeviceGetHeight() override;
    int32_t DeviceGetWidth() override;
    void DeviceSetTop(float value) override;
    void DeviceSetLeft(float value) override;

    // --- test control and status ---
    void ExecuteTest(const std::string& command) override;
    void ExecuteReacquisitionTest() override;
    void DeviceInitReacquisitionTest(int32_t parameter, int32_t signal_on_second) override;
    void SetNewTestMachineState(uint8_t event) override;
    void DeviceStopTest() override;
    void DeviceMarkTrialFailed() override;
    int16_t GetTestStatus() override;
    double GetTTFF() override;
    int16_t GetElapsedTime() override;
    std::string GetGGAFixString() override;
    std::string GetCurrentGGAString() override;
    bool IsTestCompleted() override;
    bool DevicePortLost() override;
    bool DevicePortReopening() override { return reopen_pending_ && dev_.PortTimeoutEnabled; }
    int16_t GetTotalTestFailure() override;
    int32_t DeviceGetPCtoUTCDeltaTime() override;
    void DeviceSetRestartCommand(const std::string& command) override;
    void DeviceExecuteRestartScript() override;
    void ExcuteScript() override;
    void SwitchRTSSignal(uint8_t port, uint8_t state) override;
    void DeviceStartSatReacquiring(int16_t satellite) override;
    void DeviceStartSatReacquiringAll(double start) override;

    // --- tracking time ---
    void DeviceSetTestMode(int16_t mode) override;
    void DeviceSetTTTRKParameters(int16_t satellites, int16_t epochs) override;
    void DeviceSetTTTRKSatsToCurrentTracked() override;
    void DeviceSetTTTRKSatsToCurrentStableTracked(int32_t epochs) override;
    int16_t DeviceGetNSatsStableTracking(int32_t epochs) override;
    bool DeviceGetNSatsTrackerAchieved(int16_t satellites, int32_t epochs) override;
    int16_t DeviceGetTTTRKSatellitesN() override;
    int16_t DeviceGetTTTRKTimeForStableTrack() override;
    int32_t DeviceGetCurrentUTCSeconds(bool require_fix) override;
    int32_t DeviceGetSignalONUTCTimestamp() override;

    // --- differential and SBAS ---
    bool GetDiffONAvailability() override;
    double GetDiffONTime() override;
    std::string GetDiffONGGAString() override;
    int16_t GetSBASSatID() override;
    double GetSBASTimeToAcquire() override;
    void ResetDiffONAvailability(double reference) override;

    // --- logging ---
    void DeviceSetPrimaryLogFileBaseName(const std::string& base) override;
    void DeviceSetSecondaryLogFileBaseName(const std::string& base) override;
    std::string DeviceGetPrimaryLogFileBaseName() override;
    std::string DeviceGetSecondaryLogFileBaseName() override;
    void DeviceSetPrimaryLogFileName(const std::string& suffix) override;
    void DeviceSetSecondaryLogFileName(const std::string& suffix) override;
    std::string DeviceGetPrimaryLogFileName() override;
    std::string DeviceGetSecondaryLogFileName() override;
    void DeviceStartPrimaryLogging(const std::string& suffix) override;
    void DeviceInitSecondaryLogging(const std::string& suffix) override;
    void DeviceChangePrimaryLogFile(const std::string& name) override;
    void DeviceChangeSecondaryLogFile(const std::string& name) override;
    void DeviceEndPrimaryLogging() override;
    void DeviceEndSecondaryLogging() override;
    void DeviceStartResultsLogging(const std::string& suffix) override;
    void DeviceChangeResultsLogFile(const std::string& suffix) override;
    void DeviceEndResultsLogging() override;
    void DeviceLogResultsToFile(const std::string& line) override;
    void DeviceLogT2AT2UToFile(int16_t test_number) override;
    void DeviceLogFixGSAToFile(int16_t test_number) override;
    void DeviceResetT2AT2UStatistics() override;
    void DeviceLogT2AT2UStatistics() override;
    void DeviceSavePositionPicture() override;

    // --- GGA sampling and C/N0 log ---
    void DeviceGGASamplingInit(const std::string& folder) override;
    void DeviceGGASamplingEnable() override;
    void DeviceGGASamplingLog(int16_t trial) override;
    void DeviceGGASamplingEnd() override;
    std::string DeviceGetGGAOnFixString() override;
    std::string DeviceGetGGA05sFixString() override;
    std::string DeviceGetGGA10sFixString() override;
    std::string DeviceGetGGA15sFixString() override;
    std::string DeviceGetGGA30sFixString() override;
    std::string DeviceGetGGA60sFixString() override;
    void DeviceEnableCN0Logging(int16_t on) override;

    // --- sending ---
    void DeviceSendSerialCommand(const std::string& command) override;
    void DeviceSendBinaryCommand(const std::string& hex) override;
    void DeviceSendChar(const std::string& text) override;
    void DeviceSendMsg(const std::string& text) override;

    // --- replay ---
    void ReproduceInputFileStart(const std::string& file) override;
    void ReproduceInputFileStop() override;
    void DeviceReplayFile(const std::string& file, int64_t first, int64_t end) override;

    // --- workbook (not in this build: each reports so and does nothing) ---
    void InitDeviceSpreadSheet(std::shared_ptr<workbook::Application>& excel) override;
    void DeviceSpreadSheetSaveas(const std::string& folder, const std::string& name) override;
    void DeviceSpreadSheetSave() override;
    void DeviceSpreadSheetClose() override;
    void AddNewDeviceSheet(int16_t number, const std::string& name) override;
    void InitializeDeviceSheet(int16_t number, const std::string& test, int16_t trials) override;
    void DeviceSheetAddTTFFChart(const std::string& test, int16_t trials) override;
    void DeviceSpreadSheetSetTTFFData(int16_t trial, double value) override;
    void DeviceSpreadSheetWriteAfterFixData(int16_t trial) override;

    // --- C/N0 samples ---
    void DeviceGetCN0Samples(int16_t satellite, std::vector<uint8_t>& samples) override;

protected:
    // Inside the main window's workspace the close box only minimises: the
    // window lives as long as its owner holds it.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Views;
    void BuildWidgets();
    void LoadStep();
    void ApplyKind();
    void BindViews();
    void InstallDispatcher();
    // Runs a handler of the window's own events: errors are reported, never
    // passed to the event loop.
    template <class F>
    void Handle(const char* name, F&& body) noexcept;
    void OpenPortChecked();
    void BeginTrial();
    void OnCheck1Toggled();
    void OnCommand4(int index);
    void OnPosC(bool on);
    void StandardLayout();
    void FitToOpeningSize();
    void FitConsoleToRoom();
    QSize FullConsole() const;
    bool open_port_disabled_ = false;  // a replay window: no port of its own
    bool closable_ = false;            // held by no session: the close box closes it
    void DisplayRefreshTick();
    void WatchDogTick();
    void PortTimeoutTick();
    void PortLost(const std::string& reason);
    void PortBack();
    // "Device NAME: port N (PATH)", as the port's reports name it.
    std::string PortTitle(const std::string& path) const;
    void ReproduceNmeaTick();
    void ReproduceFileTick();
    void ScriptTick();
    void CloseReplayFile();
    void FeedTestMachine(uint8_t event);
    double TwipsPerPixel() const;
    QWidget* Frame();

    DeviceState dev_;
    std::unique_ptr<platform::SerialLink> port_;
    std::unique_ptr<platform::QtTimer> refresh_timer_, watchdog_timer_, port_timeout_timer_, reproduce_nmea_timer_,
        reproduce_file_timer_, script_timer_;
    std::unique_ptr<Views> views_;
    std::function<void()> open_task_monitor_;
    TrialKeeper trial_;
    bool reopen_pending_ = false;  // the time-out's reopen failed: try again at the next tick
    bool port_lost_ = false;       // the port's device went away; cleared when the port opens again
    bool reopen_failure_noted_ = false;  // this episode's failing reopen was reported
    std::vector<std::string> cut_by_loss_;  // logs that end in the line the loss cut

    // Controls.
    QComboBox* combo1_ = nullptr;
    QComboBox* combo2_ = nullptr;
    QPushButton* open_port_ = nullptr;
    QPushButton* close_port_ = nullptr;
    QCheckBox* check1_ = nullptr;
    QCheckBox* pos_c_ = nullptr;
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    QPushButton* command5_ = nullptr;
    QLabel* product_ver_ = nullptr;
    QWidget* content_ = nullptr;  // everything above the status bar
    QFrame* frame2_ = nullptr;
    QLabel* label1_ = nullptr;
    QScrollBar* vscroll1_ = nullptr;
    QGroupBox* frame3_ = nullptr;
    QCheckBox* filter_check_ = nullptr;
    QLineEdit* text1_ = nullptr;
    QGroupBox* data_panel_ = nullptr;
    QPlainTextEdit* output_win_ = nullptr;
    QStatusBar* status_bar_ = nullptr;
    std::array<QLabel*, 4> panels_{};
    SatTableWidget* sat_table_ = nullptr;
    std::array<QLabel*, 16> position_data_{};
    std::array<QLabel*, 7> hold_position_data_{};
    std::array<QLabel*, 4> data_statistics_{};
};

template <class F>
void CommWindow::Handle(const char* name, F&& body) noexcept {
    try {
        body();
    } catch (...) {
        ErrorReport(name);
        OutputMsg(dev_, std::string(name) + ": " + ErrorOf(std::current_exception()).Description);
    }
}

}  // namespace bench
