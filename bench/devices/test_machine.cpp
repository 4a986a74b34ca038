#include "bench/devices/test_machine.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/device_logs.h"
#include "bench/devices/nmea.h"
#include "bench/devices/restart_scripts.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/statistics.h"
#include "bench/devices/system_log.h"
#include "bench/devices/timing.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

#include <algorithm>

namespace bench {

using platform::NumberToText;

namespace {

constexpr int kHardwareResetIntervalMs = 2000;

// A lost port's "PORT LOST" stays until the port is open again: the test's
// texts would say it goes on as if the receiver were there.
void Status(DeviceState& dev, const std::string& text) {
    if (dev.PortLostTitle.empty()) SetStatusPanelText(dev.Console.Status, 1, text);
}

// Families restart through the script timer, whose ticks run the family's
// restart script; everything else is an NMEA command.
void SendRestart(DeviceState& dev, bool first) {
    if (IsFamilyRestart(dev.TestCommand)) {
        if (dev.Console.ScriptTimer) dev.Console.ScriptTimer->SetEnabled(true);
        return;
    }
    SendNmeaCommand(dev, dev.TestCommand);
    if (first && dev.HWReset && dev.Console.ScriptTimer) {
        dev.Console.ScriptTimer->SetInterval(kHardwareResetIntervalMs);
        dev.Console.ScriptTimer->SetEnabled(true);
    }
}

void MarkRestart(DeviceState& dev) {
    // The last trial's records go now, before the line that showed the
    // restart is processed further: that same line may carry the new fix.
    ClearTrialRecords(dev);
    const platform::Clock& clock = *dev.Clock;
    dev.RestartTime = clock.Now();
    GetUTCStamp(dev.RestartClock, clock);
    dev.RestartMonotonicMs = clock.MonotonicMs();
    Status(dev, "SYSTEM RESTART");
}

double ElapsedSinceRestart(const DeviceState& dev) {
    return MonotonicSecondsBetween(dev.RestartMonotonicMs, dev.Clock->MonotonicMs());
}

void Complete(DeviceState& dev, double ttff) {
    dev.EndTime = dev.Clock->Now();
    dev.TTFF = ttff;
    dev.FixRow[0] = ttff;
    dev.TestCompleted = true;
    dev.TestState = Idle;
}

void CountTick(DeviceState& dev) {
    ++dev.Ticks;
    if (dev.Ticks < dev.TickLimit) return;
    dev.Ticks = 0;
    ++dev.Failures;
    if (dev.Failures >= kFailuresBeforeDisable) {
        if (dev.Host) dev.Host->DeviceDisable(dev.DeviceID);
        Status(dev, "DEVICE DISABLED");
        // Every further time-out disables it again, which is no news.
        if (dev.RestartDisableNoted) return;
        dev.RestartDisableNoted = true;
        SystemLogWrite("Device " + dev.DeviceName + ": no answer to " + std::to_string(kFailuresBeforeDisable) +
                       " restart commands, DEVICE DISABLED");
        return;
    }
    SendRestart(dev, false);
    Status(dev, "TEST COMMAND SENT TO DEVICE");
}

void RunningTick(DeviceState& dev) {
    // Whole seconds on the monotonic clock: a clock step or a daylight-saving
    // change must neither end the test early nor stretch it.
    int64_t ms = dev.Clock->MonotonicMs() - dev.RestartMonotonicMs;
    dev.ElapsedSeconds = static_cast<int32_t>(ms >= 0 ? ms / 1000 : 0);
    std::string elapsed = std::to_string(dev.ElapsedSeconds);
    if (dev.TestMode != 0)
        Status(dev, "TEST RUNNING: " + elapsed + " -> WAITING FOR " + std::to_string(dev.TTTRKSats) +
                        " TRACKED SATELLITES");
    else
        Status(dev, "TEST RUNNING: " + elapsed + " -> WAITING FOR POSITION FIX");
    if (dev.ElapsedSeconds > dev.MaxTTFF) {
        Status(dev, "NO FIX AVAILABLE IN " + std::to_string(dev.MaxTTFF) + " s");
        // Satellites not tracked within the bound are a failed trial: the
        // bound itself is no time to track.
        Complete(dev, dev.TestMode != 0 ? -1.0 : static_cast<double>(dev.ElapsedSeconds));
    }
}

}  // namespace

void StopDeviceTest(DeviceState& dev) {
    // An idle machine that hears of a restart starts a test of its own and
    // sends the restart command: nothing may tell it of one after the stop.
    dev.GGAAsStartup = false;
    dev.ReacqArmed = false;
    StopRestartScript(dev);
    DeviceTestMachine(dev, EvStop);
}

bool IsFamilyRestart(std::string_view command) {
    return command.starts_with("GARMIN") || command.starts_with("OPUS") || command.starts_with("UBLOX");
}

void DeviceTestMachine(DeviceState& dev, uint8_t event) {
    switch (dev.TestState) {
    case Idle:
        if (event == EvStart) {
            dev.TestCompleted = false;
            dev.TestState = CommandSent;
            SendRestart(dev, true);
            Status(dev, "TEST COMMAND SENT TO DEVICE");
        } else if (event == EvClearCompleted) {
            dev.TestCompleted = false;
        }
        return;
    case CommandSent:
        if (event == EvRestartSeen) {
            MarkRestart(dev);
            dev.TestState = Running;
        } else if (event == EvStop) {
            dev.TestState = Idle;
            Status(dev, "TEST STOPPED");
        } else {
            CountTick(dev);
        }
        return;
    case Running:
        switch (event) {
        case EvTick:
            RunningTick(dev);
            break;
        case EvFix: {
            dev.EndElapsed = ElapsedSinceRestart(dev);
            double ttff = dev.EndElapsed + dev.StartupDelay;
            Status(dev, "FIX AVAILABLE TTFF: " + NumberToText(ttff) + " s");
            Complete(dev, ttff);
            break;
        }
        case EvTrackingReached: {
            // The receiver tracked at the first of the epochs counted for the
            // goal, not at the last of them; never before its restart.
            const int64_t tracked_ms = TTTRKGoalMonotonicMs(dev);
            if (tracked_ms < 0) break;
            dev.EndElapsed = std::max(0.0, MonotonicSecondsBetween(dev.RestartMonotonicMs, tracked_ms));
            double ttff = dev.EndElapsed + dev.StartupDelay;
            Status(dev, "TRACKED " + std::to_string(dev.TTTRKSats) + " SATS FOR " + std::to_string(dev.TTTRKTime) +
                            "s IN: " + NumberToText(ttff) + " s");
            Complete(dev, ttff);
            break;
        }
        case EvRestartSeen:
            MarkRestart(dev);
            break;
        case EvStop:
            // The running text must not outlive the test.
            dev.TestState = Idle;
            Status(dev, "TEST STOPPED");
            break;
        default:
            break;
        }
        return;
    default:
        return;
    }
}

}  // namespace bench
