#include "platform/workbook/formula.h"

#include "platform/workbook/formula_ast.h"

#include "platform/core/numtext.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>

namespace workbook {

namespace {

using Tok = FormulaToken;

// The corners of a reference token that follow its host: those without "$",
// never the rows of whole columns or the columns of whole rows.
uint8_t Moves(const Tok& t) {
    const bool rows = t.shape != Tok::RefShape::Columns, cols = t.shape != Tok::RefShape::Rows;
    return static_cast<uint8_t>((rows && !t.abs[0] ? 1 : 0) | (cols && !t.abs[1] ? 2 : 0) |
                                (rows && !t.abs[2] ? 4 : 0) | (cols && !t.abs[3] ? 8 : 0));
}
using TK = FormulaToken::Kind;

bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '$';
}

ExcelError Malformed(std::string_view text, const std::string& why) {
    return ExcelError("Formula", "cannot read \"" + std::string(text) + "\": " + why);
}

class Lexer {
public:
    Lexer(std::string_view text, bool r1c1, int hostRow, int hostCol)
        : s_(text), r1c1_(r1c1), hostRow_(hostRow), hostCol_(hostCol) {}

    std::vector<Tok> Run() {
        std::vector<Tok> out;
        // Report sheets write thousands of formulas: one allocation each.
        out.reserve(s_.size() / 3 + 2);
        for (;;) {
            SkipBlanks();
            if (i_ >= s_.size()) break;
            out.push_back(Next());
        }
        return out;
    }

private:
    void SkipBlanks() {
        while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
    }
    char Peek(size_t k = 0) const { return i_ + k < s_.size() ? s_[i_ + k] : '\0'; }

