// A session whose folders sit on a small file system that fills up in the
// middle of a trial: the main window, its real device windows, two scripted
// receivers on pseudo-terminals and a tmpfs under the results folder (when
// this process may mount one).
#include <QAction>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/devices/comm_window.h"
#include "bench/devices/system_log.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/small_tmpfs.h"
#include "tests/support/two_receivers.h"

// The disk fills while both receivers talk: the first refused write of each
// log is shown at once in the main window and written to the system log,
// both naming the file; the bytes are kept, and once the disk has room
// again every line is in its log whole, none the splice of two.
TEST(FullDiskEndToEnd, LogsOnADiskThatFillsMidSessionAreToldAtOnceAndKeptWhole) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    test::SmallTmpfs disk(home.File("GPS_TEST"));
    if (!disk.Mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (" << disk.Why() << ")";

    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int port : {3, 4}) {
        test::ScriptedReceiver::Script s;
        s.fix_delays_ms = {2500, 1000};
        s.epoch_ms = 200;
        s.latitude = port % 2 ? "4807.038,N" : "4512.250,N";
        s.longitude = port % 2 ? "01131.000,E" : "00741.875,E";
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(s));
        receivers.back()->RegisterPort(port);
    }
    bench::SystemConfig c = test::TwoReceiverConfig(3);
    for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
    bench::TestEditorValues v;
    v.type = "COLD";
    v.testField = {"2", "1", "1", "6", "10"};
    test::SetFirstTest(c, bench::BuildTestLine(v));
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    auto top = std::make_unique<bench::Benchtop>(factory);
    top->show();
    dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
    top->SetMaxAcceptableTTFF(20);
    auto window = [&](int slot) { return dynamic_cast<bench::CommWindow*>(top->NmeaWindow(slot)); };
    ASSERT_NE(window(0), nullptr);
    ASSERT_NE(window(1), nullptr);
    ASSERT_TRUE(test::WaitFor([&] { return window(0)->State().GGACount > 0 && window(1)->State().GGACount > 0; },
                              3000));
    QAction* start = top->findChild<QAction*>("exectest");
    ASSERT_NE(start, nullptr);
    start->trigger();
    ASSERT_TRUE(test::WaitFor([&] { return window(0)->State().PrimaryOpen && window(1)->State().PrimaryOpen; }, 5000));
    const std::string log1 = window(0)->State().PrimaryFile.Path();
    const std::string log2 = window(1)->State().PrimaryFile.Path();

    ASSERT_TRUE(test::WaitFor(
        [&] { return test::ReadFileBytes(log1).size() > 1000 && test::ReadFileBytes(log2).size() > 1000; }, 5000));
    const size_t sent_at_fill[2] = {receivers[0]->Sent().size(), receivers[1]->Sent().size()};
    disk.Fill();
    const std::string told = "Log not written: " + log1 + " (No space left on device)";
    EXPECT_TRUE(test::WaitFor([&] { return top->StatusText(2).find(told) != std::string::npos; }, 3000))
        << top->StatusText(2);
    test::Pump(1500);  // the spell goes on
    EXPECT_TRUE(top->SessionRunning());
    EXPECT_NE(top->StatusText(2).find("Log not written: " + log2), std::string::npos) << top->StatusText(2);
    const std::string during = test::ReadFileBytes(bench::SystemLogPath());
    for (const std::string& path : {log1, log2}) {
        const std::string line = "Device I/O error (" + path + ": No space left on device)";
        const size_t at = during.find(line);
        EXPECT_NE(at, std::string::npos) << "written at once: " << line << "\n" << during;
        EXPECT_EQ(during.find(line, at + 1), std::string::npos) << "once";
    }
    EXPECT_GT(window(0)->State().PrimaryFile.Unwritten(), 0u) << "the refused bytes wait";
    disk.Free();
    const size_t sent_at_free[2] = {receivers[0]->Sent().size(), receivers[1]->Sent().size()};

    ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 30000))
        << top->StatusText(1) << " / " << top->StatusText(2);
    EXPECT_NE(top->StatusText(2).find("SESSION INCOMPLETE"), std::string::npos) << top->StatusText(2);
    for (int s = 0; s < 2; ++s) {
        const std::string path = s == 0 ? log1 : log2;
        SCOPED_TRACE(path);
        const std::string log = test::ReadFileBytes(path);
        ASSERT_GT(log.size(), 5000u) << "the spell came in the middle of the log";
        const size_t at = receivers[static_cast<size_t>(s)]->Sent().find(log);
        ASSERT_NE(at, std::string::npos) << "the log is a stretch of what the receiver sent, nothing left out";
        EXPECT_LT(at, sent_at_fill[static_cast<size_t>(s)]);
        EXPECT_GT(at + log.size(), sent_at_free[static_cast<size_t>(s)]) << "it goes on past the spell";
        const std::vector<std::string> sent = test::SplitLines(receivers[static_cast<size_t>(s)]->Sent());
        const std::set<std::string> lines(sent.begin(), sent.end());
        for (const std::string& line : test::SplitLines(log))
            ASSERT_TRUE(lines.count(line)) << "not a line the receiver sent, a splice: " << line;
    }
    top.reset();
    dialogs_test::ResetPrompts();
}
