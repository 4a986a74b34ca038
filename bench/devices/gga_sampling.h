#pragma once
// GGA sampling after the fix and the C/N0 log of a device.
//
// Sampling keeps the GGA sentence of the fix and the 5th, 10th, 15th, 30th
// and 60th GGA after it; one line per trial goes into each of six files
// ("GGAOnFix.txt", "GGA05sFix.txt" ... "GGA60sFix.txt"):
//   first field, TAB, "% ", trial, TAB, the GGA line as received (CR LF)
// The C/N0 log (PrimaryBaseName & "_CN0.txt") gets one line per GGA:
//   "hh:mm:ss," then the current C/N0 of satellites 1..32, each with ",",
//   then CR LF.
// Every file appends when it exists already, so no earlier run is lost or
// mixed into.
#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

struct DeviceState;

// --- the device window's operations

// Sampling on, and the six files opened in `folder` (which ends with a
// separator; a "\" there is taken as "/"). Files already open are closed
// first. A folder that cannot be written is a BenchError; the files opened
// before it stay open.
void GGASamplingInit(DeviceState& dev, const std::string& folder);
// Sampling on; no file is opened.
void GGASamplingEnable(DeviceState& dev);
// One line for the trial in each of the six files, then the six samples are
// cleared so that no sample is logged under two trials. A sample never taken
// gives a line that ends after the second TAB with CR LF. With the files
// closed nothing is written and the system log says so.
void GGASamplingLog(DeviceState& dev, int16_t trial);
// Sampling off and the six files closed.
void GGASamplingEnd(DeviceState& dev);

// on exactly -1: the C/N0 log opened and logging on (reopening closes the
// earlier handle first). Any other value: logging off and the log closed.
void EnableCN0Logging(DeviceState& dev, int16_t on);

// --- called by the GGA processing

// Later in the same GGA, while sampling is on: keeps `line` (as received,
// CR LF included) when the count is 0, 5, 10, 15, 30 or 60; counting stops
// after the 60th. A count of 0 without a fix (sampling just switched on)
// starts a cycle too, dropping older samples.
void GGASampleTake(DeviceState& dev, const std::string& line);
// The same, for a caller that counts the sentences itself.
void GGASamplingTake(DeviceState& dev, std::string_view line);

// One C/N0 line while C/N0 logging is on; otherwise nothing. A failing
// write is a BenchError.
void CN0LogLine(DeviceState& dev);

// The six sampling file names in their order.
const char* GGASamplingFileName(int index);

}  // namespace bench
