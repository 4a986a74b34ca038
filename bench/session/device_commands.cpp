// Restart commands, free commands and the character-by-character sender.
#include "bench/devices/nmea.h"
#include "platform/qt/bench_timer.h"
#include "bench/session/fanout.h"

namespace bench::session {

void DeviceFanout::SendRestartCommandToDevice() {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        const std::string& r = Slot(s).RestartC;
        if (r == "OPUSRESTART") {
            d.DeviceSendSerialCommand("$PERDCOR,STOP");
            d.DeviceSendSerialCommand("$PERDCOR,START,SIMCOLD");
        } else if (r == "UBLOXRESTART") {
            // UBX CFG-RST: cold start of all navigation data, controlled software reset.
            d.DeviceSendBinaryCommand("B56206040400FF0701001577");
        } else if (r.compare(0, 6, "GARMIN") == 0) {
            d.DeviceExecuteRestartScript();
        } else {
            d.DeviceSendSerialCommand(r);
        }
    });
}

void DeviceFanout::SendTestCommandToDevice(const std::string& command) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        const DeviceConfig& dc = Slot(s);
        if (command == "HOT")
            d.DeviceSendSerialCommand(dc.HotC);
        else if (command == "WARM")
            d.DeviceSendSerialCommand(dc.WarmC);
        else if (command == "COLD")
            d.DeviceSendSerialCommand(dc.ColdC);
        else
            d.DeviceSendSerialCommand(command);
    });
}

void DeviceFanout::SendCommandToDevices(const std::string& command) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) {
        d.ExecuteTest(command);
        d.SetNewTestMachineState(2);
    });
}

void DeviceFanout::SwitchRTSSignalOnDevices(uint8_t a, uint8_t b) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) {
        d.SwitchRTSSignal(a, b);
        d.ExecuteTest("NULL");
        d.SetNewTestMachineState(2);
    });
}

void DeviceFanout::RestartSingleDevice(uint8_t port) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        if (Slot(s).NmeaP != port) return;
        d.SwitchRTSSignal(port, 1);
        d.SwitchRTSSignal(port, 0);
    });
}

void DeviceFanout::SendMessageOnSerialPort(int16_t port, const std::string& text) {
    for (int s = 0; s < DeviceSlots; ++s) {
        if (!SlotEnabled(s)) continue;
        const DeviceConfig& dc = Slot(s);
        if (dc.DebugP == port) {
            if (state_.DebugWindows[s]) state_.DebugWindows[s]->DeviceSendMsg(text);
        } else if (dc.NmeaP == port) {
            state_.NmeaWindows[s]->DeviceSendMsg(text);
        }
    }
}

void DeviceFanout::DeviceSendMessage(const std::string& text) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSendMsg(text); });
}

void DeviceFanout::SendChrToDevices(const std::string& chr) {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int) { d.DeviceSendChar(chr); });
}

void DeviceFanout::SendChrsCommandToDevices(int16_t interval_ms, const std::string& command) {
    // The checksum covers what follows the "$"; a command without one is
    // checksummed whole.
    const std::string framed = (!command.empty() && command[0] == '$') ? command : "$" + command;
    chrs_queue_ = command + "*" + NMEA_Checksum(framed) + "\r\n";
    chrs_index_ = 1;
    if (services_.chrsTimer) {
        services_.chrsTimer->SetInterval(interval_ms);
        services_.chrsTimer->SetEnabled(true);
    }
}

void DeviceFanout::ChrsTimer_Timer() {
    if (chrs_index_ > static_cast<int>(chrs_queue_.size())) {
        if (services_.chrsTimer) services_.chrsTimer->SetEnabled(false);
        return;
    }
    const std::string chr(1, chrs_queue_[static_cast<size_t>(chrs_index_ - 1)]);
    SendChrToDevices(chr);
    ++chrs_index_;
}

void DeviceFanout::StopChrsQueue() {
    if (services_.chrsTimer) services_.chrsTimer->SetEnabled(false);
    chrs_queue_.clear();
    chrs_index_ = 1;
}

void DeviceFanout::MakeKML() {
    ForEachEnabled(__func__, false, [&](DeviceOps& d, int s) {
        // The log actually written (with its suffix), not the bare base name,
        // so the track is made of the file that exists.
        const std::string file = d.DeviceGetPrimaryLogFileName();
        const std::string local = services_.files ? services_.files->MapPath(file) : file;
        std::string name = file;
        const size_t slash = name.find_last_of("\\/");
        if (slash != std::string::npos) name = name.substr(slash + 1);
        const size_t dot = name.find_last_of('.');
        if (dot != std::string::npos) name = name.substr(0, dot);
        const std::string why = services_.launcher ? services_.launcher->StartDetached(
                                                         services_.navsiftProgram, {"-nmea", local, "-kml", "-name", name})
                                                   : "no program launcher";
        if (!why.empty())
            Log("Device " + Slot(s).DName + ": cannot start " + services_.navsiftProgram + ": " + why + " (MakeKML)");
    });
}

}  // namespace bench::session
