// The cell store at scale: what a large sheet costs by the store's own
// accounting, the used area followed through writes and clears, and texts,
// formulas and formats that share their tables without mixing up.
#include "platform/workbook/workbook.h"
#include "tests/workbook/support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

using namespace workbook;

namespace {

TEST(CellStore, AMillionNumbersCostAtMost32BytesEach) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    const int rows = 100000, cols = 10;
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c) ws.Cells(r, c).SetValue(r * 0.5 + c);
    const double perCell = static_cast<double>(ws.CellMemoryBytes()) / (rows * cols);
    EXPECT_LE(perCell, 32.0);
    EXPECT_GE(perCell, 16.0) << "the accounting counts the cells themselves";
    EXPECT_EQ(ws.UsedArea(), (Area{1, 1, rows, cols}));
    EXPECT_EQ(ws.ValueAt(77777, 7).Number(), 77777 * 0.5 + 7);
    EXPECT_EQ(ws.GetRange("J100000").GetValue().Number(), 50010.0);

    // Written column by column, in any order of columns, the cost is the same.
    Worksheet& other = app.AddWorkbook().Worksheets(1);
    for (int c = cols; c >= 1; --c)
        for (int r = 1; r <= rows; ++r) other.Cells(r, c).SetValue(r);
    EXPECT_LE(static_cast<double>(other.CellMemoryBytes()) / (rows * cols), 32.0);
}

TEST(CellStore, UsedAreaFollowsWritesAndClears) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    EXPECT_EQ(ws.UsedArea().row1, 0);
    ws.GetRange("B2:C3").SetValue(1);
    ws.GetRange("E10").SetFormula("=B2*2");
    ws.GetRange("A7").Font().SetBold(true);  // a format alone is no content
    EXPECT_EQ(ws.UsedArea(), (Area{2, 2, 10, 5}));
    EXPECT_EQ(ws.UsedRange().Address(), "$B$2:$E$10");
    ws.GetRange("E10").ClearContents();
    EXPECT_EQ(ws.UsedArea(), (Area{2, 2, 3, 3}));
    ws.GetRange("B2:B3").ClearContents();
    EXPECT_EQ(ws.UsedArea(), (Area{2, 3, 3, 3}));
    ws.GetRange("C2").SetValue(Value());
    EXPECT_EQ(ws.UsedArea(), (Area{3, 3, 3, 3}));
    ws.GetRange("C:C").ClearContents();
    EXPECT_EQ(ws.UsedArea().row1, 0);
    EXPECT_FALSE(ws.Empty()) << "the bold cell stays";
    EXPECT_TRUE(ws.GetRange("A7").Font().Bold());
    // Whole columns end at the used rows: after moving cells too.
    ws.GetRange("A1:A5").SetValue(3);
    ws.Rows("1:2").Delete();
    EXPECT_EQ(ws.UsedArea(), (Area{1, 1, 3, 1}));
    ws.Columns("A").Insert();
    EXPECT_EQ(ws.UsedArea(), (Area{1, 2, 3, 2}));
    ws.GetRange("C1").SetFormula("=COUNT(B:B)*AVERAGE(B:B)");
    EXPECT_EQ(ws.GetRange("C1").GetValue().Number(), 9.0);
}

TEST(CellStore, ClearedCellsAreGoneUntilWrittenAgain) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    const int rows = 5000;
    for (int r = 1; r <= rows; ++r) ws.Cells(r, 1).SetValue(r);
    // Cleared one by one from the top, as the results import rewrites its cells.
    for (int r = 2; r < rows; ++r) ws.Cells(r, 1).ClearContents();
    EXPECT_FALSE(ws.Find(2, 1).has_value());
    EXPECT_FALSE(ws.Find(rows - 1, 1).has_value());
    int visited = 0;
    ws.ForEachCell(Area{1, 1, kMaxRows, 1}, [&](int, int, bool) { ++visited; });
    EXPECT_EQ(visited, 2);
    EXPECT_EQ(ws.UsedArea(), (Area{1, 1, rows, 1}));
    for (int r = 2; r < rows; r += 2) ws.Cells(r, 1).SetText("again");
    visited = 0;
    ws.ForEachCell(Area{1, 1, kMaxRows, 1}, [&](int r, int, bool) {
        EXPECT_TRUE(r == 1 || r == rows || r % 2 == 0) << r;
        ++visited;
    });
    EXPECT_EQ(visited, 2 + (rows - 2) / 2);
    EXPECT_EQ(ws.ValueAt(1000, 1).Text(), "again");
    EXPECT_TRUE(ws.ValueAt(1001, 1).IsEmpty());
    ws.GetRange("B1").SetFormula("=COUNT(A:A)");
    EXPECT_EQ(ws.ValueAt(1, 2).Number(), 2.0);
    ws.GetRange("A:B").ClearContents();
    EXPECT_TRUE(ws.Empty());
    EXPECT_EQ(ws.UsedArea().row1, 0);
    ws.Cells(3, 1).SetValue(7);
    EXPECT_EQ(ws.UsedArea(), Area::Cell(3, 1));
}

