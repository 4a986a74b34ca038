#include "platform/workbook/address.h"

#include "platform/workbook/value.h"

#include <algorithm>
#include <cctype>

namespace workbook {

Area Area::Make(int r1, int c1, int r2, int c2) {
    return {std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
}

int ColumnNumber(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) return 0;
    int n = 0;
    for (char ch : letters) {
        if (!std::isalpha(static_cast<unsigned char>(ch))) return 0;
        n = n * 26 + (std::toupper(static_cast<unsigned char>(ch)) - 'A' + 1);
    }
    return n <= kMaxCols ? n : 0;
}

std::string ColumnLetters(int col) {
    std::string s;
    while (col > 0) {
        int rem = (col - 1) % 26;
        s.insert(s.begin(), static_cast<char>('A' + rem));
        col = (col - 1) / 26;
    }
    return s;
}

namespace {

struct Corner {
    int row = 0;  // 0 = none (a column reference)
    int col = 0;  // 0 = none (a row reference)
};

// "$AD$2" / "AD" / "12" / "$A" / "$3" into a corner; false when malformed.
bool ParseCorner(std::string_view s, Corner& out) {
    size_t i = 0;
    if (i < s.size() && s[i] == '$') ++i;
    size_t ls = i;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    std::string_view letters = s.substr(ls, i - ls);
    if (i < s.size() && s[i] == '$') {
        if (letters.empty()) return false;
        ++i;
    }
    size_t ds = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    std::string_view digits = s.substr(ds, i - ds);
    if (i != s.size() || (letters.empty() && digits.empty())) return false;
    if (!letters.empty()) {
        out.col = ColumnNumber(letters);
        if (out.col == 0) return false;
    }
    if (!digits.empty()) {
        if (digits.size() > 7) return false;
        out.row = std::stoi(std::string(digits));
        if (out.row < 1 || out.row > kMaxRows) return false;
    }
    return true;
}

// "R2C3" (absolute only; relative forms need a host cell and belong to formulas).
bool ParseR1C1Corner(std::string_view s, Corner& out) {
    if (s.size() < 4 || std::toupper(static_cast<unsigned char>(s[0])) != 'R') return false;
    size_t i = 1, rs = i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i == rs || i >= s.size() || std::toupper(static_cast<unsigned char>(s[i])) != 'C') return false;
    std::string_view rd = s.substr(rs, i - rs);
    size_t cs = ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    if (i != s.size() || i == cs || rd.size() > 7 || i - cs > 5) return false;
    out.row = std::stoi(std::string(rd));
    out.col = std::stoi(std::string(s.substr(cs)));
    return out.row >= 1 && out.row <= kMaxRows && out.col >= 1 && out.col <= kMaxCols;
}

std::string_view TrimView(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

bool ParseOneArea(std::string_view text, bool allowR1C1, Area& out) {
    text = TrimView(text);
    size_t colon = text.find(':');
    std::string_view a = TrimView(text.substr(0, colon));
    std::string_view b = colon == std::string_view::npos ? a : TrimView(text.substr(colon + 1));
    Corner ca, cb;
    bool okA = ParseCorner(a, ca) || (allowR1C1 && ParseR1C1Corner(a, ca));
    bool okB = ParseCorner(b, cb) || (allowR1C1 && ParseR1C1Corner(b, cb));
    if (!okA || !okB) return false;
    bool fullA = ca.row && ca.col, fullB = cb.row && cb.col;
    if (fullA && fullB) {
        out = Area::Make(ca.row, ca.col, cb.row, cb.col);
        return true;
    }
    if (colon == std::string_view::npos) return false;  // a lone "A" or "3"
    if (!ca.row && !cb.row && ca.col && cb.col) {
        out = Area::Make(1, ca.col, kMaxRows, cb.col);
        return true;
    }
    if (!ca.col && !cb.col && ca.row && cb.row) {
        out = Area::Make(ca.row, 1, cb.row, kMaxCols);
        return true;
    }
    return false;
}

// Splits at commas that are outside quotes.
std::vector<std::string_view> SplitTopLevel(std::string_view s) {
    std::vector<std::string_view> parts;
    bool quoted = false;
    size_t start = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\'') quoted = !quoted;
        else if (s[i] == ',' && !quoted) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
    return parts;
}

}  // namespace