    Tok Next() {
        char c = s_[i_];
        if (c == '"') return ReadString();
        if (c == '#') return ReadError();
        if (c == '\'') {
            std::string sheet = ReadQuotedSheet();
            return ReadRefAfterSheet(sheet);
        }
        if (std::isdigit(static_cast<unsigned char>(c)) || (c == '.' && std::isdigit(static_cast<unsigned char>(Peek(1))))) {
            Tok rows;
            if (TryRowRange("", false, rows)) return rows;
            return ReadNumber();
        }
        if (std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$') return ReadWord();
        Tok t;
        t.kind = TK::Op;
        switch (c) {
        case '(': t.kind = TK::LParen; t.text = "("; ++i_; return t;
        case ')': t.kind = TK::RParen; t.text = ")"; ++i_; return t;
        case ',': t.kind = TK::Comma; t.text = ","; ++i_; return t;
        case '<':
            if (Peek(1) == '=' || Peek(1) == '>') { t.text = s_.substr(i_, 2); i_ += 2; return t; }
            break;
        case '>':
            if (Peek(1) == '=') { t.text = ">="; i_ += 2; return t; }
            break;
        default: break;
        }
        if (std::string_view("+-*/^&=<>%:").find(c) != std::string_view::npos) {
            t.text = std::string(1, c);
            ++i_;
            return t;
        }
        throw Malformed(s_, std::string("unexpected character '") + c + "'");
    }

    Tok ReadString() {
        Tok t;
        t.kind = TK::String;
        ++i_;
        for (;;) {
            if (i_ >= s_.size()) throw Malformed(s_, "unterminated text");
            if (s_[i_] == '"') {
                if (Peek(1) == '"') { t.text += '"'; i_ += 2; continue; }
                ++i_;
                break;
            }
            t.text += s_[i_++];
        }
        return t;
    }

    Tok ReadError() {
        static const char* names[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};
        for (const char* n : names) {
            std::string_view nv(n);
            if (platform::UpperCase(s_.substr(i_, nv.size())) == nv) {
                Tok t;
                t.kind = TK::Error;
                t.text = n;
                ParseErrorText(nv, t.error);
                i_ += nv.size();
                return t;
            }
        }
        throw Malformed(s_, "unknown error value");
    }

    Tok ReadNumber() {
        size_t b = i_;
        while (std::isdigit(static_cast<unsigned char>(Peek()))) ++i_;
        if (Peek() == '.') {
            ++i_;
            while (std::isdigit(static_cast<unsigned char>(Peek()))) ++i_;
        }
        if ((Peek() == 'e' || Peek() == 'E') &&
            (std::isdigit(static_cast<unsigned char>(Peek(1))) ||
             ((Peek(1) == '+' || Peek(1) == '-') && std::isdigit(static_cast<unsigned char>(Peek(2)))))) {
            i_ += 2;
            while (std::isdigit(static_cast<unsigned char>(Peek()))) ++i_;
        }
        Tok t;
        t.kind = TK::Number;
        t.text = std::string(s_.substr(b, i_ - b));
        if (!platform::TryReadStrict(t.text, t.number)) {
            // Past the largest double: the spreadsheet's #NUM!, written as
            // such so that the file reads back anywhere.
            t.kind = TK::Error;
            t.text = "#NUM!";
            t.number = 0;
            t.error = CellError::Num;
        }
        return t;
    }

    std::string ReadQuotedSheet() {
        std::string name;
        ++i_;
        for (;;) {
            if (i_ >= s_.size()) throw Malformed(s_, "unterminated sheet name");
            if (s_[i_] == '\'') {
                if (Peek(1) == '\'') { name += '\''; i_ += 2; continue; }
                ++i_;
                break;
            }
            name += s_[i_++];
        }
        if (Peek() != '!') throw Malformed(s_, "sheet name without '!'");
        ++i_;
        return name;
    }

    // Reads [$]digits at the cursor; returns the row (0 when none) and the $ flag.
    int ReadRowNumber(size_t& j, bool& abs) const {
        abs = false;
        if (j < s_.size() && s_[j] == '$') { abs = true; ++j; }
        size_t b = j;
        while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j;
        if (j == b || j - b > 7) return 0;
        int r = std::stoi(std::string(s_.substr(b, j - b)));
        return r >= 1 && r <= kMaxRows ? r : 0;
    }

    // "3:5" / "$1:$1" as a reference to whole rows.
    bool TryRowRange(const std::string& sheet, bool hasSheet, Tok& out) {
        size_t j = i_;
        bool a1 = false, a2 = false;
        int r1 = ReadRowNumber(j, a1);
        if (!r1) return false;
        if (j < s_.size() && (s_[j] == '.' || IsIdentChar(s_[j]))) return false;
        while (j < s_.size() && s_[j] == ' ') ++j;
        if (j >= s_.size() || s_[j] != ':') return false;
        ++j;
        while (j < s_.size() && s_[j] == ' ') ++j;
        int r2 = ReadRowNumber(j, a2);
        if (!r2) return false;
        if (j < s_.size() && IsIdentChar(s_[j])) return false;
        i_ = j;
        out = MakeRef(sheet, hasSheet, Area::Make(r1, 1, r2, kMaxCols), Tok::RefShape::Rows, a1, false, a2, false);
        return true;
    }

    static Tok MakeRef(const std::string& sheet, bool hasSheet, Area a, Tok::RefShape shape, bool ar1, bool ac1,
                       bool ar2, bool ac2) {
        Tok t;
        t.kind = TK::Ref;
        t.ref.sheet = sheet;
        t.hasSheet = hasSheet;
        t.ref.area = a;
        t.shape = shape;
        t.abs[0] = ar1;
        t.abs[1] = ac1;
        t.abs[2] = ar2;
        t.abs[3] = ac2;
        return t;
    }

    // One R1C1 part: absolute "2", relative "[-1]", or nothing (same as host).
    // Only an offset opens a bracket there, so a malformed or off-sheet one
    // is an error of the formula, not some other token.
    bool ReadR1C1Part(size_t& j, int host, int limit, int& value, bool& abs) const {
        abs = false;
        if (j < s_.size() && s_[j] == '[') {
            const size_t open = j++;
            bool negative = false;
            if (j < s_.size() && (s_[j] == '-' || s_[j] == '+')) negative = s_[j++] == '-';
            const size_t b = j;
            while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j;
            if (j == b || j >= s_.size() || s_[j] != ']')
                throw Malformed(s_, "bad offset \"" + std::string(s_.substr(open, j + 1 - open)) + "\"");
            // No offset of more digits than the sheet's size can land on it;
            // the sum is taken wide so that none overflows.
            long long offset = limit + 1LL;
            if (j - b <= 7) {
                offset = 0;
                for (size_t k = b; k < j; ++k) offset = offset * 10 + (s_[k] - '0');
            }
            const long long landed = host + (negative ? -offset : offset);
            if (landed < 1 || landed > limit)
                throw Malformed(s_, "offset \"" + std::string(s_.substr(open, j + 1 - open)) + "\" leaves the sheet");
            value = static_cast<int>(landed);
            ++j;
        } else if (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) {
            size_t b = j;
            while (j < s_.size() && std::isdigit(static_cast<unsigned char>(s_[j]))) ++j;
            if (j - b > 7) return false;
            value = std::stoi(std::string(s_.substr(b, j - b)));
            abs = true;
        } else {
            value = host;
        }
        return value >= 1 && value <= limit;
    }

    bool TryR1C1(const std::string& sheet, bool hasSheet, Tok& out) {
        size_t j = i_;
        if (j >= s_.size() || std::toupper(static_cast<unsigned char>(s_[j])) != 'R') return false;
        ++j;
        int row = 0, col = 0;
        bool ar = false, ac = false;
        if (!ReadR1C1Part(j, hostRow_, kMaxRows, row, ar)) return false;
        if (j >= s_.size() || std::toupper(static_cast<unsigned char>(s_[j])) != 'C') return false;
        ++j;
        if (!ReadR1C1Part(j, hostCol_, kMaxCols, col, ac)) return false;
        if (j < s_.size() && (IsIdentChar(s_[j]) || s_[j] == '(' || s_[j] == '!')) return false;
        i_ = j;
        out = MakeRef(sheet, hasSheet, Area::Cell(row, col), Tok::RefShape::Cell, ar, ac, ar, ac);
        return true;
    }

    // A cell ("$AD$2"), or a column range ("A:A", "$B:$D").
    bool TryA1(std::string_view word, const std::string& sheet, bool hasSheet, Tok& out) {
        size_t k = 0;
        bool ac = false, ar = false;
        if (k < word.size() && word[k] == '$') { ac = true; ++k; }
        size_t ls = k;
        while (k < word.size() && std::isalpha(static_cast<unsigned char>(word[k]))) ++k;
        int col = ColumnNumber(word.substr(ls, k - ls));
        if (!col) return false;
        if (k == word.size()) {
            // Only a column: it needs ":" and a second column to be a reference.
            size_t j = i_;
            while (j < s_.size() && s_[j] == ' ') ++j;
            if (j >= s_.size() || s_[j] != ':') return false;
            ++j;
            while (j < s_.size() && s_[j] == ' ') ++j;
            size_t b = j;
            while (j < s_.size() && IsIdentChar(s_[j])) ++j;
            std::string_view w2 = s_.substr(b, j - b);
            bool ac2 = !w2.empty() && w2[0] == '$';
            int col2 = ColumnNumber(ac2 ? w2.substr(1) : w2);
            if (!col2) return false;
            i_ = j;
            out = MakeRef(sheet, hasSheet, Area::Make(1, col, kMaxRows, col2), Tok::RefShape::Columns, false, ac,
                          false, ac2);
            return true;
        }
        if (word[k] == '$') { ar = true; ++k; }
        size_t ds = k;
        while (k < word.size() && std::isdigit(static_cast<unsigned char>(word[k]))) ++k;
        if (k != word.size() || k == ds || k - ds > 7) return false;
        int row = std::stoi(std::string(word.substr(ds)));
        if (row < 1 || row > kMaxRows) return false;
        out = MakeRef(sheet, hasSheet, Area::Cell(row, col), Tok::RefShape::Cell, ar, ac, ar, ac);
        return true;
    }

    Tok ReadRefAfterSheet(const std::string& sheet) {
        SkipBlanks();
        Tok t;
        if (r1c1_ && TryR1C1(sheet, true, t)) return t;
        if (TryRowRange(sheet, true, t)) return t;
        size_t b = i_;
        while (i_ < s_.size() && IsIdentChar(s_[i_])) ++i_;
        if (TryA1(s_.substr(b, i_ - b), sheet, true, t)) return t;
        throw Malformed(s_, "bad reference after sheet " + sheet);
    }

    Tok ReadWord() {
        Tok t;
        if (r1c1_ && TryR1C1("", false, t)) return t;
        size_t b = i_;
        while (i_ < s_.size() && IsIdentChar(s_[i_])) ++i_;
        std::string_view word = s_.substr(b, i_ - b);
        size_t j = i_;
        while (j < s_.size() && s_[j] == ' ') ++j;
        if (j < s_.size() && s_[j] == '(') {
            t.kind = TK::Func;
            t.text = platform::UpperCase(word);
            i_ = j;
            return t;
        }
        if (i_ < s_.size() && s_[i_] == '!') {
            ++i_;
            return ReadRefAfterSheet(std::string(word));
        }
        std::string up = platform::UpperCase(word);
        if (up == "TRUE" || up == "FALSE") {
            t.kind = TK::Bool;
            t.text = up;
            t.number = up == "TRUE";
            return t;
        }
        if (!r1c1_ && TryA1(word, "", false, t)) return t;
        t.kind = TK::Name;
        t.text = std::string(word);
        return t;
    }

    std::string_view s_;
    size_t i_ = 0;
    bool r1c1_;
    int hostRow_, hostCol_;
};

std::string RefText(const Tok& t) {
    std::string s;
    if (t.hasSheet) s = QuoteSheetName(t.ref.sheet) + "!";
    const Area& a = t.ref.area;
    auto d = [&](int i) { return t.abs[i] ? std::string("$") : std::string(); };
    switch (t.shape) {
    case Tok::RefShape::Columns:
        return s + d(1) + ColumnLetters(a.col1) + ":" + d(3) + ColumnLetters(a.col2);
    case Tok::RefShape::Rows:
        return s + d(0) + std::to_string(a.row1) + ":" + d(2) + std::to_string(a.row2);
    case Tok::RefShape::Cell:
        return s + d(1) + ColumnLetters(a.col1) + d(0) + std::to_string(a.row1);
    case Tok::RefShape::Area:
        return s + d(1) + ColumnLetters(a.col1) + d(0) + std::to_string(a.row1) + ":" + d(3) +
               ColumnLetters(a.col2) + d(2) + std::to_string(a.row2);
    }
    return s;
}

}  // namespace

// ---------------------------------------------------------------- parser

namespace {

using Node = Formula::Node;
using NodePtr = std::unique_ptr<Node>;

class Parser {
public:
    // `moves`, when given, says per reference token which corners follow
    // the host; else the "$" signs do.
    Parser(const std::vector<Tok>& toks, std::string_view text, const std::vector<uint8_t>* moves = nullptr)
        : t_(toks), text_(text), moves_(moves) {}

