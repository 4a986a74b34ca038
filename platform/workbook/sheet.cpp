#include "platform/workbook/sheet.h"

#include "platform/core/numtext.h"
#include "platform/workbook/chart.h"
#include "platform/workbook/textimport.h"
#include "platform/workbook/workbook.h"

#include <algorithm>
#include <cmath>

namespace workbook {

// ---------------------------------------------------------------- Sheet

Sheet::~Sheet() = default;

void Sheet::SetName(std::string_view name) {
    if (name == name_) return;
    parent_->CheckNewName(this, name);
    name_ = std::string(name);
    parent_->Changed();
}

int Sheet::Index() const { return parent_->PositionOf(this) + 1; }

void Sheet::Activate() { parent_->SetActive(this); }

void Sheet::MoveAfter(const Sheet& other) {
    int target = parent_->PositionOf(&other);
    int mine = parent_->PositionOf(this);
    parent_->MoveSheet(this, mine < target ? target : target + 1);
}

void Sheet::MoveBefore(const Sheet& other) {
    int target = parent_->PositionOf(&other);
    int mine = parent_->PositionOf(this);
    parent_->MoveSheet(this, mine < target ? target - 1 : target);
}

ChartSheet::ChartSheet(Workbook& parent, std::string name, std::unique_ptr<Chart> chart)
    : Sheet(parent, Kind::ChartSheet, std::move(name)), chart_(std::move(chart)) {}
ChartSheet::~ChartSheet() = default;

// ---------------------------------------------------------------- evaluation

namespace {

class SheetResolver : public RefResolver {
public:
    explicit SheetResolver(const Worksheet& host) : host_(host) {}

    const Worksheet* Resolve(const std::string& name) const {
        if (name.empty()) return &host_;
        Sheet* s = host_.Parent().FindSheet(name);
        if (!s || s->kind() != Sheet::Kind::Worksheet) return nullptr;
        return static_cast<const Worksheet*>(s);
    }

    bool ForEachValue(const SheetArea& ref, const std::function<void(const Value&)>& visit) override {
        const Worksheet* ws = Resolve(ref.sheet);
        if (!ws) return false;
        ws->ForEachCell(ref.area, [&](int r, int c, const Cell& cell) {
            if (!cell.HasContent()) return;
            Value v = ws->ValueAt(r, c);
            if (!v.IsEmpty()) visit(v);
        });
        return true;
    }

