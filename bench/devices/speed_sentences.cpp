#include "bench/devices/speed_sentences.h"

#include "bench/devices/device_state.h"

namespace bench {

void NMEA_VTG_Processing(DeviceState&) {}
void NMEA_RMC_Processing(DeviceState&) {}
void NMEA_POSHOLD_Processing(DeviceState&, std::string_view) {}
void NMEA_TG_Processing(DeviceState&) {}
void NMEA_EPH_Processing(DeviceState&) {}
void NMEA_SBAS_Processing(DeviceState&) {}
void NMEA_VER_Processing(DeviceState&, const std::string&) {}

}  // namespace bench
