#pragma once
// The satellite sentences (GSV, GSA and the track-status "$PQNVTS") and the
// device window's 32-row satellite table. Each sentence processor reads the
// fields of the line just decoded (NmeaFields) and runs under its own error
// trap.
//
// The table is drawn through the device's cell views (SatBar, Cn0, SatId,
// CN0Ave, CN0Max, CN0Min, Tim, T2U, EPH, AZ, EL, TrackTimer): each view
// keeps its text, bar height, top, fill style and colours, so all of this
// runs without widgets.
#include "platform/core/clock.h"

#include <cstdint>
#include <string_view>

namespace bench {

struct DeviceState;

// `arrived` is the line's time: what the sentence marks (a satellite
// acquired, first used) is timed by it.
void NMEA_GSV_Processing(DeviceState& dev, platform::Stamp arrived);
// The line is not used; the fields are.
void NMEA_GSA_Processing(DeviceState& dev, std::string_view line, platform::Stamp arrived);
// One "$PQNVTS" line: the next table row of this epoch.
void NMEA_TS_Processing(DeviceState& dev, platform::Stamp arrived);

// Closes the satellite epoch: rebuilds the table from the database (every
// satellite seen, in id order; past 32 the tracked ones are preferred),
// clears the per-epoch marks, counts the GPS satellites tracked now
// (TrackedNow) and, in a running time-to-track test, signals the goal when
// it is reached, at `arrived`, the time of the line that closed the epoch. A
// satellite not seen in the epoch is untracked.
void SatTableUpdate(DeviceState& dev, platform::Stamp arrived);

// With the track-status source on, the GGA that starts a new epoch calls
// this in place of zeroing the row counter: it closes the epoch of the
// "$PQNVTS" rows received since the previous GGA (nothing when there were
// none) and starts the row count again at 0.
void TSEpochEnd(DeviceState& dev, platform::Stamp arrived);

// RGB colours as the views store them (0x00BBGGRR).
constexpr uint32_t RGBColor(int r, int g, int b) {
    return static_cast<uint32_t>(r) | (static_cast<uint32_t>(g) << 8) |
           (static_cast<uint32_t>(b) << 16);
}

}  // namespace bench
