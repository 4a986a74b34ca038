#pragma once
// The sentence dispatcher of an NMEA window: for every completed line it
// keeps the watchdog alive, recognises the receiver's restart by its start-up
// text, decodes the line and hands it to the processor its name selects.
#include "bench/devices/device_state.h"

#include <string>
#include <string_view>

namespace bench {

// The line is dev.Console.Lines[dev.Console.Current]; `arrived` is its time
// (the arrival stamp of the chunk that ended it), the time of every moment
// it marks. Errors are logged under "MessageProcessing" and end the dispatch
// of that line.
void MessageProcessing(DeviceState& dev, platform::Stamp arrived);

// Restarts the watchdog's interval while it is on; keeps it off otherwise.
void WatchDogKick(DeviceState& dev);

// Makes MessageProcessing the device's line handler.
void InstallMessageProcessing(DeviceState& dev);

// The receiver's version text in a start-up line: from where the start-up
// text was found (0-based `at`) to the end of the line, without its line end.
std::string VersionFromStartupLine(std::string_view line, size_t at);

// A field received from the receiver made safe for a file or folder name:
// every character outside [A-Za-z0-9._-] becomes "_".
std::string SafeNamePart(std::string_view field);

}  // namespace bench
