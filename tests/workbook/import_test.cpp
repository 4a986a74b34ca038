// Text import from real files, as the report import and the console tool's
// CSV charts read them.
#include "platform/workbook/workbook.h"
#include "support.h"

#include <gtest/gtest.h>

using namespace workbook;

namespace {

// The query properties the result import sets.
void ConfigureLikeTheReport(QueryTable& q) {
    q.name = "R1_COLD";
    q.fieldNames = true;
    q.refreshStyle = 1;
    q.adjustColumnWidth = true;
    q.textFilePlatform = 437;
    q.textFileStartRow = 1;
    q.textFileParseType = 1;
    q.textFileTextQualifier = 1;
    q.textFileConsecutiveDelimiter = true;
    q.textFileTabDelimiter = true;
    q.textFileSemicolonDelimiter = false;
    q.textFileCommaDelimiter = true;
    q.textFileSpaceDelimiter = true;
    q.textFileColumnDataTypes = std::vector<int>(17, 1);
    q.textFileTrailingMinusNumbers = true;
}

const char* kResults =
    "35.27\t% 1\t$GPGGA,083015.000,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
    "12.5\t% 2\t$GPGGA,005959.000,4807.0390,N,01131.0010,E,1,07,1.1,546.0,M,46.9,M,,*40\r\n"
    "301\t% 3\t$GPGGA,123015.500,4807.0400,N,01131.0020,E,2,09,0.8,544.9,M,46.9,M,3.2,0120*4A\r\n";

}  // namespace

TEST(TextImport, ResultsFileSplitsIntoTheSeventeenColumns) {
    wbtest::TempDir dir;
    std::string path = dir.File("R1_COLD_NMEA_Results.txt");
    wbtest::WriteFile(path, kResults);
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    QueryTable& q = ws.AddQueryTable("TEXT;" + path, ws.GetRange("A1"));
    ConfigureLikeTheReport(q);
    q.Refresh(false);
    EXPECT_EQ(ws.GetRange("A1").GetValue().Number(), 35.27);
    EXPECT_EQ(ws.GetRange("B1").GetValue().Text(), "%");
    EXPECT_EQ(ws.GetRange("C1").GetValue().Number(), 1);
    EXPECT_EQ(ws.GetRange("D1").GetValue().Text(), "$GPGGA");
    EXPECT_EQ(ws.GetRange("E1").GetValue().Number(), 83015);  // leading zeros lost, as typed numbers
    EXPECT_EQ(ws.GetRange("F1").GetValue().Number(), 4807.038);
    EXPECT_EQ(ws.GetRange("G1").GetValue().Text(), "N");
    EXPECT_EQ(ws.GetRange("Q1").GetValue().Text(), "*47");  // the empty fields collapsed
    EXPECT_TRUE(ws.GetRange("R1").GetValue().IsEmpty());
    // The line with the differential fields gets an 18th column.
    EXPECT_EQ(ws.GetRange("Q3").GetValue().Number(), 3.2);
    EXPECT_EQ(ws.GetRange("R3").GetValue().Text(), "0120*4A");
    EXPECT_TRUE(ws.GetRange("A4").GetValue().IsEmpty());
    EXPECT_GT(ws.ColumnWidth(4), Worksheet::kStandardWidth - 2);  // columns fitted

    // The clean-up that follows: the seven columns in one delete, a header row.
    ws.GetRange("B:B,D:D,N:N,O:O,P:P,Q:Q,J:J").Delete(xl::ShiftToLeft);
    ws.Rows("1:1").Insert(xl::ShiftDown);
    EXPECT_EQ(ws.GetRange("A2").GetValue().Number(), 35.27);
    EXPECT_EQ(ws.GetRange("B2").GetValue().Number(), 1);
    EXPECT_EQ(ws.GetRange("C2").GetValue().Number(), 83015);
    EXPECT_EQ(ws.GetRange("D2").GetValue().Number(), 4807.038);
    EXPECT_EQ(ws.GetRange("E2").GetValue().Text(), "N");
    EXPECT_EQ(ws.GetRange("F2").GetValue().Number(), 1131);
    EXPECT_EQ(ws.GetRange("G2").GetValue().Text(), "E");
    EXPECT_EQ(ws.GetRange("H2").GetValue().Number(), 8);
    EXPECT_EQ(ws.GetRange("I2").GetValue().Number(), 0.9);
    EXPECT_EQ(ws.GetRange("J2").GetValue().Number(), 545.4);
    EXPECT_TRUE(ws.GetRange("K2").GetValue().IsEmpty());
    EXPECT_EQ(ws.GetRange("K4").GetValue().Text(), "0120*4A");
}

