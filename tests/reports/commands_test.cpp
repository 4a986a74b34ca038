// The report commands as a user runs them: the menu entry with its file
// dialog and questions (answered through the prompt service), the progress
// window, the start-up option that shows the entry, and the reports built at
// the end of a session.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <numeric>
#include <regex>
#include <sstream>

#include "bench/devices/background_saves.h"
#include "bench/devices/system_log.h"
#include "bench/reports/report_commands.h"
#include "bench/session/small_dialogs.h"
#include "tests/reports/report_bench.h"
#include "tests/session/benchtop_fixture.h"
#include "tests/support/keyboard.h"

namespace {

using namespace reptest;
using platform::Answer;
namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool AskedContains(const std::string& what) {
    for (const std::string& q : platform::Prompts::Instance().Asked())
        if (q.find(what) != std::string::npos) return true;
    return false;
}

class MenuRoad : public benchtop_test::BenchtopTest {
protected:
    bench::Benchtop& OpenAll() {
        top = std::make_unique<bench::Benchtop>(factory, nullptr, bench::BenchtopOptions{true});
        top->show();
        top->Reports().SetOpener([this](const std::string& f) {
            opened.push_back(f);
            return true;
        });
        return *top;
    }
    std::string Results(const std::string& name, const std::vector<double>& ttffs) {
        const std::string file = home->File(name);
        wbtest::WriteFile(file, ResultsText(Ttffs(ttffs)));
        return file;
    }
    void Run() {
        QAction* entry = top->Entry("GenerateExcelReport");
        ASSERT_NE(entry, nullptr);
        entry->trigger();
        // The report is built from the event loop once the progress window shows.
        ASSERT_TRUE(test::WaitFor([&] { return !top->Reports().Busy(); }, 10000));
    }
    workbook::Workbook* OpenBook(const std::string& file) {
        return top->Reports().Context().HasApp() ? top->Reports().Context().App().FindWindow(file) : nullptr;
    }
    std::vector<std::string> opened;
};

TEST_F(MenuRoad, PickedFileBecomesAReportBesideItAndNoClosesIt) {
    OpenAll();
    const std::string file = Results("RCV1_TTFF_cold_NMEA_Results.txt", {30, 41.5, 28, 35});
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    const std::string report = home->File("RCV1_TTFF_cold_NMEA_Results.xlsx");
    ASSERT_TRUE(fs::exists(report));
    EXPECT_TRUE(AskedContains(
        "Test Session Completed: Test session succesfully competed.Clik \"YES\" to view Excel Report,\"NO\" to close"));
    EXPECT_EQ(OpenBook(report), nullptr) << "No closes the report";
    EXPECT_TRUE(opened.empty());
    auto& bar = top->Reports().Bar();
    EXPECT_FALSE(bar.isVisible());
    EXPECT_EQ(bar.Max(), 15);
    EXPECT_EQ(bar.Value(), 15);
    EXPECT_EQ(bar.windowTitle().toStdString(), "Please wait....");
    REQUIRE_OPENPYXL();
    wbtest::FileView v = wbtest::ReadBack(report, home->Path());
    ASSERT_FALSE(v.sheets.empty());
    EXPECT_EQ(v.sheets[0], "COLD") << "the start type found in the name, in capitals";
    EXPECT_EQ(v.cached["COLD!U4"], "4");
}

TEST_F(MenuRoad, YesOpensTheSavedReportWithTheDesktopApplication) {
    OpenAll();
    const std::string file = Results("a_COLD_and_HOT_NMEA_Results.txt", {3, 4, 5});
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::Yes);
    Run();
    const std::string report = home->File("a_COLD_and_HOT_NMEA_Results.xlsx");
    ASSERT_EQ(opened, std::vector<std::string>{report});
    workbook::Workbook* wb = OpenBook(report);
    ASSERT_NE(wb, nullptr) << "the report stays open";
    EXPECT_TRUE(wb->Saved());
    EXPECT_EQ(wb->Sheets(1).Name(), "HOT") << "the last start type found wins";
}

TEST_F(MenuRoad, AnExistingReportIsOnlyReplacedWhenTheUserSaysSo) {
    OpenAll();
    const std::string file = Results("b_WARM_NMEA_Results.txt", {3, 4, 5});
    const std::string report = home->File("b_WARM_NMEA_Results.xlsx");
    wbtest::WriteFile(report, "an older report");
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    EXPECT_TRUE(AskedContains("WARNING!!!: Report ALREADY EXISTS, do you want overwrite it?"));
    EXPECT_EQ(Slurp(report), "an older report");
    EXPECT_FALSE(AskedContains("Test Session Completed"));

    // Yes replaces it, also while an earlier report of that name is still open.
    p.QueueFileName(file);
    p.QueueAnswer(Answer::Yes);
    p.QueueAnswer(Answer::Yes);
    Run();
    ASSERT_NE(OpenBook(report), nullptr);
    p.QueueFileName(file);
    p.QueueAnswer(Answer::Yes);
    p.QueueAnswer(Answer::No);
    Run();
    EXPECT_EQ(OpenBook(report), nullptr);
    EXPECT_EQ(top->Reports().Context().App().WorkbookCount(), 0) << "no stale copy left open";
    EXPECT_NE(Slurp(report), "an older report");
}

TEST_F(MenuRoad, ANameWithoutStartTypeOrACancelledDialogMakesNothing) {
    OpenAll();
    const std::string file = Results("c_BAD_POSITION_NMEA_Results.txt", {3, 4, 5});
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    Run();
    EXPECT_TRUE(AskedContains("no start type"));
    EXPECT_FALSE(fs::exists(home->File("c_BAD_POSITION_NMEA_Results.xlsx")));
    p.ClearAsked();
    Run();  // cancelled: no file queued
    EXPECT_EQ(p.Asked().size(), 1u) << "only the dialog itself";
}