std::vector<Area> ParseAddress(std::string_view address) {
    std::vector<Area> areas;
    for (std::string_view part : SplitTopLevel(address)) {
        Area a;
        if (!ParseOneArea(part, false, a)) throw ExcelError("Range", "invalid address \"" + std::string(address) + "\"");
        areas.push_back(a);
    }
    return areas;
}

std::string AreaToA1(const Area& a, bool absolute) {
    std::string d = absolute ? "$" : "";
    if (a.WholeColumns())
        return d + ColumnLetters(a.col1) + ":" + d + ColumnLetters(a.col2);
    if (a.WholeRows())
        return d + std::to_string(a.row1) + ":" + d + std::to_string(a.row2);
    std::string s = d + ColumnLetters(a.col1) + d + std::to_string(a.row1);
    if (!a.IsCell()) s += ":" + d + ColumnLetters(a.col2) + d + std::to_string(a.row2);
    return s;
}

std::vector<SheetArea> ParseReferenceList(std::string_view text) {
    std::string_view s = TrimView(text);
    if (!s.empty() && s.front() == '=') s = TrimView(s.substr(1));
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')') s = TrimView(s.substr(1, s.size() - 2));
    std::vector<SheetArea> out;
    auto bad = [&] { return ExcelError("Reference", "invalid reference \"" + std::string(text) + "\""); };
    if (s.empty()) throw bad();
    for (std::string_view part : SplitTopLevel(s)) {
        part = TrimView(part);
        SheetArea sa;
        size_t bang = std::string_view::npos;
        if (!part.empty() && part.front() == '\'') {
            // Quoted sheet: '' inside stands for one apostrophe.
            size_t i = 1;
            std::string name;
            for (; i < part.size(); ++i) {
                if (part[i] == '\'') {
                    if (i + 1 < part.size() && part[i + 1] == '\'') {
                        name += '\'';
                        ++i;
                        continue;
                    }
                    break;
                }
                name += part[i];
            }
            if (i + 1 >= part.size() || part[i + 1] != '!') throw bad();
            sa.sheet = name;
            bang = i + 1;
        } else {
            bang = part.rfind('!');
            if (bang != std::string_view::npos) sa.sheet = std::string(TrimView(part.substr(0, bang)));
        }
        std::string_view ref = bang == std::string_view::npos ? part : part.substr(bang + 1);
        if (!ParseOneArea(ref, true, sa.area)) throw bad();
        out.push_back(sa);
    }
    return out;
}

std::string QuoteSheetName(std::string_view name) {
    bool plain = !name.empty() && (std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_');
    for (char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '.') plain = false;
    // A name that reads as a cell ("AB12") or an R1C1 cell must be quoted too.
    Corner probe;
    if (plain && ((ParseCorner(name, probe) && probe.row && probe.col) || ParseR1C1Corner(name, probe))) plain = false;
    if (plain) return std::string(name);
    std::string q = "'";
    for (char c : name) {
        if (c == '\'') q += '\'';
        q += c;
    }
    return q + "'";
}

std::string SheetNameProblem(std::string_view name) {
    if (name.empty()) return "a sheet name cannot be empty";
    // Count characters, not bytes: names may hold non-ASCII text.
    size_t chars = 0;
    for (unsigned char c : name)
        if ((c & 0xC0) != 0x80) ++chars;
    if (chars > 31) return "a sheet name cannot exceed 31 characters";
    if (name.find_first_of("[]:*?/\\") != std::string_view::npos)
        return "a sheet name cannot contain any of []:*?/\\";
    if (name.front() == '\'' || name.back() == '\'') return "a sheet name cannot begin or end with an apostrophe";
    return "";
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return true;
}

}  // namespace workbook
