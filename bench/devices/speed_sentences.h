#pragma once
// Speed and course (VTG, RMC) and the receiver family's proprietary
// sentences: position hold, the extra "$PQNVTG" value, ephemeris status,
// SBAS tracking, and the version text found in the start-up line. Each runs
// under its own error trap on the fields of the line just decoded.
#include "platform/core/clock.h"

#include <string>
#include <string_view>

namespace bench {

struct DeviceState;

void NMEA_VTG_Processing(DeviceState& dev);
void NMEA_RMC_Processing(DeviceState& dev);
// The line is not used; the fields are.
void NMEA_POSHOLD_Processing(DeviceState& dev, std::string_view line = {});
void NMEA_TG_Processing(DeviceState& dev);
// Timed by `arrived`, the line's time.
void NMEA_EPH_Processing(DeviceState& dev, platform::Stamp arrived);
void NMEA_SBAS_Processing(DeviceState& dev, platform::Stamp arrived);
// Hands the receiver's version text to the main window.
void NMEA_VER_Processing(DeviceState& dev, const std::string& version);

}  // namespace bench