    NodePtr Run() {
        if (t_.empty()) throw Malformed(text_, "empty formula");
        NodePtr n = Comparison();
        if (p_ != t_.size()) throw Malformed(text_, "unexpected \"" + t_[p_].text + "\"");
        return n;
    }

private:
    uint8_t NextMoves(const Tok& t) {
        return moves_ && refs_ < moves_->size() ? (*moves_)[refs_++] : Moves(t);
    }

    bool IsOp(const char* op) const { return p_ < t_.size() && t_[p_].kind == TK::Op && t_[p_].text == op; }

    // A run of operators of one precedence is one node: its operands in
    // order and one code per operator ("l" <=, "g" >=, "n" <>), evaluated
    // left to right in a loop. A formula of any length then takes no more
    // stack than its nesting, which is bounded.
    class Chain {
    public:
        explicit Chain(NodePtr first) : n_(std::move(first)) {}
        void Add(char op, NodePtr next) {
            if (!chained_) {
                auto c = std::make_unique<Node>();
                c->kind = Node::Kind::Binary;
                c->kids.push_back(std::move(n_));
                n_ = std::move(c);
                chained_ = true;
            }
            n_->text.push_back(op);
            n_->kids.push_back(std::move(next));
        }
        NodePtr Done() { return std::move(n_); }

