#include "platform/workbook/cell_store.h"

#include <algorithm>
#include <tuple>

namespace workbook {

namespace {

// Heap blocks cost their bookkeeping too.
constexpr size_t kBlockOverhead = 16;

template <class T> size_t VectorBytes(const std::vector<T>& v) {
    return v.capacity() ? v.capacity() * sizeof(T) + kBlockOverhead : 0;
}

// A block holds 512 bytes of elements (one when an element is larger), and
// the block map a pointer per block, as the standard library lays it out.
template <class T> size_t DequeBytes(const std::deque<T>& d) {
    constexpr size_t kBlock = 512;
    constexpr size_t perBlock = sizeof(T) < kBlock ? kBlock / sizeof(T) : 1;
    const size_t blocks = d.size() / perBlock + 1;
    return blocks * (perBlock * sizeof(T) + kBlockOverhead) + std::max<size_t>(8, blocks + 2) * sizeof(void*) +
           kBlockOverhead;
}

size_t StringBytes(const std::string& s) {
    // Short texts live inside the string object.
    return s.capacity() > 15 ? s.capacity() + 1 + kBlockOverhead : 0;
}

}  // namespace

CellStore::CellStore() : styles_(1) {}

CellStore::Column::const_iterator CellStore::LowerBound(const Column& v, int row) {
    if (v.empty() || static_cast<int>(v.back().row) < row) return v.end();
    if (static_cast<int>(v.front().row) >= row) return v.begin();
    return std::lower_bound(v.begin(), v.end(), row,
                            [](const Slot& s, int r) { return static_cast<int>(s.row) < r; });
}

const CellStore::Slot* CellStore::Find(int row, int col) const {
    if (col < 1 || col > static_cast<int>(cols_.size())) return nullptr;
    const Column& v = cols_[col - 1];
    // Reads mostly walk down a column: try where the last one ended first.
    if (hints_.size() < cols_.size()) hints_.resize(cols_.size(), 0);
    size_t& h = hints_[col - 1];
    for (size_t i = h; i < v.size() && i <= h + 1; ++i)
        if (static_cast<int>(v[i].row) == row) {
            h = i;
            return v[i].Stored() ? &v[i] : nullptr;
        }
    auto it = LowerBound(v, row);
    if (it == v.end() || static_cast<int>(it->row) != row) return nullptr;
    h = static_cast<size_t>(it - v.begin());
    return it->Stored() ? &*it : nullptr;
}

CellStore::Slot* CellStore::FindMutable(int row, int col) { return const_cast<Slot*>(Find(row, col)); }

CellStore::Slot& CellStore::Ensure(int row, int col) {
    if (col > static_cast<int>(cols_.size())) cols_.resize(col);
    Column& v = cols_[col - 1];
    auto it = v.begin() + (LowerBound(v, row) - v.cbegin());
    if (it != v.end() && static_cast<int>(it->row) == row) {
        if (it->kind() == Kind::Gone) {
            it->num = 0;
            it->tag = static_cast<uint32_t>(Kind::Blank);
            --gone_;
            ++slots_;
        }
        return *it;
    }
    Slot s;
    s.num = 0;
    s.row = static_cast<uint32_t>(row);
    s.tag = static_cast<uint32_t>(Kind::Blank);
    ++slots_;
    // At the end, as a sheet is mostly written, nothing stored moves.
    if (it == v.end()) return v.emplace_back(s);
    return *v.insert(it, s);
}

namespace {
// Puts `item` in a free place of `table`, or at its end.
template <class T> uint32_t Place(std::deque<T>& table, std::vector<uint32_t>& free, T item) {
    if (!free.empty()) {
        uint32_t i = free.back();
        free.pop_back();
        table[i] = std::move(item);
        return i;
    }
    table.push_back(std::move(item));
    return static_cast<uint32_t>(table.size() - 1);
}
}  // namespace

uint32_t CellStore::NewText(std::string text) { return Place(texts_, freeTexts_, std::move(text)); }

uint32_t CellStore::NewFormula(FormulaCell f) { return Place(formulas_, freeFormulas_, std::move(f)); }

void CellStore::Release(Slot& s) {
    if (s.kind() == Kind::Text) {
        std::string().swap(texts_[s.index]);
        freeTexts_.push_back(static_cast<uint32_t>(s.index));
    } else if (s.kind() == Kind::Formula) {
        formulas_[s.index] = FormulaCell{};
        freeFormulas_.push_back(static_cast<uint32_t>(s.index));
    }
    s.num = 0;
}

Value CellStore::Constant(const Slot& s) const {
    switch (s.kind()) {
    case Kind::Number: return Value(s.num);
    case Kind::Text: return Value(texts_[s.index]);
    case Kind::Bool: return Value::Bool(s.num != 0);
    case Kind::Error: return Value::Error(static_cast<CellError>(static_cast<int>(s.num)));
    case Kind::Formula: return formulas_[s.index].value;
    case Kind::Blank:
    case Kind::Gone: break;
    }
    return Value();
}

void CellStore::Gained(int row, int col) {
    if (static_cast<int>(rowContent_.size()) < row) rowContent_.resize(row);
    if (static_cast<int>(colContent_.size()) < col) colContent_.resize(col);
    ++rowContent_[row - 1];
    ++colContent_[col - 1];
    if (content_++ == 0) used_ = Area::Cell(row, col);
    else used_ = Area{std::min(used_.row1, row), std::min(used_.col1, col), std::max(used_.row2, row),
                      std::max(used_.col2, col)};
}

void CellStore::Lost(int row, int col) {
    --rowContent_[row - 1];
    --colContent_[col - 1];
    if (--content_ == 0) {
        used_ = Area{0, 0, 0, 0};
        return;
    }
    // An edge that lost its last cell moves inwards to the next line with content.
    while (rowContent_[used_.row1 - 1] == 0) ++used_.row1;
    while (rowContent_[used_.row2 - 1] == 0) --used_.row2;
    while (colContent_[used_.col1 - 1] == 0) ++used_.col1;
    while (colContent_[used_.col2 - 1] == 0) --used_.col2;
}

void CellStore::Recount() {
    rowContent_.clear();
    colContent_.clear();
    content_ = 0;
    used_ = Area{0, 0, 0, 0};
    slots_ = 0;
    gone_ = 0;
    for (size_t c = 0; c < cols_.size(); ++c)
        for (const Slot& s : cols_[c]) {
            if (!s.Stored()) {
                ++gone_;
                continue;
            }
            ++slots_;
            if (s.HasContent()) Gained(static_cast<int>(s.row), static_cast<int>(c + 1));
        }
}

void CellStore::SetConstant(int row, int col, const Value& v) {
    Slot& s = Ensure(row, col);
    bool had = s.HasContent();
    Release(s);
    switch (v.kind()) {
    case Value::Kind::Empty: SetKind(s, Kind::Blank); break;
    case Value::Kind::Number: SetKind(s, Kind::Number); s.num = v.Number(); break;
    case Value::Kind::Bool: SetKind(s, Kind::Bool); s.num = v.BoolValue() ? 1 : 0; break;
    case Value::Kind::Error: SetKind(s, Kind::Error); s.num = static_cast<int>(v.Error()); break;
    case Value::Kind::Text: {
        uint32_t i = NewText(v.Text());
        SetKind(s, Kind::Text);
        s.index = i;
        break;
    }
    }
    if (had && !s.HasContent()) Lost(row, col);
    else if (!had && s.HasContent()) Gained(row, col);
}

void CellStore::SetFormula(int row, int col, FormulaCell f) {
    uint32_t i = NewFormula(std::move(f));
    Slot& s = Ensure(row, col);
    bool had = s.HasContent();
    Release(s);
    SetKind(s, Kind::Formula);
    s.index = i;
    if (!had) Gained(row, col);
}

void CellStore::ClearContent(int row, int col, bool dropBare) {
    Slot* s = FindMutable(row, col);
    if (!s) return;
    if (dropBare && s->style() == 0) {
        Erase(row, col);
        return;
    }
    bool had = s->HasContent();
    Release(*s);
    SetKind(*s, Kind::Blank);
    if (had) Lost(row, col);
}

void CellStore::Erase(int row, int col) {
    Slot* s = FindMutable(row, col);
    if (!s) return;
    bool had = s->HasContent();
    Release(*s);
    s->tag = static_cast<uint32_t>(Kind::Gone);
    --slots_;
    ++gone_;
    if (had) Lost(row, col);
    // Tidy once the Gone outnumber the stored, so that tidying stays cheap overall.
    if (gone_ > slots_ + 1024) Tidy();
}

void CellStore::Tidy() {
    for (auto& v : cols_)
        v.erase(std::remove_if(v.begin(), v.end(), [](const Slot& s) { return !s.Stored(); }), v.end());
    gone_ = 0;
}

void CellStore::Compact() {
    Tidy();
    for (auto& v : cols_) v.shrink_to_fit();
}

void CellStore::ForgetResults() {
    for (FormulaCell& f : formulas_) f.computedAt = 0;
}

uint32_t CellStore::Intern(const Style& s) {
    for (size_t i = 0; i < styles_.size(); ++i)
        if (styles_[i] == s) return static_cast<uint32_t>(i);
    styles_.push_back(s);
    return static_cast<uint32_t>(styles_.size() - 1);
}

uint32_t CellStore::StyleAt(int row, int col) const {
    const Slot* s = Find(row, col);
    return s ? s->style() : 0;
}

void CellStore::SetStyle(int row, int col, uint32_t index) {
    Slot& s = Ensure(row, col);
    s.tag = (index << 4) | (s.tag & 0xFu);
}

void CellStore::ForEachByRow(const std::function<void(int, int, const Slot&)>& visit) const {
    std::vector<int> active;
    std::vector<size_t> at(cols_.size(), 0);
    for (size_t c = 0; c < cols_.size(); ++c)
        if (!cols_[c].empty()) active.push_back(static_cast<int>(c));
    while (!active.empty()) {
        uint32_t row = UINT32_MAX;
        for (int c : active) row = std::min(row, cols_[c][at[c]].row);
        size_t keep = 0;
        for (int c : active) {
            const Column& v = cols_[c];
            if (v[at[c]].row == row) {
                const Slot& s = v[at[c]++];
                if (s.Stored()) visit(static_cast<int>(row), c + 1, s);
            }
            if (at[c] < v.size()) active[keep++] = c;
        }
        active.resize(keep);
    }
}

void CellStore::Remap(const std::function<std::pair<int, int>(int, int)>& map) {
    struct Moved {
        int col, row;
        Slot slot;
    };
    std::vector<Moved> moved;
    moved.reserve(slots_);
    for (size_t c = 0; c < cols_.size(); ++c) {
        for (Slot& s : cols_[c]) {
            if (!s.Stored()) continue;
            auto [nr, nc] = map(static_cast<int>(s.row), static_cast<int>(c + 1));
            if (nr < 1 || nc < 1 || nr > kMaxRows || nc > kMaxCols) {
                Release(s);
                continue;
            }
            Slot t = s;
            t.row = static_cast<uint32_t>(nr);
            moved.push_back({nc, nr, t});
        }
        Column().swap(cols_[c]);
    }
    std::stable_sort(moved.begin(), moved.end(),
                     [](const Moved& a, const Moved& b) { return std::tie(a.col, a.row) < std::tie(b.col, b.row); });
    cols_.clear();
    for (size_t i = 0; i < moved.size(); ++i) {
        if (i > 0 && moved[i].col == moved[i - 1].col && moved[i].row == moved[i - 1].row) {
            Release(moved[i].slot);
            continue;
        }
        if (moved[i].col > static_cast<int>(cols_.size())) cols_.resize(moved[i].col);
        cols_[moved[i].col - 1].push_back(moved[i].slot);
    }
    ForgetResults();
    Recount();
}

void CellStore::RemapColumns(const std::function<int(int)>& map) {
    const auto to = [&map](size_t c) {
        const int n = map(static_cast<int>(c + 1));
        return n < 1 || n > kMaxCols ? 0 : n;
    };
    int last = 0;
    for (size_t c = 0; c < cols_.size(); ++c) {
        if (cols_[c].empty()) continue;
        const int n = to(c);
        if (n == 0) continue;
        if (n <= last) {
            Remap([&map](int r, int col) { return std::make_pair(r, map(col)); });
            return;
        }
        last = n;
    }
    std::deque<Column> moved(static_cast<size_t>(last));
    for (size_t c = 0; c < cols_.size(); ++c) {
        const int n = to(c);
        if (n == 0) {
            for (Slot& s : cols_[c])
                if (s.Stored()) Release(s);
            continue;
        }
        if (!cols_[c].empty()) moved[static_cast<size_t>(n - 1)] = std::move(cols_[c]);
    }
    cols_ = std::move(moved);
    hints_.clear();
    ForgetResults();
    Recount();
}

void CellStore::RemapRows(const std::function<int(int)>& map) {
    // Each cell's new row, worked out once, in the order of the columns.
    std::vector<uint32_t> rows;
    rows.reserve(slots_ + gone_);
    for (const Column& v : cols_) {
        uint32_t last = 0;
        for (const Slot& s : v) {
            int n = s.Stored() ? map(static_cast<int>(s.row)) : 0;
            if (n < 1 || n > kMaxRows) n = 0;
            if (n != 0 && static_cast<uint32_t>(n) <= last) {
                Remap([&map](int r, int c) { return std::make_pair(map(r), c); });
                return;
            }
            if (n != 0) last = static_cast<uint32_t>(n);
            rows.push_back(static_cast<uint32_t>(n));
        }
    }
    size_t k = 0;
    for (Column& v : cols_) {
        bool dropped = false;
        for (Slot& s : v) {
            const uint32_t n = rows[k++];
            if (n != 0) {
                s.row = n;
                continue;
            }
            if (s.Stored()) {
                Release(s);
                SetKind(s, Kind::Gone);
            }
            dropped = true;
        }
        if (dropped) v.erase(std::remove_if(v.begin(), v.end(), [](const Slot& s) { return !s.Stored(); }), v.end());
    }
    hints_.clear();
    ForgetResults();
    Recount();
}

void CellStore::ReleaseColumn(int col) {
    if (col < 1 || col > static_cast<int>(cols_.size())) return;
    Column().swap(cols_[static_cast<size_t>(col - 1)]);
    if (static_cast<size_t>(col - 1) < hints_.size()) hints_[static_cast<size_t>(col - 1)] = 0;
}

size_t CellStore::MemoryBytes() const {
    size_t n = sizeof(*this) + DequeBytes(cols_);
    for (const auto& v : cols_) n += DequeBytes(v);
    n += DequeBytes(texts_) + VectorBytes(freeTexts_);
    for (const std::string& t : texts_) n += StringBytes(t);
    n += DequeBytes(formulas_) + VectorBytes(freeFormulas_);
    for (const FormulaCell& f : formulas_) n += StringBytes(f.formula) + StringBytes(f.formulaR1C1) + StringBytes(f.a1);
    n += VectorBytes(styles_) + DequeBytes(rowContent_) + DequeBytes(colContent_) + VectorBytes(hints_);
    return n;
}

}  // namespace workbook