TEST(CellStore, TextsFormulasAndFormatsKeepToTheirCells) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    for (int r = 1; r <= 50; ++r) {
        ws.Cells(r, 1).SetText("row " + std::to_string(r));
        ws.Cells(r, 2).SetValue(r);
        ws.Cells(r, 3).SetFormula("=B" + std::to_string(r) + "*10");
    }
    ws.GetRange("A1:C1").Font().SetBold(true);
    ws.GetRange("B2:B50").SetNumberFormat("0.00");
    // Overwriting texts and formulas reuses their places without disturbing others.
    for (int r = 1; r <= 50; r += 2) ws.Cells(r, 1).SetValue(-r);
    for (int r = 2; r <= 50; r += 2) ws.Cells(r, 3).SetText("t" + std::to_string(r));
    for (int r = 1; r <= 50; r += 2) ws.Cells(r, 3).SetFormula("=A" + std::to_string(r) + "+1");
    for (int r = 2; r <= 50; r += 2) ws.Cells(r, 1).SetFormula("=B" + std::to_string(r));
    for (int r = 1; r <= 50; ++r) {
        if (r % 2) {
            EXPECT_EQ(ws.ValueAt(r, 1).Number(), -r);
            EXPECT_EQ(ws.ValueAt(r, 3).Number(), 1 - r);
            EXPECT_EQ(ws.GetRange("C" + std::to_string(r)).Formula(), "=A" + std::to_string(r) + "+1");
        } else {
            EXPECT_EQ(ws.ValueAt(r, 1).Number(), r);
            EXPECT_EQ(ws.ValueAt(r, 3).Text(), "t" + std::to_string(r));
        }
    }
    EXPECT_TRUE(ws.GetRange("A1").Font().Bold());
    EXPECT_FALSE(ws.GetRange("A2").Font().Bold());
    EXPECT_EQ(ws.GetRange("B1").NumberFormat(), "General");
    EXPECT_EQ(ws.GetRange("B7").NumberFormat(), "0.00");
    // Sorting moves texts, formulas and formats with their rows.
    ws.GetRange("A1:C50").Sort(ws.GetRange("B1"), xl::Descending);
    EXPECT_EQ(ws.ValueAt(1, 2).Number(), 50);
    EXPECT_EQ(ws.GetRange("A1").Formula(), "=B50");
    EXPECT_EQ(ws.ValueAt(1, 1).Number(), 1) << "the formula text stays as written: B50 now holds 1";
    EXPECT_EQ(ws.ValueAt(50, 3).Number(), 2) << "=A1+1 now reads the moved A1";
    EXPECT_EQ(ws.GetRange("B50").NumberFormat(), "General");
    EXPECT_TRUE(ws.GetRange("A50").Font().Bold());

    wbtest::TempDir dir;
    wb.SaveAs(dir.File("mixed"));
    if (!wbtest::HaveOpenpyxl()) return;
    const wbtest::FileView view = wbtest::ReadBack(dir.File("mixed.xlsx"), dir.Path().string());
    EXPECT_EQ(view.formulas.at("Sheet1!A1"), "=B50");
    EXPECT_EQ(view.formulas.at("Sheet1!C3"), "t48");
    EXPECT_EQ(view.fonts.at("Sheet1!A50"), "bold");
    EXPECT_EQ(view.numberFormats.at("Sheet1!B7"), "0.00");
}

}  // namespace

