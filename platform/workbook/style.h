#pragma once
// Cell formatting as the builders set it: font, solid fill, borders, number
// format and alignment. Each property is optional so that row, column and
// cell settings layer the way the spreadsheet layers them.
#include <optional>
#include <string>

namespace workbook {

// Spreadsheet constants the builders pass.
namespace xl {
constexpr int None = -4142;            // xlNone / xlLineStyleNone
constexpr int Continuous = 1;          // xlContinuous
constexpr int Automatic = -4105;       // xlAutomatic / xlColorIndexAutomatic
constexpr int Solid = 1;               // xlSolid
constexpr int Hairline = 1, Thin = 2, Medium = -4138, Thick = 4;
constexpr int Center = -4108, Left = -4131, Right = -4152;
constexpr int DiagonalDown = 5, DiagonalUp = 6, EdgeLeft = 7, EdgeTop = 8, EdgeBottom = 9, EdgeRight = 10,
              InsideVertical = 11, InsideHorizontal = 12;
constexpr int ShiftToLeft = -4159, ShiftUp = -4162, ShiftDown = -4121, ShiftToRight = -4161;
constexpr int Ascending = 1, Descending = 2;
}  // namespace xl

struct BorderLine {
    int lineStyle = xl::None;
    int weight = xl::Thin;
    int colorIndex = xl::Automatic;
    bool operator==(const BorderLine&) const = default;
};

enum BorderSide { kLeft = 0, kTop, kBottom, kRight, kDiagDown, kDiagUp, kSides };

struct Style {
    std::optional<bool> bold;
    std::optional<double> fontSize;
    std::optional<std::string> fontName;
    std::optional<int> fillColorIndex;
    std::optional<int> pattern;
    std::optional<std::string> numberFormat;
    std::optional<int> hAlign;
    std::optional<BorderLine> border[kSides];

    // Takes every property that `over` sets.
    void Overlay(const Style& over);
    bool Empty() const;
    bool operator==(const Style&) const = default;
};

}  // namespace workbook
