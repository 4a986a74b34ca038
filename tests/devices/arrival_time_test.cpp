// What a restart test measures is the receiver's own timing, whatever holds
// the windows' thread (a long layout, a workbook being written, a slow X
// server): the receivers run on threads of their own behind real
// pseudo-terminals, the device windows are shown, and the windows' thread is
// held in one blocking sleep just as a receiver writes its start-up text or
// its fix.
#include "bench/devices/comm_window.h"
#include "platform/comm/serial_port.h"
#include "platform/core/numtext.h"
#include "tests/support/fakes.h"
#include "tests/support/qt_app.h"
#include "tests/support/threaded_receiver.h"

#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace bench;

namespace {

constexpr int kHoldMs = 700;

struct Receiver {
    Receiver(int port, int fix_delay_ms, test::FakeBenchHost& host, const std::string& name)
        : gps({.fix_delay_ms = fix_delay_ms, .gga_interval_ms = 100}), window(std::make_unique<CommWindow>(&host)) {
        gps.RegisterPort(port);
        window->SetDeviceName(name);
        window->SetGPSStartupString("$PQNVRST");
        window->SetDeviceMaxAcceptableTTFF(60);
        window->SetDeviceComParams(static_cast<int16_t>(port), 115200);
        window->show();
        window->OpenPort_Click();
    }
    test::ThreadedReceiver gps;
    std::unique_ptr<CommWindow> window;
};

}  // namespace

TEST(ArrivalTimes, TtffsAreTheReceiversOwnWhenTheWindowsThreadIsHeldAtTheirFixOrRestart) {
    test::TempHome home;
    test::FakeBenchHost host;
    std::array<std::unique_ptr<Receiver>, 2> r;
    r[0] = std::make_unique<Receiver>(31, 900, host, "GPS1");
    r[1] = std::make_unique<Receiver>(32, 1100, host, "GPS2");
    for (auto& x : r) ASSERT_TRUE(x->window->Port().PortOpen());
    ASSERT_TRUE(test::WaitFor([&] { return r[0]->window->State().GGACount >= 3 && r[1]->window->State().GGACount >= 3; },
                              5000))
        << "waiting for both receivers' GGA sentences";

    // First the fix of GPS1 comes while the thread is held (and GPS2's
    // during the same hold), then both start-up texts.
    for (const bool at_fix : {true, false}) {
        SCOPED_TRACE(at_fix ? "held at the fix" : "held at the restart");
        if (at_fix) {
            r[0]->gps.SetBeforeFix([] { test::HoldGuiThread(kHoldMs); });
            r[0]->gps.SetBeforeStartup({});
        } else {
            r[0]->gps.SetBeforeFix({});
            r[0]->gps.SetBeforeStartup([] { test::HoldGuiThread(kHoldMs); });
        }
        for (auto& x : r) x->window->ExecuteTest("$PQNVCOLD");
        ASSERT_TRUE(test::WaitFor([&] { return r[0]->window->IsTestCompleted() && r[1]->window->IsTestCompleted(); },
                                  10000))
            << "waiting for both trials to end: " << r[0]->window->State().Console.Status->PanelText(1) << " / "
            << r[1]->window->State().Console.Status->PanelText(1);
        for (auto& x : r) {
            const double written = x->gps.WrittenTtff();
            ASSERT_GT(written, 0) << x->window->State().DeviceName;
            EXPECT_NEAR(x->window->GetTTFF(), written, test::kRealClockMargin)
                << x->window->State().DeviceName << ": the receiver wrote its fix " << written
                << " s after its start-up text; the thread was held " << kHoldMs << " ms";
            EXPECT_EQ(x->window->State().Console.Status->PanelText(1),
                      "FIX AVAILABLE TTFF: " + platform::NumberToText(x->window->GetTTFF()) + " s");
        }
        test::Pump(300);  // a few GGAs with a fix before the next restart
    }
}
