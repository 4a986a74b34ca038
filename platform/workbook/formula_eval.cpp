#include "platform/core/numtext.h"
#include "platform/workbook/formula.h"
#include "platform/workbook/formula_math.h"
#include "platform/workbook/formula_ast.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace workbook {

namespace {

using Node = Formula::Node;

struct Operand {
    Value v;
    bool isRef = false;
    SheetArea ref;
};

Value Err(CellError e) { return Value::Error(e); }

// Number for arithmetic: empty is 0, numeric text counts, other text is #VALUE!.
bool ToNumber(const Value& v, double& out, Value& error) {
    switch (v.kind()) {
    case Value::Kind::Empty: out = 0; return true;
    case Value::Kind::Number:
    case Value::Kind::Bool: out = v.Number(); return true;
    case Value::Kind::Text:
        if (platform::TryReadStrict(v.Text(), out)) return true;
        error = Err(CellError::Value);
        return false;
    case Value::Kind::Error: error = v; return false;
    }
    return false;
}

Value Finite(double x) { return std::isfinite(x) ? Value(x) : Err(CellError::Num); }

int CompareValues(const Value& a, const Value& b) {
    // Rank: numbers < text < logicals; an empty cell takes the other side's kind.
    auto rank = [](const Value& v) { return v.IsText() ? 1 : v.IsBool() ? 2 : 0; };
    Value x = a, y = b;
    if (x.IsEmpty()) x = y.IsText() ? Value(std::string()) : y.IsBool() ? Value::Bool(false) : Value(0.0);
    if (y.IsEmpty()) y = x.IsText() ? Value(std::string()) : x.IsBool() ? Value::Bool(false) : Value(0.0);
    int ra = rank(x), rb = rank(y);
    if (ra != rb) return ra < rb ? -1 : 1;
    if (ra == 1) {
        std::string ua = platform::UpperCase(x.Text()), ub = platform::UpperCase(y.Text());
        return ua < ub ? -1 : ua > ub ? 1 : 0;
    }
    return x.Number() < y.Number() ? -1 : x.Number() > y.Number() ? 1 : 0;
}

class Evaluator {
public:
    Evaluator(RefResolver& r, int dRow, int dCol) : r_(r), dRow_(dRow), dCol_(dCol) {}

    Value Scalar(const Node& n) {
        Operand o = Eval(n);
        if (!o.isRef) return o.v;
        const Area& a = o.ref.area;
        if (!a.IsCell()) return Err(CellError::Value);
        Value v;
        if (!r_.CellValue(o.ref.sheet, a.row1, a.col1, v)) return Err(CellError::Ref);
        return v;
    }

    Operand Eval(const Node& n) {
        Operand o;
        switch (n.kind) {
        case Node::Kind::Number: o.v = Value(n.number); return o;
        case Node::Kind::String: o.v = Value(n.text); return o;
        case Node::Kind::Bool: o.v = Value::Bool(n.number != 0); return o;
        case Node::Kind::Error: o.v = Err(n.error); return o;
        case Node::Kind::Name: o.v = Err(CellError::Name); return o;
        case Node::Kind::Ref: o.isRef = true; o.ref = n.RefAt(dRow_, dCol_); return o;
        case Node::Kind::Unary: {
            double x;
            Value e;
            if (!ToNumber(Scalar(*n.kids[0]), x, e)) { o.v = e; return o; }
            o.v = Value(n.text == "-" ? -x : x);
            return o;
        }
        case Node::Kind::Percent: {
            double x;
            Value e;
            if (!ToNumber(Scalar(*n.kids[0]), x, e)) {
                o.v = e;
                return o;
            }
            for (double k = 0; k < n.number; ++k) x /= 100;
            o.v = Value(x);
            return o;
        }
        case Node::Kind::Binary: o.v = Binary(n); return o;
        case Node::Kind::Func: o.v = Call(n); return o;
        }
        return o;
    }

private:
    // A chain of operators of one precedence, left to right: the first
    // error met among the operands, in order, is the result.
    Value Binary(const Node& n) {
        if (n.text[0] == '&') return Concatenation(n);
        Value acc = Scalar(*n.kids[0]);
        for (size_t i = 1; i < n.kids.size(); ++i) acc = Apply(n.text[i - 1], acc, Scalar(*n.kids[i]));
        return acc;
    }

    // Built in one text: joining step by step would copy it once per "&".
    Value Concatenation(const Node& n) {
        std::string text;
        Value error;
        for (const auto& k : n.kids) {
            const Value v = Scalar(*k);
            if (v.IsError()) {
                if (error.IsEmpty()) error = v;
                continue;
            }
            if (error.IsEmpty()) text += v.ToString();
        }
        return error.IsEmpty() ? Value(std::move(text)) : error;
    }

