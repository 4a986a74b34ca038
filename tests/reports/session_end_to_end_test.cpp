// A whole session on two scripted receivers with the automatic reports
// switched on from the menu: each receiver's folder ends with its report
// workbook, built from the results file the session really wrote.
#include <QAction>
#include <QDir>

#include <filesystem>

#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/reports/report_bench.h"
#include "tests/reports/session_run.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

namespace fs = std::filesystem;

TEST(SessionReports, AColdSessionEndsWithAReportWorkbookPerReceiver) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::ScriptedReceiver::Script script;
        script.fix_delays_ms = s == 0 ? std::vector<int>{1100, 1600} : std::vector<int>{1400, 900};
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(script));
        receivers.back()->RegisterPort(s + 5);
    }
    bench::SystemConfig c = test::TwoReceiverConfig(5);
    for (int s = 0; s < 2; ++s) {
        c.Devices[s].ColdC = "$PQNVCOLD";
    }
    bench::TestEditorValues v;
    v.type = "COLD";
    v.testField = {"2", "1", "1", "6", "10"};
    test::SetFirstTest(c, bench::BuildTestLine(v));
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

    bench::CommWindowFactory factory;
    reptest::SessionRun run = reptest::RunSession(factory, home, "AutoRepGen", 45000,
                                                  [](bench::Benchtop& top) { top.SetMaxAcceptableTTFF(20); });
    ASSERT_FALSE(run.folder.empty());
    bench::Benchtop* top = run.top.get();
    ASSERT_TRUE(top->State().Options.AutoRepGen);
    const std::string session = run.folder;
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string report = session + "/" + name + "/" + name + ".xlsx";
        ASSERT_TRUE(fs::exists(report));
        workbook::Workbook* wb = top->Reports().Context().App().FindWindow(report);
        ASSERT_NE(wb, nullptr) << "kept open for a later report of the same receiver";
        workbook::Worksheet& ws = top->Reports().Context().Sheet(session + "/" + name + "/" + name, "COLD");
        EXPECT_EQ(ws.GetRange("U4").GetValue().Number(), 2);
        const auto& restarts = receivers[static_cast<size_t>(s)]->Restarts();
        ASSERT_EQ(restarts.size(), 2u);
        for (int k = 0; k < 2; ++k)
            EXPECT_NEAR(ws.ValueAt(k + 2, 1).Number(), restarts[static_cast<size_t>(k)].delay_ms / 1000.0,
                        test::kRealClockMargin);
        EXPECT_NE(wb->FindSheet("COLD Position Chart"), nullptr);
        if (wbtest::HaveOpenpyxl()) {
            wbtest::FileView f = wbtest::ReadBack(report, home.Path());
            ASSERT_GE(f.sheets.size(), 6u);
            EXPECT_EQ(f.sheets[0], "COLD");
            EXPECT_EQ(f.sheets[5], "COLD Position Chart");
        }
    }
    run.top.reset();
    dialogs_test::ResetPrompts();
}

}  // namespace
