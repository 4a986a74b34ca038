// Where the device window meets the decoding, satellite, restart-script,
// sampling and position-plot modules.
#include "bench/devices/comm_window.h"

#include "bench/devices/device_logs.h"
#include "bench/devices/device_paths.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/gga_sampling.h"
#include "bench/devices/pos_chart.h"
#include "bench/devices/restart_scripts.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/tracking_results.h"
#include "platform/qt/bench_timer.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <algorithm>

namespace bench {

void CommWindow::InstallDispatcher() {
    InstallMessageProcessing(dev_);
    LineHandler dispatch = dev_.MessageProcessing;
    dev_.MessageProcessing = [this, dispatch](DeviceState& d, platform::Stamp arrived) {
        const std::string line = d.Console.Lines[d.Console.Current];
        trial_.Before(d);
        dispatch(d, arrived);
        trial_.After(d, line);
    };
}

void CommWindow::FeedTestMachine(uint8_t event) { DeviceTestMachine(dev_, event, Now()); }

void CommWindow::ScriptTick() { RestartScriptTick(dev_, DeviceTestMachine, Now()); }

void CommWindow::OnPosC(bool on) {
    if (!on) {
        UnloadPositionWindow(dev_);
        return;
    }
    auto twips16 = [](double v) { return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0)); };
    // Beside this window on the screen (the position window is a window of
    // its own, placed in screen coordinates; it is kept wholly on screen).
    QWidget* frame = Frame();
    const QPoint right = frame->mapToGlobal(QPoint(frame->width(), 0));
    const double tpp = TwipsPerPixel();
    ShowPositionWindow(dev_, twips16(right.x() * tpp), twips16(right.y() * tpp), this, [this] {
        // Closed by its own close box: the box follows.
        QSignalBlocker quiet(pos_c_);
        pos_c_->setChecked(false);
    });
}

void CommWindow::DeviceSavePositionPicture() {
    if (!dev_.PosChartShown || !dev_.PosChartWindow) return;
    // Without a secondary log name the picture goes beside the primary log;
    // without either it has no place and is skipped.
    const std::string& name = dev_.SecondaryLogName.size() > 4 ? dev_.SecondaryLogName : dev_.PrimaryLogName;
    if (name.size() <= 4) {
        SystemLogWrite("Position picture of " + dev_.DeviceName + " not saved: no log name (DeviceSavePositionPicture)");
        return;
    }
    dev_.PosChartWindow->PosChartSave(DeviceFilePath(PositionPictureName(name)));
}

void CommWindow::ExecuteReacquisitionTest() {
    dev_.Ticks = 0;
    dev_.TickLimit = 10;
    dev_.TestCommand.clear();
    SatDB_Reset(dev_, dev_.Times.DateTime(Now()));
}

void CommWindow::DeviceStartSatReacquiringAll(double start) {
    // A reacquisition trial starts here.
    BeginTrial();
    SatDB_Reset(dev_, start);
}

// --- tracking time, differential and SBAS ---

void CommWindow::DeviceSetTestMode(int16_t mode) { bench::DeviceSetTestMode(dev_, mode); }
void CommWindow::DeviceSetTTTRKParameters(int16_t satellites, int16_t epochs) {
    bench::DeviceSetTTTRKParameters(dev_, satellites, epochs);
}
void CommWindow::DeviceSetTTTRKSatsToCurrentTracked() { bench::DeviceSetTTTRKSatsToCurrentTracked(dev_); }
void CommWindow::DeviceSetTTTRKSatsToCurrentStableTracked(int32_t epochs) {
    bench::DeviceSetTTTRKSatsToCurrentStableTracked(dev_, epochs);
}
int16_t CommWindow::DeviceGetNSatsStableTracking(int32_t epochs) { return bench::DeviceGetNSatsStableTracking(dev_, epochs); }
bool CommWindow::DeviceGetNSatsTrackerAchieved(int16_t satellites, int32_t epochs) {
    return bench::DeviceGetNSatsTrackerAchieved(dev_, satellites, epochs);
}
int16_t CommWindow::DeviceGetTTTRKSatellitesN() { return bench::DeviceGetTTTRKSatellitesN(dev_); }
int16_t CommWindow::DeviceGetTTTRKTimeForStableTrack() { return bench::DeviceGetTTTRKTimeForStableTrack(dev_); }
int32_t CommWindow::DeviceGetCurrentUTCSeconds(bool require_fix) {
    return bench::DeviceGetCurrentUTCSeconds(dev_, require_fix);
}
int32_t CommWindow::DeviceGetSignalONUTCTimestamp() { return bench::DeviceGetSignalONUTCTimestamp(dev_); }
bool CommWindow::GetDiffONAvailability() { return bench::GetDiffONAvailability(dev_); }
double CommWindow::GetDiffONTime() { return bench::GetDiffONTime(dev_); }
std::string CommWindow::GetDiffONGGAString() { return bench::GetDiffONGGAString(dev_); }
int16_t CommWindow::GetSBASSatID() { return bench::GetSBASSatID(dev_); }
double CommWindow::GetSBASTimeToAcquire() { return bench::GetSBASTimeToAcquire(dev_); }
void CommWindow::ResetDiffONAvailability(double reference) { bench::ResetDiffONAvailability(dev_, reference, Now()); }

// --- GGA sampling and C/N0 log ---

void CommWindow::DeviceGGASamplingInit(const std::string& folder) { GGASamplingInit(dev_, folder); }
void CommWindow::DeviceGGASamplingEnable() { GGASamplingEnable(dev_); }
void CommWindow::DeviceGGASamplingLog(int16_t trial) { GGASamplingLog(dev_, trial); }
void CommWindow::DeviceGGASamplingEnd() { GGASamplingEnd(dev_); }
std::string CommWindow::DeviceGetGGAOnFixString() { return dev_.GGAOnFix; }
std::string CommWindow::DeviceGetGGA05sFixString() { return dev_.GGA05s; }
std::string CommWindow::DeviceGetGGA10sFixString() { return dev_.GGA10s; }
std::string CommWindow::DeviceGetGGA15sFixString() { return dev_.GGA15s; }
std::string CommWindow::DeviceGetGGA30sFixString() { return dev_.GGA30s; }
std::string CommWindow::DeviceGetGGA60sFixString() { return dev_.GGA60s; }
void CommWindow::DeviceEnableCN0Logging(int16_t on) { EnableCN0Logging(dev_, on); }

void CommWindow::DeviceGetCN0Samples(int16_t satellite, std::vector<uint8_t>& samples) {
    // Ids outside the database are ignored; at most what the caller holds is copied.
    if (satellite < 1 || satellite > 255) return;
    const std::vector<uint8_t>& kept = dev_.Sats[static_cast<size_t>(satellite)].CN0Samples;
    if (kept.empty()) return;
    std::copy_n(kept.begin(), std::min(kept.size(), samples.size()), samples.begin());
}

}  // namespace bench
