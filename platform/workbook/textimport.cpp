#include "platform/workbook/textimport.h"

#include "platform/core/numtext.h"
#include "platform/workbook/sheet.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace workbook {

namespace {

// The upper half of code page 437 as UTF-8.
const char* const kCp437High[128] = {
    "Ç", "ü", "é", "â", "ä", "à", "å", "ç", "ê", "ë", "è", "ï", "î", "ì", "Ä", "Å",
    "É", "æ", "Æ", "ô", "ö", "ò", "û", "ù", "ÿ", "Ö", "Ü", "¢", "£", "¥", "₧", "ƒ",
    "á", "í", "ó", "ú", "ñ", "Ñ", "ª", "º", "¿", "⌐", "¬", "½", "¼", "¡", "«", "»",
    "░", "▒", "▓", "│", "┤", "╡", "╢", "╖", "╕", "╣", "║", "╗", "╝", "╜", "╛", "┐",
    "└", "┴", "┬", "├", "─", "┼", "╞", "╟", "╚", "╔", "╩", "╦", "╠", "═", "╬", "╧",
    "╨", "╤", "╥", "╙", "╘", "╒", "╓", "╫", "╪", "┘", "┌", "█", "▄", "▌", "▐", "▀",
    "α", "ß", "Γ", "π", "Σ", "σ", "µ", "τ", "Φ", "Θ", "Ω", "δ", "∞", "φ", "ε", "∩",
    "≡", "±", "≥", "≤", "⌠", "⌡", "÷", "≈", "°", "∙", "·", "√", "ⁿ", "²", "■", "\xC2\xA0"};

std::string FromCp437(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c < 0x80) out += static_cast<char>(c);
        else out += kCp437High[c - 0x80];
    }
    return out;
}

}  // namespace

std::vector<std::string> SplitDelimitedLine(std::string_view line, const DelimitedOptions& opt) {
    std::vector<std::string> fields;
    std::string cur;
    bool inQuotes = false;
    bool lastWasDelim = false;
    bool any = false;
    // A table of the delimiters: a long file asks for every character.
    bool delimiter[256] = {};
    for (unsigned char d : opt.delimiters) delimiter[d] = true;
    auto isDelim = [&](char c) { return delimiter[static_cast<unsigned char>(c)]; };
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (inQuotes) {
            if (c == opt.qualifier) {
                if (i + 1 < line.size() && line[i + 1] == opt.qualifier) {
                    cur += c;
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                cur += c;
            }
            continue;
        }
        if (opt.qualifier && c == opt.qualifier && cur.empty()) {
            inQuotes = true;
            any = true;
            lastWasDelim = false;
            continue;
        }
        if (isDelim(c)) {
            // A run of delimiters counts as one when asked.
            if (!(opt.consecutiveAsOne && lastWasDelim)) fields.push_back(cur);
            cur.clear();
            lastWasDelim = true;
            any = true;
            continue;
        }
        // Once a field has a character, every one up to the next delimiter
        // is its own, a qualifier too.
        size_t j = i + 1;
        while (j < line.size() && !isDelim(line[j])) ++j;
        cur.append(line.data() + i, j - i);
        i = j - 1;
        lastWasDelim = false;
        any = true;
    }
    if (any && !(opt.consecutiveAsOne && lastWasDelim)) fields.push_back(cur);
    return fields;
}

Value TypeGeneral(const std::string& field, bool trailingMinus) {
    if (field.empty()) return Value();
    double x;
    std::string_view f = field;
    bool negate = false;
    if (trailingMinus && f.size() > 1 && f.back() == '-' && f.front() != '-' && f.front() != '+') {
        f.remove_suffix(1);
        negate = true;
    }
    if (platform::TryReadStrict(f, x)) return Value(negate ? -x : x);
    return Value(field);
}

