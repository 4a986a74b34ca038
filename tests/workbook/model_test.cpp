// The object model as the builders drive it: sheets and their names, ranges,
// structural edits, styles, windows.
#include "platform/workbook/workbook.h"

#include <gtest/gtest.h>

using namespace workbook;

namespace {
std::vector<std::string> Names(Workbook& wb) {
    std::vector<std::string> n;
    for (int i = 1; i <= wb.Count(); ++i) n.push_back(wb.Sheets(i).Name());
    return n;
}
}  // namespace

TEST(WorkbookSheets, NewWorkbookAddedSheetsAndMoves) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    ASSERT_EQ(wb.Count(), 1);
    EXPECT_EQ(wb.Sheets(1).Name(), "Sheet1");
    wb.Sheets("sheet1").SetName("COLD");  // found ignoring case
    Worksheet& hot = wb.AddWorksheet();
    EXPECT_EQ(&wb.ActiveSheet(), &hot);
    hot.SetName("HOT");
    Worksheet& warm = wb.AddWorksheet();
    warm.SetName("WARM");
    EXPECT_EQ(Names(wb), (std::vector<std::string>{"COLD", "HOT", "WARM"}));
    wb.Sheets("COLD").MoveAfter(wb.Sheets(wb.Count()));
    EXPECT_EQ(Names(wb), (std::vector<std::string>{"HOT", "WARM", "COLD"}));
    wb.Sheets("COLD").MoveBefore(wb.Sheets("HOT"));
    EXPECT_EQ(Names(wb), (std::vector<std::string>{"COLD", "HOT", "WARM"}));
    EXPECT_EQ(wb.Sheets("WARM").Index(), 3);
    EXPECT_THROW(wb.Sheets(4), ExcelError);
    EXPECT_THROW(wb.Sheets("TRACK24H"), ExcelError);
}

TEST(WorkbookSheets, NamesAreValidatedAndUnique) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Sheet& s = wb.Sheets(1);
    s.SetName("COLD_Data");
    Worksheet& other = wb.AddWorksheet();
    for (const std::string& bad : {std::string(), std::string(32, 'x'), std::string("a:b"), std::string("a/b"),
                                  std::string("[x]"), std::string("'q"), std::string("cold_data")}) {
        try {
            other.SetName(bad);
            ADD_FAILURE() << "accepted \"" << bad << "\"";
        } catch (const ExcelError& e) {
            EXPECT_EQ(e.Operation(), "Name");
        }
    }
    EXPECT_EQ(other.Name(), "Sheet2");
    other.SetName(std::string(31, 'y'));  // the longest name allowed
    EXPECT_EQ(wb.UniqueSheetName("COLD_Data"), "COLD_Data_2");
    EXPECT_EQ(wb.UniqueSheetName("FREE"), "FREE");
    std::string longName = wb.UniqueSheetName(std::string(31, 'y'));
    EXPECT_EQ(longName, std::string(29, 'y') + "_2");
}