    private:
        NodePtr n_;
        bool chained_ = false;
    };

    // The code of the comparison at hand, 0 when there is none.
    char ComparisonCode() const {
        if (p_ >= t_.size() || t_[p_].kind != TK::Op) return 0;
        const std::string& op = t_[p_].text;
        if (op == "=" || op == "<" || op == ">") return op[0];
        if (op == "<>") return 'n';
        if (op == "<=") return 'l';
        if (op == ">=") return 'g';
        return 0;
    }

    NodePtr Comparison() {
        Chain c(Concat());
        while (const char op = ComparisonCode()) {
            ++p_;
            c.Add(op, Concat());
        }
        return c.Done();
    }
    NodePtr Concat() {
        Chain c(Additive());
        while (IsOp("&")) {
            ++p_;
            c.Add('&', Additive());
        }
        return c.Done();
    }
    NodePtr Additive() {
        Chain c(Term());
        while (IsOp("+") || IsOp("-")) {
            const char op = t_[p_++].text[0];
            c.Add(op, Term());
        }
        return c.Done();
    }
    NodePtr Term() {
        Chain c(Power());
        while (IsOp("*") || IsOp("/")) {
            const char op = t_[p_++].text[0];
            c.Add(op, Power());
        }
        return c.Done();
    }
    NodePtr Power() {
        Chain c(Unary());
        while (IsOp("^")) {
            ++p_;
            c.Add('^', Unary());
        }
        return c.Done();
    }
    // Negation binds tighter than "^", as in the spreadsheet (-2^2 = 4).
    NodePtr Unary() {
        if (IsOp("-") || IsOp("+")) {
            const Level level(*this);
            auto n = std::make_unique<Node>();
            n->kind = Node::Kind::Unary;
            n->text = t_[p_++].text;
            n->kids.push_back(Unary());
            return n;
        }
        NodePtr n = Primary();
        // Signs in a row are one node that counts them.
        if (IsOp("%")) {
            auto pct = std::make_unique<Node>();
            pct->kind = Node::Kind::Percent;
            while (IsOp("%")) {
                ++p_;
                pct->number += 1;
            }
            pct->kids.push_back(std::move(n));
            n = std::move(pct);
        }
        return n;
    }

