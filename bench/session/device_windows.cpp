#include "bench/session/device_windows.h"

#include "bench/devices/comm_window.h"

namespace bench {

DeviceWindowFactory::Made CommWindowFactory::CreateDeviceWindow(BenchHost& host) {
    auto* w = new CommWindow(&host);
    if (taskMonitor) w->SetTaskMonitorOpener(taskMonitor);
    return {w, w};
}

}  // namespace bench
