#include "bench/devices/device_state.h"

#include "platform/qt/bench_timer.h"

namespace bench {

struct DeviceState::PlainViews {
    ControlView label;
    ScrollBarView scroll;
    StatusBarView status;
    OutputBoxView output;
    platform::ManualTimer refresh{20};
    platform::ManualTimer script;
    platform::ManualTimer replay;
    platform::ManualTimer port_timeout;
    platform::ManualTimer watchdog;
    std::array<std::array<ControlView, 32>, 13> cells;
    std::array<ControlView, 16> position;
    std::array<ControlView, 7> hold;
    std::array<ControlView, 4> stats;
};

DeviceState::DeviceState() : Plain(std::make_unique<PlainViews>()) {
    BindPlainViews(*this);
    // As the console's set-up leaves it: range 34..255, newest lines in view.
    Console.Scroll->SetMin(ConsoleBuffer::kShown - 1);
    Console.Scroll->SetMax(ConsoleBuffer::kLines - 1);
    Console.Scroll->SetValue(ConsoleBuffer::kLines - 1);
}

DeviceState::~DeviceState() = default;

void BindPlainViews(DeviceState& dev) {
    auto& p = *dev.Plain;
    dev.Console.Label = &p.label;
    dev.Console.Scroll = &p.scroll;
    dev.Console.Status = &p.status;
    dev.Console.RefreshTimer = &p.refresh;
    dev.Console.ScriptTimer = &p.script;
    dev.Console.ReplayTimer = &p.replay;
    dev.Console.PortTimeoutTimer = &p.port_timeout;
    dev.WatchDogTimer = &p.watchdog;
    dev.OutputWin = &p.output;
    CellRow* rows[13] = {&dev.SatBar, &dev.Cn0,  &dev.SatId, &dev.CN0Max, &dev.CN0Min,
                         &dev.CN0Ave, &dev.Tim,  &dev.T2U,   &dev.T2DE,   &dev.EPH,
                         &dev.AZ,     &dev.EL,   &dev.TrackTimer};
    for (int r = 0; r < 13; ++r)
        for (int c = 0; c < 32; ++c) (*rows[r])[c] = &p.cells[r][c];
    for (size_t i = 0; i < p.position.size(); ++i) dev.PositionData[i] = &p.position[i];
    for (size_t i = 0; i < p.hold.size(); ++i) dev.HoldPositionData[i] = &p.hold[i];
    for (size_t i = 0; i < p.stats.size(); ++i) dev.DataStatistics[i] = &p.stats[i];
}

}  // namespace bench
