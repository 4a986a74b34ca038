#include "bench/devices/sat_sentences.h"

#include "bench/devices/device_state.h"

namespace bench {

void NMEA_GSV_Processing(DeviceState&) {}
void NMEA_GSA_Processing(DeviceState&, std::string_view) {}
void NMEA_TS_Processing(DeviceState&) {}
void SatTableUpdate(DeviceState&) {}
void TSEpochEnd(DeviceState& dev) { dev.TsRowCounter = 0; }

}  // namespace bench
