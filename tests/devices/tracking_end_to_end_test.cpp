// A time-to-track test end to end through a real serial port: an emulated
// receiver on a pseudo-terminal answers the restart command and brings its
// satellites into track one by one, as scripted; the bench must end the test
// when the wanted number has been tracked for the wanted epochs, and its time
// to acquire and time to use must be what the receiver did.
//
// The receiver's epochs are one second apart on the bench's clock: the clock
// moves on by a second with every GGA the bench receives, so the expected
// times follow from the script exactly while the bytes go through the port.
#include "bench/devices/console.h"
#include "bench/devices/dispatch.h"
#include "bench/devices/nmea.h"
#include "bench/devices/sat_sentences.h"
#include "bench/devices/test_machine.h"
#include "bench/devices/tracking_results.h"
#include "platform/comm/serial_port.h"
#include "tests/support/emulated_receiver.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace bench;

namespace {

struct ScriptedSatellite {
    int id;
    int acquired;  // first tracked epoch after the restart
    int used;      // first epoch in the fix
};

// Streams whole epochs (GGA, GSA, GSV group, RMC). Before any restart every
// satellite is tracked and used; the restart command brings the start-up
// text, and from then on a satellite is listed untracked until its epoch.
class TrackingReceiver : public test::EmulatedReceiver {
public:
    TrackingReceiver(std::vector<ScriptedSatellite> script, int interval_ms) : script_(std::move(script)) {
        OnCommand("$PQNVCOLD", [this](EmulatedReceiver&, const std::string&) {
            Write(test::Sentence("$PQNVRST,COLD,EMU 3.1"));
            epoch_ = 0;
            restarted_ = true;
        });
        StartStream([this] { return NextEpoch(); }, interval_ms);
    }
    ~TrackingReceiver() override { StopStream(); }
    int Epoch() const { return epoch_; }

private:
    static std::string Two(int v) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02d", v);
        return buf;
    }
    std::string NextEpoch() {
        ++epoch_;
        const bool fix = !restarted_ || epoch_ >= 4;
        std::string out = test::Sentence(fix ? "$GPGGA,120000.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,"
                                             : "$GPGGA,120000.00,,,,,0,00,99.9,,M,,M,,");
        std::string gsa = "$GPGSA,A," + std::string(fix ? "3" : "1");
        int slots = 0;
        for (const auto& s : script_)
            if (!restarted_ || epoch_ >= s.used) {
                gsa += "," + Two(s.id);
                ++slots;
            }
        for (; slots < 12; ++slots) gsa += ",";
        out += test::Sentence(gsa + ",2.5,1.3,2.1");
        const int total = (static_cast<int>(script_.size()) + 3) / 4;
        for (int m = 0; m < total; ++m) {
            std::string gsv = "$GPGSV," + std::to_string(total) + "," + std::to_string(m + 1) + "," +
                              Two(static_cast<int>(script_.size()));
            for (size_t i = m * 4; i < std::min(script_.size(), static_cast<size_t>(m * 4 + 4)); ++i) {
                const auto& s = script_[i];
                const bool tracked = !restarted_ || epoch_ >= s.acquired;
                gsv += "," + Two(s.id) + ",40,120," + (tracked ? std::to_string(30 + s.id % 15) : "");
            }
            out += test::Sentence(gsv);
        }
        return out + test::Sentence("$GPRMC,120000.00,A,4807.038,N,01131.000,E,0.5,12.0,091226,,");
    }

    std::vector<ScriptedSatellite> script_;
    int epoch_ = 0;
    bool restarted_ = false;
};

