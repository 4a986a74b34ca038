#pragma once
// Cell values as the spreadsheet shows them: empty, number, text, logical or
// an error value, plus the one exception type every engine call raises.
#include "platform/core/error.h"

#include <string>
#include <string_view>

namespace workbook {

// Error number of every engine failure, the one automation reports for an
// application-defined error.
constexpr int kExcelErrorNumber = 1004;

// An engine call that cannot be done: names the operation and the reason.
class ExcelError : public platform::BenchError {
public:
    ExcelError(std::string operation, std::string reason)
        : platform::BenchError(kExcelErrorNumber, operation + ": " + reason),
          operation_(std::move(operation)), reason_(std::move(reason)) {}
    const std::string& Operation() const noexcept { return operation_; }
    const std::string& Reason() const noexcept { return reason_; }

private:
    std::string operation_;
    std::string reason_;
};

enum class CellError { Null, Div0, Value, Ref, Name, Num, NA };

// "#DIV/0!" and its kin.
std::string ErrorText(CellError e);
// Recognises an error literal; false when `text` is none.
bool ParseErrorText(std::string_view text, CellError& out);

class Value {
public:
    enum class Kind { Empty, Number, Text, Bool, Error };

    Value() = default;
    Value(double n) : kind_(Kind::Number), num_(n) {}
    Value(int n) : kind_(Kind::Number), num_(n) {}
    Value(std::string s) : kind_(Kind::Text), text_(std::move(s)) {}
    Value(const char* s) : kind_(Kind::Text), text_(s) {}
    static Value Bool(bool b) { Value v; v.kind_ = Kind::Bool; v.num_ = b ? 1 : 0; return v; }
    static Value Error(CellError e) { Value v; v.kind_ = Kind::Error; v.err_ = e; return v; }

    Kind kind() const { return kind_; }
    bool IsEmpty() const { return kind_ == Kind::Empty; }
    bool IsNumber() const { return kind_ == Kind::Number; }
    bool IsText() const { return kind_ == Kind::Text; }
    bool IsBool() const { return kind_ == Kind::Bool; }
    bool IsError() const { return kind_ == Kind::Error; }

    // The number; 0 for anything that is not a number or logical.
    double Number() const { return (kind_ == Kind::Number || kind_ == Kind::Bool) ? num_ : 0.0; }
    const std::string& Text() const { return text_; }
    bool BoolValue() const { return num_ != 0; }
    CellError Error() const { return err_; }

    // The classic "cell = False" test: empty, 0, FALSE, or an empty text.
    bool IsFalse() const;

    // How the value reads as text ("" for empty, numbers with up to 15
    // significant digits, "TRUE", "#DIV/0!").
    std::string ToString() const;

    bool operator==(const Value& o) const;

private:
    Kind kind_ = Kind::Empty;
    double num_ = 0.0;
    std::string text_;
    CellError err_ = CellError::Value;
};

// The text a cell shows for a value under a number format ("General", "0.00",
// "#.0#", "0", "@"), as far as column widths need it.
std::string DisplayText(const Value& v, std::string_view numberFormat);
// The most characters a number takes in General.
inline constexpr size_t kGeneralNumberChars = 11;

// Excel's default 56-colour palette: colour index 1..56 to 0xRRGGBB; -1 for an
// index outside it (automatic, none).
long PaletteColor(int colorIndex);

}  // namespace workbook
