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
        ws->ForEachValue(ref.area, visit);
        return true;
    }

    const std::vector<double>* SortedNumbers(const SheetArea& ref) override {
        const Worksheet* ws = Resolve(ref.sheet);
        return ws ? ws->SortedNumbers(ref.area) : nullptr;
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
void Worksheet::FormatChanged() const { Parent().FormatChanged(); }

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

Area Worksheet::UsedArea() const {
    const Area held = cells_.Used();
    if (!table_ || table_->area.row1 == 0) return held;
    if (held.row1 == 0) return table_->area;
    const Area& t = table_->area;
    return Area{std::min(held.row1, t.row1), std::min(held.col1, t.col1), std::max(held.row2, t.row2),
                std::max(held.col2, t.col2)};
}

Range Worksheet::UsedRange() {
    Area a = UsedArea();
    if (a.row1 == 0) a = Area::Cell(1, 1);
    return Range(this, {a});
}

QueryTable& Worksheet::AddQueryTable(std::string connection, const Range& destination) {
    queries_.push_back(std::make_unique<QueryTable>(*this, std::move(connection), destination.Row(), destination.Column()));
    return *queries_.back();
}

std::optional<Cell> Worksheet::Find(int row, int col) const {
    const CellStore::Slot* slot = cells_.Find(row, col);
    if (!slot) return std::nullopt;
    return Materialise(*slot);
}

Cell Worksheet::Materialise(const CellStore::Slot& slot) const {
    Cell cell;
    if (slot.kind() == CellStore::Kind::Formula) {
        const CellStore::FormulaCell& f = cells_.FormulaOf(slot);
        cell.formula = f.formula;
        cell.formulaR1C1 = f.formulaR1C1;
        cell.program = f.program;
        cell.a1Text = f.a1.empty() ? f.formula : f.a1;
    }
    cell.value = cells_.Constant(slot);
    cell.styleId = slot.style();
    cell.style = cells_.StyleOf(cell.styleId);
    return cell;
}

void Worksheet::SetConstant(int row, int col, const Value& v) {
    Changed();
    cells_.SetConstant(row, col, v);
}

void Worksheet::ClearContent(int row, int col) {
    Changed();
    cells_.ClearContent(row, col, true);
}

void Worksheet::Erase(int row, int col) {
    Changed();
    cells_.Erase(row, col);
}

Value Worksheet::ValueAt(int row, int col) const {
    const CellStore::Slot* slot = cells_.Find(row, col);
    if (!slot) return Value();
    return Evaluate(*slot, row, col);
}

Value Worksheet::Evaluate(const CellStore::Slot& slot, int, int) const {
    if (slot.kind() != CellStore::Kind::Formula) return cells_.Constant(slot);
    const CellStore::FormulaCell& cell = cells_.FormulaOf(slot);
    uint64_t gen = Parent().Generation();
    if (cell.computedAt == gen) return cell.value;
    // A formula that reaches itself gets 0, as a circular reference shows.
    if (cell.computing) return Value(0.0);
    cell.computing = true;
    SheetResolver resolver(*this);
    Value v;
    try {
        v = cell.program->Evaluate(resolver, cell.dRow, cell.dCol);
    } catch (...) {
        cell.computing = false;
        throw;
    }
    cell.computing = false;
    cell.value = v;
    cell.computedAt = gen;
    return v;
}

void Worksheet::ForEachCell(const Area& area, const std::function<void(int, int, bool)>& visit) const {
    cells_.ForEachIn(area, [&](int r, int c, const CellStore::Slot& s) { visit(r, c, s.HasContent()); });
}

void Worksheet::ForEachValue(const Area& area, const std::function<void(const Value&)>& visit) const {
    cells_.ForEachIn(area, [&](int r, int c, const CellStore::Slot& s) {
        if (!s.HasContent()) return;
        if (s.kind() == CellStore::Kind::Number) {
            visit(Value(s.num));
            return;
        }
        Value v = Evaluate(s, r, c);
        if (!v.IsEmpty()) visit(v);
    });
}

const std::vector<double>* Worksheet::SortedNumbers(const Area& area) const {
    const uint64_t gen = Parent().Generation();
    for (auto it = sorted_.begin(); it != sorted_.end();) {
        if (it->generation != gen) {
            it = sorted_.erase(it);
            continue;
        }
        if (it->area == area) {
            if (!it->built) {
                std::vector<double> numbers;
                // Evaluating the area may ask for other areas: the list
                // changes meanwhile, so the numbers are gathered apart.
                ForEachValue(area, [&](const Value& v) {
                    if (v.IsNumber()) numbers.push_back(v.Number());
                });
                std::sort(numbers.begin(), numbers.end());
                for (SortedArea& s : sorted_)
                    if (s.generation == gen && s.area == area) {
                        s.numbers = std::move(numbers);
                        s.built = true;
                        return &s.numbers;
                    }
                return nullptr;
            }
            return &it->numbers;
        }
        ++it;
    }
    if (sorted_.size() >= 4) sorted_.pop_front();
    sorted_.push_back(SortedArea{gen, area, false, {}});
    return nullptr;
}

void Worksheet::ForEachForFile(
    const std::function<void(int, int, const Value&, const std::string*, uint32_t)>& visit) const {
    cells_.ForEachByRow([&](int r, int c, const CellStore::Slot& s) {
        switch (s.kind()) {
        case CellStore::Kind::Number: visit(r, c, Value(s.num), nullptr, s.style()); return;
        case CellStore::Kind::Formula: {
            const CellStore::FormulaCell& f = cells_.FormulaOf(s);
            visit(r, c, Evaluate(s, r, c), f.a1.empty() ? &f.formula : &f.a1, s.style());
            return;
        }
        default: visit(r, c, cells_.Constant(s), nullptr, s.style()); return;
        }
    });
}

bool Worksheet::FileCellAt(int row, int col, Value& value, const std::string*& a1, uint32_t& styleId) const {
    const CellStore::Slot* s = cells_.Find(row, col);
    if (!s) return false;
    styleId = s->style();
    if (s->kind() == CellStore::Kind::Formula) {
        const CellStore::FormulaCell& f = cells_.FormulaOf(*s);
        a1 = f.a1.empty() ? &f.formula : &f.a1;
        value = Evaluate(*s, row, col);
        return true;
    }
    a1 = nullptr;
    if (s->kind() == CellStore::Kind::Number) value = Value(s->num);
    else value = cells_.Constant(*s);
    return true;
}

void Worksheet::ForEachFileCellIn(
    const Area& area, const std::function<void(int, int, const Value&, const std::string*)>& visit) const {
    Value v;
    cells_.ForEachIn(area, [&](int r, int c, const CellStore::Slot& s) {
        if (s.kind() == CellStore::Kind::Formula) {
            const CellStore::FormulaCell& f = cells_.FormulaOf(s);
            visit(r, c, Evaluate(s, r, c), f.a1.empty() ? &f.formula : &f.a1);
            return;
        }
        if (s.kind() == CellStore::Kind::Number) v = Value(s.num);
        else v = cells_.Constant(s);
        visit(r, c, v, nullptr);
    });
}

void Worksheet::ForEachCellByRow(const std::function<void(int, int, const Cell&)>& visit) const {
    Cell cell;
    cells_.ForEachByRow([&](int r, int c, const CellStore::Slot& s) {
        if (s.kind() == CellStore::Kind::Number && s.style() == 0) {
            // The common case, without copying a format.
            cell.value = Value(s.num);
            cell.program.reset();
            cell.styleId = 0;
            cell.style = Style{};
            visit(r, c, cell);
            return;
        }
        if (s.kind() == CellStore::Kind::Formula && s.style() == 0) {
            // Columns of formulas: the texts go into the room of the last.
            const CellStore::FormulaCell& f = cells_.FormulaOf(s);
            cell.formula.assign(f.formula);
            cell.formulaR1C1.assign(f.formulaR1C1);
            cell.program = f.program;
            cell.a1Text.assign(f.a1.empty() ? f.formula : f.a1);
            cell.value = cells_.Constant(s);
            cell.styleId = 0;
            cell.style = Style{};
            visit(r, c, cell);
            cell.formula.clear();
            cell.formulaR1C1.clear();
            cell.a1Text.clear();
            return;
        }
        visit(r, c, Materialise(s));
    });
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
    SetConstant(row, col, stored);
}

void Worksheet::PutFormula(int row, int col, std::string_view text, bool r1c1) {
    // Spreadsheets hold no longer formula: a file with one would not open.
    size_t characters = 0;
    for (char ch : text) characters += (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    if (!text.empty() && text.front() == '=') --characters;
    if (characters > kMaxFormulaCharacters)
        throw ExcelError("Formula", "the formula is " + std::to_string(characters) + " characters long, more than the " +
                                        std::to_string(kMaxFormulaCharacters) + " a spreadsheet holds");
    FormulaShapes::Use use = shapes_.Parse(text, r1c1, row, col);  // throws before the cell changes
    CellStore::FormulaCell f;
    f.formula = r1c1 ? use.a1 : std::string(text);
    f.formulaR1C1 = r1c1 ? std::string(text) : std::string();
    if (use.a1 != f.formula) f.a1 = std::move(use.a1);
    f.program = std::move(use.program);
    f.dRow = use.dRow;
    f.dCol = use.dCol;
    Changed();
    cells_.SetFormula(row, col, std::move(f));
}

// ---------------------------------------------------------------- styles

Style Worksheet::EffectiveStyle(int row, int col) const {
    Style s;
    if (auto it = colStyles_.find(col); it != colStyles_.end()) s.Overlay(it->second);
    if (auto it = rowStyles_.find(row); it != rowStyles_.end()) s.Overlay(it->second);
    if (uint32_t own = cells_.StyleAt(row, col)) s.Overlay(cells_.StyleOf(own));
    return s;
}

void Worksheet::ChangeStyle(int row, int col, const std::function<void(Style&)>& change,
                            std::vector<std::pair<uint32_t, uint32_t>>& memo) {
    uint32_t from = cells_.StyleAt(row, col);
    for (const auto& [was, now] : memo)
        if (was == from) {
            cells_.SetStyle(row, col, now);
            return;
        }
    Style st = cells_.StyleOf(from);
    change(st);
    uint32_t to = cells_.Intern(st);
    memo.emplace_back(from, to);
    cells_.SetStyle(row, col, to);
}

void Worksheet::ApplyStyle(const Area& area, const std::function<void(Style&)>& change) {
    FormatChanged();
    // Every change made here is a pure function of the format it meets.
    std::vector<std::pair<uint32_t, uint32_t>> memo;
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
        std::vector<std::pair<int, int>> hit;
        cells_.ForEachIn(area, [&](int r, int c, const CellStore::Slot&) { hit.emplace_back(r, c); });
        for (auto [r, c] : hit) ChangeStyle(r, c, change, memo);
        if (wholeCols && !wholeRows)
            for (const auto& [r, st] : rowStyles_)
                for (int c = area.col1; c <= area.col2; ++c) ChangeStyle(r, c, change, memo);
        if (wholeRows && !wholeCols)
            for (const auto& [c, st] : colStyles_)
                for (int r = area.row1; r <= area.row2; ++r) ChangeStyle(r, c, change, memo);
        return;
    }
    for (int c = area.col1; c <= area.col2; ++c)
        for (int r = area.row1; r <= area.row2; ++r) ChangeStyle(r, c, change, memo);
}

// ---------------------------------------------------------------- rows and columns

double Worksheet::ColumnWidth(int col) const {
    auto it = colWidths_.find(col);
    return it == colWidths_.end() ? kStandardWidth : it->second;
}

void Worksheet::SetColumnWidth(int col, double width) {
    FormatChanged();
    colWidths_[col] = width;
}

void Worksheet::SetColumnHidden(int col, bool hidden) {
    FormatChanged();
    if (hidden) hiddenCols_.insert(col);
    else hiddenCols_.erase(col);
}

void Worksheet::SetRowHidden(int row, bool hidden) {
    FormatChanged();
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
    FormatChanged();
    for (int c = col1; c <= col2; ++c) {
        double best = -1;
        // Most cells have no format of their own: their column's is worked
        // out once, not per cell.
        const Style columnStyle = EffectiveStyle(0, c);
        const bool plainRows = rowStyles_.empty();
        cells_.ForEachIn(Area::Make(row1, c, row2, c), [&](int r, int, const CellStore::Slot& slot) {
            if (!slot.HasContent()) return;
            if (!merges_.empty()) {
                const Area* m = MergeAt(r, c);
                if (m && m->Cols() > 1) return;
            }
            Style own;
            const Style* st = &columnStyle;
            if (!plainRows || slot.style() != 0) {
                own = EffectiveStyle(r, c);
                st = &own;
            }
            double factor = st->fontSize.value_or(11.0) / 11.0 * (st->bold.value_or(false) ? 1.1 : 1.0);
            // Character count times the font's relative width, plus the cell margins.
            auto width = [&](size_t chars) { return std::ceil((static_cast<double>(chars) * factor + 0.71) * 7.0) / 7.0; };
            const Value v = Evaluate(slot, r, c);
            const bool general = !st->numberFormat || *st->numberFormat == "General" || *st->numberFormat == "@";
            // A number in General shows at most 11 characters: once the
            // column is that wide, no number can widen it.
            if (v.IsNumber() && general && best >= width(kGeneralNumberChars)) return;
            const std::string text = DisplayText(v, st->numberFormat ? *st->numberFormat : "General");
            best = std::max(best, width(Utf8Length(text)));
        });
        if (best < 0) colWidths_.erase(c);
        else colWidths_[c] = best;
    }
}

// ---------------------------------------------------------------- structure

void Worksheet::RemapColumns(const std::function<int(int)>& map) {
    Changed();
    cells_.RemapColumns(map);
    RemapMerges([&map](int r, int c) { return std::make_pair(r, map(c)); });
}

void Worksheet::RemapRows(const std::function<int(int)>& map) {
    Changed();
    cells_.RemapRows(map);
    RemapMerges([&map](int r, int c) { return std::make_pair(map(r), c); });
}

void Worksheet::Remap(const std::function<std::pair<int, int>(int, int)>& map) {
    Changed();
    cells_.Remap(map);
    RemapMerges(map);
}

void Worksheet::RemapMerges(const std::function<std::pair<int, int>(int, int)>& map) {
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
    RemapColumns(f);
    colStyles_ = RemapKeys(colStyles_, f);
    colWidths_ = RemapKeys(colWidths_, f);
    hiddenCols_ = RemapSet(hiddenCols_, f);
}

void Worksheet::DeleteRows(const std::set<int>& rows) {
    std::function<int(int)> f = [&](int r) -> int {
        if (rows.count(r)) return 0;
        return r - static_cast<int>(std::distance(rows.begin(), rows.lower_bound(r)));
    };
    RemapRows(f);
    rowStyles_ = RemapKeys(rowStyles_, f);
    hiddenRows_ = RemapSet(hiddenRows_, f);
}

void Worksheet::InsertRows(int at, int count) {
    std::function<int(int)> f = [&](int r) { return r >= at ? (r + count <= kMaxRows ? r + count : 0) : r; };
    RemapRows(f);
    std::map<int, Style> styles = RemapKeys(rowStyles_, f);
    // New rows take the format of the row above, as inserted rows do.
    if (auto it = rowStyles_.find(at - 1); it != rowStyles_.end())
        for (int r = at; r < at + count; ++r) styles[r] = it->second;
    rowStyles_ = std::move(styles);
    hiddenRows_ = RemapSet(hiddenRows_, f);
}

void Worksheet::InsertColumns(int at, int count) {
    std::function<int(int)> f = [&](int c) { return c >= at ? (c + count <= kMaxCols ? c + count : 0) : c; };
    RemapColumns(f);
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
    std::vector<std::pair<Value, int>> rows;  // key, row
    for (int r = a.row1; r <= a.row2; ++r) rows.emplace_back(ValueAt(r, keyCol), r);
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& xr, const auto& yr) {
        const Value& x = xr.first;
        const Value& y = yr.first;
        int rx = SortRank(x), ry = SortRank(y);
        if (rx == 4 || ry == 4) return rx < ry;
        if (rx != ry) return ascending ? rx < ry : rx > ry;
        bool less;
        if (rx == 1) less = platform::UpperCase(x.Text()) < platform::UpperCase(y.Text());
        else less = x.Number() < y.Number();
        bool greater;
        if (rx == 1) greater = platform::UpperCase(y.Text()) < platform::UpperCase(x.Text());
        else greater = y.Number() < x.Number();
        return ascending ? less : greater;
    });
    std::vector<int> dest(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) dest[rows[i].second - a.row1] = a.row1 + static_cast<int>(i);
    cells_.Remap([&](int r, int c) { return a.Contains(r, c) ? std::make_pair(dest[r - a.row1], c) : std::make_pair(r, c); });
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
    ForEachCell(area, [&](int r, int c, bool hasContent) {
        if (hasContent) filled.emplace_back(r, c);
    });
    auto top = std::make_pair(area.row1, area.col1);
    bool topFilled = std::find(filled.begin(), filled.end(), top) != filled.end();
    if (!topFilled && filled.size() == 1) {
        const CellStore::Slot& from = *cells_.Find(filled[0].first, filled[0].second);
        if (from.kind() == CellStore::Kind::Formula) {
            const CellStore::FormulaCell& f = cells_.FormulaOf(from);
            CellStore::FormulaCell copy;
            copy.formula = f.formula;
            copy.formulaR1C1 = f.formulaR1C1;
            copy.a1 = f.a1;
            copy.program = f.program;
            copy.dRow = f.dRow;
            copy.dCol = f.dCol;
            cells_.SetFormula(area.row1, area.col1, std::move(copy));
        } else {
            cells_.SetConstant(area.row1, area.col1, cells_.Constant(from));
        }
    }
    for (auto [r, c] : filled)
        if (std::make_pair(r, c) != top) cells_.ClearContent(r, c, false);
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
