#include "bench/devices/sat_db.h"

#include "bench/devices/device_state.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "platform/core/error.h"

#include <algorithm>
#include <vector>

namespace bench {

namespace {

constexpr int kRingSlots = 10;
// At one sample a second this is an hour of C/N0 per satellite.
constexpr size_t kMaxCN0Samples = 3600;
constexpr int32_t kNoMinimum = 86400;

bool InRange(int id) { return id >= 1 && id <= 255; }

}  // namespace

void SatDB_Update(DeviceState& dev, int16_t id, int16_t cn0) {
    if (!InRange(id)) {
        // A receiver that numbers its satellites past 255 does so on every
        // line: one report per window, the rest counted.
        ReportOncePerWindow(dev, "Subscript out of range (SatDB_Update)");
        return;
    }
    Trapped("SatDB_Update", [&] {
        SatDBEntry& e = dev.Sats[id];
        e.CN0 = cn0;
        e.SeenThisEpoch = true;
        if (cn0 < 1) {
            e.AcquiredEpochs = 0;
            e.T2AValid = false;
            e.TrackTime = 0;
            return;
        }
        ++e.TrackTime;
        ++e.AcquiredEpochs;
        if (e.AcquiredEpochs == 1) {
            e.AcquiredTime = dev.Clock->Now();
            e.AcquiredMonotonicMs = dev.Clock->MonotonicMs();
            e.T2A = MakeTimeDifference(e.AcquiredTime, e.ReferenceTime);
            // Before the first restart there is nothing to measure from.
            e.T2AValid = e.ReferenceTime != 0;
        }
        if (e.AcquiredEpochs == kStableEpochs && e.T2AArmed) {
            e.T2A = MakeTimeDifference(e.AcquiredTime, e.ReferenceTime);
            e.T2AStatsDone = true;
            ++e.T2ASamples;
            e.T2AMean = RunningMean(e.T2AMean, e.T2A, e.T2ASamples);
            e.T2AMax = MaxLong(e.T2AMax, e.T2A);
            e.T2AMin = MinLong(e.T2AMin, e.T2A);
        }
        ++e.CN0Count;
        if (e.CN0RingIndex < 0 || e.CN0RingIndex >= kRingSlots) e.CN0RingIndex = 0;
        e.CN0Ring[e.CN0RingIndex] = cn0;
        if (++e.CN0RingIndex >= kRingSlots) e.CN0RingIndex = 0;
        if (e.CN0Samples.size() < kMaxCN0Samples)
            e.CN0Samples.push_back(static_cast<uint8_t>(std::min<int>(cn0, 255)));
        if (e.CN0Count < 2) {
            e.MeanCN0 = cn0;
            e.MinCN0 = cn0;
            e.MaxCN0 = cn0;
            e.FirstSampleTime = dev.GGATimeText;
            return;
        }
        if (cn0 > e.MaxCN0)
            e.MaxCN0 = cn0;
        else if (cn0 < e.MinCN0)
            e.MinCN0 = cn0;
        e.MeanCN0 = CN0MeanEvaluation(dev, std::min(e.CN0Count, kStableEpochs), id);
    });
}

double CN0MeanEvaluation(const DeviceState& dev, int32_t n, int16_t id) {
    if (!InRange(id)) return 0;
    int slots = std::clamp<int32_t>(n, 1, kRingSlots);
    const SatDBEntry& e = dev.Sats[id];
    double sum = 0;
    for (int i = 0; i < slots; ++i) sum += e.CN0Ring[i];
    return sum / slots;
}

int16_t StableTrackedCount(const DeviceState& dev, int32_t epochs) {
    // An untracked entry has no consecutive epochs, so a threshold of at
    // least one counts only satellites tracked now.
    const int32_t threshold = std::max<int32_t>(epochs, 1);
    int16_t count = 0;
    for (int id = 1; id <= 32; ++id)
        if (dev.Sats[id].AcquiredEpochs >= threshold) ++count;
    return count;
}

namespace {
// A goal of no satellites would be reached before the receiver tracks any.
int16_t WantedSatellites(const DeviceState& dev) { return std::max<int16_t>(dev.TTTRKSats, 1); }
}  // namespace

bool TTTRKSatellitesReached(const DeviceState& dev) {
    return StableTrackedCount(dev, dev.TTTRKTime) >= WantedSatellites(dev);
}

int64_t TTTRKGoalMonotonicMs(const DeviceState& dev) {
    // The wanted number of satellites were tracked, and stayed so, from the
    // moment the last of them began its run: the latest of the earliest
    // runs that make up the goal.
    const int32_t threshold = std::max<int32_t>(dev.TTTRKTime, 1);
    std::vector<int64_t> starts;
    for (int id = 1; id <= 32; ++id)
        if (dev.Sats[id].AcquiredEpochs >= threshold) starts.push_back(dev.Sats[id].AcquiredMonotonicMs);
    const size_t wanted = static_cast<size_t>(WantedSatellites(dev));
    if (starts.size() < wanted) return -1;
    std::nth_element(starts.begin(), starts.begin() + static_cast<std::ptrdiff_t>(wanted - 1), starts.end());
    return starts[wanted - 1];
}

void SatDB_Reset(DeviceState& dev, double reference) {
    for (int id = 1; id <= 255; ++id) {
        SatDBEntry& e = dev.Sats[id];
        e.AcquiredEpochs = 0;
        e.T2AValid = false;
        e.T2AStatsDone = false;
        e.T2A = 0;
        e.T2AArmed = true;
        e.ReferenceTime = reference;
        e.T2UArmed = true;
        e.UsedEpochs = 0;
        e.T2UValid = false;
        e.T2UStatsDone = false;
        e.T2U = 0;
        e.EphArmed = true;
        e.EphValid = false;
    }
}

void SatTableClear(DeviceState& dev) {
    for (int r = 0; r < 32; ++r) {
        SetBarLevel(dev.SatBar[r], 0);
        dev.TsRowId[r] = 0;
        dev.TsRowCn0[r] = 0;
        for (CellRow* column : {&dev.SatId, &dev.CN0Ave, &dev.CN0Max, &dev.CN0Min, &dev.Tim, &dev.T2U,
                                &dev.T2DE, &dev.EPH, &dev.AZ, &dev.EL, &dev.Cn0})
            if (ControlView* cell = (*column)[r]) cell->SetText({});
    }
    SatDB_ResetCN0Counts(dev);
}

void SatDB_ResetCN0Counts(DeviceState& dev) {
    for (int id = 1; id <= 255; ++id) {
        dev.Sats[id].CN0Count = 0;
        dev.Sats[id].CN0Samples.clear();
    }
}

void SatDB_ResetTrackCounts(DeviceState& dev) {
    for (int id = 1; id <= 255; ++id) dev.Sats[id].TrackTime = 0;
}

void SatDB_ResetT2AT2UStatistics(DeviceState& dev) {
    for (int id = 1; id <= 32; ++id) {
        SatDBEntry& e = dev.Sats[id];
        e.T2ASamples = 0;
        e.T2AMean = 0;
        e.T2AMax = 0;
        e.T2AMin = kNoMinimum;
        e.T2USamples = 0;
        e.T2UMean = 0;
        e.T2UMax = 0;
        e.T2UMin = kNoMinimum;
    }
    // A test starts from nothing, and so would a failed first trial.
    SatDB_KeepTrialStartStatistics(dev);
}

void SatDB_KeepTrialStartStatistics(DeviceState& dev) {
    for (int id = 1; id <= 32; ++id) {
        const SatDBEntry& e = dev.Sats[id];
        dev.TrialStartTally[id] = {e.T2AMax, e.T2AMin, e.T2ASamples, e.T2AMean,
                                   e.T2UMax, e.T2UMin, e.T2USamples, e.T2UMean};
    }
}

void SatDB_DropTrialStatistics(DeviceState& dev) {
    for (int id = 1; id <= 32; ++id) {
        SatDBEntry& e = dev.Sats[id];
        const DeviceState::TrialTally& t = dev.TrialStartTally[id];
        e.T2AMax = t.T2AMax;
        e.T2AMin = t.T2AMin;
        e.T2ASamples = t.T2ASamples;
        e.T2AMean = t.T2AMean;
        e.T2UMax = t.T2UMax;
        e.T2UMin = t.T2UMin;
        e.T2USamples = t.T2USamples;
        e.T2UMean = t.T2UMean;
    }
    // Times measured from a restart the trial never saw (or after it was
    // given up) are no trial's: nothing is taken until the next restart.
    for (int id = 1; id <= 255; ++id) {
        dev.Sats[id].T2AArmed = false;
        dev.Sats[id].T2UArmed = false;
    }
}

void DiffOnReset(DeviceState& dev, double reference) {
    dev.DiffReference = reference;
    GetUTCStamp(dev.DiffClock, *dev.Clock);
    dev.DiffOnTime = 0;
    dev.DiffOn = false;
    dev.SBASCount = 0;
    dev.SBASTime = 0;
}

}  // namespace bench
