#include "bench/devices/sat_db.h"

#include "bench/devices/device_state.h"

namespace bench {

void SatDB_Update(DeviceState&, int16_t, int16_t) {}
double CN0MeanEvaluation(const DeviceState&, int32_t, int16_t) { return 0; }
int16_t StableTrackedCount(const DeviceState&, int32_t) { return 0; }
bool TTTRKSatellitesReached(const DeviceState&) { return false; }
void SatDB_Reset(DeviceState&, double) {}
void SatTableClear(DeviceState&) {}
void SatDB_ResetCN0Counts(DeviceState&) {}
void SatDB_ResetTrackCounts(DeviceState&) {}
void SatDB_ResetT2AT2UStatistics(DeviceState&) {}
void DiffOnReset(DeviceState&, double) {}

}  // namespace bench
