#pragma once
// Formulas as cells hold them: parsed once when written, evaluated on demand
// against the workbook through a small resolver, and written back out as
// A1 text for the file.
#include "platform/workbook/address.h"
#include "platform/workbook/value.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace workbook {

// The longest formula a cell takes, in characters after the "=", as in
// the spreadsheets that read the files.
constexpr size_t kMaxFormulaCharacters = 8192;

// What evaluation needs of the workbook.
class RefResolver {
public:
    virtual ~RefResolver() = default;
    // Calls `visit` for every non-empty cell of the area (formulas evaluated);
    // false when the sheet does not exist.
    virtual bool ForEachValue(const SheetArea& ref, const std::function<void(const Value&)>& visit) = 0;
    // The value of one cell (Empty when blank); false when the sheet does not exist.
    virtual bool CellValue(const std::string& sheet, int row, int col, Value& out) = 0;
    // The numbers of the area in ascending order when the resolver keeps
    // them; nullptr otherwise (and when the sheet does not exist).
    virtual const std::vector<double>* SortedNumbers(const SheetArea&) { return nullptr; }
};

struct FormulaToken {
    enum class Kind { Number, String, Bool, Error, Ref, Func, Name, Op, LParen, RParen, Comma };
    Kind kind;
    std::string text;  // the lexeme (operator, function name, number as written)
    double number = 0;
    CellError error = CellError::Value;
    SheetArea ref;
    bool hasSheet = false;
    bool abs[4] = {false, false, false, false};  // $ on row1, col1, row2, col2
    enum class RefShape { Cell, Area, Columns, Rows } shape = RefShape::Cell;
};

class Formula {
public:
    // Reads a formula ("=" optional). With `r1c1`, references are R1C1 and
    // relative ones (R[1]C[-2], RC) count from the host cell. Throws
    // ExcelError when the text is not a formula.
    static std::shared_ptr<const Formula> Parse(std::string_view text, bool r1c1 = false, int hostRow = 1,
                                                int hostCol = 1);

    // The formula in A1 form with no blanks outside strings: "=AVERAGE(AD2:AD31)".
    std::string A1Text() const;

    Value Evaluate(RefResolver& resolver) const { return Evaluate(resolver, 0, 0); }
    // Evaluates for a host `dRow` rows and `dCol` columns from the cell the
    // formula was read for, as a formula of the same shape there reads.
    Value Evaluate(RefResolver& resolver, int dRow, int dCol) const;

    struct Node;
    friend class FormulaShapes;
    ~Formula();
    Formula();

private:
    static std::string A1TextOf(const std::vector<FormulaToken>& tokens);
    // The A1 text is made once at parsing; the tokens it came from are not
    // kept, as a sheet holds many formulas.
    std::string a1_;
    std::unique_ptr<Node> root_;
};

// Formulas of one sheet, read once per shape: a formula whose text differs
// from an earlier one only by references that move with their cells (as
// "=B2*M$1" in C2 and "=B3*M$1" in C3, or "=B3*M1" in C3 after "=B2*M1" in
// C2) uses the earlier one's parsed program, moved.
class FormulaShapes {
public:
    struct Use {
        std::shared_ptr<const Formula> program;
        int dRow = 0, dCol = 0;  // from the cell the program was read for
        std::string a1;          // the formula's own A1 text
    };
    // Throws ExcelError when the text is not a formula, as Formula::Parse.
    Use Parse(std::string_view text, bool r1c1, int hostRow, int hostCol);

private:
    struct Shape {
        std::shared_ptr<const Formula> program;
        int row, col;                // the cell it was read for
        std::vector<Area> refs;      // of its reference tokens, in order
        std::vector<uint8_t> moves;  // per reference: the corners that follow the host
    };
    // A formula of A1 text as its column's last one read, down some rows:
    // its text is the earlier text with the rows of its references moved,
    // so it is that program without reading the text again.
    struct RowSlot {
        size_t at, length;  // in the earlier text
        int row;
        bool moves;   // follows the host's row
        bool second;  // the lower row of an area, after its upper one
    };
    struct Recent {
        std::string text;
        std::vector<RowSlot> rows;
        std::shared_ptr<const Formula> program;
        int hostRow, shapeRow, shapeCol;
    };
    bool ReadAsRecent(std::string_view text, int hostRow, int hostCol, Use& use) const;
    void Remember(const std::vector<FormulaToken>& tokens, std::string_view text, const Shape& used, int hostRow,
                  int hostCol);

    // Per shape, the ways of moving met so far.
    std::unordered_map<std::string, std::vector<Shape>> shapes_;
    std::unordered_map<int, Recent> recent_;  // per host column
};

// Turns an R1C1 formula into its A1 text ("=COUNT(R2C3:R11C3)" -> "=COUNT($C$2:$C$11)").
std::string R1C1ToA1(std::string_view formula, int hostRow, int hostCol);

}  // namespace workbook
