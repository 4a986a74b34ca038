// A results file becomes the report sheet's data: columns cleaned, headers,
// times and positions converted, and the report workbook made or extended.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "bench/reports/results_import.h"
#include "tests/reports/report_bench.h"

namespace {

using namespace reptest;
using bench::reports::NmeaToDegrees;

class Import : public ReportTest {};

TEST_F(Import, ResultsLinesBecomeTheCleanedTableWithConvertedTimesAndPositions) {
    std::vector<Fix> fixes = {{12.5, "083015.000", "4807.0380", "01131.0000"},
                              {30.25, "005959", "4807.0390", "01131.0010", true},
                              {7.75, "083015.5", "4807.0400", "01131.0020"}};
    fixes[2].ns = "S";
    fixes[2].ew = "W";
    workbook::Worksheet& ws = Report("rcv_COLD_NMEA_Results", fixes);

    const char* headers[] = {"TTFF [s]", "Test Number", "UTC Time", "Latitude", "",
                             "Longitude", "", "N. Of Satellites", "D.O.P.", "Antenna Altitude [m]"};
    for (int c = 1; c <= 10; ++c) {
        EXPECT_EQ(ws.ValueAt(1, c).ToString(), headers[c - 1]) << "column " << c;
        EXPECT_TRUE(ws.EffectiveStyle(1, c).bold.value_or(false)) << "row 1 is bold, column " << c;
    }
    EXPECT_EQ(ws.ValueAt(2, 1).Number(), 12.5);
    EXPECT_EQ(ws.ValueAt(3, 2).Number(), 2);
    EXPECT_EQ(ws.ValueAt(2, 3).Text(), "08:30:15") << "the leading zero the import lost comes back";
    EXPECT_EQ(ws.ValueAt(3, 3).Text(), "00:59:59");
    EXPECT_EQ(ws.ValueAt(4, 3).Text(), "08:30:15.5");
    EXPECT_NEAR(ws.ValueAt(2, 4).Number(), 48.1173, 1e-12);
    EXPECT_NEAR(ws.ValueAt(2, 6).Number(), 11.0 + 31.0 / 60, 1e-12);
    EXPECT_EQ(ws.ValueAt(2, 5).Text(), "N") << "hemisphere letters stay beside the degrees";
    EXPECT_EQ(ws.ValueAt(2, 7).Text(), "E");
    EXPECT_NEAR(ws.ValueAt(4, 4).Number(), -(48 + 7.04 / 60), 1e-12) << "south is negative";
    EXPECT_NEAR(ws.ValueAt(4, 6).Number(), -(11 + 31.002 / 60), 1e-12) << "west is negative";
    EXPECT_EQ(ws.ValueAt(4, 5).Text(), "S");
    EXPECT_EQ(ws.ValueAt(2, 8).Number(), 8) << "satellites used";
    EXPECT_EQ(ws.ValueAt(2, 9).Number(), 0.9) << "HDOP";
    EXPECT_EQ(ws.ValueAt(2, 10).Number(), 545.4) << "altitude";
    EXPECT_TRUE(ws.ValueAt(2, 11).IsEmpty()) << "a sentence without differential fields ends at J";
    EXPECT_EQ(ws.ValueAt(3, 11).ToString().substr(0, 5), "0031*") << "the extra column of a differential fix stays right of J";
}

TEST_F(Import, NmeaDegreesAndClockTexts) {
    EXPECT_NEAR(NmeaToDegrees(4807.038), 48.1173, 1e-12);
    EXPECT_NEAR(NmeaToDegrees(1131.000), 11.516666666666667, 1e-12);
    EXPECT_EQ(NmeaToDegrees(0), 0);
    EXPECT_NEAR(NmeaToDegrees(12559.5), 125 + 59.5 / 60, 1e-12);
    using bench::reports::ImportedTimeText;
    EXPECT_EQ(ImportedTimeText(workbook::Value(83015.0)), "08:30:15");
    EXPECT_EQ(ImportedTimeText(workbook::Value(123015.0)), "12:30:15");
    EXPECT_EQ(ImportedTimeText(workbook::Value(5959.0)), "00:59:59");
    EXPECT_EQ(ImportedTimeText(workbook::Value(83015.5)), "08:30:15.5");
    EXPECT_EQ(ImportedTimeText(workbook::Value()), "00:00:00");
}

TEST_F(Import, ATtffOfZeroIsATrialAndDoesNotEndTheData) {
    workbook::Worksheet& ws = Report("z_COLD_NMEA_Results", Ttffs({20, 0, 30, 40}));
    EXPECT_EQ(Num(ws, "U4"), 4) << "every trial counts";
    EXPECT_EQ(ws.ValueAt(4, 3).Text(), "08:30:15") << "rows after the 0 are converted too";
    EXPECT_NEAR(ws.ValueAt(5, 4).Number(), 48.1173, 1e-12);
}

TEST_F(Import, WorkbookIsMadeThenExtendedAndSavedEachTime) {
    base = dir.File("rcv");
    bench::reports::CreateReportSheet(ctx, base, "COLD");
    const std::string file = base + ".xlsx";
    const std::string unfinished = bench::reports::UnfinishedReportFile(file);
    EXPECT_FALSE(std::filesystem::exists(file)) << "the report's name waits for a finished report";
    ASSERT_TRUE(std::filesystem::exists(unfinished));
    EXPECT_EQ(Book().FullName(), unfinished);
    EXPECT_EQ(Book().Caption(), file);
    EXPECT_EQ(SheetNames(), std::vector<std::string>{"COLD"});
    bench::reports::CreateReportSheet(ctx, base, "HOT");
    EXPECT_EQ(SheetNames(), (std::vector<std::string>{"COLD", "HOT"}));
    EXPECT_EQ(Book().ActiveSheet().Name(), "HOT") << "the import writes into the new sheet";
    EXPECT_TRUE(Book().Saved());
    REQUIRE_OPENPYXL();
    wbtest::FileView v = wbtest::ReadBack(unfinished, dir.Path().string());
    EXPECT_EQ(v.sheets, (std::vector<std::string>{"COLD", "HOT"})) << "the file on disk has both";
}

TEST_F(Import, FilesThatAreNotTtffResultsAreRefusedBeforeAnythingIsWritten) {
    base = dir.File("rcv_TTTR_COLD_NMEA_Results");
    // A time-to-track line: TTTR, TAB, trial, TAB, seconds, TAB, "% hh:mm:ss% trial".
    wbtest::WriteFile(base + ".txt", "12.5\t1\t3\t% 08:30:15% 1\t40\r\n");
    bench::reports::CreateReportSheet(ctx, base, "COLD");
    try {
        bench::reports::ImportResultsFile(ctx, base, "COLD");
        FAIL() << "a time-to-track file was imported";
    } catch (const platform::BenchError& e) {
        EXPECT_NE(e.Description().find("holds no TTFF results line"), std::string::npos) << e.Description();
        EXPECT_NE(e.Description().find("rcv_TTTR_COLD_NMEA_Results.txt line 1"), std::string::npos);
    }
    EXPECT_TRUE(ctx.Sheet(base, "COLD").Empty());

    const std::string missing = dir.File("gone");
    bench::reports::CreateReportSheet(ctx, missing, "HOT");
    EXPECT_THROW(bench::reports::ImportResultsFile(ctx, missing, "HOT"), platform::BenchError);
}

TEST_F(Import, AReportLeftByAnEarlierRunIsNeitherExtendedNorTouched) {
    base = dir.File("old");
    wbtest::WriteFile(base + ".xlsx", "not ours");
    EXPECT_THROW(bench::reports::CreateReportSheet(ctx, base, "COLD"), workbook::ExcelError);
    std::ifstream in(base + ".xlsx");
    std::string kept((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "not ours");
    EXPECT_EQ(ctx.App().WorkbookCount(), 0);
}

TEST_F(Import, StoredWindowsNamesAreMappedIntoTheProgramFolder) {
    std::filesystem::create_directories(dir.File("GPS_TEST/RCV1"));
    const std::string stored = "C:\\GPS_TEST\\RCV1\\RCV1";
    wbtest::WriteFile(dir.File("GPS_TEST/RCV1/RCV1.txt"), ResultsText(Ttffs({20, 30, 40})));
    bench::reports::CreateReportSheet(ctx, stored, "COLD");
    bench::reports::ImportResultsFile(ctx, stored, "COLD");
    EXPECT_TRUE(std::filesystem::exists(dir.File("GPS_TEST/RCV1/RCV1.xlsx")));
    EXPECT_EQ(ctx.Book(stored).FullName(), dir.File("GPS_TEST/RCV1/RCV1.xlsx"));
    EXPECT_EQ(ctx.Sheet(stored, "COLD").ValueAt(4, 1).Number(), 40) << "the text file was found through the mapping";
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::current_path()))
        EXPECT_EQ(e.path().filename().string().find("GPS_TEST\\"), std::string::npos) << e.path();
}

