#include "bench/devices/restart_scripts.h"

#include "bench/devices/device_state.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "platform/comm/serial_port.h"
#include "platform/qt/bench_timer.h"

#include <optional>
#include <string>

namespace bench {

namespace {

constexpr std::string_view kOpus = "OPUS";
constexpr std::string_view kGarmin = "GARMIN";
constexpr std::string_view kUblox = "UBLOX";
constexpr const char* kProcedure = "ScriptTimer_Timer";
constexpr int kStepInterval = 1000;

struct Kind {
    std::string_view keyword;
    std::string_view command;  // text command or hexadecimal frame
};

// Tried in this order: "COLDSIM" before "COLD", which it begins with.
constexpr Kind kOpusStarts[] = {
    {"COLDSIM", "$PERDCOR,START,SIMCOLD"},
    {"COLD", "$PERDCOR,START,COLD,UNAIDED"},
    {"WARM", "$PERDCOR,START,WARM,UNAIDED"},
    {"HOT", "$PERDCOR,START,HOT,UNAIDED"},
};
constexpr std::string_view kOpusStop = "$PERDCOR,STOP";

// Garmin binary packets: DLE, id 0A, size 2, data, checksum, DLE ETX.
constexpr Kind kGarminFrames[] = {
    {"COLD", "100A020202F01003"},
    {"WARM", "100A020402EE1003"},
    {"HOT", "100A020002F21003"},
};
constexpr std::string_view kGarminHello = "$PGRMO,,G";
constexpr std::string_view kGarminLast = "100A022600CE1003";

// UBX CFG-RST: navigation data cleared (all, ephemeris, none), controlled
// software reset.
constexpr Kind kUbloxFrames[] = {
    {"COLD", "B56206040400FF0701001577"},
    {"WARM", "B5620604040001000100106A"},
    {"HOT", "B56206040400000001000F66"},
};

bool BeginsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The command of the kind that follows the family keyword, if any.
template <size_t N>
std::optional<std::string_view> KindCommand(const Kind (&kinds)[N], std::string_view command,
                                            std::string_view family) {
    if (!BeginsWith(command, family)) return std::nullopt;
    std::string_view kind = command.substr(family.size());
    for (const Kind& k : kinds)
        if (BeginsWith(kind, k.keyword)) return k.command;
    return std::nullopt;
}

void EndScript(DeviceState& dev) {
    platform::Timer* timer = dev.Console.ScriptTimer;
    if (timer) {
        timer->SetEnabled(false);
        timer->SetInterval(kStepInterval);
    }
    dev.RestartScriptFinished = true;
}

// An unknown kind must not restart the receiver in some other way.
void RefuseUnknownKind(DeviceState& dev, std::string_view command) {
    EndScript(dev);
    dev.RestartScriptPending = false;
    SystemLogWrite("Unknown restart kind in \"" + std::string(command) + "\", nothing sent (" + kProcedure + ")");
}

int16_t PortNumber(const DeviceState& dev) { return dev.Console.Port ? dev.Console.Port->CommPort() : 0; }

void SendFrame(DeviceState& dev, std::string_view frame) {
    dev.RestartFrameText = std::string(frame);
    SendHexBytes(dev, frame);
}

// The receiver's restart is now awaited from its next GGA sentence.
void AwaitRestartFromGGA(DeviceState& dev) { dev.GGAAsStartup = true; }

// The end of a restart: the test machine hears of it (event 1). A stand-alone
// restart of an idle device is no test: starting one here would restart the
// receiver a second time with the test's own command.
void ReportRestart(DeviceState& dev, const TestMachineSink& test_machine, bool await_gga, platform::Stamp at) {
    const bool standalone = dev.RestartScriptPending;
    dev.RestartScriptPending = false;
    if (standalone && dev.TestState == 0) return;
    if (test_machine) test_machine(dev, 1, at);
    if (await_gga) AwaitRestartFromGGA(dev);
}

void HardwareResetStep(DeviceState& dev, const TestMachineSink& test_machine, platform::Stamp at) {
    const auto port = static_cast<uint8_t>(PortNumber(dev));
    if (dev.ScriptStep == 0) {
        SwitchRTSSignal(dev, port, 1);
        dev.ResetPulseOn = true;
        if (dev.Console.ScriptTimer) dev.Console.ScriptTimer->SetInterval(kStepInterval);
        dev.ScriptStep = 1;
    } else if (dev.ScriptStep == 1) {
        EndScript(dev);
        SwitchRTSSignal(dev, port, 0);
        dev.ResetPulseOn = false;
        ReportRestart(dev, test_machine, false, at);
    }
}

void OpusStep(DeviceState& dev, const TestMachineSink& test_machine, platform::Stamp at) {
    auto start = KindCommand(kOpusStarts, dev.TestCommand, kOpus);
    if (dev.ScriptStep > 1) return;
    if (!start) {
        RefuseUnknownKind(dev, dev.TestCommand);
        return;
    }
    if (dev.ScriptStep == 0) {
        SendNmeaCommand(dev, kOpusStop);
        dev.ScriptStep = 1;
        return;
    }
    EndScript(dev);
    SendNmeaCommand(dev, *start);
    ReportRestart(dev, test_machine, true, at);
}

void GarminStep(DeviceState& dev, const TestMachineSink& test_machine, platform::Stamp at) {
    platform::Timer* timer = dev.Console.ScriptTimer;
    switch (dev.ScriptStep) {
        case 0: {
            const std::string& command = dev.RestartScriptPending ? dev.RestartCommand : dev.TestCommand;
            if (!KindCommand(kGarminFrames, command, kGarmin)) {
                RefuseUnknownKind(dev, command);
                return;
            }
            for (int i = 0; i < 3; ++i) SendNmeaCommand(dev, kGarminHello);
            // The pending mark stays until the last step, which needs to
            // know the restart was a stand-alone one.
            dev.ScriptStep = dev.RestartScriptPending ? 3 : 1;
            return;
        }
        case 1:
        case 3: {
            const std::string& command = dev.ScriptStep == 1 ? dev.TestCommand : dev.RestartCommand;
            auto frame = KindCommand(kGarminFrames, command, kGarmin);
            if (!frame) {
                RefuseUnknownKind(dev, command);
                return;
            }
            SendFrame(dev, *frame);
            dev.ScriptStep = 2;
            if (timer) timer->SetInterval(kStepInterval);
            return;
        }
        case 2:
            EndScript(dev);
            SendFrame(dev, kGarminLast);
            ReportRestart(dev, test_machine, true, at);
            return;
        default:
            return;
    }
}

void UbloxStep(DeviceState& dev) {
    if (dev.Console.ScriptTimer) dev.Console.ScriptTimer->SetEnabled(false);
    dev.RestartScriptPending = false;
    auto frame = KindCommand(kUbloxFrames, dev.TestCommand, kUblox);
    if (!frame) {
        SystemLogWrite("Unknown restart kind in \"" + dev.TestCommand + "\", nothing sent (" + kProcedure + ")");
        return;
    }
    SendFrame(dev, *frame);
}

}  // namespace

void RestartScriptTick(DeviceState& dev, const TestMachineSink& test_machine, platform::Stamp at) {
    Trapped(kProcedure, [&] {
        if (dev.RestartScriptFinished) {
            dev.ScriptStep = 0;
            dev.RestartScriptFinished = false;
        }
        platform::SerialLink* port = dev.Console.Port;
        if (dev.HWReset) {
            HardwareResetStep(dev, test_machine, at);
        } else if (dev.ScriptStep == 1 && dev.ResetPulseOn && port && port->RTSEnable()) {
            // The reset was switched off between the pulse's two ticks: end
            // the pulse rather than hold the receiver in reset.
            HardwareResetStep(dev, test_machine, at);
        } else if (BeginsWith(dev.TestCommand, kOpus)) {
            OpusStep(dev, test_machine, at);
        } else if (BeginsWith(dev.TestCommand, kGarmin) || BeginsWith(dev.RestartCommand, kGarmin)) {
            GarminStep(dev, test_machine, at);
        } else if (BeginsWith(dev.TestCommand, kUblox)) {
            UbloxStep(dev);
        }
    });
}

void InstallRestartScript(DeviceState& dev, const platform::Clock& clock) {
    InstallRestartScript(dev, DeviceTestMachine, clock);
}

void InstallRestartScript(DeviceState& dev, TestMachineSink test_machine, const platform::Clock& clock) {
    if (!dev.Console.ScriptTimer) return;
    dev.Console.ScriptTimer->SetTickHandler(
        [&dev, &clock, sink = std::move(test_machine)] { RestartScriptTick(dev, sink, clock.StampNow()); });
}

void StartRestartCommandScript(DeviceState& dev) {
    dev.RestartScriptPending = true;
    if (dev.Console.ScriptTimer) dev.Console.ScriptTimer->SetEnabled(true);
}

void StartRestartScriptAtFirstStep(DeviceState& dev) {
    dev.ScriptStep = 0;
    if (dev.Console.ScriptTimer) dev.Console.ScriptTimer->SetEnabled(true);
}

void StopRestartScript(DeviceState& dev) {
    EndScript(dev);
    dev.RestartScriptPending = false;
    if (dev.ResetPulseOn) {
        // Not left holding the receiver in reset.
        dev.ResetPulseOn = false;
        SwitchRTSSignal(dev, 0, 0);
    }
}

void SwitchRTSSignal(DeviceState& dev, uint8_t port, uint8_t state) {
    platform::SerialLink* link = dev.Console.Port;
    if (!link) return;
    if (port != 0 && port != link->CommPort()) return;
    link->SetRTSEnable(state != 0);
}

}  // namespace bench
