#include "bench/devices/dispatch.h"

#include "bench/devices/bench_host.h"
#include "bench/devices/gga_sampling.h"
#include "bench/devices/gga.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/sat_db.h"
#include "bench/devices/sat_sentences.h"
#include "bench/devices/speed_sentences.h"
#include "platform/core/numtext.h"
#include "platform/qt/bench_timer.h"

namespace bench {

namespace {

bool Contains(const std::string& s, std::string_view what) { return s.find(what) != std::string::npos; }

void RestartRecognised(DeviceState& dev, const std::string& line, size_t at, platform::Stamp arrived) {
    dev.PrevQuality = 0;
    DeviceTestMachine(dev, EvRestartSeen, arrived);
    SatDB_Reset(dev, dev.Times.DateTime(arrived));
    SatTableClear(dev);
    DiffOnReset(dev, dev.Times.DateTime(arrived), arrived);
    NMEA_VER_Processing(dev, VersionFromStartupLine(line, at));
}

// Names taken from a sentence stay short enough for any file system.
constexpr size_t kNamePartMax = 64;

void TestDriveControl(DeviceState& dev, const std::string& line) {
    if (!dev.Host) return;
    std::string f2 = SafeNamePart(NmeaFields[2]).substr(0, kNamePartMax);
    std::string f3 = SafeNamePart(NmeaFields[3]).substr(0, kNamePartMax);
    if (!dev.Host->GetCARSTestSessionStatus()) {
        // Without a session there is no folder for a log: no file is made
        // wherever the program happens to run.
        if (!dev.Host->TestSessionRunning()) {
            std::string shown = line;
            while (!shown.empty() && (shown.back() == '\r' || shown.back() == '\n')) shown.pop_back();
            SystemLogWrite("Device " + dev.DeviceName + ": no test session, ignored: " + shown);
            return;
        }
        dev.Host->TestingChangePrimaryLogFile("_TESTDRIVE_" + f2 + "_LOOP_" + f3 + ".txt");
    } else {
        dev.Host->StopTestSession();
        dev.Host->StartTestSession("_TD_" + f2 + "_L_" + f3);
    }
}

void Dispatch(DeviceState& dev, platform::Stamp arrived) {
    dev.GSVThisLine = false;
    dev.GSAThisLine = false;
    WatchDogKick(dev);
    // A copy: processors may move the console on (a session restart).
    const std::string line = dev.Console.Lines[static_cast<size_t>(dev.Console.Current)];

    if (!dev.StartupString.empty()) {
        size_t at = line.find(dev.StartupString);
        if (at != std::string::npos) {
            dev.SentenceHeard = true;
            RestartRecognised(dev, line, at, arrived);
        }
    }

    if (NMEA_Msg_Decoding(dev.Host, line) == -1) return;
    dev.SentenceHeard = true;
    const std::string name = NmeaFields[1];
    const bool ts_on = dev.Host && dev.Host->GetTSMsgStatus();

    if (name == "$GPGGA") {
        NMEA_GGA_Processing(dev, line, arrived);
        if (dev.ReplayActive && dev.Console.ReplayTimer) dev.Console.ReplayTimer->SetEnabled(false);
        ++dev.GSAStatistics[0];
        if (dev.DataStatistics[0]) dev.DataStatistics[0]->SetText(std::to_string(dev.GSAStatistics[0]));
        if (ts_on) TSEpochEnd(dev, arrived);
        CN0LogLine(dev);
        dev.GSVSeen = false;
        dev.GSASeen = false;
    }
    if (ts_on) {
        if (name == "$PQNVTS") NMEA_TS_Processing(dev, arrived);
    } else if (Contains(name, "GSV")) {
        NMEA_GSV_Processing(dev, arrived);
        dev.GSVSeen = true;
        dev.GSVThisLine = true;
    }
    if (Contains(name, "GSA")) {
        dev.GSASeen = true;
        dev.GSAThisLine = true;
        NMEA_GSA_Processing(dev, line, arrived);
    }
    if (dev.GSVSeen && dev.GSASeen && !dev.GSVThisLine && !dev.GSAThisLine) {
        SatTableUpdate(dev, arrived);
        dev.GSVSeen = false;
        dev.GSASeen = false;
    }
    if (name == "$GPVTG")
        NMEA_VTG_Processing(dev);
    else if (name == "$GPRMC")
        NMEA_RMC_Processing(dev);
    else if (name == "$PQNVEPH")
        NMEA_EPH_Processing(dev, arrived);
    else if (name == "$PQNVTG")
        NMEA_TG_Processing(dev);
    else if (name == "$PQNVSBAS")
        NMEA_SBAS_Processing(dev, arrived);
    else if (name == "$PQNVPOSHOLD")
        NMEA_POSHOLD_Processing(dev, line);
    else if (name == "$PQNVCARS")
        TestDriveControl(dev, line);
}

}  // namespace

std::string VersionFromStartupLine(std::string_view line, size_t at) {
    if (line.empty() || at >= line.size()) return {};
    // The line less its last character, then no CR or LF left over.
    std::string version(line.substr(at, line.size() - 1 - at));
    while (!version.empty() && (version.back() == '\r' || version.back() == '\n')) version.pop_back();
    return version;
}

std::string SafeNamePart(std::string_view field) {
    std::string out(field);
    for (char& c : out) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
                  c == '-';
        if (!ok) c = '_';
    }
    return out;
}

void WatchDogKick(DeviceState& dev) {
    dev.WatchDogDisableNoted = false;
    if (!dev.WatchDogTimer) return;
    if (dev.WatchDogOn) {
        dev.WatchDogTimer->SetEnabled(false);
        dev.WatchDogTimer->SetEnabled(true);
    } else {
        dev.WatchDogTimer->SetEnabled(false);
    }
}

void MessageProcessing(DeviceState& dev, platform::Stamp arrived) {
    Trapped("MessageProcessing", [&] { Dispatch(dev, arrived); });
}

void InstallMessageProcessing(DeviceState& dev) {
    dev.MessageProcessing = [](DeviceState& d, platform::Stamp arrived) { MessageProcessing(d, arrived); };
}

}  // namespace bench