TEST_F(MenuRoad, AFailingStepIsShownTheWorkbookClosedAndTheBenchRunsOn) {
    OpenAll();
    const std::string file = home->File("d_COLD_NMEA_Results.txt");
    wbtest::WriteFile(file, "12.5\t1\t3\t% 08:30:15% 1\t40\r\n");
    platform::Prompts::Instance().QueueFileName(file);
    Run();
    EXPECT_TRUE(AskedContains("holds no TTFF results line"));
    EXPECT_TRUE(AskedContains("d_COLD_NMEA_Results.txt line 1"));
    EXPECT_FALSE(top->Reports().Bar().isVisible());
    EXPECT_EQ(OpenBook(home->File("d_COLD_NMEA_Results.xlsx")), nullptr);
    EXPECT_FALSE(fs::exists(home->File("d_COLD_NMEA_Results.xlsx"))) << "a refused file leaves no report behind";
    EXPECT_NE(Slurp(bench::SystemLogPath()).find("(GenerateExcelReport_Click)"), std::string::npos);
    EXPECT_TRUE(top->isVisible());
}

// The box that ends a report names every statistic and chart the saved
// report does not give, and why, and no other: one trial, no valid TTFF,
// a single one, no position, or everything there.
TEST_F(MenuRoad, TheLastBoxNamesEveryStatisticAndChartTheReportCannotGive) {
    REQUIRE_OPENPYXL();
    OpenAll();
    std::vector<Fix> one = Ttffs({31.5});
    const std::string failed = NoFixLine("301", 1) + NoFixLine("-1", 2) + NoFixLine("301", 3);
    std::vector<Fix> single = Ttffs({42.25});
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> why;  // what the box says of the sheet
    } cases[] = {
        {"one_TTFF_COLD_NMEA_Results", ResultsText(one), {"COLD: one trial only"}},
        {"failed_TTFF_COLD_NMEA_Results", failed,
         {"COLD: no trial has a valid TTFF (a fix within 300 s)", "COLD: no trial has a position"}},
        {"single_TTFF_COLD_NMEA_Results", ResultsText(single) + NoFixLine("-1", 2) + NoFixLine("301", 3),
         {"COLD: one trial only has a valid TTFF (a fix within 300 s)"}},
        {"all_TTFF_COLD_NMEA_Results", ResultsText(Ttffs({30, 41.5, 28, 35})), {}},
    };
    const struct {
        const char* cell;
        const char* label;
    } statistics[] = {{"U5", "AVERAGE"}, {"U6", "MAX"}, {"U7", "MIN"}, {"U8", "ST_DEV"}, {"U9", "% No Fix"},
                      {"U10", "CEP 50"}};
    const struct {
        const char* sheet;
        const char* name;
    } charts[] = {{"COLD HISTOGRAMM", "histogram"}, {"COLD CDF Chart", "CDF"}, {"COLD CEP Chart", "CEP"},
                  {"COLD TTFF Chart", "TTFF"}, {"COLD Position Chart", "position"}};
    auto& p = platform::Prompts::Instance();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = home->File(std::string(c.name) + ".txt");
        wbtest::WriteFile(file, c.text);
        p.ClearAsked();
        p.QueueFileName(file);
        p.QueueAnswer(Answer::No);
        Run();
        std::string box;
        for (const std::string& q : p.Asked())
            if (q.find("succesfully competed") != std::string::npos) box = q;
        ASSERT_FALSE(box.empty());
        for (const std::string& w : c.why) EXPECT_NE(box.find(w), std::string::npos) << box;
        if (c.why.empty()) EXPECT_EQ(box.find("COLD:"), std::string::npos) << "nothing is left out: " << box;
        // What the box leaves unsaid the saved file gives, and the reverse.
        const std::string notes = box.substr(0, box.find("Test session succesfully"));
        const wbtest::FileView v = wbtest::ReadBack(home->File(std::string(c.name) + ".xlsx"), home->Path());
        for (const auto& st : statistics) {
            const auto it = v.cached.find(std::string("COLD!") + st.cell);
            char* end = nullptr;
            const bool given = it != v.cached.end() && (std::strtod(it->second.c_str(), &end), *end == '\0') &&
                               !it->second.empty();
            const bool named = std::regex_search(notes, std::regex(std::string("(no|no [A-Za-z_%, ]*) ") +
                                                                   (st.label[0] == '%' ? "% No Fix" : st.label) +
                                                                   "\\b"));
            EXPECT_NE(given, named) << st.label << " is " << (given ? "given and named" : "neither given nor named")
                                    << ": " << notes;
        }
        for (const auto& ch : charts) {
            const bool made = std::find(v.sheets.begin(), v.sheets.end(), ch.sheet) != v.sheets.end();
            const bool named = notes.find(std::string(" ") + ch.name + (std::string(ch.name) == "position" ? " chart" : ""))
                               != std::string::npos;
            if (!made) EXPECT_TRUE(named) << ch.sheet << " is not made and not named: " << notes;
            if (c.why.empty()) EXPECT_TRUE(made && !named) << ch.sheet;
        }
    }
}