    bool CellValue(const std::string& sheet, int row, int col, Value& out) override {
        const Worksheet* ws = Resolve(sheet);
        if (!ws) return false;
        out = ws->ValueAt(row, col);
        return true;
    }

private:
    const Worksheet& host_;
};

}  // namespace

// ---------------------------------------------------------------- Worksheet

Worksheet::Worksheet(Workbook& parent, std::string name) : Sheet(parent, Kind::Worksheet, std::move(name)) {}
Worksheet::~Worksheet() = default;

void Worksheet::Changed() const { Parent().Changed(); }

Range Worksheet::GetRange(std::string_view address) {
    if (address.find('!') == std::string_view::npos) return Range(this, ParseAddress(address));
    // Areas may name their sheet, which must be this one.
    std::vector<Area> areas;
    for (const SheetArea& sa : ParseReferenceList(address)) {
        if (!sa.sheet.empty() && !SameName(sa.sheet, Name()))
            throw ExcelError("Range", "\"" + std::string(address) + "\" is not on sheet " + Name());
        areas.push_back(sa.area);
    }
    return Range(this, areas);
}

Range Worksheet::GetRange(const Range& from, const Range& to) {
    const Area& a = from.First();
    const Area& b = to.First();
    return Range(this, {Area::Make(std::min(a.row1, b.row1), std::min(a.col1, b.col1), std::max(a.row2, b.row2),
                                   std::max(a.col2, b.col2))});
}

Range Worksheet::Cells(int row, int col) {
    if (row < 1 || row > kMaxRows || col < 1 || col > kMaxCols)
        throw ExcelError("Cells", "row " + std::to_string(row) + ", column " + std::to_string(col) + " is off the sheet");
    return Range(this, {Area::Cell(row, col)});
}

Range Worksheet::Rows(std::string_view address) {
    std::string a(address);
    if (a.find(':') == std::string::npos) a += ":" + a;
    Range r = GetRange(a);
    for (const Area& x : r.Areas())
        if (!x.WholeRows()) throw ExcelError("Rows", "\"" + std::string(address) + "\" is not a row address");
    return r;
}

Range Worksheet::Rows(int row) { return Range(this, {Area::Make(row, 1, row, kMaxCols)}); }

Range Worksheet::Columns(std::string_view address) {
    std::string a(address);
    if (a.find(':') == std::string::npos) a += ":" + a;
    Range r = GetRange(a);
    for (const Area& x : r.Areas())
        if (!x.WholeColumns()) throw ExcelError("Columns", "\"" + std::string(address) + "\" is not a column address");
    return r;
}

Range Worksheet::Columns(int col) { return Range(this, {Area::Make(1, col, kMaxRows, col)}); }

Range Worksheet::UsedRange() {
    Area a = UsedArea();
    if (a.row1 == 0) a = Area::Cell(1, 1);
    return Range(this, {a});
}

QueryTable& Worksheet::AddQueryTable(std::string connection, const Range& destination) {
    queries_.push_back(std::make_unique<QueryTable>(*this, std::move(connection), destination.Row(), destination.Column()));
    return *queries_.back();
}

const Cell* Worksheet::Find(int row, int col) const {
    auto it = cells_.find(Key(row, col));
    return it == cells_.end() ? nullptr : &it->second;
}

Cell& Worksheet::Touch(int row, int col) {
    Changed();
    return cells_[Key(row, col)];
}

void Worksheet::Erase(int row, int col) {
    Changed();
    cells_.erase(Key(row, col));
}

Value Worksheet::ValueAt(int row, int col) const {
    const Cell* cell = Find(row, col);
    if (!cell) return Value();
    if (!cell->HasFormula()) return cell->value;
    uint64_t gen = Parent().Generation();
    if (cell->computedAt == gen) return cell->value;
    // A formula that reaches itself gets 0, as a circular reference shows.
    if (cell->computing) return Value(0.0);
    cell->computing = true;
    SheetResolver resolver(*this);
    Value v;
    try {
        v = cell->program->Evaluate(resolver);
    } catch (...) {
        cell->computing = false;
        throw;
    }
    cell->computing = false;
    cell->value = v;
    cell->computedAt = gen;
    return v;
}

void Worksheet::ForEachCell(const Area& area, const std::function<void(int, int, const Cell&)>& visit) const {
    if (area.Cols() > 64) {
        for (const auto& [key, cell] : cells_) {
            int c = static_cast<int>(key >> 32), r = static_cast<int>(key & 0xFFFFFFFFu);
            if (area.Contains(r, c)) visit(r, c, cell);
        }
        return;
    }
    for (int c = area.col1; c <= area.col2; ++c) {
        auto it = cells_.lower_bound(Key(area.row1, c));
        auto end = cells_.upper_bound(Key(area.row2, c));
        for (; it != end; ++it) visit(static_cast<int>(it->first & 0xFFFFFFFFu), c, it->second);
    }
}

Area Worksheet::UsedArea() const {
    Area a{0, 0, 0, 0};
    bool any = false;
    for (const auto& [key, cell] : cells_) {
        if (!cell.HasContent()) continue;
        int c = static_cast<int>(key >> 32), r = static_cast<int>(key & 0xFFFFFFFFu);
        if (!any) {
            a = Area::Cell(r, c);
            any = true;
        } else {
            a = Area::Make(std::min(a.row1, r), std::min(a.col1, c), std::max(a.row2, r), std::max(a.col2, c));
        }
    }
    return a;
}

void Worksheet::Put(int row, int col, const Value& v) {
    if (v.IsText() && !v.Text().empty() && v.Text()[0] == '=') {
        PutFormula(row, col, v.Text(), false);
        return;
    }
    Value stored = v;
    double x;
    // Text given as a value is read the way a typed entry is: numbers become numbers.
    if (v.IsText() && platform::TryReadStrict(v.Text(), x)) stored = Value(x);
    Cell& cell = Touch(row, col);
    cell.value = stored;
    cell.formula.clear();
    cell.formulaR1C1.clear();
    cell.program.reset();
}

void Worksheet::PutFormula(int row, int col, std::string_view text, bool r1c1) {
    auto program = Formula::Parse(text, r1c1, row, col);  // throws before the cell changes
    Cell& cell = Touch(row, col);
    cell.program = program;
    cell.formula = r1c1 ? program->A1Text() : std::string(text);
    cell.formulaR1C1 = r1c1 ? std::string(text) : std::string();
    cell.value = Value();
    cell.computedAt = 0;
}

// ---------------------------------------------------------------- styles

Style Worksheet::EffectiveStyle(int row, int col) const {
    Style s;
    if (auto it = colStyles_.find(col); it != colStyles_.end()) s.Overlay(it->second);
    if (auto it = rowStyles_.find(row); it != rowStyles_.end()) s.Overlay(it->second);
    if (const Cell* c = Find(row, col)) s.Overlay(c->style);
    return s;
}

void Worksheet::ApplyStyle(const Area& area, const std::function<void(Style&)>& change) {
    Changed();
    bool wholeCols = area.WholeColumns(), wholeRows = area.WholeRows();
    if (wholeCols || wholeRows) {
        if (wholeCols && !wholeRows)
            for (int c = area.col1; c <= area.col2; ++c) change(colStyles_[c]);
        if (wholeRows && !wholeCols)
            for (int r = area.row1; r <= area.row2; ++r) change(rowStyles_[r]);
        if (wholeCols && wholeRows) {
            for (auto& [c, st] : colStyles_) change(st);
            for (auto& [r, st] : rowStyles_) change(st);
        }
        // Cells already set, and the crossings with the other kind of line,
        // take the new setting so that it wins over older ones.
        for (auto& [key, cell] : cells_) {
            int c = static_cast<int>(key >> 32), r = static_cast<int>(key & 0xFFFFFFFFu);
            if (area.Contains(r, c)) change(cell.style);
        }
        if (wholeCols && !wholeRows)
            for (const auto& [r, st] : rowStyles_)
                for (int c = area.col1; c <= area.col2; ++c) change(cells_[Key(r, c)].style);
        if (wholeRows && !wholeCols)
            for (const auto& [c, st] : colStyles_)
                for (int r = area.row1; r <= area.row2; ++r) change(cells_[Key(r, c)].style);
        return;
    }
    for (int c = area.col1; c <= area.col2; ++c)
        for (int r = area.row1; r <= area.row2; ++r) change(cells_[Key(r, c)].style);
}

// ---------------------------------------------------------------- rows and columns

double Worksheet::ColumnWidth(int col) const {
    auto it = colWidths_.find(col);
    return it == colWidths_.end() ? kStandardWidth : it->second;
}

void Worksheet::SetColumnWidth(int col, double width) {
    Changed();
    colWidths_[col] = width;
}

void Worksheet::SetColumnHidden(int col, bool hidden) {
    Changed();
    if (hidden) hiddenCols_.insert(col);
    else hiddenCols_.erase(col);
}

void Worksheet::SetRowHidden(int row, bool hidden) {
    Changed();
    if (hidden) hiddenRows_.insert(row);
    else hiddenRows_.erase(row);
}

namespace {
size_t Utf8Length(const std::string& s) {
    size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}
}  // namespace

void Worksheet::AutoFitColumns(int col1, int col2, int row1, int row2) {
    Changed();
    for (int c = col1; c <= col2; ++c) {
        double best = -1;
        ForEachCell(Area::Make(row1, c, row2, c), [&](int r, int, const Cell& cell) {
            if (!cell.HasContent()) return;
            const Area* m = MergeAt(r, c);
            if (m && m->Cols() > 1) return;
            Style st = EffectiveStyle(r, c);
            std::string text = DisplayText(ValueAt(r, c), st.numberFormat.value_or("General"));
            double factor = st.fontSize.value_or(11.0) / 11.0 * (st.bold.value_or(false) ? 1.1 : 1.0);
            // Character count times the font's relative width, plus the cell margins.
            double w = std::ceil((static_cast<double>(Utf8Length(text)) * factor + 0.71) * 7.0) / 7.0;
            best = std::max(best, w);
        });
        if (best < 0) colWidths_.erase(c);
        else colWidths_[c] = best;
    }
}

// ---------------------------------------------------------------- structure

void Worksheet::Remap(const std::function<std::pair<int, int>(int, int)>& map) {
    Changed();
    // The cells' nodes move to their new keys; nothing is copied or reallocated.
    std::map<uint64_t, Cell> moved;
    while (!cells_.empty()) {
        auto node = cells_.extract(cells_.begin());
        const uint64_t key = node.key();
        int c = static_cast<int>(key >> 32), r = static_cast<int>(key & 0xFFFFFFFFu);
        auto [nr, nc] = map(r, c);
        if (nr < 1 || nc < 1 || nr > kMaxRows || nc > kMaxCols) continue;
        node.mapped().computedAt = 0;
        node.key() = Key(nr, nc);
        moved.insert(moved.end(), std::move(node));
    }
    cells_ = std::move(moved);
    std::vector<Area> merges;
    for (const Area& m : merges_) {
        auto [r1, c1] = map(m.row1, m.col1);
        auto [r2, c2] = map(m.row2, m.col2);
        // A merge that lost its corner went with the deleted cells.
        if (r1 < 1 || c1 < 1 || r2 < 1 || c2 < 1 || r2 > kMaxRows || c2 > kMaxCols) continue;
        if (r2 - r1 != m.row2 - m.row1 || c2 - c1 != m.col2 - m.col1) continue;
        merges.push_back(Area::Make(r1, c1, r2, c2));
    }
    merges_ = std::move(merges);
}

namespace {
template <class T> std::map<int, T> RemapKeys(const std::map<int, T>& in, const std::function<int(int)>& f) {
    std::map<int, T> out;
    for (const auto& [k, v] : in) {
        int n = f(k);
        if (n >= 1) out[n] = v;
    }
    return out;
}
std::set<int> RemapSet(const std::set<int>& in, const std::function<int(int)>& f) {
    std::set<int> out;
    for (int k : in) {
        int n = f(k);
        if (n >= 1) out.insert(n);
    }
    return out;
}
}  // namespace

void Worksheet::DeleteColumns(const std::set<int>& cols) {
    std::function<int(int)> f = [&](int c) -> int {
        if (cols.count(c)) return 0;
        return c - static_cast<int>(std::distance(cols.begin(), cols.lower_bound(c)));
    };
    Remap([&](int r, int c) { return std::make_pair(f(c) ? r : 0, f(c)); });
    colStyles_ = RemapKeys(colStyles_, f);
    colWidths_ = RemapKeys(colWidths_, f);
    hiddenCols_ = RemapSet(hiddenCols_, f);
}

void Worksheet::DeleteRows(const std::set<int>& rows) {
    std::function<int(int)> f = [&](int r) -> int {
        if (rows.count(r)) return 0;
        return r - static_cast<int>(std::distance(rows.begin(), rows.lower_bound(r)));
    };
    Remap([&](int r, int c) { return std::make_pair(f(r), c); });
    rowStyles_ = RemapKeys(rowStyles_, f);
    hiddenRows_ = RemapSet(hiddenRows_, f);
}

void Worksheet::InsertRows(int at, int count) {
    std::function<int(int)> f = [&](int r) { return r >= at ? (r + count <= kMaxRows ? r + count : 0) : r; };
    Remap([&](int r, int c) { return std::make_pair(f(r), c); });
    std::map<int, Style> styles = RemapKeys(rowStyles_, f);
    // New rows take the format of the row above, as inserted rows do.
    if (auto it = rowStyles_.find(at - 1); it != rowStyles_.end())
        for (int r = at; r < at + count; ++r) styles[r] = it->second;
    rowStyles_ = std::move(styles);
    hiddenRows_ = RemapSet(hiddenRows_, f);
}

void Worksheet::InsertColumns(int at, int count) {
    std::function<int(int)> f = [&](int c) { return c >= at ? (c + count <= kMaxCols ? c + count : 0) : c; };
    Remap([&](int r, int c) { return std::make_pair(r, f(c)); });
    colStyles_ = RemapKeys(colStyles_, f);
    colWidths_ = RemapKeys(colWidths_, f);
    hiddenCols_ = RemapSet(hiddenCols_, f);
}

void Worksheet::DeleteShift(const Area& a, bool shiftLeft) {
    if (a.WholeColumns() && (shiftLeft || !a.WholeRows())) {
        std::set<int> cols;
        for (int c = a.col1; c <= a.col2; ++c) cols.insert(c);
        DeleteColumns(cols);
        return;
    }
    if (a.WholeRows()) {
        std::set<int> rows;
        for (int r = a.row1; r <= a.row2; ++r) rows.insert(r);
        DeleteRows(rows);
        return;
    }
    if (shiftLeft) {
        Remap([&](int r, int c) {
            if (r < a.row1 || r > a.row2 || c < a.col1) return std::make_pair(r, c);
            if (c <= a.col2) return std::make_pair(0, 0);
            return std::make_pair(r, c - a.Cols());
        });
    } else {
        Remap([&](int r, int c) {
            if (c < a.col1 || c > a.col2 || r < a.row1) return std::make_pair(r, c);
            if (r <= a.row2) return std::make_pair(0, 0);
            return std::make_pair(r - a.Rows(), c);
        });
    }
}

void Worksheet::InsertShift(const Area& a, bool shiftDown) {
    if (a.WholeRows()) {
        InsertRows(a.row1, a.Rows());
        return;
    }
    if (a.WholeColumns()) {
        InsertColumns(a.col1, a.Cols());
        return;
    }
    if (shiftDown) {
        Remap([&](int r, int c) {
            if (c < a.col1 || c > a.col2 || r < a.row1) return std::make_pair(r, c);
            return std::make_pair(r + a.Rows(), c);
        });
    } else {
        Remap([&](int r, int c) {
            if (r < a.row1 || r > a.row2 || c < a.col1) return std::make_pair(r, c);
            return std::make_pair(r, c + a.Cols());
        });
    }
}

namespace {
// Sort order of the spreadsheet: numbers, text, logicals, errors; blanks last
// in either direction.
int SortRank(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Number: return 0;
    case Value::Kind::Text: return 1;
    case Value::Kind::Bool: return 2;
    case Value::Kind::Error: return 3;
    case Value::Kind::Empty: return 4;
    }
    return 4;
}
}  // namespace

