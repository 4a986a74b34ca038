// The public operations of the device window.
#include "bench/devices/comm_window.h"

#include "bench/devices/console.h"
#include "bench/devices/device_logs.h"
#include "bench/devices/device_paths.h"
#include "bench/devices/device_workbook.h"
#include "bench/devices/nmea.h"
#include "bench/devices/restart_scripts.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/sat_table_widget.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/comm/serial_port.h"
#include "platform/core/error.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <cmath>

namespace bench {

namespace {
QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

// --- identity and settings ---

void CommWindow::SetDeviceType(uint8_t kind) {
    dev_.DeviceKind = kind;
    ApplyKind();
}

void CommWindow::SetDeviceName(const std::string& name) {
    dev_.DeviceName = name;
    ApplyKind();
}

void CommWindow::SetDeviceID(int16_t id) { dev_.DeviceID = id; }
void CommWindow::SetGPSStartupString(const std::string& text) { dev_.StartupString = text; }
void CommWindow::SetDeviceMaxAcceptableTTFF(int16_t seconds) { dev_.MaxTTFF = seconds; }

void CommWindow::SetDeviceComParams(int16_t port, int32_t baud) {
    combo1_->setCurrentText(QString::number(port));
    combo2_->setCurrentText(QString::number(baud));
}

void CommWindow::DeviceSetProductVersionString(const std::string& text) { product_ver_->setText(Latin1(text)); }
void CommWindow::DeviceSetWatchDogStatus(bool on) { dev_.WatchDogOn = on; }
void CommWindow::DeviceSetHWResetEnabled(bool on) { dev_.HWReset = on; }
void CommWindow::DeviceSetGGAAsStartupStringEnabled(bool on) { dev_.GGAAsStartup = on; }
void CommWindow::DeviceResetNGGAMessageCounter() { dev_.GGACount = 0; }

void CommWindow::DeviceSetSerialPortTimeout(bool enabled, int32_t interval_ms) {
    // An interval of 0 or less would mean a reopen at every pass: off.
    const bool on = enabled && interval_ms > 0;
    port_timeout_timer_->SetInterval(interval_ms > 0 ? interval_ms : 0);
    port_timeout_timer_->SetEnabled(on);
    dev_.PortTimeoutEnabled = on;
    if (!on) reopen_pending_ = false;
}

void CommWindow::DeviceSetGGATimeCheck(bool on) { dev_.GGATimeCheck = on; }
void CommWindow::DeviceSetStartupDelay(int16_t seconds) { dev_.StartupDelay = seconds; }
void CommWindow::DeviceEnableDataDecoding() { check1_->setChecked(true); }
void CommWindow::DeviceDisableDataDecoding() { check1_->setChecked(false); }

void CommWindow::DeviceDisableOpenPort() {
    open_port_disabled_ = true;
    open_port_->setEnabled(false);
}

void CommWindow::DeviceSetReplayStatus(const std::string& text) { SetStatusPanelText(dev_.Console.Status, 1, text); }

// --- geometry ---

int32_t CommWindow::DeviceGetTop() { return static_cast<int32_t>(std::lround(Frame()->y() * TwipsPerPixel())); }
int32_t CommWindow::DeviceGetLeft() { return static_cast<int32_t>(std::lround(Frame()->x() * TwipsPerPixel())); }
int32_t CommWindow::DeviceGetHeight() { return static_cast<int32_t>(std::lround(Frame()->height() * TwipsPerPixel())); }
int32_t CommWindow::DeviceGetWidth() { return static_cast<int32_t>(std::lround(Frame()->width() * TwipsPerPixel())); }

void CommWindow::DeviceSetTop(float value) {
    QWidget* f = Frame();
    f->move(f->x(), static_cast<int>(std::lround(value / TwipsPerPixel())));
}

void CommWindow::DeviceSetLeft(float value) {
    QWidget* f = Frame();
    f->move(static_cast<int>(std::lround(value / TwipsPerPixel())), f->y());
}

// --- test control and status ---

// A trial starts: nothing of it has failed yet, and its satellite samples
// can be taken back if it does.
void CommWindow::BeginTrial() {
    dev_.TrialFailed = false;
    SatDB_KeepTrialStartStatistics(dev_);
}

void CommWindow::ExecuteTest(const std::string& command) {
    BeginTrial();
    dev_.TestCommand = command;
    dev_.Ticks = 0;
    dev_.TickLimit = 10;
    FeedTestMachine(0);
    FeedTestMachine(1);
}

void CommWindow::DeviceInitReacquisitionTest(int32_t parameter, int32_t signal_on_second) {
    dev_.Ticks = 0;
    dev_.TickLimit = 10;
    dev_.TestCommand.clear();
    FeedTestMachine(0);
    FeedTestMachine(6);
    dev_.ReacqParameter = parameter;
    dev_.SignalOnSecond = signal_on_second;
    dev_.ReacqArmed = true;
}

void CommWindow::SetNewTestMachineState(uint8_t event) { FeedTestMachine(event); }
void CommWindow::DeviceStopTest() { StopDeviceTest(dev_); }

void CommWindow::DeviceMarkTrialFailed() {
    if (dev_.TrialFailed) return;  // taken back once
    dev_.TrialFailed = true;
    SatDB_DropTrialStatistics(dev_);
}
int16_t CommWindow::GetTestStatus() { return dev_.TestState; }
double CommWindow::GetTTFF() { return dev_.TTFF; }
int16_t CommWindow::GetElapsedTime() {
    // A wait of more than nine hours reads as the largest value, never as a negative one.
    return static_cast<int16_t>(std::clamp<int32_t>(dev_.ElapsedSeconds, INT16_MIN, INT16_MAX));
}
std::string CommWindow::GetGGAFixString() { return dev_.FixGGA; }
std::string CommWindow::GetCurrentGGAString() { return dev_.CurrentGGA; }
bool CommWindow::IsTestCompleted() { return dev_.TestCompleted; }
int16_t CommWindow::GetTotalTestFailure() { return dev_.Failures; }
int32_t CommWindow::DeviceGetPCtoUTCDeltaTime() { return dev_.PCtoUTCDelta; }
void CommWindow::DeviceSetRestartCommand(const std::string& command) { dev_.RestartCommand = command; }

void CommWindow::DeviceExecuteRestartScript() { StartRestartCommandScript(dev_); }
void CommWindow::ExcuteScript() { StartRestartScriptAtFirstStep(dev_); }

void CommWindow::SwitchRTSSignal(uint8_t port, uint8_t state) { bench::SwitchRTSSignal(dev_, port, state); }

void CommWindow::DeviceStartSatReacquiring(int16_t satellite) {
    dev_.ReacqSatellite = satellite;
    dev_.ReacqCount = 0;
    dev_.ReacqDone = 0;
    dev_.ReacqStart = dev_.Clock->Now();
}

// --- logging ---

void CommWindow::DeviceSetPrimaryLogFileBaseName(const std::string& base) { dev_.PrimaryBaseName = base; }
void CommWindow::DeviceSetSecondaryLogFileBaseName(const std::string& base) { dev_.SecondaryBaseName = base; }
std::string CommWindow::DeviceGetPrimaryLogFileBaseName() { return dev_.PrimaryBaseName; }
std::string CommWindow::DeviceGetSecondaryLogFileBaseName() { return dev_.SecondaryBaseName; }
void CommWindow::DeviceSetPrimaryLogFileName(const std::string& suffix) { dev_.PrimaryLogName = dev_.PrimaryBaseName + suffix; }
void CommWindow::DeviceSetSecondaryLogFileName(const std::string& suffix) {
    dev_.SecondaryLogName = dev_.SecondaryBaseName + suffix;
}
std::string CommWindow::DeviceGetPrimaryLogFileName() { return dev_.PrimaryLogName; }
std::string CommWindow::DeviceGetSecondaryLogFileName() { return dev_.SecondaryLogName; }

void CommWindow::DeviceStartPrimaryLogging(const std::string& suffix) {
    dev_.PrimaryLogName = dev_.PrimaryBaseName + suffix;
    StartPrimaryLog(dev_);
}

void CommWindow::DeviceInitSecondaryLogging(const std::string& suffix) {
    dev_.SecondaryLogName = dev_.SecondaryBaseName + suffix;
}

void CommWindow::DeviceChangePrimaryLogFile(const std::string& name) { ChangePrimaryLog(dev_, name); }
void CommWindow::DeviceChangeSecondaryLogFile(const std::string& name) { ChangeSecondaryLog(dev_, name); }
void CommWindow::DeviceEndPrimaryLogging() { EndPrimaryLog(dev_); }
void CommWindow::DeviceEndSecondaryLogging() { EndSecondaryLog(dev_); }

void CommWindow::DeviceStartResultsLogging(const std::string& suffix) {
    dev_.ResultsName = dev_.PrimaryBaseName + "_Results" + suffix;
    StartResultsLogs(dev_);
}

void CommWindow::DeviceChangeResultsLogFile(const std::string& suffix) { ChangeResultsLogs(dev_, suffix); }
void CommWindow::DeviceEndResultsLogging() { EndResultsLogs(dev_); }
void CommWindow::DeviceLogResultsToFile(const std::string& line) { PutLogLine(dev_.ResultsFile, dev_.ResultsOpen, line); }
void CommWindow::DeviceLogT2AT2UToFile(int16_t test_number) { LogT2AT2ULine(dev_, test_number); }
void CommWindow::DeviceLogFixGSAToFile(int16_t test_number) { LogFixGSALine(dev_, test_number); }

void CommWindow::DeviceResetT2AT2UStatistics() { SatDB_ResetT2AT2UStatistics(dev_); }

void CommWindow::DeviceLogT2AT2UStatistics() { LogT2AT2UStatistics(dev_); }

// --- sending ---

void CommWindow::DeviceSendSerialCommand(const std::string& command) { SendNmeaCommand(dev_, command); }
void CommWindow::DeviceSendBinaryCommand(const std::string& hex) { SendHexBytes(dev_, hex); }
void CommWindow::DeviceSendChar(const std::string& text) { SendChars(dev_, text); }
void CommWindow::DeviceSendMsg(const std::string& text) { SendMessageLine(dev_, text); }

// --- replay ---

void CommWindow::ReproduceInputFileStart(const std::string& file) {
    // A replay already running is ended first: one file at a time.
    ReproduceInputFileStop();
    dev_.ReplayFile.open(DeviceFilePath(file), std::ios::binary);
    if (!dev_.ReplayFile.is_open()) {
        dev_.ReplayFile.clear();
        throw platform::BenchError(platform::err::FileNotFound, "File not found (" + file + ")");
    }
    reproduce_nmea_timer_->SetEnabled(true);
    refresh_timer_->SetEnabled(true);
    dev_.ReplayActive = true;
}

void CommWindow::ReproduceInputFileStop() {
    reproduce_nmea_timer_->SetEnabled(false);
    reproduce_file_timer_->SetEnabled(false);
    CloseReplayFile();
    refresh_timer_->SetEnabled(false);
    dev_.ReplayActive = false;
}

void CommWindow::DeviceReplayFile(const std::string& file, int64_t first, int64_t end) {
    refresh_timer_->SetEnabled(true);
    std::ifstream in(DeviceFilePath(file), std::ios::binary);
    if (!in.is_open()) throw platform::BenchError(platform::err::FileNotFound, "File not found (" + file + ")");
    if (first < 1 || end <= first) return;
    in.seekg(static_cast<std::streamoff>(first - 1));
    // In pieces: a range over a long gap in a big log must not be held whole.
    constexpr int64_t kPiece = 1 << 16;
    std::string bytes;
    for (int64_t left = end - first; left > 0 && in;) {
        bytes.resize(static_cast<size_t>(std::min(left, kPiece)));
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        const auto got = std::max<std::streamsize>(in.gcount(), 0);
        if (got == 0) break;
        bytes.resize(static_cast<size_t>(got));
        ByteLogFile::Deferral batch;  // one write per log for each piece
        ConsoleAddChars(dev_, bytes);
        left -= got;
    }
}

// --- workbook ---

void CommWindow::InitDeviceSpreadSheet(std::shared_ptr<workbook::Application>& excel) {
    bench::InitDeviceSpreadSheet(dev_, excel);
}
void CommWindow::DeviceSpreadSheetSaveas(const std::string& folder, const std::string& name) {
    bench::DeviceSpreadSheetSaveas(dev_, folder, name);
}
void CommWindow::DeviceSpreadSheetSave() { bench::DeviceSpreadSheetSave(dev_); }
void CommWindow::DeviceSpreadSheetClose() { bench::DeviceSpreadSheetClose(dev_); }
// The sheet number and name are not used: sheets are named when laid out.
void CommWindow::AddNewDeviceSheet(int16_t, const std::string&) { bench::AddNewDeviceSheet(dev_); }
void CommWindow::InitializeDeviceSheet(int16_t, const std::string& test, int16_t trials) {
    bench::InitializeDeviceSheet(dev_, test, trials);
}
void CommWindow::DeviceSheetAddTTFFChart(const std::string& test, int16_t trials) {
    bench::DeviceSheetAddTTFFChart(dev_, test, trials);
}
void CommWindow::DeviceSpreadSheetSetTTFFData(int16_t trial, double value) {
    bench::DeviceSpreadSheetSetTTFFData(dev_, trial, value);
}
void CommWindow::DeviceSpreadSheetWriteAfterFixData(int16_t trial) {
    bench::DeviceSpreadSheetWriteAfterFixData(dev_, trial);
}

}  // namespace bench
