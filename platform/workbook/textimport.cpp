#include "platform/workbook/textimport.h"

#include "platform/core/numtext.h"
#include "platform/workbook/sheet.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
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

namespace {

// Splits lines into fields without copying them: a field that is one run
// of the line is a view of it; only one the line spells otherwise (doubled
// qualifiers, text after a closing qualifier) is put together in a store
// kept from line to line.
class FieldSplitter {
public:
    explicit FieldSplitter(const DelimitedOptions& opt) : opt_(opt) {
        // A table of the delimiters: a long file asks for every character.
        for (unsigned char d : opt.delimiters) delimiter_[d] = true;
        single_ = opt.delimiters.size() == 1 && !opt.consecutiveAsOne;
    }

    // The views hold until the next call.
    const std::vector<std::string_view>& Split(std::string_view line) {
        fields_.clear();
        // One delimiter and no qualifier in the line (a table of numbers):
        // every field is the run between two delimiters.
        if (single_ && !line.empty() &&
            (!opt_.qualifier || std::memchr(line.data(), opt_.qualifier, line.size()) == nullptr)) {
            const char d = opt_.delimiters[0];
            const char* p = line.data();
            const char* const end = p + line.size();
            for (;;) {
                const char* stop = static_cast<const char*>(std::memchr(p, d, static_cast<size_t>(end - p)));
                if (!stop) {
                    fields_.emplace_back(p, static_cast<size_t>(end - p));
                    return fields_;
                }
                fields_.emplace_back(p, static_cast<size_t>(stop - p));
                p = stop + 1;
            }
        }
        stored_ = 0;
        cur_ = {};
        owned_ = nullptr;
        const char q = opt_.qualifier;
        bool inQuotes = false;
        bool lastWasDelim = false;
        bool any = false;
        const char* p = line.data();
        const size_t n = line.size();
        for (size_t i = 0; i < n; ++i) {
            const char c = p[i];
            if (inQuotes) {
                if (c == q) {
                    if (i + 1 < n && p[i + 1] == q) {
                        Append(p + i, 1);
                        ++i;
                    } else {
                        inQuotes = false;
                    }
                    continue;
                }
                size_t j = i + 1;
                while (j < n && p[j] != q) ++j;
                Append(p + i, j - i);
                i = j - 1;
                continue;
            }
            if (q && c == q && Empty()) {
                inQuotes = true;
                any = true;
                lastWasDelim = false;
                continue;
            }
            if (IsDelim(c)) {
                // A run of delimiters counts as one when asked.
                if (!(opt_.consecutiveAsOne && lastWasDelim)) Finish();
                cur_ = {};
                owned_ = nullptr;
                lastWasDelim = true;
                any = true;
                continue;
            }
            // Once a field has a character, every one up to the next delimiter
            // is its own, a qualifier too.
            size_t j = i + 1;
            while (j < n && !IsDelim(p[j])) ++j;
            Append(p + i, j - i);
            i = j - 1;
            lastWasDelim = false;
            any = true;
        }
        if (any && !(opt_.consecutiveAsOne && lastWasDelim)) Finish();
        return fields_;
    }

private:
    bool IsDelim(char c) const { return delimiter_[static_cast<unsigned char>(c)]; }
    bool Empty() const { return owned_ ? owned_->empty() : cur_.empty(); }
    void Append(const char* at, size_t len) {
        if (owned_) {
            owned_->append(at, len);
        } else if (cur_.empty()) {
            cur_ = std::string_view(at, len);
        } else if (cur_.data() + cur_.size() == at) {
            cur_ = std::string_view(cur_.data(), cur_.size() + len);
        } else {
            // Not one run of the line: the field is put together apart.
            if (stored_ == store_.size()) store_.emplace_back();
            owned_ = &store_[stored_++];
            owned_->assign(cur_);
            owned_->append(at, len);
        }
    }
    void Finish() { fields_.push_back(owned_ ? std::string_view(*owned_) : cur_); }

    const DelimitedOptions& opt_;
    bool delimiter_[256] = {};
    bool single_ = false;
    std::vector<std::string_view> fields_;
    std::string_view cur_;
    std::string* owned_ = nullptr;
    std::deque<std::string> store_;  // a deque: a field made keeps its place as others are
    size_t stored_ = 0;
};

}  // namespace