void Worksheet::SortRows(const Area& area, int keyCol, bool ascending) {
    Area a = area;
    if (a.WholeColumns()) {
        Area used = UsedArea();
        if (used.row1 == 0) return;
        a.row2 = used.row2;
    }
    struct RowData {
        Value key;
        std::map<int, Cell> cells;
    };
    std::vector<RowData> rows;
    for (int r = a.row1; r <= a.row2; ++r) rows.push_back({ValueAt(r, keyCol), {}});
    for (int c = a.col1; c <= a.col2; ++c)
        for (int r = a.row1; r <= a.row2; ++r) {
            auto it = cells_.find(Key(r, c));
            if (it == cells_.end()) continue;
            rows[r - a.row1].cells[c] = std::move(it->second);
            cells_.erase(it);
        }
    std::stable_sort(rows.begin(), rows.end(), [&](const RowData& x, const RowData& y) {
        int rx = SortRank(x.key), ry = SortRank(y.key);
        if (rx == 4 || ry == 4) return rx < ry;
        if (rx != ry) return ascending ? rx < ry : rx > ry;
        bool less;
        if (rx == 1) less = platform::UpperCase(x.key.Text()) < platform::UpperCase(y.key.Text());
        else less = x.key.Number() < y.key.Number();
        bool greater;
        if (rx == 1) greater = platform::UpperCase(y.key.Text()) < platform::UpperCase(x.key.Text());
        else greater = y.key.Number() < x.key.Number();
        return ascending ? less : greater;
    });
    for (size_t i = 0; i < rows.size(); ++i)
        for (auto& [c, cell] : rows[i].cells) {
            cell.computedAt = 0;
            cells_[Key(a.row1 + static_cast<int>(i), c)] = std::move(cell);
        }
    Changed();
}