    static Value Apply(char op, const Value& a, const Value& b) {
        if (a.IsError()) return a;
        if (b.IsError()) return b;
        switch (op) {
        case '=': case '<': case '>': case 'n': case 'l': case 'g': {
            const int c = CompareValues(a, b);
            const bool r = op == '=' ? c == 0 : op == 'n' ? c != 0 : op == '<' ? c < 0 : op == '>' ? c > 0
                         : op == 'l' ? c <= 0 : c >= 0;
            return Value::Bool(r);
        }
        default: break;
        }
        double x, y;
        Value e;
        if (!ToNumber(a, x, e) || !ToNumber(b, y, e)) return e;
        switch (op) {
        case '+': return Finite(x + y);
        case '-': return Finite(x - y);
        case '*': return Finite(x * y);
        case '/': return y == 0 ? Err(CellError::Div0) : Finite(x / y);
        case '^': return Pow(x, y);
        default: return Err(CellError::Value);
        }
    }

    static Value Pow(double x, double y) {
        if (x == 0 && y < 0) return Err(CellError::Div0);
        if (x == 0 && y == 0) return Err(CellError::Num);
        return Finite(std::pow(x, y));
    }

    // The numbers of aggregate arguments: numbers inside references (text,
    // logicals and blanks skipped), direct arguments converted. Returns an
    // error value when one is met (unless `skipErrors`).
    bool Collect(const Node& call, std::vector<double>& nums, Value& error, bool skipErrors) {
        for (const auto& k : call.kids) {
            Operand o = Eval(*k);
            if (o.isRef) {
                bool failed = false;
                bool sheetOk = r_.ForEachValue(o.ref, [&](const Value& v) {
                    if (failed) return;
                    if (v.IsNumber()) nums.push_back(v.Number());
                    else if (v.IsError() && !skipErrors) {
                        error = v;
                        failed = true;
                    }
                });
                if (!sheetOk) {
                    if (skipErrors) continue;
                    error = Err(CellError::Ref);
                    return false;
                }
                if (failed) return false;
                continue;
            }
            if (k->kind == Node::Kind::Name && k->text.empty()) continue;  // omitted
            double x;
            Value e;
            if (ToNumber(o.v, x, e)) nums.push_back(x);
            else if (!skipErrors) {
                error = e;
                return false;
            }
        }
        return true;
    }

    Value Call(const Node& n) {
        const std::string_view f = n.text;
        std::vector<double> nums;
        Value e;
        if (f == "AVERAGE" || f == "MAX" || f == "MIN" || f == "STDEV" || f == "COUNT") {
            if (n.kids.empty()) return Err(CellError::Value);
            if (!Collect(n, nums, e, f == "COUNT")) return e;
            size_t cnt = nums.size();
            if (f == "COUNT") return Value(static_cast<double>(cnt));
            if (f == "MAX" || f == "MIN") {
                if (cnt == 0) return Value(0.0);
                double m = nums[0];
                for (double x : nums) m = f == "MAX" ? std::max(m, x) : std::min(m, x);
                return Value(m);
            }
            double sum = 0;
            for (double x : nums) sum += x;
            if (f == "AVERAGE") return cnt == 0 ? Err(CellError::Div0) : Finite(sum / cnt);
            if (cnt < 2) return Err(CellError::Div0);
            double mean = sum / cnt, ss = 0;
            for (double x : nums) ss += (x - mean) * (x - mean);
            return Finite(std::sqrt(ss / (cnt - 1)));
        }
        if (f == "COUNTIF") return CountIf(n);
        if (f == "PI") return n.kids.empty() ? Value(std::numbers::pi) : Err(CellError::Value);
        if (f == "SQRT" || f == "SIN" || f == "COS") {
            if (n.kids.size() != 1) return Err(CellError::Value);
            double x;
            if (!ToNumber(Scalar(*n.kids[0]), x, e)) return e;
            if (f == "SQRT") return x < 0 ? Err(CellError::Num) : Value(std::sqrt(x));
            return Finite(f == "SIN" ? std::sin(x) : std::cos(x));
        }
        if (f == "POWER") {
            if (n.kids.size() != 2) return Err(CellError::Value);
            double x, y;
            if (!ToNumber(Scalar(*n.kids[0]), x, e) || !ToNumber(Scalar(*n.kids[1]), y, e)) return e;
            return Pow(x, y);
        }
        // --- IF and the numeric functions of formula_math.cpp ---
        if (f == "IF") return If(n);
        if (IsMathFunction(n.text)) {
            std::vector<double> args;
            for (const auto& k : n.kids) {
                double x;
                if (!ToNumber(Scalar(*k), x, e)) return e;
                args.push_back(x);
            }
            return *MathFunction(n.text, args);
        }
        return Err(CellError::Name);
    }