TEST_F(MenuRoad, LinesThatAreNoResultsLinesAreNamedLeftOutAndCounted) {
    OpenAll();
    const std::string file = home->File("g_COLD_NMEA_Results.txt");
    std::string text;
    std::vector<double> good;
    for (int i = 1; i <= 20; ++i) {
        good.push_back(20 + i);
        text += ResultsLine(Fix{good.back()}, i);
        if (i == 2) text += "garbage without a tab\r\n";                        // line 3
        if (i == 6) text += "47,28\t% 7\t$GPGGA,083015.000,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
        if (i == 10) text += "\r\n";                                            // line 13, blank
    }
    text += "35.5\t% 21\t$GPGGA,0830";  // cut mid-line: line 24
    wbtest::WriteFile(file, text);
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    for (int line : {3, 8, 24})
        EXPECT_TRUE(AskedContains(file + " line " + std::to_string(line))) << line;
    EXPECT_FALSE(AskedContains(file + " line 13")) << "a blank line is no damaged line";
    EXPECT_TRUE(AskedContains("Test session succesfully competed")) << "the report is still built";
    const std::string log = Slurp(bench::SystemLogPath());
    EXPECT_NE(log.find("2 lines are not TTFF results lines"), std::string::npos) << log;
    EXPECT_NE(log.find("1 lines carry a damaged GGA"), std::string::npos) << "the cut line keeps its TTFF: " << log;
    // Every line of the system log is a dated entry, the named lines too.
    std::istringstream entries(log);
    std::string entry;
    int named = 0;
    while (std::getline(entries, entry)) {
        EXPECT_TRUE(std::regex_search(entry, std::regex("^\\d\\d[-/.]\\d\\d[-/.]\\d{4} \\d\\d:\\d\\d:\\d\\d : ")))
            << entry;
        if (entry.find(file + " line ") != std::string::npos) ++named;
    }
    EXPECT_GE(named, 3);

    REQUIRE_OPENPYXL();
    wbtest::FileView v = wbtest::ReadBack(home->File("g_COLD_NMEA_Results.xlsx"), home->Path());
    EXPECT_EQ(v.cached["COLD!U4"], "21");
    EXPECT_EQ(v.cached["COLD!T2"], "Lines left out");
    EXPECT_EQ(v.cached["COLD!U2"], "2");
    for (int r = 2; r <= 21; ++r) {
        EXPECT_EQ(wbtest::AsDouble(v.cached["COLD!A" + std::to_string(r)]), good[r - 2]) << r;
        EXPECT_EQ(v.cached["COLD!C" + std::to_string(r)], "08:30:15") << r;
    }
    EXPECT_EQ(wbtest::AsDouble(v.cached["COLD!A22"]), 35.5) << "the trial whose line was cut";
    EXPECT_EQ(v.cached["COLD!C22"], "GGA damaged, line 24");
    EXPECT_TRUE(v.cached["COLD!A23"].empty() || v.cached["COLD!A23"] == "None");
    EXPECT_NEAR(wbtest::AsDouble(v.cached["COLD!U9"]), 0, 1e-12);
    // The CDF reaches 1 with the 20 trials; the CEP section is there.
    double last = 0;
    for (int r = 2; v.cached.count("COLD!Y" + std::to_string(r)); ++r)
        last = wbtest::AsDouble(v.cached["COLD!Y" + std::to_string(r)]);
    EXPECT_NEAR(last, 1, 1e-12);
    EXPECT_EQ(wbtest::AsDouble(v.cached["COLD!U14"]), 0);
    EXPECT_NE(std::find(v.sheets.begin(), v.sheets.end(), "COLD CEP Chart"), v.sheets.end());
}

TEST_F(MenuRoad, AByteOrderMarkAndBlankLinesLoseNoTrialAndRaiseNoWarning) {
    OpenAll();
    const std::string file = home->File("m_COLD_NMEA_Results.txt");
    std::vector<Fix> fixes;
    for (int i = 0; i < 20; ++i) fixes.push_back(Fix{10.0 + i});
    // An editor elsewhere left a byte order mark, a blank line and an empty last line.
    std::string text = "\xEF\xBB\xBF" + ResultsText(fixes);
    text.insert(text.find("% 11") - 6, "\r\n");
    text += "\r\n";
    wbtest::WriteFile(file, text);
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    EXPECT_FALSE(AskedContains("left out")) << "no warning box";
    EXPECT_TRUE(AskedContains("Test session succesfully competed"));
    REQUIRE_OPENPYXL();
    wbtest::FileView v = wbtest::ReadBack(home->File("m_COLD_NMEA_Results.xlsx"), home->Path());
    EXPECT_EQ(v.cached["COLD!U4"], "20") << "the first trial is there";
    EXPECT_EQ(wbtest::AsDouble(v.cached["COLD!A2"]), 10);
    EXPECT_EQ(wbtest::AsDouble(v.cached["COLD!A21"]), 29);
    EXPECT_TRUE(v.cached["COLD!T2"].empty() || v.cached["COLD!T2"] == "None") << "no line left out";
    EXPECT_NEAR(wbtest::AsDouble(v.cached["COLD!U5"]), 19.5, 1e-9);
}

TEST_F(MenuRoad, ARefusedFileLeavesNoReportAndTheNextAttemptAsksNothing) {
    OpenAll();
    const std::string file = home->File("h_COLD_NMEA_Results.txt");
    const std::string report = home->File("h_COLD_NMEA_Results.xlsx");
    auto& p = platform::Prompts::Instance();
    for (const std::string& refused : {std::string("12.5\t1\t3\t% 08:30:15% 1\t40\r\n"),
                                       std::string("\x7f" "ELF\x02\x01\x01\0\0\0\x03\0>\0\x01\0\0\0\x90\x10\0\0", 22)}) {
        wbtest::WriteFile(file, refused);
        p.ClearAsked();
        p.QueueFileName(file);
        Run();
        EXPECT_TRUE(AskedContains("holds no TTFF results line"));
        EXPECT_FALSE(fs::exists(report));
        EXPECT_FALSE(fs::exists(bench::reports::UnfinishedReportFile(report)));
    }
    wbtest::WriteFile(file, ResultsText(Ttffs({30, 40, 50})));
    p.ClearAsked();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    EXPECT_FALSE(AskedContains("ALREADY EXISTS"));
    EXPECT_TRUE(fs::exists(report));
    EXPECT_FALSE(fs::exists(bench::reports::UnfinishedReportFile(report)));
}