TEST(TextImport, DelimiterQualifierAndTypingRules) {
    DelimitedOptions opt;
    opt.delimiters = "\t, ";
    opt.consecutiveAsOne = true;
    EXPECT_EQ(SplitDelimitedLine("a,,b  \tc", opt), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(SplitDelimitedLine("\"x, y\",2", opt), (std::vector<std::string>{"x, y", "2"}));
    EXPECT_EQ(SplitDelimitedLine("\"say \"\"hi\"\"\"", opt), (std::vector<std::string>{"say \"hi\""}));
    opt.consecutiveAsOne = false;
    EXPECT_EQ(SplitDelimitedLine("a,,b", opt), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(SplitDelimitedLine("", opt).empty());
    // A qualifier opens quotes only at a field's start; after a closing one
    // the field goes on as written.
    EXPECT_EQ(SplitDelimitedLine("ab\"c,d", opt), (std::vector<std::string>{"ab\"c", "d"}));
    EXPECT_EQ(SplitDelimitedLine("\"ab\"c\"d,e", opt), (std::vector<std::string>{"abc\"d", "e"}));
    EXPECT_EQ(SplitDelimitedLine("\"\"x\"y, z", opt), (std::vector<std::string>{"x\"y", "", "z"}));

    EXPECT_EQ(TypeGeneral("5-", true).Number(), -5);
    EXPECT_EQ(TypeGeneral("5-", false).Text(), "5-");
    EXPECT_EQ(TypeGeneral("1e3", true).Number(), 1000);
    EXPECT_EQ(TypeGeneral(".5", true).Number(), 0.5);
    EXPECT_EQ(TypeGeneral("-", true).Text(), "-");
    EXPECT_EQ(TypeGeneral("12:30:15%", true).Text(), "12:30:15%");
    EXPECT_EQ(TypeGeneral("-130", true).Number(), -130);
    EXPECT_TRUE(TypeGeneral("", true).IsEmpty());
}

TEST(TextImport, ColumnTypesStartRowAndCodePage) {
    wbtest::TempDir dir;
    std::string path = dir.File("t.txt");
    wbtest::WriteFile(path, "skip me\n007\tx\t9\n\xB0\xF8\t12\t3\n");
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    QueryTable& q = ws.AddQueryTable("TEXT;" + path, ws.GetRange("B2"));
    q.textFileStartRow = 2;
    q.textFileColumnDataTypes = {2, 9, 1};
    q.Refresh();
    EXPECT_EQ(ws.GetRange("B2").GetValue().Text(), "007");  // text column keeps the zeros
    EXPECT_EQ(ws.GetRange("C2").GetValue().Number(), 9);   // the skipped column is gone
    EXPECT_EQ(ws.GetRange("B3").GetValue().Text(), "\xE2\x96\x91\xC2\xB0");  // code page 437
    EXPECT_TRUE(ws.GetRange("A1").GetValue().IsEmpty());
}

TEST(TextImport, MissingFileIsAnErrorAndWritesNothing) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    QueryTable& q = ws.AddQueryTable("TEXT;/nonexistent/folder/none.txt", ws.GetRange("A1"));
    try {
        q.Refresh();
        FAIL() << "no error for a missing file";
    } catch (const ExcelError& e) {
        EXPECT_EQ(e.Operation(), "Refresh");
        EXPECT_NE(e.Reason().find("none.txt"), std::string::npos);
    }
    EXPECT_TRUE(ws.Empty());
    QueryTable& odbc = ws.AddQueryTable("ODBC;DSN=x", ws.GetRange("A1"));
    EXPECT_THROW(odbc.Refresh(), ExcelError);
}

TEST(CsvOpen, SheetNamedAfterTheFileAndPaddedNumbers) {
    wbtest::TempDir dir;
    std::string path = dir.File("global_info.csv");
    wbtest::WriteFile(path, "timestamp,fix\r\n         1,  3\r\n         2,  1\r\n");
    Application app;
    Workbook& wb = app.OpenCsv(path);
    ASSERT_EQ(wb.Count(), 1);
    Worksheet& ws = wb.Worksheets(1);
    EXPECT_EQ(ws.Name(), "global_info");
    EXPECT_EQ(ws.GetRange("A1").GetValue().Text(), "timestamp");
    EXPECT_EQ(ws.GetRange("A3").GetValue().Number(), 2);
    EXPECT_EQ(ws.GetRange("B2").GetValue().Number(), 3);
    EXPECT_EQ(wb.FullName(), path);
    EXPECT_EQ(app.ActiveWorkbook(), &wb);
    // Saving over the text file would destroy it: only SaveAs is allowed.
    EXPECT_THROW(wb.Save(), ExcelError);
    EXPECT_THROW(app.OpenCsv(dir.File("missing.csv")), ExcelError);
    std::string longName = dir.File(std::string(40, 'n') + ".csv");
    wbtest::WriteFile(longName, "1\n");
    EXPECT_EQ(app.OpenCsv(longName).Sheets(1).Name().size(), 31u);
}

TEST(CsvOpen, RowsBeyondASheetGoOnInNextSheets) {
    wbtest::TempDir dir;
    std::string path = dir.File(std::string(40, 'n') + ".csv");
    wbtest::WriteFile(path, "1\n2\n3\n4\n5\n");
    Application app;
    Workbook& wb = app.OpenCsv(path, 2);
    ASSERT_EQ(wb.Count(), 3);
    EXPECT_EQ(wb.Sheets(1).Name(), std::string(31, 'n'));
    EXPECT_EQ(wb.Sheets(2).Name(), std::string(27, 'n') + " (2)");
    EXPECT_EQ(wb.Sheets(3).Name(), std::string(27, 'n') + " (3)");
    EXPECT_EQ(wb.Worksheets(2).GetRange("A2").GetValue().Number(), 4);
    EXPECT_EQ(wb.Worksheets(3).GetRange("A1").GetValue().Number(), 5);
    EXPECT_TRUE(wb.Worksheets(3).GetRange("A2").GetValue().IsEmpty());
    EXPECT_EQ(&wb.ActiveWorksheet(), &wb.Worksheets(1));
    // A whole sheet's worth makes no empty next sheet.
    wbtest::WriteFile(path, "1\n2\n");
    EXPECT_EQ(app.OpenCsv(path, 2).Count(), 1);
}
