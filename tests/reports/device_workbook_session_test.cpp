// A session with the "Excel Interface" option on, run on two scripted
// receivers: each receiver keeps its own workbook with a sheet and a chart per
// test, whose TTFFs are those its results files hold.
#include <QAction>
#include <QDir>

#include <filesystem>
#include <sstream>

#include "bench/devices/comm_window.h"
#include "bench/devices/device_workbook.h"
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

// The TTFF of every line of a results file, in order.
std::vector<double> ResultsTtffs(const std::string& path) {
    std::istringstream in(test::ReadFileBytes(path));
    std::vector<double> out;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) out.push_back(std::strtod(line.c_str(), nullptr));
    return out;
}

// A test of the session: type, trials and the wait between trials (s).
struct TestSpec {
    const char* type;
    const char* trials;
    const char* wait;
};

// Two receivers on ports `port` and `port` + 1 that restart on the one
// command the scripted receiver answers, running `tests` in order.
void SaveConfig(test::TempHome& home, int port, const std::vector<TestSpec>& tests) {
    bench::SystemConfig c = test::TwoReceiverConfig(port);
    for (int s = 0; s < 2; ++s) {
        c.Devices[s].ColdC = "$PQNVCOLD";
        c.Devices[s].HotC = "$PQNVCOLD";
    }
    for (size_t i = 0; i < tests.size(); ++i) {
        bench::TestEditorValues v;
        v.type = tests[i].type;
        v.testField = {tests[i].trials, tests[i].wait, tests[i].wait, "6", "10"};
        c.TestLines[i] = bench::BuildTestLine(v);
        bench::ParseTestLine(c.TestLines[i], c.Tests[i]);
        c.Tests[i].Enabled = bench::FlagSet;
    }
    ASSERT_TRUE(bench::SaveSystemConfig(home.File("Config.dat"), c).ok);
}

TEST(DeviceWorkbookSession, ColdAndHotTestsFillEachReceiversWorkbook) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::ScriptedReceiver::Script script;
        script.fix_delays_ms = s == 0 ? std::vector<int>{1100, 1500, 900, 700, 1300, 1000}
                                      : std::vector<int>{1400, 800, 1200, 1000, 600, 1500};
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(script));
        receivers.back()->RegisterPort(s + 7);
    }
    const char* types[] = {"COLD", "HOT"};
    const std::vector<TestSpec> tests{{"COLD", "3", "1"}, {"HOT", "3", "1"}};
    ASSERT_NO_FATAL_FAILURE(SaveConfig(home, 7, tests));

    bench::CommWindowFactory factory;
    reptest::SessionRun run = reptest::RunSession(factory, home, "ExelInterface", 90000);
    ASSERT_FALSE(run.folder.empty());
    ASSERT_TRUE(run.top->State().Options.ExelInterface);
    bench::WaitForWorkbookSaves();
    const std::string session = run.folder;
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string folder = session + "/" + name;
        const std::string file = folder + "/" + name + "_Device.xlsx";
        ASSERT_TRUE(fs::exists(file));
        if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
        wbtest::FileView f = wbtest::ReadBack(file, home.Path());
        EXPECT_EQ(f.sheets, (std::vector<std::string>{"Sheet1", "COLD_Data", "COLD_Chart", "HOT_Data", "HOT_Chart"}));
        for (const char* type : types) {
            SCOPED_TRACE(type);
            const std::vector<double> ttffs =
                ResultsTtffs(folder + "/" + name + "_TTFF_" + type + "_NMEA_Results.txt");
            ASSERT_EQ(ttffs.size(), 3u);
            const std::string sheet = std::string(type) + "_Data";
            for (int t = 1; t <= 3; ++t) {
                const std::string cell = sheet + "!C" + std::to_string(t + 1);
                ASSERT_EQ(f.formulas.count(cell), 1u) << cell;
                EXPECT_DOUBLE_EQ(wbtest::AsDouble(f.formulas[cell]), ttffs[static_cast<size_t>(t - 1)]) << cell;
                // The fix's position went in beside it.
                EXPECT_NEAR(wbtest::AsDouble(f.formulas[sheet + "!E" + std::to_string(t + 1)]), 48 + 7.038 / 60, 1e-6);
            }
            EXPECT_EQ(f.formulas.count(sheet + "!C5"), 0u);
            EXPECT_EQ(wbtest::AsDouble(f.cached[sheet + "!B1"]), 3);
            bool chart = false;
            for (const std::string& part : f.chartParts)
                if (part.rfind("lineChart|", 0) == 0 && part.find(sheet + "!$C$2:$C$4") != std::string::npos)
                    chart = true;
            EXPECT_TRUE(chart) << "the TTFF chart of " << sheet;
        }
    }
    run.top.reset();
    dialogs_test::ResetPrompts();
}