TEST_F(MenuRoad, AllMenusShowsTheEntriesTheBenchOtherwiseHides) {
    const char* hiddenMenus[] = {"tool_menu", "SimMan", "ShowRes", "PlayNmeaFile", "DevSerialPTimeout"};
    const char* hiddenEntries[] = {"NewDebugWin", "ExtCtr", "OpenTestSession", "ConfWindow", "NTC", "SBASTEST",
                                   "GGATimeCheck", "gconf", "NewW", "DeviceWatchDogEn", "GGASamp",
                                   "LabSatManagement"};
    Open();
    EXPECT_TRUE(top->Menu("OWindows")->menuAction()->isVisible()) << "the device windows are reached either way";
    for (const char* m : hiddenMenus) EXPECT_FALSE(top->Menu(m)->menuAction()->isVisible()) << m;
    for (const char* e : hiddenEntries) EXPECT_FALSE(top->Entry(e)->isVisible()) << e;
    top.reset();
    OpenAll();
    for (const char* m : hiddenMenus) EXPECT_TRUE(top->Menu(m)->menuAction()->isVisible()) << m;
    for (const char* e : hiddenEntries) EXPECT_TRUE(top->Entry(e)->isVisible()) << e;
    EXPECT_TRUE(top->Entry("GenerateExcelReport")->isVisible());
    EXPECT_TRUE(top->Entry("AutoRepGen")->isVisible());
    EXPECT_FALSE(top->Entry("AutoRepGen")->isChecked()) << "shown, not switched on";
}