TEST(WorkbookRanges, AddressesOffsetsAndArrays) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    Range t4 = ws.GetRange("T4");
    EXPECT_EQ(t4.Offset(0, 1).Address(), "$U$4");
    EXPECT_EQ(ws.GetRange("A2").Offset(0, 11).Address(false), "L2");
    EXPECT_THROW(ws.GetRange("A1").Offset(0, -1), ExcelError);
    EXPECT_EQ(ws.GetRange(ws.Cells(1, 3), ws.Cells(11, 3)).Address(), "$C$1:$C$11");
    EXPECT_EQ(ws.GetRange("B:B,D:Q").Address(), "$B:$B,$D:$Q");
    EXPECT_EQ(ws.Rows("1:2").Address(), "$1:$2");
    EXPECT_THROW(ws.GetRange("A0"), ExcelError);
    EXPECT_THROW(ws.GetRange("XFE1"), ExcelError);

    ws.GetRange("A1:A6").SetValues({{"TRIALS"}, {"AVERAGE"}, {"MAX"}, {"MIN"}, {"STD DEV"}, {"% NO FIX"}});
    EXPECT_EQ(ws.GetRange("A5").GetValue().Text(), "STD DEV");
    std::vector<Value> row;
    for (int i = 0; i < 8; ++i) row.push_back(Value(i * 1.5));
    ws.GetRange(ws.Cells(3, 3), ws.Cells(3, 10)).SetRowValues(row);
    EXPECT_EQ(ws.GetRange("J3").GetValue().Number(), 10.5);
    // Text given as a value reads like typed input; text kept as text stays text.
    ws.GetRange("K3").SetValue("083015.00");
    EXPECT_EQ(ws.GetRange("K3").GetValue().Number(), 83015);
    ws.GetRange("K4").SetText("08:30:15");
    EXPECT_EQ(ws.GetRange("K4").GetValue().Text(), "08:30:15");
    ws.GetRange("K5").SetFormula("% No Fix");  // not a formula: a text constant
    EXPECT_EQ(ws.GetRange("K5").GetValue().Text(), "% No Fix");
    EXPECT_FALSE(ws.GetRange("K5").HasFormula());
    // A row of values repeated down a larger block, a smaller block padded with #N/A.
    ws.GetRange("M1:N2").SetValues({{1, 2}});
    EXPECT_EQ(ws.GetRange("N2").GetValue().Number(), 2);
    ws.GetRange("P1:Q2").SetValues({{1, 2, 3}, {4}});
    EXPECT_TRUE(ws.GetRange("Q2").GetValue().IsError());
}

TEST(WorkbookStructure, MultiAreaColumnDeleteRemovesAllAtOnce) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    for (int c = 1; c <= 18; ++c) ws.Cells(2, c).SetValue(ColumnLetters(c));
    ws.Columns("J").SetHidden(true);
    ws.Columns("K").SetColumnWidth(20);
    ws.GetRange("B:B,D:D,N:N,O:O,P:P,Q:Q,J:J").Delete(xl::ShiftToLeft);
    std::string left;
    for (int c = 1; c <= 12; ++c) left += ws.Cells(2, c).GetValue().ToString();
    EXPECT_EQ(left, "ACEFGHIKLMR");
    // The width of K moved with it; the hidden J went with its column.
    EXPECT_EQ(ws.ColumnWidth(8), 20);
    EXPECT_FALSE(ws.ColumnHidden(8));

    Worksheet& s2 = app.ActiveWorkbook()->AddWorksheet();
    for (int c = 1; c <= 17; ++c) s2.Cells(1, c).SetValue(c);
    s2.GetRange("B:B,D:Q").Delete(xl::ShiftToLeft);
    EXPECT_EQ(s2.GetRange("A1").GetValue().Number(), 1);
    EXPECT_EQ(s2.GetRange("B1").GetValue().Number(), 3);
    EXPECT_TRUE(s2.GetRange("C1").GetValue().IsEmpty());
    // Cells rather than columns: one area only, closing the gap sideways or up.
    s2.GetRange("A1:A1").Delete(xl::ShiftToLeft);
    EXPECT_EQ(s2.GetRange("A1").GetValue().Number(), 3);
    EXPECT_THROW(s2.GetRange("A1,C3").Delete(xl::ShiftToLeft), ExcelError);
}

TEST(WorkbookStructure, RowInsertMovesCellsMergesAndRowFormats) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    ws.GetRange("A2").SetValue(13.5);
    ws.GetRange("D1").SetValue("HOT");
    ws.GetRange("A1:G1").Merge();
    ws.Rows("1:2").Font().SetBold(true);
    ws.Rows("1:1").Insert(xl::ShiftDown);
    EXPECT_TRUE(ws.GetRange("A1").GetValue().IsEmpty());
    EXPECT_EQ(ws.GetRange("A2").GetValue().Text(), "HOT");
    EXPECT_EQ(ws.GetRange("A3").GetValue().Number(), 13.5);
    ASSERT_EQ(ws.Merges().size(), 1u);
    EXPECT_EQ(AreaToA1(ws.Merges()[0], false), "A2:G2");
    EXPECT_TRUE(ws.GetRange("C3").Font().Bold());
    EXPECT_FALSE(ws.GetRange("C1").Font().Bold());
    // Cells inserted in one column push only that column down.
    ws.GetRange("B5").SetValue(1);
    ws.GetRange("B4:B4").Insert(xl::ShiftDown);
    EXPECT_EQ(ws.GetRange("B6").GetValue().Number(), 1);
}

