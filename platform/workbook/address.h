#pragma once
// Cell addresses: A1 and R1C1 references, whole rows and columns, multi-area
// lists and sheet-qualified references as charts use them.
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

constexpr int kMaxRows = 1048576;
constexpr int kMaxCols = 16384;

// A rectangle of cells, 1-based and normalised (row1 <= row2, col1 <= col2).
struct Area {
    int row1 = 1, col1 = 1, row2 = 1, col2 = 1;

    static Area Cell(int r, int c) { return {r, c, r, c}; }
    static Area Make(int r1, int c1, int r2, int c2);  // normalises reversed corners
    bool WholeColumns() const { return row1 == 1 && row2 == kMaxRows; }
    bool WholeRows() const { return col1 == 1 && col2 == kMaxCols; }
    bool IsCell() const { return row1 == row2 && col1 == col2; }
    int Rows() const { return row2 - row1 + 1; }
    int Cols() const { return col2 - col1 + 1; }
    bool Contains(int r, int c) const { return r >= row1 && r <= row2 && c >= col1 && c <= col2; }
    bool operator==(const Area&) const = default;
};

// One area of a reference that may name its sheet ("" = the sheet at hand).
struct SheetArea {
    std::string sheet;
    Area area;
    bool operator==(const SheetArea&) const = default;
};

// "A" = 1 ... "XFD" = 16384; 0 when the text is not a column name.
int ColumnNumber(std::string_view letters);
std::string ColumnLetters(int col);

// "A1", "$AD$2", "AE2:AE29", "A:AF", "1:2", "B:B,D:D,N:N" (areas in the
// written order). Throws ExcelError on a malformed address.
std::vector<Area> ParseAddress(std::string_view address);

// The A1 text of an area: "$C$2:$C$11", "$A:$A", "$1:$1", "$B$2"; without
// dollars when `absolute` is false.
std::string AreaToA1(const Area& a, bool absolute = true);

// A reference list as chart series and names hold it: an optional "=", an
// optional pair of parentheses, then areas separated by commas, each with an
// optional sheet ("COLD!R2C16:R31C16", "'-130COLD'!$A$4:$A$9", "s!B2,s!U4").
// R1C1 and A1 forms are both accepted. Throws ExcelError when malformed.
std::vector<SheetArea> ParseReferenceList(std::string_view text);

// The sheet name as a reference prefix needs it: quoted (with inner quotes
// doubled) unless it is a plain word that cannot be read as a cell.
std::string QuoteSheetName(std::string_view name);

// Excel's rules for a sheet name: 1..31 characters, none of []:*?/\ and no
// apostrophe at either end. Returns "" when valid, else the reason.
std::string SheetNameProblem(std::string_view name);

// Case-insensitive ASCII comparison, as sheet and window names are compared.
bool SameName(std::string_view a, std::string_view b);

}  // namespace workbook