// The antenna position as the user types it: degrees, whole minutes and the
// digits after the minutes' decimal point, checked on "submit", and the
// report's reference and errors computed from it.
TEST_F(MenuRoad, TheTypedAntennaPositionIsCheckedOnSubmitAndUsedAsTyped) {
    OpenAll();
    Trigger("SetAntennaCoordinates");
    bench::Coords& coords = top->CoordsWindow();
    ASSERT_TRUE(coords.isVisible());
    EXPECT_EQ(coords.windowTitle().toStdString(), "Antenna Position");
    auto* check = coords.findChild<QCheckBox*>("Check1");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text().toStdString(), "Validate");
    EXPECT_FALSE(check->isChecked());
    auto* submit = coords.findChild<QPushButton*>("Command1");
    ASSERT_NE(submit, nullptr);
    EXPECT_EQ(submit->text().toStdString(), "submit");
    auto* label3 = coords.findChild<QLabel*>("Label3");
    ASSERT_NE(label3, nullptr);
    EXPECT_EQ(label3->text().toStdString(),
              "Insert antenna position and click to validate values.If you don't validate will be considered the "
              "mean Latitude and longitude values. ");
    std::vector<std::string> labels;
    for (QLabel* l : coords.findChildren<QLabel*>()) labels.push_back(l->text().toStdString());
    for (const char* l : {"Latitude", "Longitude", "Degree", "Minutes"})
        EXPECT_NE(std::find(labels.begin(), labels.end(), l), labels.end()) << l;

    auto& p = platform::Prompts::Instance();
    // The preset site is a position the dialog and the reports take.
    dialogs_test::Click(&coords, "Command2");
    EXPECT_EQ(dialogs_test::Text(&coords, "Text3").toStdString(), "3150");
    dialogs_test::Click(&coords, "Check1");
    dialogs_test::Click(&coords, "Command1");
    EXPECT_FALSE(coords.isVisible());
    EXPECT_FALSE(AskedContains("is not a position"));

    // 48 deg 7.038 min N, 11 deg 31 min E; first typed with a decimal point
    // in the decimals box, then with letters: both refused, the dialog stays.
    Trigger("SetAntennaCoordinates");
    const char* typed[] = {"48", "7", "0.038", "11", "31", "000"};
    for (int i = 0; i < 6; ++i) dialogs_test::Type(&coords, QStringLiteral("Text%1").arg(i + 1), typed[i]);
    dialogs_test::Click(&coords, "Command1");
    EXPECT_TRUE(coords.isVisible());
    EXPECT_TRUE(AskedContains("WARNING: The antenna latitude \"48\" \"7\" \"0.038\" is not a position: type the whole "
                              "degrees (0 to 90, with \"-\" or S for the south), the whole minutes (0 to 59) and "
                              "only the digits after the decimal point of the minutes"));
    dialogs_test::Type(&coords, "Text3", "038");
    dialogs_test::Type(&coords, "Text4", "abc");
    dialogs_test::Click(&coords, "Command1");
    EXPECT_TRUE(coords.isVisible());
    EXPECT_TRUE(AskedContains("The antenna longitude \"abc\" \"31\" \"000\" is not a position"));
    dialogs_test::Type(&coords, "Text4", "11");
    dialogs_test::Click(&coords, "Command1");
    EXPECT_FALSE(coords.isVisible());

    // Fixes 2, 5 and 9 thousandths of a minute north of the antenna.
    const char* lats[] = {"4807.0400", "4807.0430", "4807.0470"};
    std::vector<Fix> fixes;
    for (const char* lat : lats) fixes.push_back(Fix{20, "083015.000", lat, "01131.0000"});
    const std::string file = home->File("POS_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(file, ResultsText(fixes));
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    const std::string report = home->File("POS_TTFF_COLD_NMEA_Results.xlsx");
    ASSERT_TRUE(fs::exists(report));
    const double lat0 = 48 + 7.038 / 60, lon0 = 11 + 31.0 / 60;
    REQUIRE_OPENPYXL();
    wbtest::FileView f = wbtest::ReadBack(report, home->Path());
    EXPECT_EQ(f.cached["COLD!M1"], "Latitude");
    EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!M2"]), lat0, 1e-12);
    EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!N2"]), lon0, 1e-12);
    std::vector<std::string> cells;
    for (int i = 0; i < 3; ++i) {
        const std::string row = std::to_string(i + 2);
        const double north = EarthDistance(std::strtod(lats[i] + 2, nullptr) / 60 + 48, lon0, lat0, lon0);
        EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!O" + row]), north, 1e-6) << row;
        EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!P" + row]), 0, 1e-6) << row;
        cells.push_back("COLD!O" + row);
    }
    REQUIRE_SSCONVERT();
    const auto again = Recomputed(report, home->Path(), cells);
    for (const std::string& c : cells) EXPECT_NEAR(wbtest::AsDouble(again.at(c)), wbtest::AsDouble(f.cached[c]), 1e-6);

    // A box changed without "submit" is still no position: the report refuses it.
    Trigger("SetAntennaCoordinates");
    dialogs_test::Type(&coords, "Text2", "7,5");
    const std::string second = home->File("POS2_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(second, ResultsText(fixes));
    p.QueueFileName(second);
    p.ClearAsked();
    Run();
    EXPECT_TRUE(AskedContains("The antenna latitude \"48\" \"7,5\" \"038\" is not a position"));
    EXPECT_TRUE(AskedContains("The report is not built."));
    EXPECT_FALSE(fs::exists(home->File("POS2_TTFF_COLD_NMEA_Results.xlsx")));
}

// The antenna typed with its hemisphere, 10 S 179.99995 E, beside fixes at
// 179.9999 W: the report uses it as typed (not mirrored to the fixes'
// side), the configuration keeps it through a restart and the
// configuration dialog's own saves, and a configuration from before has
// none, leaving the boxes as they were.
TEST_F(MenuRoad, ATypedHemisphereIsUsedAsTypedAndKeptInTheConfiguration) {
    OpenAll();
    Trigger("SetAntennaCoordinates");
    bench::Coords& coords = top->CoordsWindow();
    const char* typed[] = {"-10", "0", "0", "179", "59", "997"};
    for (int i = 0; i < 6; ++i) dialogs_test::Type(&coords, QStringLiteral("Text%1").arg(i + 1), typed[i]);
    dialogs_test::Choose(&coords, "Hemisphere_1", "E");
    dialogs_test::Click(&coords, "Check1");
    dialogs_test::Click(&coords, "Command1");
    ASSERT_FALSE(coords.isVisible()) << "submitted";

    const bench::ConfigLoadResult kept = bench::LoadSystemConfig(home->File("Config.dat"));
    EXPECT_EQ(kept.warning, "");
    EXPECT_TRUE(kept.config.Antenna.Stored);
    EXPECT_EQ(kept.config.Antenna.Parts, (std::array<std::string, 6>{"-10", "0", "0", "179", "59", "997"}));
    EXPECT_EQ(kept.config.Antenna.Hemispheres, (std::array<std::string, 2>{"", "E"}));
    EXPECT_EQ(kept.config.Antenna.Use, bench::FlagSet);

    // Fixes 1 to 3 m around 10 S 179.9999 W, about 16.4 m west of the antenna.
    std::vector<Fix> fixes;
    for (int i = 0; i < 12; ++i) {
        char lat[32], lon[32];
        std::snprintf(lat, sizeof lat, "1000.%04d", (i * 7 % 11) * 2);
        std::snprintf(lon, sizeof lon, "17959.%04d", 9940 + (i * 5 % 7) * 3);
        Fix f{20.0 + i, "083015.000", lat, lon};
        f.ns = "S";
        f.ew = "W";
        fixes.push_back(f);
    }
    const std::string file = home->File("DL_TTFF_COLD_NMEA_Results.txt");
    wbtest::WriteFile(file, ResultsText(fixes));
    auto& p = platform::Prompts::Instance();
    p.QueueFileName(file);
    p.QueueAnswer(Answer::No);
    Run();
    REQUIRE_OPENPYXL();
    wbtest::FileView f = wbtest::ReadBack(home->File("DL_TTFF_COLD_NMEA_Results.xlsx"), home->Path());
    EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!M2"]), -10, 1e-12);
    EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!N2"]), 179 + 59.997 / 60, 1e-12) << "east, as typed";
    for (size_t i = 0; i < fixes.size(); ++i) {
        const std::string row = std::to_string(i + 2);
        const double lat = -(10 + std::strtod(fixes[i].lat.c_str() + 2, nullptr) / 60);
        const double lon = -(179 + std::strtod(fixes[i].lon.c_str() + 3, nullptr) / 60);
        EXPECT_NEAR(wbtest::AsDouble(f.cached["COLD!Z" + row]), EarthDistance(lat, lon, -10, 179 + 59.997 / 60), 0.01)
            << row;
        EXPECT_GT(wbtest::AsDouble(f.cached["COLD!P" + row]), 0) << "the fixes lie east of the antenna, across 180";
    }

    // The configuration dialog's own save keeps it; a restart shows it.
    dialogs_test::Click(&top->ConfigDialog(), "SaveOnly_Command");
    EXPECT_EQ(bench::LoadSystemConfig(home->File("Config.dat")).config.Antenna, kept.config.Antenna);
    top.reset();
    OpenAll();
    bench::Coords& again = top->CoordsWindow();
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(dialogs_test::Text(&again, QStringLiteral("Text%1").arg(i + 1)).toStdString(), typed[i]);
    EXPECT_EQ(again.Position().hemispheres, (std::array<std::string, 2>{"", "E"}));
    EXPECT_TRUE(again.Position().use);

    // A configuration written before positions were kept has none.
    top.reset();
    bench::SystemConfig before = bench::LoadSystemConfig(home->File("Config.dat")).config;
    before.Antenna = {};
    std::remove(home->File("Config.dat").c_str());
    ASSERT_TRUE(bench::SaveSystemConfig(home->File("Config.dat"), before).ok);
    OpenAll();
    EXPECT_EQ(top->CoordsWindow().Position().parts, (std::array<std::string, 6>{}));
    EXPECT_FALSE(top->CoordsWindow().Position().use);
}

// Each character as its own key, to the control with the focus.
void PressText(const char* text) {
    for (const char* c = text; *c; ++c) ASSERT_TRUE(test::PressKey(0, Qt::NoModifier, QString(QChar(*c))));
}

// Types the six boxes and the two hemispheres in reading order, as Tab walks
// them; a hemisphere "" goes back to the blank at the top of its list.
void TypePosition(bench::Coords& coords, const std::array<const char*, 6>& parts, const char* north, const char* east) {
    test::Activate(&coords);
    auto* first = coords.findChild<QLineEdit*>("Text1");
    ASSERT_NE(first, nullptr);
    first->setFocus();
    test::Pump(10);
    ASSERT_EQ(QApplication::focusWidget(), first);
    for (int i = 0; i < 8; ++i) {
        const bool side = i == 3 || i == 7;
        if (side) {
            ASSERT_TRUE(test::PressKey(Qt::Key_Home));
            PressText(i == 3 ? north : east);
        } else {
            ASSERT_TRUE(test::PressKey(Qt::Key_A, Qt::ControlModifier));
            ASSERT_TRUE(test::PressKey(Qt::Key_Delete));
            PressText(parts[static_cast<size_t>(i < 3 ? i : i - 1)]);
        }
        ASSERT_TRUE(test::PressKey(Qt::Key_Tab));
    }
}

// A hemisphere on one coordinate and none on the other, typed from the
// keyboard: "submit" refuses it, naming the bare coordinate, and keeps
// nothing; both hemispheres, or neither, are taken and kept.
TEST_F(MenuRoad, AHemisphereOnOnlyOneCoordinateIsRefusedOnSubmit) {
    OpenAll();
    top->ConfigDialog().close();  // shown at start; the keys go to the antenna position
    Trigger("SetAntennaCoordinates");
    bench::Coords& coords = top->CoordsWindow();
    ASSERT_TRUE(coords.isVisible());
    auto& p = platform::Prompts::Instance();
    const std::string config = home->File("Config.dat");

    // Both hemispheres: taken and kept.
    TypePosition(coords, {"10", "0", "5", "179", "59", "997"}, "S", "E");
    ASSERT_EQ(coords.Position().hemispheres, (std::array<std::string, 2>{"S", "E"})) << "typed into the lists";
    dialogs_test::Click(&coords, "Check1");
    dialogs_test::Click(&coords, "Command1");
    ASSERT_FALSE(coords.isVisible()) << "both hemispheres are taken";
    const bench::AntennaConfig both = bench::LoadSystemConfig(config).config.Antenna;
    EXPECT_EQ(both.Parts, (std::array<std::string, 6>{"10", "0", "5", "179", "59", "997"}));
    EXPECT_EQ(both.Hemispheres, (std::array<std::string, 2>{"S", "E"}));
    const std::string file = Slurp(config);

    struct Refused {
        std::array<const char*, 6> parts;
        const char *north, *east, *message;
    };
    const Refused refused[] = {
        {{"-10", "0", "5", "179", "59", "997"}, "", "",
         "WARNING: The antenna longitude \"179\" \"59\" \"997\" has no hemisphere, while the latitude has one: give "
         "the longitude its hemisphere too (E or W, or \"-\" for the west)."},
        {{"10", "0", "5", "179", "59", "997"}, "S", "",
         "WARNING: The antenna longitude \"179\" \"59\" \"997\" has no hemisphere, while the latitude has one"},
        {{"10", "0", "5", "179", "59", "997"}, "", "W",
         "WARNING: The antenna latitude \"10\" \"0\" \"5\" has no hemisphere, while the longitude has one: give the "
         "latitude its hemisphere too (N or S, or \"-\" for the south)."},
    };
    for (const Refused& r : refused) {
        SCOPED_TRACE(std::string(r.parts[0]) + " " + r.north + " / " + r.east);
        test::Activate(top.get());  // back to the main window, as after a submit
        Trigger("SetAntennaCoordinates");
        TypePosition(coords, r.parts, r.north, r.east);
        p.ClearAsked();
        dialogs_test::Click(&coords, "Command1");
        EXPECT_TRUE(coords.isVisible()) << "refused, the dialog stays to be corrected";
        EXPECT_TRUE(dialogs_test::AnyStartsWith(p.Asked(), r.message));
        EXPECT_TRUE(Slurp(config) == file) << "Config.dat is unchanged";
        EXPECT_EQ(top->State().ActiveConfig.Antenna, both) << "the held position is unchanged";
    }

    // Neither hemisphere: the side of the fixes, taken and kept.
    TypePosition(coords, {"10", "0", "5", "179", "59", "997"}, "", "");
    p.ClearAsked();
    dialogs_test::Click(&coords, "Command1");
    EXPECT_FALSE(coords.isVisible()) << "no hemisphere at all is taken";
    EXPECT_TRUE(p.Asked().empty());
    const bench::AntennaConfig neither = bench::LoadSystemConfig(config).config.Antenna;
    EXPECT_EQ(neither.Parts, both.Parts);
    EXPECT_EQ(neither.Hemispheres, (std::array<std::string, 2>{"", ""}));
    EXPECT_EQ(top->State().ActiveConfig.Antenna, neither);
}

// ---- the session-end road, on files as a session leaves them ---------------

class SessionRoad : public ReportTest {
protected:
    void SetUp() override {
        test::EnsureApp();
        commands = std::make_unique<bench::reports::ReportCommands>(host, dir.Path().string());
    }
    // A receiver's folder with its results files.
    std::string Receiver(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
        fs::create_directories(dir.File(name));
        for (const auto& [file, text] : files) wbtest::WriteFile(dir.File(name + "/" + file), text);
        return dir.File(name) + "/" + name;
    }
    void EndOfSession(const std::vector<std::string>& bases, const std::vector<std::string>& tests) {
        commands->BeginSessionReports();
        for (const std::string& b : bases)
            for (const std::string& t : tests) {
                commands->SessionCreateReportSheet(b, t);
                commands->SessionImportTestResults(b, t);
            }
    }
    std::vector<std::string> Worksheets(const std::string& b) {
        std::vector<std::string> out;
        workbook::Workbook& wb = commands->Context().Book(b);
        for (int i = 1; i <= wb.Count(); ++i)
            if (wb.Sheets(i).kind() == workbook::Sheet::Kind::Worksheet) out.push_back(wb.Sheets(i).Name());
        return out;
    }
    std::unique_ptr<bench::reports::ReportCommands> commands;
};

TEST_F(SessionRoad, OneWorkbookPerReceiverOneSheetPerTest) {
    bench::OpenSystemLog();
    const std::string cold = ResultsText(Ttffs({30, 40, 50}));
    const std::string hot = ResultsText(Ttffs({3, 4, 5, 6}));
    const std::string r1 = Receiver("RCV1", {{"RCV1_TTFF_COLD_NMEA_Results.txt", cold},
                                             {"RCV1_TTFF_COLD_NMEA_Results_GSA.txt", "not results"},
                                             {"RCV1_TTFF_HOT_NMEA_Results.txt", hot}});
    const std::string r2 = Receiver("RCV2", {{"RCV2_TTFF_COLD_NMEA_Results.txt", cold}});
    wbtest::WriteFile(r2 + ".xlsx", "left by an earlier run");
    EndOfSession({r1, r2}, {"COLD", "COLD", "HOT", "TRACK24H"});

    // COLD is listed twice: both entries wrote into one file, shown once.
    EXPECT_EQ(Worksheets(r1), (std::vector<std::string>{"COLD", "HOT"}));
    EXPECT_EQ(commands->Context().Sheet(r1, "HOT").GetRange("U4").GetValue().Number(), 4);
    EXPECT_NE(commands->Context().Book(r1).FindSheet("HOT Position Chart"), nullptr);
    EXPECT_EQ(Worksheets(r2), (std::vector<std::string>{"COLD"})) << "no empty HOT sheet";
    bench::WaitForWorkbookSaves();  // the session's reports go to disk in the background
    EXPECT_TRUE(fs::exists(r1 + ".xlsx"));
    const std::string log = Slurp(bench::SystemLogPath());
    for (const char* r : {"RCV1", "RCV2"})
        EXPECT_NE(log.find("Report of " + std::string(r) + " COLD: this entry shares the results file " + r +
                           "_TTFF_COLD_NMEA_Results.txt with an earlier entry, shown once"),
                  std::string::npos)
            << log;
    EXPECT_NE(log.find("RCV2 HOT: no results file"), std::string::npos) << log;
    EXPECT_NE(log.find("RCV1 TRACK24H: no results file"), std::string::npos);
    EXPECT_NE(log.find(r2 + ".xlsx exists from an earlier run and is replaced"), std::string::npos);
    EXPECT_EQ(commands->Context().App().Visible(), false) << "nothing is shown on this road";
    bench::CloseSystemLog();
}

TEST_F(SessionRoad, AFailingReportIsLoggedAndTheNextOneIsStillBuilt) {
    bench::OpenSystemLog();
    const std::string r1 = Receiver("RCV1", {{"RCV1_TTTR_WARM_NMEA_Results.txt", "12.5\t1\t3\t% 08:30:15% 1\t40\r\n"},
                                             {"RCV1_TTFF_HOT_NMEA_Results_PW-130.txt", ResultsText(Ttffs({3, 4}))},
                                             {"RCV1_TTFF_HOT_NMEA_Results_PW-135.txt", ResultsText(Ttffs({5, 6}))}});
    EndOfSession({r1}, {"WARM", "HOT"});
    EXPECT_EQ(Worksheets(r1), (std::vector<std::string>{"HOT_PW-130", "HOT_PW-135"})) << "no empty WARM sheet";
    EXPECT_EQ(commands->Context().Sheet(r1, "HOT_PW-135").GetRange("A3").GetValue().Number(), 6);
    const std::string log = Slurp(bench::SystemLogPath());
    EXPECT_NE(log.find("RCV1_TTTR_WARM_NMEA_Results.txt line 1"), std::string::npos) << log;
    EXPECT_NE(log.find("(ImportTestResults RCV1 RCV1_TTTR_WARM_NMEA_Results.txt)"), std::string::npos);
    bench::CloseSystemLog();
}

TEST_F(SessionRoad, AFileWhoseNameMakesNoSheetIsLeftOutAloneAndNamed) {
    bench::OpenSystemLog();
    // Renamed by hand: first in name order, and "*" makes no sheet name.
    const std::string r1 = Receiver("RCV1", {{"RCV1_TTFF_COLD_NMEA_Results_PW*1.txt", ResultsText(Ttffs({7, 8}))},
                                             {"RCV1_TTFF_COLD_NMEA_Results_PW-130.txt", ResultsText(Ttffs({3, 4}))},
                                             {"RCV1_TTFF_COLD_NMEA_Results_PW-135.txt", ResultsText(Ttffs({5, 6}))}});
    EndOfSession({r1}, {"COLD"});
    EXPECT_EQ(Worksheets(r1), (std::vector<std::string>{"COLD_PW-130", "COLD_PW-135"}));
    EXPECT_EQ(commands->Context().Sheet(r1, "COLD_PW-135").GetRange("A3").GetValue().Number(), 6);
    const std::string log = Slurp(bench::SystemLogPath());
    EXPECT_NE(log.find("Report of RCV1 COLD: RCV1_TTFF_COLD_NMEA_Results_PW*1.txt is left out"), std::string::npos)
        << log;
    bench::CloseSystemLog();
}

TEST_F(SessionRoad, ATypedPositionIsReadAsTypedOrNoReportIsBuiltFromIt) {
    bench::OpenSystemLog();
    const std::string r1 = Receiver("RCV1", {{"RCV1_TTFF_COLD_NMEA_Results.txt", ResultsText(Ttffs({30, 40, 50}))}});
    host.position = {{"48", "7", "0.038", "11", "31", ""}, true, {}};
    EndOfSession({r1}, {"COLD"});
    EXPECT_FALSE(fs::exists(r1 + ".xlsx"));
    const std::string log = Slurp(bench::SystemLogPath());
    EXPECT_NE(log.find("Report of RCV1 COLD not built: The antenna latitude \"48\" \"7\" \"0.038\" is not a position"),
              std::string::npos)
        << log;
    host.position.parts[2] = "038";
    EndOfSession({r1}, {"COLD"});
    workbook::Worksheet& ws = commands->Context().Sheet(r1, "COLD");
    EXPECT_NEAR(ws.GetRange("M2").GetValue().Number(), 48 + 7.038 / 60, 1e-12);
    EXPECT_NEAR(ws.GetRange("N2").GetValue().Number(), 11 + 31.0 / 60, 1e-12);
    bench::CloseSystemLog();
}

// Names made from long log suffixes: every sheet and chart sheet is made,
// none longer than 31 characters, and a level written two ways is one sheet.
TEST_F(SessionRoad, LongSuffixesGiveShortenedUniqueNamesAndOneSheetPerLevel) {
    bench::OpenSystemLog();
    const std::vector<double> t130{30.5, 41.25, 35, 52.75}, t135{61, 48.5, 55.25}, bad{12.5, 14, 13.25, 15.5, 11};
    const std::string r1 = Receiver("RCV1", {{"RCV1_TTFF_COLD_NMEA_Results_SatPW-140_PW-130.txt", ResultsText(Ttffs(t130))},
                                             {"RCV1_TTFF_COLD_NMEA_Results_SatPW-140_PW-130.0.txt", ResultsText(Ttffs({99, 98}))},
                                             {"RCV1_TTFF_COLD_NMEA_Results_SatPW-140_PW-135.txt", ResultsText(Ttffs(t135))},
                                             {"RCV1_TTFF_BAD_POSITION_NMEA_Results_PW-130.txt", ResultsText(Ttffs(bad))}});
    EndOfSession({r1}, {"COLD", "BAD_POSITION"});

    const char* kinds[] = {" HISTOGRAMM", " CDF Chart", " CEP Chart", " TTFF Chart", " Position Chart"};
    struct Test {
        std::string sheet, stem;
        const std::vector<double>* ttffs;
    };
    const Test tests[] = {{"COLD_SatPW-140_PW-130", "COLD_SatPW-140~1", &t130},
                          {"COLD_SatPW-140_PW-135", "COLD_SatPW-140~2", &t135},
                          {"BAD_POSITION_PW-130", "BAD_POSITION_P~3", &bad}};
    std::vector<std::string> expected;
    for (const Test& t : tests) {
        expected.push_back(t.sheet);
        for (const char* k : kinds) expected.push_back(t.stem + k);
    }
    REQUIRE_OPENPYXL();
    wbtest::FileView f = wbtest::ReadBack(r1 + ".xlsx", dir.Path().string());
    std::vector<std::string> shown;
    for (const std::string& s : f.sheets)
        if (s.rfind("_", 0) != 0) shown.push_back(s);  // not the saver's hidden helper
    EXPECT_EQ(shown, expected) << "one sheet for PW-130 and PW-130.0, each with all its charts";
    for (const std::string& s : f.sheets) {
        EXPECT_LE(s.size(), 31u) << s;
        EXPECT_FALSE(s.rfind("Chart", 0) == 0) << "stray chart sheet " << s;
    }
    std::vector<std::string> cells;
    for (const Test& t : tests) {
        SCOPED_TRACE(t.sheet);
        const std::vector<double>& v = *t.ttffs;
        const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
        EXPECT_EQ(wbtest::AsDouble(f.cached[t.sheet + "!U4"]), static_cast<double>(v.size()));
        EXPECT_NEAR(wbtest::AsDouble(f.cached[t.sheet + "!U5"]), mean, 1e-9);
        EXPECT_EQ(f.cached[t.sheet + "!T10"], "CEP 50") << "the report ran to its CEP table";
        // Every chart of the sheet draws from the sheet itself.
        int charts = 0;
        for (const std::string& part : f.chartParts)
            if (part.find("'" + t.sheet + "'!") != std::string::npos) ++charts;
        EXPECT_EQ(charts, 5);
        cells.push_back(t.sheet + "!U5");
    }
    REQUIRE_SSCONVERT();
    const auto again = reptest::Recomputed(r1 + ".xlsx", dir.Path().string(), cells);
    for (const std::string& c : cells)
        EXPECT_NEAR(wbtest::AsDouble(again.at(c)), wbtest::AsDouble(f.cached[c]), 1e-12 * wbtest::AsDouble(f.cached[c]))
            << c;

    const std::string log = Slurp(bench::SystemLogPath());
    EXPECT_NE(log.find("RCV1_TTFF_COLD_NMEA_Results_SatPW-140_PW-130.0.txt holds the same level as "
                       "RCV1_TTFF_COLD_NMEA_Results_SatPW-140_PW-130.txt and is left out"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("the sheets of BAD_POSITION_PW-130 are named BAD_POSITION_PW-130 and BAD_POSITION_P~3"),
              std::string::npos);
    bench::CloseSystemLog();
}

}  // namespace