TEST(WorkbookStructure, ReferencesAreNotRewrittenAndTheBuildersNeverNeedIt) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& level = wb.Worksheets(1);
    level.SetName("-130COLD");
    level.GetRange("U4").SetValue(30);
    level.GetRange("U5").SetValue(40.5);
    Worksheet& resume = wb.AddWorksheet();
    resume.SetName("Resume");
    resume.GetRange("A3").SetValue(35);
    resume.GetRange("B3").SetFormula("='-130COLD'!U4");
    resume.GetRange("C3").SetFormula("='-130COLD'!U5");
    // The summary's row insert moves formulas that point at another sheet:
    // they keep reading their own level.
    resume.Rows("3:3").Insert(xl::ShiftDown);
    EXPECT_EQ(resume.GetRange("B4").Formula(), "='-130COLD'!U4");
    EXPECT_EQ(resume.GetRange("B4").GetValue().Number(), 30);
    EXPECT_EQ(resume.GetRange("C4").GetValue().Number(), 40.5);
    // The import deletes and inserts before any formula exists; a formula on
    // the same sheet keeps its text (documented), so it would read the moved cell.
    resume.GetRange("Z1").SetFormula("=A4*2");
    resume.Rows("1:1").Insert(xl::ShiftDown);
    EXPECT_EQ(resume.GetRange("Z2").Formula(), "=A4*2");
    EXPECT_TRUE(resume.GetRange("A4").GetValue().IsEmpty());
}

TEST(WorkbookStructure, SortMovesWholeRowsWithFormulasUnchanged) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    for (const char* name : {"-130COLD", "-135COLD", "-140COLD"}) {
        Worksheet& s = wb.AddWorksheet();
        s.SetName(name);
        s.GetRange("U5").SetValue(std::string(name) == "-130COLD" ? 30.0 : std::string(name) == "-135COLD" ? 50.0 : 70.0);
    }
    Worksheet& r = wb.Worksheets(1);
    r.SetName("Resume");
    const char* sheets[] = {"-130COLD", "-135COLD", "-140COLD"};
    const double strength[] = {45, 40, 35};
    for (int i = 0; i < 3; ++i) {
        r.Cells(3 + i, 23).SetValue(strength[i]);
        r.Cells(3 + i, 25).SetFormula("='" + std::string(sheets[i]) + "'!U5");
    }
    r.GetRange("W3:AC5").Sort(r.GetRange("W3"), xl::Ascending);
    EXPECT_EQ(r.GetRange("W3").GetValue().Number(), 35);
    EXPECT_EQ(r.GetRange("Y3").Formula(), "='-140COLD'!U5");
    EXPECT_EQ(r.GetRange("Y3").GetValue().Number(), 70);
    EXPECT_EQ(r.GetRange("W5").GetValue().Number(), 45);
    EXPECT_EQ(r.GetRange("Y5").GetValue().Number(), 30);
    // Blanks go last, text after numbers.
    r.GetRange("A1").SetValue("b");
    r.GetRange("A3").SetValue(2);
    r.GetRange("A4").SetValue(1);
    r.GetRange("A1:A4").Sort(r.GetRange("A1"));
    EXPECT_EQ(r.GetRange("A1").GetValue().Number(), 1);
    EXPECT_EQ(r.GetRange("A3").GetValue().Text(), "b");
    EXPECT_TRUE(r.GetRange("A4").GetValue().IsEmpty());
    EXPECT_THROW(r.GetRange("A1:B4").Sort(r.GetRange("C1")), ExcelError);
}