TEST_F(Import, AGgaWithAWrongChecksumNoTimeOfDayOrAPositionOffTheEarthIsADamagedLine) {
    auto line = [](const std::string& trial, const std::string& fields, bool rightSum = true) {
        std::string gga = WithChecksum("$GPGGA," + fields + ",1,08,0.9,545.4,M,46.9,M,,");
        if (!rightSum) gga.back() = gga.back() == '0' ? '1' : '0';
        return "25.00\t% " + trial + "\t" + gga + "\r\n";
    };
    const std::string good = "083015.000,4807.0380,N,01131.0000,E";
    std::string text = line("1", good);
    text += line("2", "674159,4807.0380,N,01131.0000,E");      // line 2: 67 hours
    text += line("3", "097193,4807.0380,N,01131.0000,E");      // line 3: 71 minutes, 93 seconds
    text += line("4", "08301,4807.0380,N,01131.0000,E");       // line 4: five digits
    text += line("5", "083015,487380.00,N,01131.0000,E");      // line 5: 4,873 degrees
    text += line("6", "083015,4807.0380,N,0113120000,E");      // line 6: no point, no longitude
    text += "25.00\t% 7\t" + WithChecksum("$GPGGA,083015,4807.0380,N,01131.0000,E,1,-08,0.9,545.4,M,46.9,M,,") +
            "\r\n";                                             // line 7: minus eight satellites
    text += line("8", good, false);                             // line 8: the checksum is wrong
    text += line("9", "083015,9100.0000,S,01131.0000,E");      // line 9: beyond the pole
    text += line("10", "235960.5,8959.9999,S,17959.9999,W");   // a leap second beside the pole and 180 degrees
    base = dir.File("damaged_COLD");
    wbtest::WriteFile(base + ".txt", text);
    bench::reports::CreateReportSheet(ctx, base, "COLD");
    bench::reports::ImportResultsFile(ctx, base, "COLD");
    workbook::Worksheet& ws = ctx.Sheet(base, "COLD");
    // Each damaged trial keeps its TTFF and number; its time cell names its
    // line and it has no position.
    EXPECT_TRUE(ws.GetRange("T2").GetValue().IsEmpty()) << "no line is left out whole";
    EXPECT_EQ(ws.GetRange("T3").GetValue().Text(), "Damaged GGAs");
    EXPECT_EQ(Num(ws, "U3"), 8);
    EXPECT_EQ(Num(ws, "U4"), 10) << "every trial stays";
    EXPECT_EQ(ws.ValueAt(2, 3).Text(), "08:30:15");
    for (int line = 2; line <= 9; ++line) {
        EXPECT_EQ(ws.ValueAt(line + 1, 3).Text(), "GGA damaged, line " + std::to_string(line));
        EXPECT_EQ(Num(ws, "A" + std::to_string(line + 1)), 25);
        EXPECT_EQ(Num(ws, "B" + std::to_string(line + 1)), line);
        EXPECT_TRUE(ws.ValueAt(line + 1, 4).IsEmpty()) << "no position, line " << line;
    }
    EXPECT_EQ(ws.ValueAt(11, 3).Text(), "23:59:60.5");
    EXPECT_EQ(Num(ws, "B11"), 10);
    EXPECT_NEAR(Num(ws, "D11"), -(89 + 59.9999 / 60), 1e-12);
}

}  // namespace