    NodePtr Primary() {
        if (p_ >= t_.size()) throw Malformed(text_, "missing operand");
        const Tok& t = t_[p_++];
        auto n = std::make_unique<Node>();
        switch (t.kind) {
        case TK::Number: n->kind = Node::Kind::Number; n->number = t.number; return n;
        case TK::String: n->kind = Node::Kind::String; n->text = t.text; return n;
        case TK::Bool: n->kind = Node::Kind::Bool; n->number = t.number; return n;
        case TK::Error: n->kind = Node::Kind::Error; n->error = t.error; return n;
        case TK::Name: n->kind = Node::Kind::Name; n->text = t.text; return n;
        case TK::Ref: {
            n->kind = Node::Kind::Ref;
            n->text = t.ref.sheet;
            n->area = t.ref.area;
            n->parts.push_back({t.ref.area, NextMoves(t)});
            // The range operator joins references into their bounding area.
            while (IsOp(":") && p_ + 1 < t_.size() && t_[p_ + 1].kind == TK::Ref) {
                const Tok& o = t_[p_ + 1];
                if (o.hasSheet && !SameName(o.ref.sheet, n->text)) throw Malformed(text_, "range across sheets");
                const Area& a = n->area;
                const Area& b = o.ref.area;
                n->area = Area::Make(std::min(a.row1, b.row1), std::min(a.col1, b.col1),
                                         std::max(a.row2, b.row2), std::max(a.col2, b.col2));
                n->parts.push_back({b, NextMoves(o)});
                p_ += 2;
            }
            return n;
        }
        case TK::LParen: {
            const Level level(*this);
            NodePtr inner = Comparison();
            if (p_ >= t_.size() || t_[p_].kind != TK::RParen) throw Malformed(text_, "missing \")\"");
            ++p_;
            return inner;
        }
        case TK::Func: {
            const Level level(*this);
            n->kind = Node::Kind::Func;
            n->text = t.text;
            if (p_ >= t_.size() || t_[p_].kind != TK::LParen) throw Malformed(text_, "missing \"(\"");
            ++p_;
            if (p_ < t_.size() && t_[p_].kind == TK::RParen) {
                ++p_;
                return n;
            }
            for (;;) {
                if (p_ < t_.size() && (t_[p_].kind == TK::Comma || t_[p_].kind == TK::RParen)) {
                    auto empty = std::make_unique<Node>();
                    empty->kind = Node::Kind::Name;  // an omitted argument
                    n->kids.push_back(std::move(empty));
                } else {
                    n->kids.push_back(Comparison());
                }
                if (p_ < t_.size() && t_[p_].kind == TK::Comma) { ++p_; continue; }
                if (p_ < t_.size() && t_[p_].kind == TK::RParen) { ++p_; break; }
                throw Malformed(text_, "missing \")\" after the arguments of " + t.text);
            }
            return n;
        }
        default: throw Malformed(text_, "unexpected \"" + t.text + "\"");
        }
    }