TEST(WorkbookStructure, MergeKeepsTheOneValueAtTheTopLeft) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    ws.GetRange("D1").SetValue("COLD");
    ws.GetRange("W1:AC1").SetMergeCells(true);  // nothing there
    ws.GetRange("A1:G1").SetMergeCells(true);
    EXPECT_EQ(ws.GetRange("A1").GetValue().Text(), "COLD");
    EXPECT_TRUE(ws.GetRange("D1").GetValue().IsEmpty());
    EXPECT_TRUE(ws.GetRange("C1").MergeCells());
    ws.GetRange("L1").SetValue("keep");
    ws.GetRange("N1").SetValue("drop");
    ws.GetRange("L1:R1").Merge();
    EXPECT_EQ(ws.GetRange("L1").GetValue().Text(), "keep");
    EXPECT_TRUE(ws.GetRange("N1").GetValue().IsEmpty());
}

TEST(WorkbookStructure, CopyPasteValuesThenClear) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    const double level[] = {-130, -135, -140};
    for (int i = 0; i < 3; ++i) ws.Cells(3 + i, 1).SetValue(level[i]);
    for (int r = 3; r <= 5; ++r) ws.Cells(r, 8).SetFormula("=45-(MAX(A:A)-A" + std::to_string(r) + ")");
    ws.GetRange("H3:H5").Copy();
    ws.GetRange("A3:A5").PasteSpecialValues();
    ws.GetRange("H3:H5").ClearContents();
    EXPECT_EQ(ws.GetRange("A3").GetValue().Number(), 45);
    EXPECT_EQ(ws.GetRange("A5").GetValue().Number(), 35);
    EXPECT_FALSE(ws.GetRange("A4").HasFormula());
    EXPECT_TRUE(ws.GetRange("H4").GetValue().IsEmpty());
    Application fresh;
    EXPECT_THROW(fresh.AddWorkbook().Worksheets(1).GetRange("A1").PasteSpecialValues(), ExcelError);
}

TEST(WorkbookStyles, BordersResolveToCellEdges) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    Range block = ws.GetRange("T4:U14");
    block.Interior().SetColorIndex(6);
    block.Interior().SetPattern(xl::Solid);
    for (int i : {xl::EdgeLeft, xl::EdgeTop, xl::EdgeBottom, xl::EdgeRight, xl::InsideHorizontal}) {
        block.Borders(i).SetLineStyle(xl::Continuous);
        block.Borders(i).SetWeight(xl::Thick);
    }
    auto side = [&](const char* cell, int s) {
        auto b = ws.EffectiveStyle(ws.GetRange(cell).Row(), ws.GetRange(cell).Column()).border[s];
        return b ? b->lineStyle == xl::Continuous && b->weight == xl::Thick : false;
    };
    EXPECT_TRUE(side("T4", kLeft));
    EXPECT_TRUE(side("T4", kTop));
    EXPECT_FALSE(side("T4", kRight));  // no inside vertical line
    EXPECT_TRUE(side("U9", kRight));
    EXPECT_TRUE(side("U9", kBottom));  // inside horizontal
    EXPECT_TRUE(side("U14", kBottom));
    EXPECT_FALSE(side("U14", kLeft));
    EXPECT_EQ(ws.GetRange("U10").Interior().ColorIndex(), 6);
    // The device block's weight 3 is not a spreadsheet weight: it draws medium.
    Range dev = ws.GetRange("A1:B6");
    dev.Borders(xl::DiagonalDown).SetLineStyle(xl::None);
    dev.Borders(xl::InsideVertical).SetLineStyle(xl::Continuous);
    dev.Borders(xl::InsideVertical).SetWeight(3);
    dev.Borders(xl::InsideVertical).SetColorIndex(xl::Automatic);
    EXPECT_EQ(ws.GetRange("A3").Borders(xl::InsideVertical).Weight(), xl::Medium);
    EXPECT_EQ(ws.GetRange("A3").Borders(xl::DiagonalDown).LineStyle(), xl::None);
    EXPECT_THROW(dev.Borders(13).SetLineStyle(1), ExcelError);
}