void ReadDelimitedRows(const std::string& path, const DelimitedOptions& opt, int startRow,
                       const std::function<void(std::vector<Value>& row)>& take, long most) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ExcelError("Refresh", "cannot open the text file \"" + path + "\"");
    // Read in blocks, so that a long file never sits in memory whole.
    constexpr size_t kBlock = 1 << 20;
    std::string buf;
    std::vector<char> block(kBlock);
    size_t pos = 0;
    bool eof = false;
    int lineNo = 0;
    std::vector<Value> row;
    // The next line end from `from`, a character at a time (find_first_of
    // would search its set for every character).
    auto lineEnd = [&buf](size_t from) {
        for (size_t i = from; i < buf.size(); ++i)
            if (buf[i] == '\n' || buf[i] == '\r') return i;
        return std::string::npos;
    };
    for (long handed = 0; most < 0 || handed < most;) {
        size_t nl = lineEnd(pos);
        // A CR at the end of the block may be the first half of a CR LF.
        if (!eof && (nl == std::string::npos || (buf[nl] == '\r' && nl + 1 == buf.size()))) {
            buf.erase(0, pos);
            pos = 0;
            in.read(block.data(), static_cast<std::streamsize>(kBlock));
            std::streamsize n = in.gcount();
            if (n > 0) buf.append(block.data(), static_cast<size_t>(n));
            if (n <= 0 || in.eof()) eof = true;
            continue;
        }
        if (pos >= buf.size()) break;
        size_t end = nl == std::string::npos ? buf.size() : nl;
        std::string_view line(buf.data() + pos, end - pos);
        if (nl == std::string::npos) pos = buf.size();
        else pos = (buf[nl] == '\r' && nl + 1 < buf.size() && buf[nl + 1] == '\n') ? nl + 2 : nl + 1;
        if (++lineNo < startRow) continue;
        row.clear();
        std::vector<std::string> fields = SplitDelimitedLine(opt.codePage437 ? FromCp437(line) : line, opt);
        for (size_t i = 0; i < fields.size(); ++i) {
            int type = i < opt.columnTypes.size() ? opt.columnTypes[i] : 1;
            if (type == 9) continue;
            if (opt.PlaceOnly(i)) {
                row.push_back(fields[i].empty() ? Value() : Value(0.0));
                continue;
            }
            row.push_back(type == 2 ? (fields[i].empty() ? Value() : Value(fields[i]))
                                    : TypeGeneral(fields[i], opt.trailingMinus));
        }
        take(row);
        ++handed;
    }
}

std::vector<std::vector<Value>> ReadDelimitedFile(const std::string& path, const DelimitedOptions& opt, int startRow) {
    std::vector<std::vector<Value>> rows;
    ReadDelimitedRows(path, opt, startRow, [&](std::vector<Value>& row) { rows.push_back(std::move(row)); });
    return rows;
}

QueryTable::QueryTable(Worksheet& sheet, std::string connection, int row, int col)
    : sheet_(&sheet), connection_(std::move(connection)), row_(row), col_(col) {}

void QueryTable::Refresh(bool) {
    const std::string prefix = "TEXT;";
    if (platform::UpperCase(connection_.substr(0, prefix.size())) != prefix)
        throw ExcelError("Refresh", "only text-file connections are supported (\"" + connection_ + "\")");
    std::string path = connection_.substr(prefix.size());
    DelimitedOptions opt;
    opt.delimiters.clear();
    if (textFileTabDelimiter) opt.delimiters += '\t';
    if (textFileSemicolonDelimiter) opt.delimiters += ';';
    if (textFileCommaDelimiter) opt.delimiters += ',';
    if (textFileSpaceDelimiter) opt.delimiters += ' ';
    opt.delimiters += textFileOtherDelimiter;
    opt.consecutiveAsOne = textFileConsecutiveDelimiter;
    opt.qualifier = textFileTextQualifier == 1 ? '"' : textFileTextQualifier == 2 ? '\'' : '\0';
    opt.trailingMinus = textFileTrailingMinusNumbers;
    opt.columnTypes = textFileColumnDataTypes;
    opt.codePage437 = textFilePlatform == 437;
    // Rows go into the sheet as they are read, never all held at once.
    int widest = 0, count = 0;
    ReadDelimitedRows(path, opt, textFileStartRow, [&](std::vector<Value>& row) {
        widest = std::max(widest, static_cast<int>(row.size()));
        for (size_t c = 0; c < row.size(); ++c) {
            if (row[c].IsEmpty()) continue;
            sheet_->SetConstant(row_ + count, col_ + static_cast<int>(c), row[c]);
        }
        ++count;
    });
    if (adjustColumnWidth && widest > 0 && count > 0)
        sheet_->AutoFitColumns(col_, col_ + widest - 1, row_, row_ + count - 1);
}

}  // namespace workbook