    // One level of nesting (parentheses, a function's arguments, a sign)
    // for as long as it lives; past the spreadsheet's 64 levels the formula
    // is refused rather than read on into the stack's end.
    class Level {
    public:
        explicit Level(Parser& p) : p_(p) {
            if (++p_.depth_ > kMaxNesting) {
                --p_.depth_;
                throw Malformed(p_.text_, "nested more than " + std::to_string(kMaxNesting) + " levels deep");
            }
        }
        ~Level() { --p_.depth_; }
        Level(const Level&) = delete;
        Level& operator=(const Level&) = delete;

    private:
        Parser& p_;
    };
    static constexpr int kMaxNesting = 64;

    const std::vector<Tok>& t_;
    std::string_view text_;
    const std::vector<uint8_t>* moves_;
    size_t refs_ = 0;
    size_t p_ = 0;
    int depth_ = 0;
};

}  // namespace

Formula::Formula() = default;
Formula::~Formula() = default;

std::shared_ptr<const Formula> Formula::Parse(std::string_view text, bool r1c1, int hostRow, int hostCol) {
    std::string_view body = text;
    while (!body.empty() && std::isspace(static_cast<unsigned char>(body.front()))) body.remove_prefix(1);
    if (!body.empty() && body.front() == '=') body.remove_prefix(1);
    auto f = std::make_shared<Formula>();
    const std::vector<Tok> tokens = Lexer(body, r1c1, hostRow, hostCol).Run();
    f->root_ = Parser(tokens, text).Run();
    f->a1_ = A1TextOf(tokens);
    return f;
}

std::string Formula::A1Text() const { return a1_; }

std::string Formula::A1TextOf(const std::vector<FormulaToken>& tokens) {
    std::string s = "=";
    for (const Tok& t : tokens) {
        switch (t.kind) {
        case TK::String: {
            s += '"';
            for (char c : t.text) {
                if (c == '"') s += '"';
                s += c;
            }
            s += '"';
            break;
        }
        case TK::Ref: s += RefText(t); break;
        default: s += t.text;
        }
    }
    return s;
}

bool FormulaShapes::ReadAsRecent(std::string_view text, int hostRow, int hostCol, Use& use) const {
    const auto it = recent_.find(hostCol);
    if (it == recent_.end()) return false;
    const Recent& q = it->second;
    const int dr = hostRow - q.hostRow;
    size_t from = 0, at = 0;  // in the earlier text and in this one
    int upper = 0;
    char digits[16];
    for (const RowSlot& slot : q.rows) {
        const size_t same = slot.at - from;
        if (text.size() - at < same || text.compare(at, same, q.text, from, same) != 0) return false;
        at += same;
        const int row = slot.moves ? slot.row + dr : slot.row;
        if (row < 1 || row > kMaxRows) return false;
        // An area whose rows would cross reads as another area.
        if (slot.second && row < upper) return false;
        upper = row;
        const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, row);
        const size_t n = static_cast<size_t>(end - digits);
        if (text.size() - at < n || text.compare(at, n, std::string_view(digits, n)) != 0) return false;
        at += n;
        from = slot.at + slot.length;
    }
    if (text.substr(at) != std::string_view(q.text).substr(from)) return false;
    use.program = q.program;
    use.dRow = hostRow - q.shapeRow;
    use.dCol = hostCol - q.shapeCol;
    use.a1 = std::string(text);
    return true;
}

