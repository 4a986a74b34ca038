#pragma once
// The per-device restart test: send the restart command, wait for the
// receiver to announce its restart, then time the first fix (or, in tracking
// mode, the wanted satellites tracked for the wanted time).
#include "bench/devices/device_state.h"

#include "platform/core/clock.h"

#include <cstdint>
#include <string_view>

namespace bench {

enum TestMachineState : int16_t { Idle = 0, CommandSent = 1, Running = 2 };

enum TestMachineEvent : uint8_t {
    EvStop = 0,
    EvStart = 1,
    EvRestartSeen = 2,
    EvTick = 3,
    EvFix = 4,
    EvTrackingReached = 5,
    EvClearCompleted = 6,
};

// Command time-outs after which every further time-out disables the device.
inline constexpr int16_t kFailuresBeforeDisable = 6;

// Steps the device's machine by one event that happened at `at`: the arrival
// of the line that told it (a restart seen, a tick, a fix, the tracking
// goal), or the moment the bench made it (start, stop). The restart, the
// fix, the goal and the time-out are timed by it alone. Status texts go to
// panel 1 of the window's status bar. Errors (a failing port write) pass to
// the caller.
void DeviceTestMachine(DeviceState& dev, uint8_t event, platform::Stamp at);

// The session stopped at `at`: the machine goes idle and nothing is left that
// would still send to the receiver for the test (a restart script's next
// step, a restart taken from the next GGA, the signal-on trigger of a
// reacquisition).
void StopDeviceTest(DeviceState& dev, platform::Stamp at);

// True when the command names a receiver family with its own restart script
// ("GARMIN", "OPUS", "UBLOX"; exact, case-sensitive prefix).
bool IsFamilyRestart(std::string_view command);

}  // namespace bench