// The values 5 s and 10 s after a fix go into the row of the trial whose fix
// they follow. With a 1 s wait the next restart comes first: those cells stay
// empty, and the first trial's snapshot times, which fall into the second
// trial's long search, put nothing into the second trial's row. With a 12 s
// wait both snapshots are taken, in their own row.
TEST(DeviceWorkbookSession, SnapshotsAfterTheFixGoToTheTrialWhoseFixTheyFollow) {
    dialogs_test::ResetPrompts();
    test::TempHome home;
    std::vector<std::unique_ptr<test::ScriptedReceiver>> receivers;
    for (int s = 0; s < 2; ++s) {
        test::ScriptedReceiver::Script script;
        // COLD: 1 s, 9 s, 1 s; HOT: 1 s, 1 s.
        script.fix_delays_ms = {1000, 9000, 1000, 1000, 1000};
        receivers.push_back(std::make_unique<test::ScriptedReceiver>(script));
        receivers.back()->RegisterPort(s + 11);
    }
    const std::vector<TestSpec> tests{{"COLD", "3", "1"}, {"HOT", "2", "12"}};
    ASSERT_NO_FATAL_FAILURE(SaveConfig(home, 11, tests));

    bench::CommWindowFactory factory;
    reptest::SessionRun run = reptest::RunSession(factory, home, "ExelInterface", 120000);
    ASSERT_FALSE(run.folder.empty());
    ASSERT_TRUE(run.top->State().Options.ExelInterface);
    bench::WaitForWorkbookSaves();
    const std::string session = run.folder;
    if (!wbtest::HaveOpenpyxl()) GTEST_SKIP() << "python3-openpyxl is missing";
    const double lat = 48 + 7.038 / 60, lon = 11 + 31.0 / 60;
    for (int s = 0; s < 2; ++s) {
        const std::string name = "RCV" + std::to_string(s + 1);
        SCOPED_TRACE(name);
        const std::string file = session + "/" + name + "/" + name + "_Device.xlsx";
        ASSERT_TRUE(fs::exists(file));
        wbtest::FileView f = wbtest::ReadBack(file, home.Path());
        for (int row = 2; row <= 4; ++row) {
            for (const char* col : {"K", "L", "M", "N", "O", "P", "Q", "R", "S", "T", "U", "V"}) {
                const std::string cell = "COLD_Data!" + std::string(col) + std::to_string(row);
                EXPECT_EQ(f.formulas.count(cell), 0u) << cell << " holds " << f.formulas[cell];
            }
            EXPECT_EQ(f.formulas.count("COLD_Data!C" + std::to_string(row)), 1u) << "the trial itself is there";
        }
        for (int row = 2; row <= 3; ++row) {
            const std::string r = std::to_string(row);
            // Latitude, longitude and status of the fix, 5 s and then 10 s on.
            EXPECT_NEAR(wbtest::AsDouble(f.formulas["HOT_Data!K" + r]), lat, 1e-6) << r;
            EXPECT_NEAR(wbtest::AsDouble(f.formulas["HOT_Data!L" + r]), lon, 1e-6) << r;
            EXPECT_EQ(wbtest::AsDouble(f.formulas["HOT_Data!P" + r]), 1) << r;
            EXPECT_NEAR(wbtest::AsDouble(f.formulas["HOT_Data!Q" + r]), lat, 1e-6) << r;
            EXPECT_NEAR(wbtest::AsDouble(f.formulas["HOT_Data!R" + r]), lon, 1e-6) << r;
            EXPECT_EQ(wbtest::AsDouble(f.formulas["HOT_Data!V" + r]), 1) << r;
        }
        EXPECT_EQ(f.formulas.count("HOT_Data!K4"), 0u);
    }
    run.top.reset();
    dialogs_test::ResetPrompts();
}

}  // namespace
