#pragma once
// A range of cells on one worksheet: one or more areas, with the reading,
// writing, formatting and structural operations the object model offers.
#include "platform/workbook/address.h"
#include "platform/workbook/value.h"

#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class Worksheet;
class Range;

using ValueGrid = std::vector<std::vector<Value>>;

// Application.Transpose: a one-dimensional list becomes one column; a block
// is mirrored.
ValueGrid Transpose(const std::vector<Value>& list);
ValueGrid Transpose(const ValueGrid& grid);

class FontRef;
class InteriorRef;
class BorderRef;

class Range {
public:
    Range(Worksheet* sheet, std::vector<Area> areas);

    Worksheet& Sheet() const { return *sheet_; }
    const std::vector<Area>& Areas() const { return areas_; }
    const Area& First() const { return areas_.front(); }
    int Row() const { return First().row1; }
    int Column() const { return First().col1; }
    int RowsCount() const { return First().Rows(); }
    int ColumnsCount() const { return First().Cols(); }
    std::string Address(bool absolute = true) const;

    Range Offset(int rows, int cols) const;
    Range Resize(int rows, int cols) const;
    Range EntireColumn() const;
    Range EntireRow() const;
    Range Cells(int row, int col) const;  // 1-based, relative to the first area

    // --- values
    Value GetValue() const;  // the top-left cell
    ValueGrid GetValues() const;  // the first area, row by row
    void SetValue(const Value& v);  // every cell; text starting with "=" is a formula
    // A block from the top-left cell; a single row or column is repeated to
    // fill a larger range.
    void SetValues(const ValueGrid& grid);
    // A one-dimensional list assigned to a range: one row.
    void SetRowValues(const std::vector<Value>& list);
    // The text of every cell, kept as text even when it starts with "="
    // (Characters.Text).
    void SetText(const std::string& text);
    void ClearContents();

    // --- formulas (kept exactly as written)
    std::string Formula() const;  // the formula text, or the constant as text
    void SetFormula(std::string_view text);
    std::string FormulaR1C1() const;
    void SetFormulaR1C1(std::string_view text);
    bool HasFormula() const;

    // --- formats
    std::string NumberFormat() const;
    void SetNumberFormat(const std::string& format);
    FontRef Font() const;
    InteriorRef Interior() const;
    BorderRef Borders(int index) const;
    void SetHorizontalAlignment(int align);
    int HorizontalAlignment() const;

    // --- rows and columns
    void AutoFit();  // the columns, fitted to this range's cells
    void SetHidden(bool hidden);  // whole columns or whole rows
    bool Hidden() const;
    void SetColumnWidth(double width);
    double ColumnWidth() const;

    // --- structure
    // Delete/Insert with an xl::Shift* constant (0 lets the shape decide).
    // All areas of a multi-area range go in one operation.
    void Delete(int shift = 0);
    void Insert(int shift = 0);
    void Sort(const Range& key1, int order1 = 1);
    void Merge();
    void SetMergeCells(bool merge);
    bool MergeCells() const;
    void Copy() const;
    // Pastes the copied values (PasteSpecial Paste:=xlPasteValues).
    void PasteSpecialValues() const;
    void Select() const;

private:
    Worksheet* sheet_;
    std::vector<Area> areas_;
};

class FontRef {
public:
    explicit FontRef(Range r) : r_(std::move(r)) {}
    void SetBold(bool bold);
    bool Bold() const;
    void SetSize(double points);
    double Size() const;
    void SetName(const std::string& name);
    // "Bold" or "Regular", as FontStyle takes it.
    void SetFontStyle(std::string_view style);

private:
    Range r_;
};

class InteriorRef {
public:
    explicit InteriorRef(Range r) : r_(std::move(r)) {}
    void SetColorIndex(int index);
    int ColorIndex() const;  // xl::None when unset
    void SetPattern(int pattern);

private:
    Range r_;
};

class BorderRef {
public:
    BorderRef(Range r, int index) : r_(std::move(r)), index_(index) {}
    void SetLineStyle(int style);
    // Weights other than hairline, thin, medium and thick count as medium.
    void SetWeight(int weight);
    void SetColorIndex(int index);
    int LineStyle() const;  // of the top-left cell's matching edge
    int Weight() const;

private:
    template <class F> void Apply(F change) const;
    Range r_;
    int index_;
};

}  // namespace workbook
