#pragma once
// Sheets of a workbook: the worksheet with its compact cell store, row and
// column settings and merges, and the chart sheet.
#include "platform/workbook/address.h"
#include "platform/workbook/cell_store.h"
#include "platform/workbook/formula.h"
#include "platform/workbook/range.h"
#include "platform/workbook/style.h"
#include "platform/workbook/textimport.h"
#include "platform/workbook/value.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class Workbook;
class Chart;
class QueryTable;

// A cell as callers read it back: a copy of its constant or formula and its
// own format. The sheet itself keeps cells in compact form.
struct Cell {
    Value value;               // the constant, or the formula's last result
    std::string formula;       // A1 text as written ("" for a constant)
    std::string formulaR1C1;   // the text as written through FormulaR1C1
    std::shared_ptr<const Formula> program;
    std::string a1Text;        // the formula in A1 form without blanks, as files store it
    Style style;
    uint32_t styleId = 0;      // the sheet's number for `style`; 0 for none

    bool HasFormula() const { return program != nullptr; }
    bool HasContent() const { return program || !value.IsEmpty(); }
};

class Sheet {
public:
    enum class Kind { Worksheet, ChartSheet };
    virtual ~Sheet();

    Kind kind() const { return kind_; }
    const std::string& Name() const { return name_; }
    // Renames the sheet; the name must be valid and unique in the workbook.
    // Formulas and series naming the old name keep it: sheets get their final
    // name before anything refers to them.
    void SetName(std::string_view name);
    Workbook& Parent() const { return *parent_; }
    int Index() const;  // 1-based position among the workbook's sheets
    void Activate();
    void Select() { Activate(); }
    // Moves the sheet to just after `other` (Move After:=...).
    void MoveAfter(const Sheet& other);
    void MoveBefore(const Sheet& other);

protected:
    Sheet(Workbook& parent, Kind kind, std::string name) : parent_(&parent), kind_(kind), name_(std::move(name)) {}

private:
    friend class Workbook;
    Workbook* parent_;
    Kind kind_;
    std::string name_;
};

// A chart sheet: one chart filling the sheet.
class ChartSheet : public Sheet {
public:
    ChartSheet(Workbook& parent, std::string name, std::unique_ptr<Chart> chart);
    ~ChartSheet() override;
    Chart& GetChart() const { return *chart_; }

private:
    friend class Chart;
    std::unique_ptr<Chart> chart_;
};

// A chart placed on a worksheet.
struct EmbeddedChart {
    std::unique_ptr<Chart> chart;
    int row = 1, col = 1;  // top-left anchor cell
};

// The lines of a table file a worksheet shows without holding all their
// cells: those of the held columns are in the sheet, the others are read
// again from the file when the sheet is written. Made for a table opened to
// be charted and saved as it is; the file must stay as it was read.
struct TableLines {
    std::string path;
    DelimitedOptions options;
    int firstLine = 1;  // the file's line shown in row 1
    long lines = 0;     // the rows the sheet shows from it
    std::vector<bool> held;  // per column from 1 at [0]
    Area area{0, 0, 0, 0};   // what the lines' cells cover; row1 = 0 when nothing
    bool Held(int col) const { return col >= 1 && static_cast<size_t>(col) <= held.size() && held[col - 1]; }
};

class Worksheet : public Sheet {
public:
    Worksheet(Workbook& parent, std::string name);
    ~Worksheet() override;

    // --- ranges, as the object model gives them
    Range GetRange(std::string_view address);
    Range GetRange(const Range& from, const Range& to);  // Range(Cells(..), Cells(..))
    Range Cells(int row, int col);
    Range Rows(std::string_view address);  // "1:1", "1:2", "3"
    Range Rows(int row);
    Range Columns(std::string_view address);  // "C:P", "A"
    Range Columns(int col);
    Range UsedRange();

    // A text-file query whose results land at `destination` (QueryTables.Add).
    QueryTable& AddQueryTable(std::string connection, const Range& destination);

