#include "bench/devices/tracking_results.h"

#include "bench/devices/device_state.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/timing.h"

namespace bench {

void DeviceSetTestMode(DeviceState& dev, int16_t mode) { dev.TestMode = mode; }
void DeviceSetTTTRKParameters(DeviceState& dev, int16_t satellites, int16_t epochs) {
    dev.TTTRKSats = satellites;
    dev.TTTRKTime = epochs;
}
void DeviceSetTTTRKSatsToCurrentTracked(DeviceState& dev) { dev.TTTRKSats = dev.TrackedNow; }
void DeviceSetTTTRKSatsToCurrentStableTracked(DeviceState& dev, int32_t epochs) {
    dev.TTTRKSats = DeviceGetNSatsStableTracking(dev, epochs);
}
int16_t DeviceGetNSatsStableTracking(const DeviceState& dev, int32_t epochs) {
    return StableTrackedCount(dev, epochs);
}
bool DeviceGetNSatsTrackerAchieved(const DeviceState& dev, int16_t satellites, int32_t epochs) {
    return DeviceGetNSatsStableTracking(dev, epochs) >= satellites;
}
int16_t DeviceGetTTTRKSatellitesN(const DeviceState& dev) { return dev.TTTRKSats; }
int16_t DeviceGetTTTRKTimeForStableTrack(const DeviceState& dev) { return dev.TTTRKTime; }
int32_t DeviceGetCurrentUTCSeconds(const DeviceState& dev, bool require_fix) {
    if (require_fix && dev.Quality < 1) return -1;
    return dev.UTCSeconds;
}
int32_t DeviceGetSignalONUTCTimestamp(const DeviceState& dev) { return dev.SignalOnSecond; }

bool GetDiffONAvailability(const DeviceState& dev) { return dev.DiffOn; }
double GetDiffONTime(const DeviceState& dev) { return dev.DiffOnTime; }
std::string GetDiffONGGAString(const DeviceState& dev) { return dev.DiffOnGGA; }
int16_t GetSBASSatID(const DeviceState& dev) { return dev.SBASSatellite; }
double GetSBASTimeToAcquire(const DeviceState& dev) { return dev.SBASTime; }
void ResetDiffONAvailability(DeviceState& dev, double reference, platform::Stamp at) {
    dev.DiffOn = false;
    dev.DiffReference = reference;
    dev.DiffClock = dev.Times.UtcStamp(at);
    dev.DiffOnTime = 0;
    dev.SBASTime = 0;
    dev.SBASCount = 0;
}

void DiffOnEntered(DeviceState& dev, std::string_view gga_line, platform::Stamp arrived) {
    dev.DiffOn = true;
    dev.DiffOnTime = ElapsedSecondsBetween(dev.DiffClock, dev.Times.UtcStamp(arrived)) + dev.StartupDelay;
    dev.DiffOnGGA = std::string(gga_line);
}

}  // namespace bench
