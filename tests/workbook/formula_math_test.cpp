// IF and the numeric functions the position reports use, computed here and
// by gnumeric from the saved file.
#include "platform/workbook/workbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "tests/workbook/support.h"

using namespace workbook;

namespace {

TEST(FormulaMath, IfAnglesAndRoundingAsTheSpreadsheetComputesThem) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    ws.GetRange("A1").SetValue(Value(-33.9));
    ws.GetRange("A2").SetValue(Value(3.0));
    const std::vector<std::pair<const char*, const char*>> formulas = {
        {"B1", "=RADIANS(A1)"},
        {"B2", "=DEGREES(RADIANS(A1))"},
        {"B3", "=ATAN2(-1,0)"},             // x first: the point (-1, 0) lies at 180 degrees
        {"B4", "=DEGREES(ATAN2(1,-1))"},    // (1, -1): -45 degrees
        {"B5", "=ATAN2(0,0)"},              // the origin has no angle
        {"B6", "=IF(A2>2,A2*2,1/0)"},       // only the branch taken counts
        {"B7", "=IF(A2>5,1/0,-A2)"},
        {"B8", "=IF(A2>5,1)"},              // no else: FALSE
        {"B9", "=IF(A1,\"set\",\"zero\")"}, // a number as the condition
        {"B10", "=ROUND(100/3,3)"},
        {"B11", "=ROUND(-2.5,0)"},          // halves away from zero
        {"B12", "=ROUND(1234.5678,-2)"},
        {"B13", "=ROUND(2/3*100,3)"},
        {"B14", "=IF(COUNT(C1:C5)>0,MAX(C1:C5),\"\")"}};
    for (const auto& [cell, f] : formulas) ws.GetRange(cell).SetFormula(f);
    auto at = [&](const char* a) { return ws.GetRange(a).GetValue(); };
    EXPECT_DOUBLE_EQ(at("B1").Number(), -33.9 * std::numbers::pi / 180);
    EXPECT_NEAR(at("B2").Number(), -33.9, 1e-12);
    EXPECT_DOUBLE_EQ(at("B3").Number(), std::numbers::pi);
    EXPECT_DOUBLE_EQ(at("B4").Number(), -45);
    EXPECT_TRUE(at("B5").IsError() && at("B5").Error() == CellError::Div0);
    EXPECT_EQ(at("B6").Number(), 6);
    EXPECT_EQ(at("B7").Number(), -3);
    EXPECT_TRUE(at("B8").IsBool() && !at("B8").BoolValue());
    EXPECT_EQ(at("B9").Text(), "set");
    EXPECT_EQ(at("B10").Number(), 33.333);
    EXPECT_EQ(at("B11").Number(), -3);
    EXPECT_EQ(at("B12").Number(), 1200);
    EXPECT_EQ(at("B13").Number(), 66.667);
    EXPECT_EQ(at("B14").ToString(), "");

    REQUIRE_OPENPYXL();
    REQUIRE_SSCONVERT();
    wbtest::TempDir dir;
    wb.SaveAs(dir.File("math.xlsx"));
    wbtest::FileView v = wbtest::Recalculated(dir.File("math.xlsx"), dir.Path().string());
    for (const auto& [cell, f] : formulas) {
        const std::string k = std::string(ws.Name()) + "!" + cell;
        const Value mine = at(cell);
        const std::string& theirs = v.cached[k];
        SCOPED_TRACE(k + " " + f + ": gnumeric " + theirs);
        if (mine.IsNumber()) EXPECT_NEAR(wbtest::AsDouble(theirs), mine.Number(), 1e-12);
        else if (mine.IsError()) EXPECT_EQ(theirs, mine.ToString());
        else if (mine.IsBool()) EXPECT_EQ(theirs, "False");
        else EXPECT_TRUE(theirs == mine.ToString() || (mine.ToString().empty() && theirs == "None"));
    }
}

}  // namespace
