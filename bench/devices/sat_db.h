#pragma once
// The satellite database of a device: one entry per satellite number 1..255,
// fed once per epoch by the satellite sentences. It keeps the C/N0 statistics,
// the consecutive tracking counts that the time-to-track test reads, and the
// time to acquire (T2A) of every satellite since the last receiver restart.
#include <cstdint>

namespace bench {

// Epochs after an acquisition (or a first use) at which a satellite counts as
// stable and its time to acquire (or to use) enters the statistics.
constexpr int32_t kStableEpochs = 10;

struct DeviceState;

// One epoch's observation of one satellite: C/N0 of 1 or more counts as
// tracked. A satellite number outside 1..255 changes nothing and leaves one
// system-log line under "SatDB_Update".
void SatDB_Update(DeviceState& dev, int16_t id, int16_t cn0);

// Mean of ring slots 0..n-1 of the satellite's C/N0 ring (n clipped to 1..10).
double CN0MeanEvaluation(const DeviceState& dev, int32_t n, int16_t id);

// Number of satellites 1..32 tracked in the latest epoch for at least
// `epochs` consecutive epochs (at least one). The time-to-track goal and the
// device's stable-tracking query both count with this.
int16_t StableTrackedCount(const DeviceState& dev, int32_t epochs);

// The time-to-track goal: at least TTTRKSats satellites (one at the least)
// stably tracked for TTTRKTime epochs since the last restart.
bool TTTRKSatellitesReached(const DeviceState& dev);

// When the goal was reached by the receiver: the monotonic reading of the
// first of the consecutive tracked epochs of the satellite that completed
// it; -1 while the goal is not reached.
int64_t TTTRKGoalMonotonicMs(const DeviceState& dev);

// A receiver restart at `reference` (a local date-time): every entry starts
// measuring acquisition, use and ephemeris again. C/N0 figures, statistics
// and colours stay.
void SatDB_Reset(DeviceState& dev, double reference);

// Blanks the 32-row satellite table (the TrackTimer column stays) and the
// track-status rows, and zeroes every C/N0 count.
void SatTableClear(DeviceState& dev);

// The statistics-reset button: C/N0 counts (and collected samples), and the
// consecutive tracking times.
void SatDB_ResetCN0Counts(DeviceState& dev);
void SatDB_ResetTrackCounts(DeviceState& dev);

// T2A and T2U statistics of satellites 1..32 back to empty (minima 86400).
void SatDB_ResetT2AT2UStatistics(DeviceState& dev);

// A trial begins: the T2A/T2U statistics as they stand are what a failed
// trial goes back to.
void SatDB_KeepTrialStartStatistics(DeviceState& dev);
// The trial failed: the statistics go back to its start, and no satellite
// adds a sample until the receiver's next restart re-arms them.
void SatDB_DropTrialStatistics(DeviceState& dev);

// A receiver restart at `reference`: the differential-fix and SBAS
// measurements start again, timed from now on the UTC clock.
void DiffOnReset(DeviceState& dev, double reference);

}  // namespace bench