std::vector<std::string> SplitDelimitedLine(std::string_view line, const DelimitedOptions& opt) {
    FieldSplitter split(opt);
    const std::vector<std::string_view>& views = split.Split(line);
    return std::vector<std::string>(views.begin(), views.end());
}

namespace {
bool ReadGeneral(std::string_view field, bool trailingMinus, double& x) {
    bool negate = false;
    if (trailingMinus && field.size() > 1 && field.back() == '-' && field.front() != '-' && field.front() != '+') {
        field.remove_suffix(1);
        negate = true;
    }
    if (!platform::TryReadStrict(field, x)) return false;
    if (negate) x = -x;
    return true;
}
}  // namespace

Value TypeGeneral(std::string_view field, bool trailingMinus) {
    if (field.empty()) return Value();
    double x;
    if (ReadGeneral(field, trailingMinus, x)) return Value(x);
    return Value(std::string(field));
}

FieldKind TypeField(std::string_view field, size_t index, const DelimitedOptions& opt, double& number) {
    if (field.empty()) return FieldKind::Empty;
    if (opt.PlaceOnly(index)) {
        number = 0;
        return FieldKind::Number;
    }
    if (opt.ColumnType(index) == 2) return FieldKind::Text;
    return ReadGeneral(field, opt.trailingMinus, number) ? FieldKind::Number : FieldKind::Text;
}

void ReadDelimitedLines(const std::string& path, const DelimitedOptions& opt, int startRow,
                        const std::function<void(const std::vector<std::string_view>& fields)>& take, long most) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ExcelError("Refresh", "cannot open the text file \"" + path + "\"");
    // Read in blocks, so that a long file never sits in memory whole.
    constexpr size_t kBlock = 1 << 20;
    std::string buf;
    std::vector<char> block(kBlock);
    size_t pos = 0;
    bool eof = false;
    int lineNo = 0;
    FieldSplitter split(opt);
    std::string converted;
    // The next line end from `from`: the next LF, unless a CR comes first.
    // Where the next LF is stays known while the block does (there is none
    // from `lfFrom` up to `lfAt`), so that a file of CR ends is not searched
    // to its end for every line.
    bool lfKnown = false;
    size_t lfFrom = 0, lfAt = 0;
    auto lineEnd = [&](size_t from) {
        const char* p = buf.data();
        const size_t n = buf.size();
        if (from >= n) return std::string::npos;
        if (!lfKnown || from < lfFrom || from > lfAt) {
            const void* lf = std::memchr(p + from, '\n', n - from);
            lfAt = lf ? static_cast<size_t>(static_cast<const char*>(lf) - p) : n;
            lfFrom = from;
            lfKnown = true;
        }
        const void* cr = std::memchr(p + from, '\r', lfAt - from);
        if (cr) return static_cast<size_t>(static_cast<const char*>(cr) - p);
        return lfAt < n ? lfAt : std::string::npos;
    };
    for (long handed = 0; most < 0 || handed < most;) {
        size_t nl = lineEnd(pos);
        // A CR at the end of the block may be the first half of a CR LF.
        if (!eof && (nl == std::string::npos || (buf[nl] == '\r' && nl + 1 == buf.size()))) {
            buf.erase(0, pos);
            pos = 0;
            lfKnown = false;
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
        if (opt.codePage437) {
            converted = FromCp437(line);
            line = converted;
        }
        take(split.Split(line));
        ++handed;
    }
}

void ReadDelimitedRows(const std::string& path, const DelimitedOptions& opt, int startRow,
                       const std::function<void(std::vector<Value>& row)>& take, long most) {
    std::vector<Value> row;
    ReadDelimitedLines(
        path, opt, startRow,
        [&](const std::vector<std::string_view>& fields) {
            row.clear();
            for (size_t i = 0; i < fields.size(); ++i) {
                if (opt.ColumnType(i) == 9) continue;
                double x = 0;
                switch (TypeField(fields[i], i, opt, x)) {
                case FieldKind::Empty: row.emplace_back(); break;
                case FieldKind::Number: row.emplace_back(x); break;
                case FieldKind::Text: row.emplace_back(std::string(fields[i])); break;
                }
            }
            take(row);
        },
        most);
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