namespace {

// A long column written row by row, as a day of 1 Hz results is: the cells
// stored first stay where they are, with their texts and formulas, however
// far the column grows, so growing it copies nothing already stored.
TEST(CellStore, WhatIsStoredStaysInPlaceAsTheSheetGrows) {
    CellStore store;
    store.SetConstant(1, 1, Value(0.5));
    store.SetConstant(1, 2, Value(std::string("a text longer than fits in the string itself")));
    CellStore::FormulaCell f;
    f.formula = "=A1*2";
    store.SetFormula(1, 3, std::move(f));
    const CellStore::Slot* number = store.Find(1, 1);
    const CellStore::Slot* text = store.Find(1, 2);
    const CellStore::Slot* formula = store.Find(1, 3);
    const CellStore::FormulaCell* program = &store.FormulaOf(*formula);
    const std::string before = store.Constant(*text).Text();
    for (int r = 2; r <= 200000; ++r) {
        store.SetConstant(r, 1, Value(r * 0.5));
        store.SetConstant(r, 2, Value("row " + std::to_string(r) + " of a long column of texts"));
        CellStore::FormulaCell g;
        g.formula = "=A" + std::to_string(r) + "*2";
        store.SetFormula(r, 3, std::move(g));
    }
    EXPECT_EQ(store.Find(1, 1), number);
    EXPECT_EQ(store.Find(1, 2), text);
    EXPECT_EQ(store.Find(1, 3), formula);
    EXPECT_EQ(&store.FormulaOf(*store.Find(1, 3)), program);
    EXPECT_EQ(store.Constant(*store.Find(1, 2)).Text(), before);
    EXPECT_EQ(store.Find(200000, 1)->num, 100000);
    EXPECT_EQ(store.FormulaOf(*store.Find(123456, 3)).formula, "=A123456*2");
    EXPECT_EQ(store.Used(), (Area{1, 1, 200000, 3}));
    EXPECT_LE(static_cast<double>(store.MemoryBytes()) / (200000 * 3), 120.0);
}

}  // namespace

TEST(CellStore, RowsAndColumnsDeletedAndInsertedMoveEveryCellWithItsContentAndFormat) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    // What each cell should hold, kept apart from the sheet: (row, col) -> text.
    std::map<std::pair<int, int>, std::string> expect;
    for (int r = 1; r <= 300; ++r)
        for (int c = 1; c <= 9; ++c) {
            if ((r + c) % 5 == 0) continue;
            const std::string text = std::to_string(r) + ":" + std::to_string(c);
            ws.Cells(r, c).SetText(text);
            expect[{r, c}] = text;
        }
    // Cleared cells stay behind in the store until it is tidied.
    for (int r = 10; r <= 20; ++r) {
        ws.Cells(r, 4).ClearContents();
        expect.erase({r, 4});
    }
    ws.Cells(7, 3).Font().SetBold(true);
    ws.Cells(kMaxRows, 2).SetValue(5);  // pushed off the sheet by an insert
    const auto moveAll = [&](auto f) {
        std::map<std::pair<int, int>, std::string> next;
        for (const auto& [at, text] : expect) {
            const std::pair<int, int> to = f(at.first, at.second);
            if (to.first > 0 && to.second > 0) next[to] = text;
        }
        expect = std::move(next);
    };
    ws.Rows("3:4").Delete();
    moveAll([](int r, int c) { return std::make_pair(r == 3 || r == 4 ? 0 : r > 4 ? r - 2 : r, c); });
    ws.Rows("2").Insert();
    moveAll([](int r, int c) { return std::make_pair(r >= 2 ? r + 1 : r, c); });
    EXPECT_FALSE(ws.Find(kMaxRows, 2).has_value()) << "the cell at the last row goes off the sheet";
    ws.GetRange("B:B,E:F").Delete(xl::ShiftToLeft);
    moveAll([](int r, int c) { return std::make_pair(r, c == 2 || c == 5 || c == 6 ? 0 : c > 6 ? c - 3 : c > 2 ? c - 1 : c); });
    ws.Columns("A").Insert();
    moveAll([](int r, int c) { return std::make_pair(r, c + 1); });
    size_t seen = 0;
    ws.ForEachCellByRow([&](int r, int c, const Cell& cell) {
        if (!cell.value.IsText()) return;
        ++seen;
        const auto it = expect.find({r, c});
        ASSERT_NE(it, expect.end()) << "a cell at " << r << "," << c << ": " << cell.value.Text();
        EXPECT_EQ(cell.value.Text(), it->second) << r << "," << c;
    });
    EXPECT_EQ(seen, expect.size());
    // Read in any order after the moves, as lookups start where the last ended.
    for (const auto& [at, text] : expect) ASSERT_EQ(ws.ValueAt(at.first, at.second).Text(), text);
    // The bold cell 7:3 went to row 6 (two rows deleted above, one inserted),
    // column 3 (B deleted, A inserted).
    EXPECT_TRUE(ws.Cells(6, 3).Font().Bold());
    EXPECT_EQ(ws.UsedArea(), (Area{1, 2, 299, 7}));
}
