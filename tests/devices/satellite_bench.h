#pragma once
// A device record on a fake clock and main window with the system log open,
// fed real sentences (framed with their checksum and decoded as received).
#include "bench/devices/console.h"
#include "bench/devices/device_state.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/nmea.h"
#include "bench/devices/system_log.h"
#include "bench/devices/test_machine.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace test {

class SatelliteBench : public ::testing::Test {
protected:
    SatelliteBench() {
        EnsureApp();
        dev.Times = bench::StampClock(clock);
        dev.Host = &host;
        dev.MaxTTFF = 300;
        bench::InstallMessageProcessing(dev);
        bench::OpenSystemLog(clock);
    }
    ~SatelliteBench() override { bench::CloseSystemLog(); }

    // Frames the body ("$GPGSV,...") as a receiver sends it and decodes it.
    void Decode(const std::string& body) {
        line = Sentence(body);
        ASSERT_EQ(bench::NMEA_Msg_Decoding(&host, line), 0) << line;
    }

    // The sentence arrives at the console as the receiver sends it.
    void Receive(const std::string& body) { bench::ConsoleAddChars(dev, Sentence(body), clock.StampNow()); }

    // A time-to-track test as the window starts it, and the receiver's
    // start-up text that the dispatcher recognises as its restart.
    void StartTrackingTest(int16_t satellites, int16_t epochs, int16_t mode = 1) {
        dev.TestMode = mode;
        dev.TTTRKSats = satellites;
        dev.TTTRKTime = epochs;
        dev.TestCommand = "$PQNVCOLD";
        dev.StartupString = "$PQNVRST";
        dev.Ticks = 0;
        dev.TickLimit = 10;
        bench::DeviceTestMachine(dev, bench::EvStop, clock.StampNow());
        bench::DeviceTestMachine(dev, bench::EvStart, clock.StampNow());
        Receive("$PQNVRST,COLD");
    }

    // System-log lines that end with "(routine)".
    std::vector<std::string> LogLines(const std::string& routine) const {
        std::vector<std::string> out;
        std::string text = ReadFileBytes(bench::SystemLogPath());
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) end = text.size();
            std::string l = text.substr(start, end - start);
            if (l.find("(" + routine + ")") != std::string::npos) out.push_back(l);
            start = end + 2;
        }
        return out;
    }

    std::string Caption(const bench::CellRow& column, int row) const { return column[row]->Text(); }
    std::string Label(int i) const { return dev.PositionData[i]->Text(); }

    TempHome home;
    FakeClock clock;
    FakeBenchHost host;
    bench::DeviceState dev;
    std::string line;
};

}  // namespace test
