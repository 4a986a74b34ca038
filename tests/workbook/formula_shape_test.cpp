// Formulas of one shape share their parsed program: every formula must still
// compute what it computes alone, whatever the order it was written in and
// however its references move or stay.
#include "platform/workbook/workbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace workbook;

namespace {

void FillData(Worksheet& ws) {
    for (int r = 1; r <= 40; ++r)
        for (int c = 1; c <= 8; ++c) ws.Cells(r, c).SetValue(r * 10 + c + (r % 3 == 0 ? 0.5 : 0));
}

struct Written {
    int row, col;
    std::string text;
    bool r1c1;
};

// The value of one formula in a workbook of its own.
Value Alone(const Written& w) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    FillData(ws);
    if (w.r1c1) ws.Cells(w.row, w.col).SetFormulaR1C1(w.text);
    else ws.Cells(w.row, w.col).SetFormula(w.text);
    return ws.ValueAt(w.row, w.col);
}

TEST(FormulaShapes, EveryFormulaComputesWhatItComputesAlone) {
    std::vector<Written> all;
    auto R = [](int r) { return std::to_string(r); };
    for (int r = 2; r <= 30; ++r) {
        all.push_back({r, 10, "=(A" + R(r) + " - B2)*3", false});             // B2 stays, A moves
        all.push_back({r, 11, "=A" + R(r) + "*$B$1+C" + R(r + 1), false});   // mixed
        all.push_back({r, 12, "=AVERAGE(A" + R(r) + ":C" + R(r + 2) + ")", false});
        all.push_back({r, 13, "=COUNTIF(A$1:A" + R(r) + ",\">100\")", false});  // growing range
        all.push_back({r, 14, "=MAX(B:B)-A" + R(r), false});
        all.push_back({r, 15, "=SQRT(POWER(D" + R(r) + ",2)+POWER(E" + R(r) + ",2))", false});
        all.push_back({r, 16, "=RC[-15]*R1C1+R[1]C[-14]", true});
        all.push_back({r, 17, "=A" + R(r % 5 + 1) + "+1", false});  // jumps about: no single way of moving
        all.push_back({r, 18, "=A" + R(r) + "*0.5+POWER(C2,2)+ATAN2(D" + R(r) + ",2)", false});  // digits not rows
        all.push_back({r, 19, "=AVERAGE(A$20:A" + R(r) + ")", false});  // the rows cross at 20
        all.push_back({r, 20, "=a" + R(r) + "+b2", false});         // not as its A1 form writes it
        all.push_back({r, 21, "=A" + R(r) + "+" + R(r), false});    // a number that moves like the row
    }
    // The same formulas written in another order: bottom up, columns mixed.
    std::vector<Written> reversed(all.rbegin(), all.rend());
    for (const auto* order : {&all, &reversed}) {
        Application app;
        Worksheet& ws = app.AddWorkbook().Worksheets(1);
        FillData(ws);
        for (const Written& w : *order) {
            if (w.r1c1) ws.Cells(w.row, w.col).SetFormulaR1C1(w.text);
            else ws.Cells(w.row, w.col).SetFormula(w.text);
        }
        for (const Written& w : *order) {
            const Value alone = Alone(w);
            const Value shared = ws.ValueAt(w.row, w.col);
            ASSERT_EQ(shared.kind(), alone.kind()) << w.text << " at " << w.row << "," << w.col;
            EXPECT_EQ(shared.Number(), alone.Number()) << w.text << " at " << w.row << "," << w.col;
            if (!w.r1c1) { EXPECT_EQ(ws.Cells(w.row, w.col).Formula(), w.text); }
        }
        // Moved cells keep computing what their own texts say.
        ws.Rows("1:1").Insert();
        EXPECT_EQ(ws.ValueAt(11, 10).Number(), (ws.ValueAt(10, 1).Number() - ws.ValueAt(2, 2).Number()) * 3);
        EXPECT_EQ(ws.ValueAt(12, 15).Number(), std::sqrt(std::pow(ws.ValueAt(11, 4).Number(), 2) +
                                                         std::pow(ws.ValueAt(11, 5).Number(), 2)));
    }
}

// Whole rows of another sheet, down a column, the rows crossing on the way.
TEST(FormulaShapes, RowRangesOfAnotherSheetComputeWhatTheyComputeAlone) {
    auto write = [](Workbook& book, int row) {
        Worksheet& data = book.Worksheets(1);
        FillData(data);
        Worksheet& ws = book.Worksheets(2);
        ws.Cells(row, 1).SetFormula("=AVERAGE(" + data.Name() + "!$20:" + std::to_string(row) + ")");
        // The value, and the text a file stores.
        return std::make_pair(ws.ValueAt(row, 1).Number(), ws.Find(row, 1)->a1Text);
    };
    Application app;
    Workbook& book = app.AddWorkbook();
    book.AddWorksheet();
    std::vector<std::pair<double, std::string>> shared;
    for (int r = 30; r >= 2; --r) shared.push_back(write(book, r));
    for (int r = 30; r >= 2; --r) {
        Application one;
        Workbook& alone = one.AddWorkbook();
        alone.AddWorksheet();
        EXPECT_EQ(shared[static_cast<size_t>(30 - r)], write(alone, r)) << "row " << r;
    }
}

// Down to the last row, where the reference of the next row leaves the sheet.
TEST(FormulaShapes, FormulasToTheLastRowComputeWhatTheyComputeAlone) {
    Application app;
    Worksheet& ws = app.AddWorkbook().Worksheets(1);
    FillData(ws);
    std::vector<Written> all;
    for (int r = kMaxRows - 12; r <= kMaxRows; ++r)
        all.push_back({r, 2, "=A" + std::to_string(r + 1) + "+A" + std::to_string(r - kMaxRows + 20), false});
    for (const Written& w : all) ws.Cells(w.row, w.col).SetFormula(w.text);
    for (const Written& w : all) {
        const Value alone = Alone(w);
        const Value shared = ws.ValueAt(w.row, w.col);
        ASSERT_EQ(shared.kind(), alone.kind()) << w.text;
        EXPECT_EQ(shared.ToString(), alone.ToString()) << w.text;
    }
}

}  // namespace