    // IF(condition, then, else): only the branch taken is computed; a
    // missing else gives FALSE.
    Value If(const Node& n) {
        if (n.kids.size() < 2 || n.kids.size() > 3) return Err(CellError::Value);
        const Value c = Scalar(*n.kids[0]);
        if (c.IsError()) return c;
        bool truth = false;
        if (c.IsBool() || c.IsNumber()) truth = c.Number() != 0;
        else if (!c.IsEmpty()) return Err(CellError::Value);
        if (truth) return Scalar(*n.kids[1]);
        if (n.kids.size() == 3) return Scalar(*n.kids[2]);
        return Value::Bool(false);
    }

    // COUNTIF(range, criterion): "<=7", ">300", "<=25  " (blanks around the
    // operand do not matter), a plain number, or a text to match.
    Value CountIf(const Node& n) {
        if (n.kids.size() != 2) return Err(CellError::Value);
        Operand range = Eval(*n.kids[0]);
        if (!range.isRef) return Err(CellError::Value);
        Value crit = Scalar(*n.kids[1]);
        if (crit.IsError()) return crit;
        std::string op = "=";
        Value operand = crit;
        if (crit.IsText()) {
            std::string c = crit.Text();
            for (const char* o : {"<=", ">=", "<>", "<", ">", "="}) {
                if (c.rfind(o, 0) == 0) {
                    op = o;
                    c = c.substr(std::string_view(o).size());
                    break;
                }
            }
            std::string trimmed = platform::Trim(c);
            double x;
            if (platform::TryReadStrict(trimmed, x)) operand = Value(x);
            else operand = Value(c);
        }
        bool numeric = operand.IsNumber() || operand.IsBool();
        // Only numbers meet a numeric criterion other than "<>": counted on
        // the area's sorted numbers when they are kept.
        if (operand.IsNumber() && op != "<>") {
            if (const std::vector<double>* sorted = r_.SortedNumbers(range.ref)) {
                const double b = operand.Number();
                const auto lo = std::lower_bound(sorted->begin(), sorted->end(), b);
                const auto hi = std::upper_bound(lo, sorted->end(), b);
                const auto begin = sorted->begin(), end = sorted->end();
                const std::ptrdiff_t k = op == "=" ? hi - lo : op == "<" ? lo - begin : op == "<=" ? hi - begin
                                       : op == ">" ? end - hi : end - lo;
                return Value(static_cast<double>(k));
            }
        }
        double count = 0;
        bool ok = r_.ForEachValue(range.ref, [&](const Value& v) {
            bool match = false;
            if (numeric) {
                if (v.IsNumber() && operand.IsNumber()) {
                    double a = v.Number(), b = operand.Number();
                    match = op == "=" ? a == b : op == "<>" ? a != b : op == "<" ? a < b : op == ">" ? a > b
                          : op == "<=" ? a <= b : a >= b;
                } else if (v.IsBool() && operand.IsBool()) {
                    match = (op == "=") == (v.BoolValue() == operand.BoolValue());
                } else {
                    match = op == "<>";
                }
            } else if (v.IsText()) {
                int c = CompareValues(v, operand);
                match = op == "=" ? c == 0 : op == "<>" ? c != 0 : op == "<" ? c < 0 : op == ">" ? c > 0
                      : op == "<=" ? c <= 0 : c >= 0;
            } else {
                match = op == "<>";
            }
            if (match) count += 1;
        });
        if (!ok) return Err(CellError::Ref);
        return Value(count);
    }

    RefResolver& r_;
    int dRow_, dCol_;
};

}  // namespace

SheetArea Formula::Node::RefAt(int dRow, int dCol) const {
    if ((dRow == 0 && dCol == 0) || parts.empty()) return {text, area};
    // The joined references moved one by one, then their bounding area, as
    // reading the formula there would give.
    Area a{kMaxRows, kMaxCols, 1, 1};
    for (const Part& p : parts) {
        a.row1 = std::min(a.row1, p.area.row1 + (p.moves & 1 ? dRow : 0));
        a.col1 = std::min(a.col1, p.area.col1 + (p.moves & 2 ? dCol : 0));
        a.row2 = std::max(a.row2, p.area.row2 + (p.moves & 4 ? dRow : 0));
        a.col2 = std::max(a.col2, p.area.col2 + (p.moves & 8 ? dCol : 0));
    }
    return {text, a};
}

Value Formula::Evaluate(RefResolver& resolver, int dRow, int dCol) const {
    Evaluator ev(resolver, dRow, dCol);
    Value v = ev.Scalar(*root_);
    // A formula that points at a blank cell shows 0.
    if (v.IsEmpty()) return Value(0.0);
    return v;
}

}  // namespace workbook