void FormulaShapes::Remember(const std::vector<Tok>& tokens, std::string_view text, const Shape& used, int hostRow,
                             int hostCol) {
    Recent q;
    q.text = "=";
    size_t k = 0;  // of the reference tokens
    auto row = [&](int value, bool moves, bool second) {
        const std::string digits = std::to_string(value);
        q.rows.push_back({q.text.size(), digits.size(), value, moves, second});
        q.text += digits;
    };
    for (const Tok& t : tokens) {
        if (t.kind != TK::Ref) {
            if (t.kind == TK::String) return;  // its quotes are doubled in the text
            q.text += t.text;
            continue;
        }
        if (k >= used.moves.size()) return;
        const uint8_t m = used.moves[k++];
        const Area& a = t.ref.area;
        auto d = [&](int i) { return t.abs[i] ? "$" : ""; };
        if (t.hasSheet) q.text += QuoteSheetName(t.ref.sheet) + "!";
        switch (t.shape) {
        case Tok::RefShape::Columns:
            q.text += d(1) + ColumnLetters(a.col1) + ":" + d(3) + ColumnLetters(a.col2);
            break;
        case Tok::RefShape::Rows:
            q.text += d(0);
            row(a.row1, m & 1, false);
            q.text += std::string(":") + d(2);
            row(a.row2, m & 4, true);
            break;
        case Tok::RefShape::Cell:
            if (((m & 1) != 0) != ((m & 4) != 0)) return;
            q.text += d(1) + ColumnLetters(a.col1) + d(0);
            row(a.row1, m & 1, false);
            break;
        case Tok::RefShape::Area:
            q.text += d(1) + ColumnLetters(a.col1) + d(0);
            row(a.row1, m & 1, false);
            q.text += std::string(":") + d(3) + ColumnLetters(a.col2) + d(2);
            row(a.row2, m & 4, true);
            break;
        }
    }
    // Only a text written as its own A1 form reads back the same way moved.
    if (k != used.moves.size() || q.text != text) return;
    q.program = used.program;
    q.hostRow = hostRow;
    q.shapeRow = used.row;
    q.shapeCol = used.col;
    recent_[hostCol] = std::move(q);
}

