#pragma once
// GGA processing: the fix and its loss, the first differential fix, the
// epoch's UTC second, the position shown, the values at and after the fix,
// and the checks on the receiver's clock.
#include "bench/devices/device_state.h"

#include <string_view>

namespace bench {

// For a line whose sentence name is "$GPGGA", right after NMEA_Msg_Decoding
// filled NmeaFields; `arrived` is the line's time, the time of the fix, its
// loss or the restart it marks. Errors are logged under
// "NMEA_GGA_Processing"; the steps done before an error stay done.
void NMEA_GGA_Processing(DeviceState& dev, std::string_view line, platform::Stamp arrived);

// Repeats of one GGA time after which the receiver counts as blocked.
inline constexpr int32_t kBlockedRepeats = 10;

}  // namespace bench