TEST(WorkbookStyles, RowAndColumnSettingsReachLaterCells) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    ws.Rows("1:1").Font().SetBold(true);
    ws.Rows("1:1").Font().SetSize(18);
    ws.GetRange("Q1").SetValue("written later");
    EXPECT_TRUE(ws.GetRange("Q1").Font().Bold());
    EXPECT_EQ(ws.GetRange("Q1").Font().Size(), 18);
    ws.Columns("C:P").SetHidden(true);
    EXPECT_TRUE(ws.ColumnHidden(3) && ws.ColumnHidden(16) && !ws.ColumnHidden(17));
    EXPECT_THROW(ws.GetRange("A1:B2").SetHidden(true), ExcelError);
    ws.GetRange("U5").SetNumberFormat("0.00");
    EXPECT_EQ(ws.GetRange("U5").NumberFormat(), "0.00");
    EXPECT_EQ(ws.GetRange("U6").NumberFormat(), "General");
    // A column setting made after the row setting wins where they cross.
    ws.Columns("R").Font().SetBold(false);
    EXPECT_FALSE(ws.GetRange("R1").Font().Bold());
    EXPECT_TRUE(ws.GetRange("S1").Font().Bold());
}

TEST(WorkbookStyles, AutoFitFollowsTheDisplayedText) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    ws.GetRange("A1").SetValue("Antenna Altitude [m]");
    ws.GetRange("A2").SetValue(1.5);
    ws.GetRange("B2").SetValue(3.456);
    ws.GetRange("B2").SetNumberFormat("#.0#");
    ws.GetRange("C1").SetValue("WIDE HEADER");
    ws.GetRange("C2").SetValue("x");
    ws.GetRange("E1").SetValue("a very long merged title");
    ws.GetRange("E1:G1").Merge();
    ws.GetRange("A:G").EntireColumn().AutoFit();
    double a = ws.ColumnWidth(1), b = ws.ColumnWidth(2);
    EXPECT_GT(a, 20.0);
    EXPECT_LT(b, 6.0);
    EXPECT_EQ(ws.ColumnWidth(4), Worksheet::kStandardWidth);  // empty column
    EXPECT_EQ(ws.ColumnWidth(5), Worksheet::kStandardWidth);  // merged text does not count
    // Fitting only row 2 of column C ignores its wide header.
    ws.GetRange("C2:C2").AutoFit();
    EXPECT_LT(ws.ColumnWidth(3), 3.0);
    // Bold text needs more room than plain.
    ws.GetRange("H1").SetValue("SAMPLES");
    ws.GetRange("I1").SetValue("SAMPLES");
    ws.GetRange("I1").Font().SetBold(true);
    ws.GetRange("H:I").AutoFit();
    EXPECT_GT(ws.ColumnWidth(9), ws.ColumnWidth(8));
}

TEST(WorkbookApplication, WindowsActiveObjectsAndQuit) {
    Application app;
    Workbook& a = app.AddWorkbook();
    Workbook& b = app.AddWorkbook();
    EXPECT_EQ(app.ActiveWorkbook(), &b);
    a.SetCaption("/data/R1.xlsx");
    EXPECT_EQ(app.FindWindow("/DATA/r1.xlsx"), &a);
    EXPECT_EQ(&app.ActivateWindow("/data/R1.xlsx"), &a);
    EXPECT_EQ(app.ActiveWorkbook(), &a);
    EXPECT_THROW(app.ActivateWindow("/data/none.xlsx"), ExcelError);
    EXPECT_EQ(b.FullName(), "Book2");
    EXPECT_THROW(b.Save(), ExcelError);  // no name yet
    b.Close();
    EXPECT_EQ(app.WorkbookCount(), 1);
    EXPECT_EQ(app.ActiveWorkbook(), &a);
    app.SetVisible(true);
    app.Quit();
    EXPECT_EQ(app.WorkbookCount(), 0);
    EXPECT_FALSE(app.Visible());
    EXPECT_THROW(app.ActiveSheet(), ExcelError);
}
