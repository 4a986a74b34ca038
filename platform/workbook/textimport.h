#pragma once
// Delimited text import, as a query table does it in one synchronous refresh,
// and the comma-separated reader behind opening a CSV file as a workbook.
#include "platform/workbook/value.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

class Worksheet;

// The properties a text query carries. Only the parsing ones act; the rest
// are kept as set (the file format has no place for a query table).
class QueryTable {
public:
    QueryTable(Worksheet& sheet, std::string connection, int row, int col);

    // Reads the file named by the connection ("TEXT;" + path) and writes its
    // fields from the destination cell. Throws ExcelError when it cannot be read.
    void Refresh(bool backgroundQuery = false);

    std::string name;
    bool fieldNames = true, rowNumbers = false, fillAdjacentFormulas = false, preserveFormatting = true;
    bool refreshOnFileOpen = false, savePassword = false, saveData = true, adjustColumnWidth = true;
    bool textFilePromptOnRefresh = false;
    int refreshStyle = 1, refreshPeriod = 0;
    int textFilePlatform = 437;  // code page 437; bytes above 127 map through it
    int textFileStartRow = 1;
    int textFileParseType = 1;      // delimited
    int textFileTextQualifier = 1;  // 1 double quote, 2 apostrophe, -4142 none
    bool textFileConsecutiveDelimiter = false;
    bool textFileTabDelimiter = true, textFileSemicolonDelimiter = false, textFileCommaDelimiter = false,
         textFileSpaceDelimiter = false;
    std::string textFileOtherDelimiter;
    std::vector<int> textFileColumnDataTypes;  // 1 general, 2 text, 9 skip
    bool textFileTrailingMinusNumbers = true;

    const std::string& Connection() const { return connection_; }

private:
    Worksheet* sheet_;
    std::string connection_;
    int row_, col_;
};

struct DelimitedOptions {
    std::string delimiters = "\t";
    bool consecutiveAsOne = false;
    char qualifier = '"';  // '\0' for none
    bool trailingMinus = true;
    std::vector<int> columnTypes;  // 1 general, 2 text, 9 skip
    bool codePage437 = false;
    // Fields (column 1 at [0], `placeOnlyRest` for those past its end) that
    // are not typed but handed as the number 0 when they hold anything, so
    // that where a line has content stays known without the cost of reading
    // what it is.
    std::vector<bool> placeOnly;
    bool placeOnlyRest = false;
    bool PlaceOnly(size_t field) const { return field < placeOnly.size() ? placeOnly[field] : placeOnlyRest; }
    int ColumnType(size_t field) const { return field < columnTypes.size() ? columnTypes[field] : 1; }
};

// What one field reads as; a text is the field itself.
enum class FieldKind { Empty, Number, Text };
// Types field `index` of a line as ReadDelimitedRows hands it (the caller
// leaves out the skipped ones), without making a value of it.
FieldKind TypeField(std::string_view field, size_t index, const DelimitedOptions& opt, double& number);

// Splits one line into fields.
std::vector<std::string> SplitDelimitedLine(std::string_view line, const DelimitedOptions& opt);
// General typing: a field that is wholly a number becomes one, else text.
Value TypeGeneral(std::string_view field, bool trailingMinus);
// Reads a file line by line, handing each line's typed values to `take`
// (at most `most` lines when it is not negative); throws ExcelError when the
// file cannot be read.
void ReadDelimitedRows(const std::string& path, const DelimitedOptions& opt, int startRow,
                       const std::function<void(std::vector<Value>& row)>& take, long most = -1);
// The same reading, the fields left untyped: each line's fields are views
// that hold only while `take` runs, skipped columns included.
void ReadDelimitedLines(const std::string& path, const DelimitedOptions& opt, int startRow,
                        const std::function<void(const std::vector<std::string_view>& fields)>& take,
                        long most = -1);
// Reads a whole file into rows of typed values; throws ExcelError when the
// file cannot be read.
std::vector<std::vector<Value>> ReadDelimitedFile(const std::string& path, const DelimitedOptions& opt,
                                                  int startRow = 1);

}  // namespace workbook
