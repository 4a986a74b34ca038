#pragma once
// Restart sequences of the receiver families that need more than one text
// command ("OPUS", "GARMIN", "UBLOX"), and the hardware reset by a pulse on
// the RTS line. The device window's ScriptTimer runs one step per tick.
//
// A command is the family keyword directly followed by the restart kind
// ("OPUSCOLD", "GARMINHOT", "UBLOXWARM"); matching is exact and
// case-sensitive, and the kind only has to begin with the kind keyword.
// A family command whose kind is unknown sends nothing at all: it is
// reported to the system log and the script ends.
#include "platform/core/clock.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace bench {

struct DeviceState;

// The device test machine's entry: the script feeds event 1 (start) into it,
// at the moment of the tick that sent the restart.
using TestMachineSink = std::function<void(DeviceState&, uint8_t event, platform::Stamp at)>;

// One tick of ScriptTimer (dev.Console.ScriptTimer), run at `at`: the next
// step of the hardware reset when HWReset is set, else of the family script
// that TestCommand (or, for GARMIN, RestartCommand) names. Errors of the
// step (a failing port write) go to the system log; the timer goes on.
void RestartScriptTick(DeviceState& dev, const TestMachineSink& test_machine, platform::Stamp at);

// Makes RestartScriptTick the tick handler of the device's ScriptTimer, each
// tick timed by `clock`, feeding the device's own test machine
// (DeviceTestMachine) unless told otherwise.
void InstallRestartScript(DeviceState& dev, const platform::Clock& clock = platform::SystemClock::Instance());
void InstallRestartScript(DeviceState& dev, TestMachineSink test_machine,
                          const platform::Clock& clock = platform::SystemClock::Instance());

// A stand-alone restart of a GARMIN receiver with RestartCommand's kind:
// RestartScriptPending set and ScriptTimer enabled. Whatever script then
// runs (the RTS pulse when HWReset is set), a stand-alone restart of an idle
// device only restarts the receiver: it starts no test.
void StartRestartCommandScript(DeviceState& dev);
// The script from its first step: ScriptStep 0 and ScriptTimer enabled.
void StartRestartScriptAtFirstStep(DeviceState& dev);

// Ends a script under way where it stands: the timer stops, a reset pulse
// that holds RTS on is ended, and the next script starts at its first step.
void StopRestartScript(DeviceState& dev);

// The RTS line of the device's port: on (state not 0) or off, when port is 0
// or the number of the device's port; otherwise nothing. A port without the
// line (a pseudo-terminal) or no port at all never fails the caller.
void SwitchRTSSignal(DeviceState& dev, uint8_t port, uint8_t state);

}  // namespace bench
