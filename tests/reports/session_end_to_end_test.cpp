// A whole session on two scripted receivers with the automatic reports
// switched on from the menu: each receiver's folder ends with its report
// workbook, built from the results file the session really wrote.
#include <QAction>
#include <QDir>

#include <filesystem>
#include <fstream>

#include "bench/devices/background_saves.h"
#include "bench/devices/comm_window.h"
#include "bench/session/benchtop.h"
#include "bench/session/config.h"
#include "bench/session/device_windows.h"
#include "bench/session/test_line.h"
#include "tests/reports/report_bench.h"
#include "tests/session/dialogs_ui.h"
#include "tests/support/qt_app.h"
#include "tests/support/scripted_receiver.h"
#include "tests/support/two_receivers.h"

namespace {

namespace fs = std::filesystem;

// A two-trial COLD session on two scripted receivers with the automatic
// reports switched on from the menu; `session` is its folder once it ended.
class SessionReports : public ::testing::Test {
protected:
    void SetUp() override { dialogs_test::ResetPrompts(); }
    void TearDown() override {
        top.reset();
        dialogs_test::ResetPrompts();
    }
    void RunColdSession(int firstPort, const std::vector<test::ScriptedReceiver::Script>& scripts, int16_t maxTtff) {
        for (size_t s = 0; s < scripts.size(); ++s) {
            receivers.push_back(std::make_unique<test::ScriptedReceiver>(scripts[s]));
            receivers.back()->RegisterPort(firstPort + static_cast<int>(s));
        }
        bench::SystemConfig c = test::TwoReceiverConfig(firstPort);
        for (int s = 0; s < 2; ++s) c.Devices[s].ColdC = "$PQNVCOLD";
        test::SetFirstTest(c, test::ColdTestLine(2, 1, 1));
        ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);

        top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
        top->show();
        dialogs_test::Click(&top->ConfigDialog(), "Save_Command");
        ASSERT_NE(top->NmeaWindow(1), nullptr);
        top->SetMaxAcceptableTTFF(maxTtff);
        QAction* auto_reports = top->Entry("AutoRepGen");
        ASSERT_TRUE(auto_reports && auto_reports->isVisible());
        auto_reports->trigger();
        ASSERT_TRUE(top->State().Options.AutoRepGen);

        top->Entry("exectest")->trigger();
        ASSERT_TRUE(test::WaitFor([&] { return top->StatusText(1) == "Test Session Completed"; }, 60000))
            << top->StatusText(1) << " / " << top->StatusText(2);
        // The reports' files go to disk in the background.
        bench::WaitForWorkbookSaves();
        const QStringList sessions = QDir(QString::fromStdString(home.File("GPS_TEST")))
                                         .entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        ASSERT_EQ(sessions.size(), 1);
        session = home.File("GPS_TEST/" + sessions[0].toStdString());
    }

    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    bench::CommWindowFactory factory;
    std::unique_ptr<bench::Benchtop> top;
    std::string session;
};

TEST_F(SessionReports, AColdSessionEndsWithAReportWorkbookPerReceiver) {
    std::vector<test::ScriptedReceiver::Script> scripts(2);
    scripts[0].fix_delays_ms = {1100, 1600};
    scripts[1].fix_delays_ms = {1400, 900};
    ASSERT_NO_FATAL_FAILURE(RunColdSession(5, scripts, 20));
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string report = session + "/" + name + "/" + name + ".xlsx";
        ASSERT_TRUE(fs::exists(report));
        EXPECT_FALSE(fs::exists(session + "/" + name + "/.~" + name + ".xlsx")) << "the unfinished copy is gone";
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
}

// One receiver fixes only in its first trial, the other never: the second
// trial's time-out must not log the first trial's GGA, and the reports of
// both tell the truth about the trials without a fix.
TEST_F(SessionReports, TrialsThatEndWithoutAFixHaveNoPositionInTheFilesOrTheReports) {
    std::vector<test::ScriptedReceiver::Script> scripts(2);
    for (auto& script : scripts) script.fix_delays_ms = {1100, 120000};
    scripts[1].fixes = false;
    ASSERT_NO_FATAL_FAILURE(RunColdSession(7, scripts, 2));
    auto lines = [&](const std::string& name) {
        std::vector<std::string> out;
        std::ifstream in(session + "/" + name + "/" + name + "_TTFF_COLD_NMEA_Results.txt", std::ios::binary);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    };
    const std::vector<std::string> rcv1 = lines("RCV1"), rcv2 = lines("RCV2");
    ASSERT_EQ(rcv1.size(), 2u);
    ASSERT_EQ(rcv2.size(), 2u);
    const std::string first = receivers[0]->Restarts().at(0).fix_gga;
    EXPECT_EQ(rcv1[0].substr(rcv1[0].rfind('\t') + 1) + "\n", first) << "trial 1 logs its own fix";
    EXPECT_EQ(rcv1[1], "3\t% 2\t\r") << "the time-out of trial 2 has no GGA of its own";
    EXPECT_EQ(rcv2[0], "3\t% 1\t\r");
    EXPECT_EQ(rcv2[1], "3\t% 2\t\r");

    bench::reports::ReportContext& ctx = top->Reports().Context();
    {
        SCOPED_TRACE("RCV1");
        const std::string base = session + "/RCV1/RCV1";
        workbook::Worksheet& ws = ctx.Sheet(base, "COLD");
        EXPECT_EQ(ws.GetRange("U4").GetValue().Number(), 2);
        EXPECT_NEAR(ws.GetRange("U9").GetValue().Number(), 50, 1e-12);
        EXPECT_NEAR(ws.GetRange("M2").GetValue().Number(), 48 + 7.038 / 60, 1e-12) << "the one fix is the mean";
        EXPECT_TRUE(ws.GetRange("D3").GetValue().IsEmpty());
        EXPECT_EQ(ws.GetRange("U14").GetValue().Number(), 0);
        EXPECT_NE(ctx.Book(base).FindSheet("COLD Position Chart"), nullptr);
    }
    {
        SCOPED_TRACE("RCV2");
        const std::string base = session + "/RCV2/RCV2";
        workbook::Worksheet& ws = ctx.Sheet(base, "COLD");
        EXPECT_EQ(ws.GetRange("U4").GetValue().Number(), 2);
        EXPECT_NEAR(ws.GetRange("U9").GetValue().Number(), 100, 1e-12);
        for (const char* cell : {"U10", "U14", "M2", "O2"})
            EXPECT_TRUE(ws.GetRange(cell).GetValue().IsEmpty()) << cell << " " << ws.GetRange(cell).GetValue().ToString();
        EXPECT_EQ(ctx.Book(base).FindSheet("COLD CEP Chart"), nullptr);
        EXPECT_EQ(ctx.Book(base).FindSheet("COLD Position Chart"), nullptr);
        if (wbtest::HaveOpenpyxl()) {
            wbtest::FileView f = wbtest::ReadBack(base + ".xlsx", home.Path());
            EXPECT_EQ(f.cached["COLD!U4"], "2");
            EXPECT_TRUE(f.cached["COLD!U10"].empty() || f.cached["COLD!U10"] == "None") << f.cached["COLD!U10"];
            if (wbtest::HaveSsconvert()) {
                EXPECT_GT(reptest::ExpectRecalculationAgrees(f, base + ".xlsx", home.Path(), 1e-6), 5);
            }
        }
    }
}

}  // namespace
