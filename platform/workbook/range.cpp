#include "platform/workbook/range.h"

#include "platform/workbook/sheet.h"
#include "platform/workbook/workbook.h"

#include <algorithm>
#include <set>

namespace workbook {

ValueGrid Transpose(const std::vector<Value>& list) {
    ValueGrid g;
    for (const Value& v : list) g.push_back({v});
    return g;
}

ValueGrid Transpose(const ValueGrid& grid) {
    size_t cols = 0;
    for (const auto& row : grid) cols = std::max(cols, row.size());
    ValueGrid g(cols, std::vector<Value>(grid.size()));
    for (size_t r = 0; r < grid.size(); ++r)
        for (size_t c = 0; c < grid[r].size(); ++c) g[c][r] = grid[r][c];
    return g;
}

Range::Range(Worksheet* sheet, std::vector<Area> areas) : sheet_(sheet), areas_(std::move(areas)) {
    if (areas_.empty()) throw ExcelError("Range", "a range needs at least one area");
}

std::string Range::Address(bool absolute) const {
    std::string s;
    for (const Area& a : areas_) {
        if (!s.empty()) s += ",";
        s += AreaToA1(a, absolute);
    }
    return s;
}

Range Range::Offset(int rows, int cols) const {
    std::vector<Area> out;
    for (const Area& a : areas_) {
        Area b = a;
        if (!a.WholeColumns()) { b.row1 += rows; b.row2 += rows; }
        if (!a.WholeRows()) { b.col1 += cols; b.col2 += cols; }
        if (b.row1 < 1 || b.col1 < 1 || b.row2 > kMaxRows || b.col2 > kMaxCols)
            throw ExcelError("Offset", "the range " + AreaToA1(a) + " moved off the sheet");
        out.push_back(b);
    }
    return Range(sheet_, out);
}

Range Range::Resize(int rows, int cols) const {
    const Area& a = First();
    if (rows < 1 || cols < 1 || a.row1 + rows - 1 > kMaxRows || a.col1 + cols - 1 > kMaxCols)
        throw ExcelError("Resize", "size out of the sheet");
    return Range(sheet_, {Area{a.row1, a.col1, a.row1 + rows - 1, a.col1 + cols - 1}});
}

Range Range::EntireColumn() const {
    std::vector<Area> out;
    for (const Area& a : areas_) out.push_back(Area{1, a.col1, kMaxRows, a.col2});
    return Range(sheet_, out);
}

Range Range::EntireRow() const {
    std::vector<Area> out;
    for (const Area& a : areas_) out.push_back(Area{a.row1, 1, a.row2, kMaxCols});
    return Range(sheet_, out);
}

Range Range::Cells(int row, int col) const {
    int r = First().row1 + row - 1, c = First().col1 + col - 1;
    return sheet_->Cells(r, c);
}

Value Range::GetValue() const { return sheet_->ValueAt(Row(), Column()); }

ValueGrid Range::GetValues() const {
    Area a = First();
    if (a.WholeColumns() || a.WholeRows()) {
        Area used = sheet_->UsedArea();
        if (used.row1 == 0) return {};
        a = Area::Make(a.row1, a.col1, std::min(a.row2, used.row2), std::min(a.col2, used.col2));
    }
    ValueGrid g(a.Rows(), std::vector<Value>(a.Cols()));
    for (int r = 0; r < a.Rows(); ++r)
        for (int c = 0; c < a.Cols(); ++c) g[r][c] = sheet_->ValueAt(a.row1 + r, a.col1 + c);
    return g;
}

namespace {
// Cells of an area that a write reaches: whole rows and columns stop at the
// used part of the sheet.
Area Writable(const Worksheet& ws, const Area& a) {
    if (!a.WholeColumns() && !a.WholeRows()) return a;
    Area used = ws.UsedArea();
    if (used.row1 == 0) return Area{0, 0, 0, 0};
    return Area::Make(std::max(a.row1, used.row1), std::max(a.col1, used.col1), std::min(a.row2, used.row2),
                      std::min(a.col2, used.col2));
}
}  // namespace

void Range::SetValue(const Value& v) {
    for (const Area& a0 : areas_) {
        Area a = Writable(*sheet_, a0);
        if (a.row1 == 0) continue;
        for (int r = a.row1; r <= a.row2; ++r)
            for (int c = a.col1; c <= a.col2; ++c) sheet_->Put(r, c, v);
    }
}

void Range::SetValues(const ValueGrid& grid) {
    if (grid.empty() || grid[0].empty()) return;
    const Area& a = First();
    size_t rows = grid.size(), cols = grid[0].size();
    for (int r = 0; r < a.Rows(); ++r)
        for (int c = 0; c < a.Cols(); ++c) {
            size_t gr = rows == 1 ? 0 : static_cast<size_t>(r);
            size_t gc = cols == 1 ? 0 : static_cast<size_t>(c);
            Value v = gr < rows && gc < grid[gr].size() ? grid[gr][gc] : Value::Error(CellError::NA);
            sheet_->Put(a.row1 + r, a.col1 + c, v);
        }
}

void Range::SetRowValues(const std::vector<Value>& list) { SetValues(ValueGrid{list}); }

void Range::SetText(const std::string& text) {
    for (const Area& a : areas_)
        for (int r = a.row1; r <= a.row2; ++r)
            for (int c = a.col1; c <= a.col2; ++c) sheet_->SetConstant(r, c, Value(text));
}

void Range::ClearContents() {
    for (const Area& a0 : areas_) {
        Area a = Writable(*sheet_, a0);
        if (a.row1 == 0) continue;
        std::vector<std::pair<int, int>> hit;
        sheet_->ForEachCell(a, [&](int r, int c, bool) { hit.emplace_back(r, c); });
        for (auto [r, c] : hit) sheet_->ClearContent(r, c);
    }
}

std::string Range::Formula() const {
    const std::optional<Cell> cell = sheet_->Find(Row(), Column());
    if (!cell) return "";
    if (cell->HasFormula()) return cell->formula;
    return cell->value.ToString();
}

void Range::SetFormula(std::string_view text) {
    bool isFormula = !text.empty() && text[0] == '=';
    for (const Area& a : areas_)
        for (int r = a.row1; r <= a.row2; ++r)
            for (int c = a.col1; c <= a.col2; ++c) {
                if (isFormula) sheet_->PutFormula(r, c, text, false);
                else sheet_->Put(r, c, Value(std::string(text)));
            }
}

std::string Range::FormulaR1C1() const {
    const std::optional<Cell> cell = sheet_->Find(Row(), Column());
    if (!cell) return "";
    if (!cell->formulaR1C1.empty()) return cell->formulaR1C1;
    if (cell->HasFormula()) return cell->formula;
    return cell->value.ToString();
}

void Range::SetFormulaR1C1(std::string_view text) {
    bool isFormula = !text.empty() && text[0] == '=';
    for (const Area& a : areas_)
        for (int r = a.row1; r <= a.row2; ++r)
            for (int c = a.col1; c <= a.col2; ++c) {
                if (isFormula) sheet_->PutFormula(r, c, text, true);
                else sheet_->Put(r, c, Value(std::string(text)));
            }
}

bool Range::HasFormula() const {
    const std::optional<Cell> cell = sheet_->Find(Row(), Column());
    return cell && cell->HasFormula();
}

std::string Range::NumberFormat() const {
    return sheet_->EffectiveStyle(Row(), Column()).numberFormat.value_or("General");
}

void Range::SetNumberFormat(const std::string& format) {
    for (const Area& a : areas_) sheet_->ApplyStyle(a, [&](Style& s) { s.numberFormat = format; });
}

FontRef Range::Font() const { return FontRef(*this); }
InteriorRef Range::Interior() const { return InteriorRef(*this); }
BorderRef Range::Borders(int index) const { return BorderRef(*this, index); }

void Range::SetHorizontalAlignment(int align) {
    for (const Area& a : areas_) sheet_->ApplyStyle(a, [&](Style& s) { s.hAlign = align; });
}

int Range::HorizontalAlignment() const { return sheet_->EffectiveStyle(Row(), Column()).hAlign.value_or(1); }

void Range::AutoFit() {
    for (const Area& a : areas_) sheet_->AutoFitColumns(a.col1, a.col2, a.row1, a.row2);
}

void Range::SetHidden(bool hidden) {
    for (const Area& a : areas_) {
        if (a.WholeColumns())
            for (int c = a.col1; c <= a.col2; ++c) sheet_->SetColumnHidden(c, hidden);
        else if (a.WholeRows())
            for (int r = a.row1; r <= a.row2; ++r) sheet_->SetRowHidden(r, hidden);
        else
            throw ExcelError("Hidden", "only whole rows or columns can be hidden");
    }
}

bool Range::Hidden() const {
    const Area& a = First();
    return a.WholeRows() && !a.WholeColumns() ? sheet_->RowHidden(a.row1) : sheet_->ColumnHidden(a.col1);
}

void Range::SetColumnWidth(double width) {
    for (const Area& a : areas_)
        for (int c = a.col1; c <= a.col2; ++c) sheet_->SetColumnWidth(c, width);
}

double Range::ColumnWidth() const { return sheet_->ColumnWidth(Column()); }

void Range::Delete(int shift) {
    bool allCols = std::all_of(areas_.begin(), areas_.end(), [](const Area& a) { return a.WholeColumns() && !a.WholeRows(); });
    bool allRows = std::all_of(areas_.begin(), areas_.end(), [](const Area& a) { return a.WholeRows() && !a.WholeColumns(); });
    if (allCols) {
        // Every area goes at once: later areas are not shifted by earlier ones.
        std::set<int> cols;
        for (const Area& a : areas_)
            for (int c = a.col1; c <= a.col2; ++c) cols.insert(c);
        sheet_->DeleteColumns(cols);
        return;
    }
    if (allRows) {
        std::set<int> rows;
        for (const Area& a : areas_)
            for (int r = a.row1; r <= a.row2; ++r) rows.insert(r);
        sheet_->DeleteRows(rows);
        return;
    }
    if (areas_.size() > 1) throw ExcelError("Delete", "cannot delete a multi-area range of cells");
    const Area& a = First();
    bool left = shift == xl::ShiftToLeft || (shift == 0 && a.Rows() >= a.Cols());
    sheet_->DeleteShift(a, left);
}

void Range::Insert(int shift) {
    if (areas_.size() > 1) throw ExcelError("Insert", "cannot insert at a multi-area range");
    const Area& a = First();
    bool down = shift == xl::ShiftDown || (shift == 0 && a.Cols() >= a.Rows());
    sheet_->InsertShift(a, down);
}

void Range::Sort(const Range& key1, int order1) {
    if (areas_.size() > 1) throw ExcelError("Sort", "cannot sort a multi-area range");
    if (key1.Column() < First().col1 || key1.Column() > First().col2)
        throw ExcelError("Sort", "the sort key lies outside the range");
    sheet_->SortRows(First(), key1.Column(), order1 != xl::Descending);
}

void Range::Merge() {
    for (const Area& a : areas_) sheet_->Merge(a);
}

void Range::SetMergeCells(bool merge) {
    for (const Area& a : areas_) {
        if (merge) sheet_->Merge(a);
        else sheet_->Unmerge(a);
    }
}

bool Range::MergeCells() const { return sheet_->MergeAt(Row(), Column()) != nullptr; }

void Range::Copy() const { sheet_->Parent().Parent().SetClipboard(GetValues()); }

void Range::PasteSpecialValues() const {
    const ValueGrid& g = sheet_->Parent().Parent().Clipboard();
    for (size_t r = 0; r < g.size(); ++r)
        for (size_t c = 0; c < g[r].size(); ++c) {
            int row = Row() + static_cast<int>(r), col = Column() + static_cast<int>(c);
            if (g[r][c].IsEmpty()) {
                Range(sheet_, {Area::Cell(row, col)}).ClearContents();
                continue;
            }
            sheet_->SetConstant(row, col, g[r][c]);
        }
}

void Range::Select() const { sheet_->Activate(); }

// ---------------------------------------------------------------- proxies

void FontRef::SetBold(bool bold) {
    for (const Area& a : r_.Areas()) r_.Sheet().ApplyStyle(a, [&](Style& s) { s.bold = bold; });
}
bool FontRef::Bold() const { return r_.Sheet().EffectiveStyle(r_.Row(), r_.Column()).bold.value_or(false); }
void FontRef::SetSize(double points) {
    for (const Area& a : r_.Areas()) r_.Sheet().ApplyStyle(a, [&](Style& s) { s.fontSize = points; });
}
double FontRef::Size() const { return r_.Sheet().EffectiveStyle(r_.Row(), r_.Column()).fontSize.value_or(11.0); }
void FontRef::SetName(const std::string& name) {
    for (const Area& a : r_.Areas()) r_.Sheet().ApplyStyle(a, [&](Style& s) { s.fontName = name; });
}
void FontRef::SetFontStyle(std::string_view style) { SetBold(style.find("Bold") != std::string_view::npos); }

void InteriorRef::SetColorIndex(int index) {
    for (const Area& a : r_.Areas())
        r_.Sheet().ApplyStyle(a, [&](Style& s) {
            s.fillColorIndex = index;
            if (index > 0 && !s.pattern) s.pattern = xl::Solid;
        });
}
int InteriorRef::ColorIndex() const {
    return r_.Sheet().EffectiveStyle(r_.Row(), r_.Column()).fillColorIndex.value_or(xl::None);
}
void InteriorRef::SetPattern(int pattern) {
    for (const Area& a : r_.Areas()) r_.Sheet().ApplyStyle(a, [&](Style& s) { s.pattern = pattern; });
}

namespace {
int NormaliseWeight(int w) {
    if (w == xl::Hairline || w == xl::Thin || w == xl::Medium || w == xl::Thick) return w;
    return xl::Medium;
}
}  // namespace

template <class F> void BorderRef::Apply(F change) const {
    Worksheet& ws = r_.Sheet();
    for (const Area& a0 : r_.Areas()) {
        Area a = Writable(ws, a0);
        if (a.row1 == 0) continue;
        auto edge = [&](const Area& part, int side) {
            ws.ApplyStyle(part, [&](Style& s) {
                BorderLine b = s.border[side].value_or(BorderLine{});
                change(b);
                s.border[side] = b;
            });
        };
        switch (index_) {
        case xl::EdgeLeft: edge(Area{a.row1, a.col1, a.row2, a.col1}, kLeft); break;
        case xl::EdgeRight: edge(Area{a.row1, a.col2, a.row2, a.col2}, kRight); break;
        case xl::EdgeTop: edge(Area{a.row1, a.col1, a.row1, a.col2}, kTop); break;
        case xl::EdgeBottom: edge(Area{a.row2, a.col1, a.row2, a.col2}, kBottom); break;
        case xl::InsideVertical:
            if (a.Cols() > 1) {
                edge(Area{a.row1, a.col1, a.row2, a.col2 - 1}, kRight);
                edge(Area{a.row1, a.col1 + 1, a.row2, a.col2}, kLeft);
            }
            break;
        case xl::InsideHorizontal:
            if (a.Rows() > 1) {
                edge(Area{a.row1, a.col1, a.row2 - 1, a.col2}, kBottom);
                edge(Area{a.row1 + 1, a.col1, a.row2, a.col2}, kTop);
            }
            break;
        case xl::DiagonalDown: edge(a, kDiagDown); break;
        case xl::DiagonalUp: edge(a, kDiagUp); break;
        default: throw ExcelError("Borders", "no border number " + std::to_string(index_));
        }
    }
}

void BorderRef::SetLineStyle(int style) { Apply([&](BorderLine& b) { b.lineStyle = style; }); }
void BorderRef::SetWeight(int weight) {
    Apply([&](BorderLine& b) {
        b.weight = NormaliseWeight(weight);
        // Giving a weight draws the line, as it does in the spreadsheet.
        if (b.lineStyle == xl::None) b.lineStyle = xl::Continuous;
    });
}
void BorderRef::SetColorIndex(int index) { Apply([&](BorderLine& b) { b.colorIndex = index; }); }

namespace {
int SideOf(int index) {
    switch (index) {
    case xl::EdgeLeft: return kLeft;
    case xl::EdgeRight: return kRight;
    case xl::EdgeTop: return kTop;
    case xl::EdgeBottom: return kBottom;
    case xl::InsideVertical: return kRight;
    case xl::InsideHorizontal: return kBottom;
    case xl::DiagonalDown: return kDiagDown;
    default: return kDiagUp;
    }
}
}  // namespace

int BorderRef::LineStyle() const {
    auto b = r_.Sheet().EffectiveStyle(r_.Row(), r_.Column()).border[SideOf(index_)];
    return b ? b->lineStyle : xl::None;
}
int BorderRef::Weight() const {
    auto b = r_.Sheet().EffectiveStyle(r_.Row(), r_.Column()).border[SideOf(index_)];
    return b ? b->weight : xl::Thin;
}

}  // namespace workbook
