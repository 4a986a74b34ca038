#pragma once
// Call points where GGA processing and the dispatcher hand over to the
// per-device output files (C/N0 log, GGA sampling files). The file writers
// are built with the device logs; until then these keep the samples in the
// record and write nothing.
#include "bench/devices/device_state.h"

#include <string_view>

namespace bench {

// One C/N0 line per GGA while the C/N0 log is on. Writes nothing yet.
void CN0LogLine(DeviceState& dev);

// Takes the GGA samples of the sampling cycle (the fix sentence and the 5th,
// 10th, 15th, 30th and 60th after it) while sampling is on.
void GGASamplingTake(DeviceState& dev, std::string_view line);

}  // namespace bench
