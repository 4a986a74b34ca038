#include "bench/devices/device_output_hooks.h"

namespace bench {

void CN0LogLine(DeviceState& /*dev*/) {}

void GGASamplingTake(DeviceState& dev, std::string_view line) {
    if (!dev.SamplingOn) return;
    switch (dev.SampleCounter) {
    case 0:
        dev.GGAOnFix = line;
        dev.SampleCounting = true;
        break;
    case 5:
        dev.GGA05s = line;
        break;
    case 10:
        dev.GGA10s = line;
        break;
    case 15:
        dev.GGA15s = line;
        break;
    case 30:
        dev.GGA30s = line;
        break;
    case 60:
        dev.GGA60s = line;
        ++dev.SampleCounter;
        dev.SampleCounting = false;
        break;
    default:
        break;
    }
}

}  // namespace bench