FormulaShapes::Use FormulaShapes::Parse(std::string_view text, bool r1c1, int hostRow, int hostCol) {
    Use use;
    if (!r1c1 && ReadAsRecent(text, hostRow, hostCol, use)) return use;
    std::string_view body = text;
    while (!body.empty() && std::isspace(static_cast<unsigned char>(body.front()))) body.remove_prefix(1);
    if (!body.empty() && body.front() == '=') body.remove_prefix(1);
    const std::vector<Tok> tokens = Lexer(body, r1c1, hostRow, hostCol).Run();
    // The shape: every token as written, references without their places.
    std::string key;
    std::vector<Area> refs;
    std::vector<uint8_t> dollars;  // corners that can never follow the host
    // Built of raw bytes: report sheets write hundreds of thousands of
    // formulas, and formatting numbers into the key cost more than reading.
    key.reserve(body.size() * 2 + tokens.size() * 12);
    auto raw = [&key](const auto& v) { key.append(reinterpret_cast<const char*>(&v), sizeof v); };
    for (const Tok& t : tokens) {
        key += static_cast<char>('A' + static_cast<int>(t.kind));
        key += t.text;
        key += '\x1f';
        if (t.kind == TK::Ref) {
            dollars.push_back(static_cast<uint8_t>(~Moves(t) & 0xF));
            key += t.ref.sheet;
            key += '\x1f';
            key += static_cast<char>('0' + static_cast<int>(t.shape));
            key += t.hasSheet ? '!' : '.';
            key += static_cast<char>('a' + dollars.back());
            refs.push_back(t.ref.area);
        } else {
            raw(t.number);
            raw(t.error);
        }
        key += '\x1e';
    }
    use.a1 = Formula::A1TextOf(tokens);
    // Where a corner lands for a host moved by (dr, dc).
    auto landed = [](const Area& o, uint8_t m, int dr, int dc) {
        return Area{o.row1 + (m & 1 ? dr : 0), o.col1 + (m & 2 ? dc : 0), o.row2 + (m & 4 ? dr : 0),
                    o.col2 + (m & 8 ? dc : 0)};
    };
    std::vector<Shape>& variants = shapes_[key];
    for (const Shape& s : variants) {
        // The same formula there if every reference lands where this one's does.
        const int dr = hostRow - s.row, dc = hostCol - s.col;
        bool same = true;
        for (size_t k = 0; k < refs.size() && same; ++k) same = landed(s.refs[k], s.moves[k], dr, dc) == refs[k];
        if (same) {
            use.program = s.program;
            use.dRow = dr;
            use.dCol = dc;
            if (!r1c1) Remember(tokens, text, s, hostRow, hostCol);
            return use;
        }
    }
    // A new way of moving: corners that stayed put since the last formula of
    // this shape stay put, the others follow the host.
    std::vector<uint8_t> moves(refs.size());
    for (size_t k = 0; k < refs.size(); ++k) {
        moves[k] = static_cast<uint8_t>(~dollars[k] & 0xF);
        if (variants.empty()) continue;
        const Shape& last = variants.back();
        const int v[4] = {refs[k].row1, refs[k].col1, refs[k].row2, refs[k].col2};
        const int o[4] = {last.refs[k].row1, last.refs[k].col1, last.refs[k].row2, last.refs[k].col2};
        for (int i = 0; i < 4; ++i) {
            const int d = i % 2 ? hostCol - last.col : hostRow - last.row;
            if (d != 0 && v[i] == o[i]) moves[k] &= static_cast<uint8_t>(~(1u << i));
        }
    }
    auto f = std::make_shared<Formula>();
    f->root_ = Parser(tokens, text, &moves).Run();
    f->a1_ = use.a1;
    use.program = f;
    // Many shapes means little sharing: start afresh rather than grow.
    Shape made{f, hostRow, hostCol, std::move(refs), std::move(moves)};
    if (!r1c1) Remember(tokens, text, made, hostRow, hostCol);
    if (shapes_.size() >= 4096) {
        shapes_.clear();
        shapes_[key].push_back(std::move(made));
        return use;
    }
    if (variants.size() >= 4) variants.erase(variants.begin());
    variants.push_back(std::move(made));
    return use;
}

std::string R1C1ToA1(std::string_view formula, int hostRow, int hostCol) {
    return Formula::Parse(formula, true, hostRow, hostCol)->A1Text();
}

}  // namespace workbook
