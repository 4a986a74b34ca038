#pragma once
// The cells of one worksheet in compact form: per column a run of 16-byte
// slots sorted by row, with texts, formulas and formats held once in side
// tables and referenced by index. The used area is kept up to date as cells
// gain and lose content, so nothing walks the cells to find it. Columns and
// tables are stored in blocks: a sheet that grows never moves the cells it
// already holds.
#include "platform/workbook/address.h"
#include "platform/workbook/formula.h"
#include "platform/workbook/style.h"
#include "platform/workbook/value.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace workbook {

class CellStore {
public:
    // A cell taken away stays behind as Gone until its column is tidied, so
    // that clearing and refilling a cell in a long column moves nothing.
    enum class Kind : uint8_t { Blank, Number, Text, Bool, Error, Formula, Gone };

    struct Slot {
        union {
            double num;      // number, logical (0 or 1), error code
            uint64_t index;  // into the text or formula table
        };
        uint32_t row;
        uint32_t tag;  // kind in the low 4 bits, format index above

        Kind kind() const { return static_cast<Kind>(tag & 0xFu); }
        uint32_t style() const { return tag >> 4; }
        bool HasContent() const { return kind() != Kind::Blank && kind() != Kind::Gone; }
        bool Stored() const { return kind() != Kind::Gone; }
    };
    static_assert(sizeof(Slot) == 16);

    struct FormulaCell {
        std::string formula;      // A1 text as written
        std::string formulaR1C1;  // the text as written through FormulaR1C1
        std::string a1;           // the A1 text without blanks, when it differs from `formula`
        std::shared_ptr<const Formula> program;  // may be shared with cells of the same shape
        int32_t dRow = 0, dCol = 0;               // from the cell `program` was read for
        mutable Value value;             // the last result
        mutable uint64_t computedAt = 0;  // workbook generation of `value`
        mutable bool computing = false;
    };

    CellStore();

    const Slot* Find(int row, int col) const;
    bool Empty() const { return slots_ == 0; }
    size_t SlotCount() const { return slots_; }
    // Rows and columns holding content; row1 = 0 when there is none.
    Area Used() const { return used_; }
    bool ColumnStored(int col) const {
        return col >= 1 && col <= static_cast<int>(cols_.size()) && !cols_[col - 1].empty();
    }

    // --- content
    Value Constant(const Slot& s) const;  // the value of a cell without a formula
    const FormulaCell& FormulaOf(const Slot& s) const { return formulas_[s.index]; }
    void SetConstant(int row, int col, const Value& v);
    void SetFormula(int row, int col, FormulaCell f);
    // Takes the content away; a cell without a format of its own goes when `dropBare`.
    void ClearContent(int row, int col, bool dropBare);
    void Erase(int row, int col);
    // Gives back the room kept for growth.
    void Compact();
    // Lets go of one column's cells in a store about to go: the other
    // columns stay readable, the counts and the used area stay as they were.
    void ReleaseColumn(int col);
    // Forgets every formula result, as moving cells does.
    void ForgetResults();

    // --- formats
    const Style& StyleOf(uint32_t index) const { return styles_[index]; }
    uint32_t Intern(const Style& s);
    bool HasFormats() const { return styles_.size() > 1; }
    // The format index of a cell, made when missing.
    uint32_t StyleAt(int row, int col) const;
    void SetStyle(int row, int col, uint32_t index);

    // Visits the stored cells of an area column by column, rows ascending.
    template <class F> void ForEachIn(const Area& a, F&& visit) const {
        int last = std::min<int>(a.col2, static_cast<int>(cols_.size()));
        for (int c = a.col1; c <= last; ++c) {
            const Column& v = cols_[c - 1];
            for (auto it = LowerBound(v, a.row1); it != v.end() && static_cast<int>(it->row) <= a.row2; ++it)
                if (it->Stored()) visit(static_cast<int>(it->row), c, *it);
        }
    }
    // Visits every stored cell row by row, columns ascending.
    void ForEachByRow(const std::function<void(int row, int col, const Slot&)>& visit) const;

    // Moves every cell by `map` (row, col) -> (row, col); cells mapped off the
    // sheet (row or column 0) are dropped. Where two land on one place the
    // one met first column by column wins.
    void Remap(const std::function<std::pair<int, int>(int, int)>& map);
    // The same for a map of columns alone, rows staying: when the columns
    // kept stay in their order (as deleting and inserting columns keep
    // them), whole columns move and no cell is touched.
    void RemapColumns(const std::function<int(int)>& map);
    // And for a map of rows alone, columns staying: when the rows kept stay
    // in their order (as deleting and inserting rows keep them), each cell
    // only takes its new row number.
    void RemapRows(const std::function<int(int)>& map);

    // Bytes held by the slots and the tables, heap blocks included (parsed
    // formula programs are not counted).
    size_t MemoryBytes() const;

private:
    using Column = std::deque<Slot>;
    static Column::const_iterator LowerBound(const Column& v, int row);
    Slot* FindMutable(int row, int col);
    Slot& Ensure(int row, int col);
    void Release(Slot& s);  // frees the slot's text or formula entry
    void SetKind(Slot& s, Kind k) { s.tag = (s.tag & ~0xFu) | static_cast<uint32_t>(k); }
    void Gained(int row, int col);
    void Lost(int row, int col);
    void Recount();
    void Tidy();  // drops the Gone slots
    uint32_t NewText(std::string text);
    uint32_t NewFormula(FormulaCell f);

    std::deque<Column> cols_;
    mutable std::vector<size_t> hints_;  // per column, where the last lookup ended
    size_t slots_ = 0;  // stored, Gone ones not counted
    size_t gone_ = 0;
    std::deque<std::string> texts_;
    std::vector<uint32_t> freeTexts_;
    std::deque<FormulaCell> formulas_;
    std::vector<uint32_t> freeFormulas_;
    std::vector<Style> styles_;  // [0] is no format of its own
    // Cells with content per row and per column, for the used area.
    std::deque<uint32_t> rowContent_, colContent_;
    size_t content_ = 0;
    Area used_{0, 0, 0, 0};
};

}  // namespace workbook
