#include "platform/workbook/value.h"

#include "platform/core/numtext.h"

#include <charconv>
#include <cmath>

namespace workbook {

std::string ErrorText(CellError e) {
    switch (e) {
    case CellError::Null: return "#NULL!";
    case CellError::Div0: return "#DIV/0!";
    case CellError::Value: return "#VALUE!";
    case CellError::Ref: return "#REF!";
    case CellError::Name: return "#NAME?";
    case CellError::Num: return "#NUM!";
    case CellError::NA: return "#N/A";
    }
    return "#VALUE!";
}

bool ParseErrorText(std::string_view text, CellError& out) {
    static const CellError all[] = {CellError::Null, CellError::Div0, CellError::Value, CellError::Ref,
                                    CellError::Name, CellError::Num,  CellError::NA};
    for (CellError e : all) {
        if (platform::UpperCase(text) == ErrorText(e)) {
            out = e;
            return true;
        }
    }
    return false;
}

bool Value::IsFalse() const {
    switch (kind_) {
    case Kind::Empty: return true;
    case Kind::Number:
    case Kind::Bool: return num_ == 0;
    case Kind::Text: return text_.empty();
    case Kind::Error: return false;
    }
    return false;
}

std::string Value::ToString() const {
    switch (kind_) {
    case Kind::Empty: return "";
    case Kind::Number: return platform::NumberToText(num_);
    case Kind::Text: return text_;
    case Kind::Bool: return num_ != 0 ? "TRUE" : "FALSE";
    case Kind::Error: return ErrorText(err_);
    }
    return "";
}

bool Value::operator==(const Value& o) const {
    if (kind_ != o.kind_) return false;
    switch (kind_) {
    case Kind::Empty: return true;
    case Kind::Number:
    case Kind::Bool: return num_ == o.num_;
    case Kind::Text: return text_ == o.text_;
    case Kind::Error: return err_ == o.err_;
    }
    return false;
}

namespace {

// General shows at most 11 characters' worth of significant digits; to_chars
// keeps the "." whatever the process locale.
std::string GeneralNumber(double x) {
    if (x == 0) return "0";
    char buf[64];
    std::string s;
    for (int prec = 10; prec >= 1; --prec) {
        auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, prec);
        s.assign(buf, res.ptr);
        if (s.size() <= kGeneralNumberChars) break;
    }
    return s;
}

// Formats like "0.00", "#.0#", "0", "#,##0.00": integer part and up to a
// fixed count of required and optional decimals.
std::string PatternNumber(double x, std::string_view fmt) {
    size_t dot = fmt.find('.');
    std::string_view intPart = fmt.substr(0, dot);
    std::string_view decPart = dot == std::string_view::npos ? std::string_view{} : fmt.substr(dot + 1);
    int required = 0, optional = 0;
    for (char c : decPart) {
        if (c == '0') ++required;
        else if (c == '#') ++optional;
    }
    bool leadingZero = intPart.find('0') != std::string_view::npos;
    std::string s = platform::FormatFixed(x, required + optional);
    if (optional > 0 && s.find('.') != std::string::npos) {
        size_t keep = s.find('.') + 1 + required;
        while (s.size() > keep && s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (!leadingZero) {
        if (s.rfind("0.", 0) == 0) s.erase(0, 1);
        else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
        else if (s == "0") s = "";
    }
    return s;
}

}  // namespace

std::string DisplayText(const Value& v, std::string_view numberFormat) {
    if (!v.IsNumber()) return v.ToString();
    if (numberFormat.empty() || numberFormat == "General" || numberFormat == "@") return GeneralNumber(v.Number());
    if (numberFormat.find_first_not_of("0#.,") != std::string_view::npos) return GeneralNumber(v.Number());
    return PatternNumber(v.Number(), numberFormat);
}

long PaletteColor(int colorIndex) {
    static const long palette[56] = {
        0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
        0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
        0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
        0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
        0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
        0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
        0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};
    if (colorIndex < 1 || colorIndex > 56) return -1;
    return palette[colorIndex - 1];
}

}  // namespace workbook
