// Where the device window meets the decoding, satellite, restart-script,
// sampling and position-plot modules. Each routine below is the one call
// point for its module; until a module is part of the build its call point
// does the least that keeps the window consistent and says so where a user
// would look.
#include "bench/devices/comm_window.h"

#include "bench/devices/system_log.h"
#include "platform/qt/bench_timer.h"

#include <QCheckBox>
#include <QSignalBlocker>

namespace bench {

void CommWindow::InstallDispatcher() {
    // Sentence dispatcher: not in this build yet; lines are shown and logged.
    dev_.MessageProcessing = nullptr;
}

void CommWindow::FeedTestMachine(uint8_t event) {
    // Device test machine: not in this build yet.
    (void)event;
}

void CommWindow::ScriptTick() {
    // Restart scripts: not in this build yet; the timer has nothing to run.
    script_timer_->SetEnabled(false);
}

void CommWindow::OnPosC(bool on) {
    if (!on) {
        dev_.PosChartShown = false;
        return;
    }
    // Position window: not in this build yet.
    OutputMsg(dev_, "Position window not available");
    QSignalBlocker quiet(pos_c_);
    pos_c_->setChecked(false);
}

void CommWindow::DeviceSavePositionPicture() {
    if (!dev_.PosChartShown) return;
}

void CommWindow::ExecuteReacquisitionTest() {
    dev_.Ticks = 0;
    dev_.TickLimit = 10;
    dev_.TestCommand.clear();
}

void CommWindow::DeviceStartSatReacquiringAll(double) {}

// --- tracking time, differential and SBAS ---

void CommWindow::DeviceSetTestMode(int16_t mode) { dev_.TestMode = mode; }
void CommWindow::DeviceSetTTTRKParameters(int16_t satellites, int16_t epochs) {
    dev_.TTTRKSats = satellites;
    dev_.TTTRKTime = epochs;
}
void CommWindow::DeviceSetTTTRKSatsToCurrentTracked() { dev_.TTTRKSats = dev_.TrackedNow; }
void CommWindow::DeviceSetTTTRKSatsToCurrentStableTracked(int32_t) {}
int16_t CommWindow::DeviceGetNSatsStableTracking(int32_t) { return 0; }
bool CommWindow::DeviceGetNSatsTrackerAchieved(int16_t, int32_t) { return false; }
int16_t CommWindow::DeviceGetTTTRKSatellitesN() { return dev_.TTTRKSats; }
int16_t CommWindow::DeviceGetTTTRKTimeForStableTrack() { return dev_.TTTRKTime; }
int32_t CommWindow::DeviceGetCurrentUTCSeconds(bool) { return dev_.UTCSeconds; }
int32_t CommWindow::DeviceGetSignalONUTCTimestamp() { return dev_.SignalOnSecond; }
bool CommWindow::GetDiffONAvailability() { return dev_.DiffOn; }
double CommWindow::GetDiffONTime() { return dev_.DiffOnTime; }
std::string CommWindow::GetDiffONGGAString() { return dev_.DiffOnGGA; }
int16_t CommWindow::GetSBASSatID() { return dev_.SBASSatellite; }
double CommWindow::GetSBASTimeToAcquire() { return dev_.SBASTime; }
void CommWindow::ResetDiffONAvailability(double reference) {
    dev_.DiffOn = false;
    dev_.DiffReference = reference;
}

// --- GGA sampling and C/N0 log ---

void CommWindow::DeviceGGASamplingInit(const std::string&) { OutputMsg(dev_, "GGA sampling not available"); }
void CommWindow::DeviceGGASamplingEnable() {}
void CommWindow::DeviceGGASamplingLog(int16_t) {}
void CommWindow::DeviceGGASamplingEnd() {}
std::string CommWindow::DeviceGetGGAOnFixString() { return dev_.GGAOnFix; }
std::string CommWindow::DeviceGetGGA05sFixString() { return dev_.GGA05s; }
std::string CommWindow::DeviceGetGGA10sFixString() { return dev_.GGA10s; }
std::string CommWindow::DeviceGetGGA15sFixString() { return dev_.GGA15s; }
std::string CommWindow::DeviceGetGGA30sFixString() { return dev_.GGA30s; }
std::string CommWindow::DeviceGetGGA60sFixString() { return dev_.GGA60s; }
void CommWindow::DeviceEnableCN0Logging(int16_t) { OutputMsg(dev_, "C/N0 log not available"); }

void CommWindow::DeviceGetCN0Samples(int16_t satellite, std::vector<uint8_t>&) {
    // Entries keep no sample array yet: the caller's array stays as it was.
    (void)satellite;
}

}  // namespace bench