struct Bench {
    explicit Bench(int port_number) {
        dev.Clock = &clock;
        dev.Host = &host;
        dev.Console.Port = &port;
        dev.StartupString = "$PQNVRST";
        dev.MaxTTFF = 300;
        port.SetReceiveHandler([this] { CommPortRead(dev); });
        port.SetRThreshold(1);
        CommPortSetup(dev, static_cast<int16_t>(port_number), 115200);
        InstallMessageProcessing(dev);
        auto dispatch = dev.MessageProcessing;
        dev.MessageProcessing = [this, dispatch](DeviceState& d) {
            if (d.Console.Lines[static_cast<size_t>(d.Console.Current)].rfind("$GPGGA", 0) == 0)
                clock.AdvanceSeconds(1);
            dispatch(d);
        };
        CommPortOpen(dev);
    }
    // What the window does for a time-to-track trial.
    void Execute(int16_t satellites, int16_t epochs) {
        DeviceSetTestMode(dev, 1);
        DeviceSetTTTRKParameters(dev, satellites, epochs);
        dev.TestCommand = "$PQNVCOLD";
        dev.Ticks = 0;
        dev.TickLimit = 10;
        DeviceTestMachine(dev, EvStop);
        DeviceTestMachine(dev, EvStart);
    }
    int Row(int id) const {
        for (int r = 0; r < 32; ++r)
            if (dev.SatId[r]->Text() == std::to_string(id)) return r;
        return -1;
    }
    test::FakeClock clock;
    test::FakeBenchHost host;
    platform::SerialPort port;
    DeviceState dev;
};

}  // namespace

TEST(TrackingEndToEnd, SatellitesTrackedOneByOneCompleteTheTestAndTheirTimes) {
    test::TempHome home;
    // GLONASS 70 is tracked from the first epoch; the goal counts GPS only.
    const std::vector<ScriptedSatellite> script = {
        {3, 2, 3}, {11, 3, 5}, {19, 5, 6}, {27, 8, 11}, {70, 1, 2}};
    TrackingReceiver gps(script, 25);
    gps.RegisterPort(11);
    Bench b(11);
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.GGACount >= 3; }));
    b.dev.StartupDelay = 1.5;

    b.Execute(4, 5);
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000)) << b.dev.Console.Status->PanelText(1);
    // The fourth GPS satellite is tracked from epoch 8 on, 8 s after the
    // restart; the goal is seen at its fifth tracked epoch, but the receiver
    // tracked the four from epoch 8: 8 s plus the delay.
    EXPECT_DOUBLE_EQ(b.dev.TTFF, 8 + 1.5);
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "TRACKED 4 SATS FOR 5s IN: 9.5 s");
    EXPECT_EQ(b.dev.TestState, Idle);

    // Every satellite enters the statistics at its tenth tracked and tenth used epoch.
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.Sats[27].T2USamples == 1; }, 5000)) << gps.Epoch();
    for (const auto& s : script) {
        const SatDBEntry& e = b.dev.Sats[s.id];
        EXPECT_EQ(e.T2ASamples, 1) << s.id;
        EXPECT_EQ(e.T2AMean, s.acquired) << s.id;
        EXPECT_EQ(e.T2AMin, s.acquired) << s.id;
        EXPECT_EQ(e.T2USamples, 1) << s.id;
        EXPECT_EQ(e.T2UMean, s.used - s.acquired) << s.id;
        EXPECT_EQ(e.T2UMax, s.used - s.acquired) << s.id;
        const int row = b.Row(s.id);
        ASSERT_GE(row, 0) << s.id;
        EXPECT_EQ(b.dev.Tim[row]->Text(), std::to_string(s.acquired)) << s.id;
        EXPECT_EQ(b.dev.T2U[row]->Text(), std::to_string(s.used - s.acquired)) << s.id;
    }
    EXPECT_EQ(b.dev.PositionData[15]->Text(), "5");
    EXPECT_EQ(b.dev.TrackedNow, 4) << "GPS satellites, as the goal counts them";
    EXPECT_EQ(DeviceGetNSatsStableTracking(b.dev, 10), 4);
}

TEST(TrackingEndToEnd, GoalNotReachedEndsAtTheMaximumTime) {
    test::TempHome home;
    TrackingReceiver gps({{5, 2, 3}, {6, 40, 41}}, 20);
    gps.RegisterPort(12);
    Bench b(12);
    b.dev.MaxTTFF = 10;
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.GGACount >= 2; }));
    b.Execute(2, 3);
    ASSERT_TRUE(test::WaitFor([&] { return b.dev.TestCompleted; }, 5000)) << b.dev.Console.Status->PanelText(1);
    EXPECT_EQ(b.dev.Console.Status->PanelText(1), "NO FIX AVAILABLE IN 10 s")
        << "a fix does not end a time-to-track test; only the time-out does";
    EXPECT_EQ(b.dev.TTFF, -1) << "a goal not reached within the bound is a failed trial";
}