    // --- cell store
    // The value of a cell, formulas computed against the current contents.
    Value ValueAt(int row, int col) const;
    std::optional<Cell> Find(int row, int col) const;
    // Stores a value as it is (no reading of text as numbers, as a typed
    // entry does); the cell keeps its format.
    void SetConstant(int row, int col, const Value& v);
    // Empties a cell; one without a format of its own goes altogether.
    void ClearContent(int row, int col);
    void Erase(int row, int col);
    // Visits the stored cells of an area, column by column, rows ascending.
    void ForEachCell(const Area& area, const std::function<void(int row, int col, bool hasContent)>& visit) const;
    // Visits the values of an area's cells with content, column by column,
    // rows ascending, formulas computed; empty results are left out.
    void ForEachValue(const Area& area, const std::function<void(const Value&)>& visit) const;
    // The numbers of an area in ascending order while nothing changes, so
    // that a criterion counted over the same area again (a CDF of hundreds of
    // points over every trial) searches instead of scanning. nullptr the
    // first time an area is asked for after a change: one scan costs less
    // than a sort.
    const std::vector<double>* SortedNumbers(const Area& area) const;
    // Visits every stored cell row by row, columns ascending, as the file
    // stores them.
    void ForEachCellByRow(const std::function<void(int row, int col, const Cell& cell)>& visit) const;
    // The same as a file needs each cell, without copying it: its value (a
    // formula's computed), its formula's A1 text as files store it (null for
    // a constant) and its own format's number.
    void ForEachForFile(
        const std::function<void(int row, int col, const Value& value, const std::string* a1, uint32_t styleId)>& visit)
        const;
    // One stored cell as ForEachForFile gives it, without copying its
    // format or formula; false where nothing is stored.
    bool FileCellAt(int row, int col, Value& value, const std::string*& a1, uint32_t& styleId) const;
    // The same for the stored cells of an area, column by column, rows ascending.
    void ForEachFileCellIn(const Area& area,
                           const std::function<void(int row, int col, const Value& value, const std::string* a1)>& visit)
        const;
    // Whether the column has any cell stored.
    bool ColumnStored(int col) const { return cells_.ColumnStored(col); }
    // Area with row1 = 0 when the sheet is empty; the cells of the table
    // lines it shows count whether held or not.
    Area UsedArea() const;
    bool Empty() const { return cells_.Empty() && (!table_ || table_->area.row1 == 0); }
    // The cells the sheet itself holds.
    Area HeldArea() const { return cells_.Used(); }
    // The table lines it shows without holding them all, or null.
    const TableLines* Table() const { return table_.get(); }
    void SetTable(std::shared_ptr<const TableLines> lines) { table_ = std::move(lines); }
    // Whether any cell, row or column has a format of its own.
    bool HasFormats() const { return cells_.HasFormats() || !rowStyles_.empty() || !colStyles_.empty(); }
    // The sheet's number for the cell's own format; 0 for none.
    uint32_t OwnStyleId(int row, int col) const { return cells_.StyleAt(row, col); }
    // Gives back the room the cell store keeps for growth.
    void ReleaseSpare() { cells_.Compact(); }
    // For a workbook closed once saved: the column's cells are let go while
    // the rest of the save reads only other columns.
    void ReleaseColumnForClose(int col) { cells_.ReleaseColumn(col); }
    // Bytes the cells take, by the store's own accounting.
    size_t CellMemoryBytes() const { return cells_.MemoryBytes(); }

    // Writes a constant or a formula (text starting with "=") into one cell.
    void Put(int row, int col, const Value& v);
    void PutFormula(int row, int col, std::string_view text, bool r1c1);

    // --- styles
    Style EffectiveStyle(int row, int col) const;
    // Applies `change` to every cell of the area; whole rows and columns keep
    // it as their own setting too, so later cells there inherit it.
    void ApplyStyle(const Area& area, const std::function<void(Style&)>& change);
    const std::map<int, Style>& RowStyles() const { return rowStyles_; }
    const std::map<int, Style>& ColumnStyles() const { return colStyles_; }

    // --- rows and columns
    double ColumnWidth(int col) const;  // characters; the standard width when unset
    void SetColumnWidth(int col, double width);
    bool ColumnHidden(int col) const { return hiddenCols_.count(col) > 0; }
    void SetColumnHidden(int col, bool hidden);
    bool RowHidden(int row) const { return hiddenRows_.count(row) > 0; }
    void SetRowHidden(int row, bool hidden);
    const std::map<int, double>& ColumnWidths() const { return colWidths_; }
    // Fits the widths of `cols` to the displayed texts of the cells in rows
    // row1..row2 (merged cells spanning columns do not count).
    void AutoFitColumns(int col1, int col2, int row1, int row2);

    // --- structure. Formula texts are never rewritten by these: the callers
    // only move cells that no formula points at.
    void DeleteColumns(const std::set<int>& cols);
    void DeleteRows(const std::set<int>& rows);
    void InsertRows(int at, int count);
    void InsertColumns(int at, int count);
    // Removes the rectangle and closes the gap from the right or from below.
    void DeleteShift(const Area& area, bool shiftLeft);
    void InsertShift(const Area& area, bool shiftDown);
    void SortRows(const Area& area, int keyCol, bool ascending);
    void Merge(const Area& area);
    void Unmerge(const Area& area);
    const std::vector<Area>& Merges() const { return merges_; }
    const Area* MergeAt(int row, int col) const;

    // --- charts placed on the sheet
    std::vector<EmbeddedChart>& Charts() { return charts_; }
    const std::vector<EmbeddedChart>& Charts() const { return charts_; }

    // --- query tables
    const std::vector<std::unique_ptr<QueryTable>>& QueryTables() const { return queries_; }

    static constexpr double kStandardWidth = 8.43;

private:
    void Changed() const;
    void FormatChanged() const;
    Value Evaluate(const CellStore::Slot& slot, int row, int col) const;
    Cell Materialise(const CellStore::Slot& slot) const;
    // Applies `change` to the format of one cell, made when missing; `memo`
    // maps formats already changed in this call to their results.
    void ChangeStyle(int row, int col, const std::function<void(Style&)>& change,
                     std::vector<std::pair<uint32_t, uint32_t>>& memo);
    // Rebuilds the store with every cell moved by `map` (row, col) -> (row, col);
    // cells mapped to row 0 are dropped.
    void Remap(const std::function<std::pair<int, int>(int, int)>& map);
    // The same for a map of columns alone.
    void RemapColumns(const std::function<int(int)>& map);
    void RemapRows(const std::function<int(int)>& map);
    void RemapMerges(const std::function<std::pair<int, int>(int, int)>& map);

    CellStore cells_;
    FormulaShapes shapes_;
    std::map<int, Style> rowStyles_, colStyles_;
    std::map<int, double> colWidths_;
    std::set<int> hiddenCols_, hiddenRows_;
    std::vector<Area> merges_;
    std::vector<EmbeddedChart> charts_;
    std::vector<std::unique_ptr<QueryTable>> queries_;
    std::shared_ptr<const TableLines> table_;
    struct SortedArea {
        uint64_t generation;
        Area area;
        bool built;
        std::vector<double> numbers;
    };
    mutable std::list<SortedArea> sorted_;  // the last few areas asked for
};

}  // namespace workbook