const Area* Worksheet::MergeAt(int row, int col) const {
    for (const Area& m : merges_)
        if (m.Contains(row, col)) return &m;
    return nullptr;
}

void Worksheet::Merge(const Area& area) {
    if (area.IsCell()) return;
    Unmerge(area);
    // The merged cell keeps one value: the top-left one, or the only one there is.
    std::vector<std::pair<int, int>> filled;
    ForEachCell(area, [&](int r, int c, const Cell& cell) {
        if (cell.HasContent()) filled.emplace_back(r, c);
    });
    auto top = std::make_pair(area.row1, area.col1);
    bool topFilled = std::find(filled.begin(), filled.end(), top) != filled.end();
    if (!topFilled && filled.size() == 1) {
        Cell& from = cells_[Key(filled[0].first, filled[0].second)];
        Cell& to = cells_[Key(area.row1, area.col1)];
        to.value = from.value;
        to.formula = from.formula;
        to.formulaR1C1 = from.formulaR1C1;
        to.program = from.program;
        to.computedAt = 0;
    }
    for (auto [r, c] : filled) {
        if (std::make_pair(r, c) == top) continue;
        Cell& cell = cells_[Key(r, c)];
        cell.value = Value();
        cell.formula.clear();
        cell.formulaR1C1.clear();
        cell.program.reset();
    }
    merges_.push_back(area);
    Changed();
}

void Worksheet::Unmerge(const Area& area) {
    merges_.erase(std::remove_if(merges_.begin(), merges_.end(),
                                 [&](const Area& m) {
                                     return !(m.row2 < area.row1 || m.row1 > area.row2 || m.col2 < area.col1 ||
                                              m.col1 > area.col2);
                                 }),
                  merges_.end());
    Changed();
}

}  // namespace workbook
