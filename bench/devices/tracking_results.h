#pragma once
// Time-to-track, differential-fix and SBAS results of a device: what the
// device window's public operations of those names do with the record.
#include "platform/core/clock.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

struct DeviceState;

// --- time to track
// 0: the test ends at the first fix; any other mode: when the wanted
// satellites are stably tracked.
void DeviceSetTestMode(DeviceState& dev, int16_t mode);
void DeviceSetTTTRKParameters(DeviceState& dev, int16_t satellites, int16_t epochs);
void DeviceSetTTTRKSatsToCurrentTracked(DeviceState& dev);
void DeviceSetTTTRKSatsToCurrentStableTracked(DeviceState& dev, int32_t epochs);
int16_t DeviceGetNSatsStableTracking(const DeviceState& dev, int32_t epochs);
bool DeviceGetNSatsTrackerAchieved(const DeviceState& dev, int16_t satellites, int32_t epochs);
int16_t DeviceGetTTTRKSatellitesN(const DeviceState& dev);
int16_t DeviceGetTTTRKTimeForStableTrack(const DeviceState& dev);
// -1 when a fix is required and the last GGA had none.
int32_t DeviceGetCurrentUTCSeconds(const DeviceState& dev, bool require_fix);
int32_t DeviceGetSignalONUTCTimestamp(const DeviceState& dev);

// --- differential fix and SBAS
bool GetDiffONAvailability(const DeviceState& dev);
double GetDiffONTime(const DeviceState& dev);
std::string GetDiffONGGAString(const DeviceState& dev);
int16_t GetSBASSatID(const DeviceState& dev);
double GetSBASTimeToAcquire(const DeviceState& dev);
// The differential clock starts again at `at`, a moment the bench made.
void ResetDiffONAvailability(DeviceState& dev, double reference, platform::Stamp at);

// A GGA entering differential fix (quality 2 after another quality), which
// arrived at `arrived`: the flag, the seconds since the differential clock
// plus the start-up delay, and the sentence. Called by GGA processing.
void DiffOnEntered(DeviceState& dev, std::string_view gga_line, platform::Stamp arrived);

}  // namespace bench
