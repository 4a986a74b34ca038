#pragma once
// The program's own device windows for a main window built in-process, so
// a session runs through real windows, ports and files.
#include <QPointer>

#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"

namespace test {

class CommWindowFactory : public bench::DeviceWindowFactory {
public:
    Made CreateDeviceWindow(bench::BenchHost& host) override {
        auto* w = new bench::CommWindow(&host);
        made.emplace_back(w);
        return {w, w};
    }
    // Every window made, in order; null once the main window closed it.
    std::vector<QPointer<bench::CommWindow>> made;
};

}  // namespace test
