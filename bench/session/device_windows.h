#pragma once
// The bench's device windows for the main window: one CommWindow per
// receiver, reporting to the main window's host.
#include <functional>

#include "bench/session/benchtop.h"

namespace bench {

class CommWindowFactory final : public DeviceWindowFactory {
public:
    Made CreateDeviceWindow(BenchHost& host) override;
    // What a device window's "Task Monitor" button opens.
    std::function<void()> taskMonitor;
};

}  // namespace bench
