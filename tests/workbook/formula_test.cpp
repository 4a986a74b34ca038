// The evaluator as the report builders use it: statistics over packed
// columns, COUNTIF criteria, recalculation on read, errors, references.
#include "platform/workbook/workbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <numeric>

using namespace workbook;

namespace {

struct Book {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& ws = wb.Worksheets(1);
    Value At(const char* a) { return ws.GetRange(a).GetValue(); }
    void Set(const char* a, const Value& v) { ws.GetRange(a).SetValue(v); }
    void F(const char* a, const std::string& f) { ws.GetRange(a).SetFormula(f); }
};

bool IsError(const Value& v, CellError e) { return v.IsError() && v.Error() == e; }

}  // namespace

TEST(FormulaStatistics, ThirtyTrialBlockGivesTheSpreadsheetResults) {
    Book b;
    // 30 TTFFs, three above the 300 s limit.
    std::vector<double> ttff;
    for (int i = 0; i < 30; ++i) ttff.push_back(20.5 + i * 3.25);
    ttff[4] = 301;
    ttff[11] = 450.5;
    ttff[29] = 999;
    std::vector<double> valid;
    for (int i = 0; i < 30; ++i) {
        b.ws.Cells(i + 2, 1).SetValue(ttff[i]);
        if (ttff[i] <= 300) valid.push_back(ttff[i]);
    }
    b.Set("U4", 30);
    b.F("U5", "=AVERAGE( AD2 : AD31)");
    b.F("U6", "=MAX(AD2:AD31)");
    b.F("U7", "=MIN(A2:A31)");
    b.F("U8", "=STDEV(AD2:AD31)");
    b.F("U9", "=COUNTIF(A2:A31,\">300\")/U4*100");
    // Statistics over AD are written before AD is filled: division error first.
    EXPECT_TRUE(IsError(b.At("U5"), CellError::Div0));
    EXPECT_EQ(b.At("U6").Number(), 0);
    for (size_t k = 0; k < valid.size(); ++k) b.ws.Cells(static_cast<int>(k) + 2, 30).SetValue(valid[k]);

    double mean = std::accumulate(valid.begin(), valid.end(), 0.0) / valid.size();
    double ss = 0;
    for (double v : valid) ss += (v - mean) * (v - mean);
    EXPECT_NEAR(b.At("U5").Number(), mean, 1e-12);
    EXPECT_EQ(b.At("U6").Number(), *std::max_element(valid.begin(), valid.end()));
    EXPECT_EQ(b.At("U7").Number(), 20.5);
    EXPECT_NEAR(b.At("U8").Number(), std::sqrt(ss / (valid.size() - 1)), 1e-12);
    EXPECT_EQ(b.At("U9").Number(), 10.0);
    // Texts read back exactly as written, blanks included.
    EXPECT_EQ(b.ws.GetRange("U5").Formula(), "=AVERAGE( AD2 : AD31)");
    EXPECT_EQ(b.ws.GetRange("U9").Formula(), "=COUNTIF(A2:A31,\">300\")/U4*100");
}

TEST(FormulaStatistics, EmptyRangesAndReversedRanges) {
    Book b;
    b.Set("AD1", "TTFF < 300 [s] ");
    b.Set("U4", 0);
    b.F("U5", "=AVERAGE( AD2 : AD1)");
    b.F("U6", "=MAX(AD2:AD1)");
    b.F("U7", "=MIN(A2:A1)");
    b.F("U8", "=STDEV(AD2:AD1)");
    b.F("U1", "=COUNT(AD2:AD1)");
    EXPECT_TRUE(IsError(b.At("U5"), CellError::Div0));
    EXPECT_EQ(b.At("U6").Number(), 0);
    EXPECT_EQ(b.At("U7").Number(), 0);
    EXPECT_TRUE(IsError(b.At("U8"), CellError::Div0));
    EXPECT_EQ(b.At("U1").Number(), 0);
    // One value: still no sample deviation; a reversed range reads the same cells.
    b.Set("AD2", 12.5);
    EXPECT_TRUE(IsError(b.At("U8"), CellError::Div0));
    EXPECT_EQ(b.At("U6").Number(), 12.5);
    b.F("U2", "=MAX(AD3:AD1)");
    EXPECT_EQ(b.At("U2").Number(), 12.5);
}

TEST(FormulaCountIf, CriteriaAsTheBuildersWriteThem) {
    Book b;
    const double vals[] = {1, 7, 7.5, 25, 300, 301};
    for (int i = 0; i < 6; ++i) b.ws.Cells(i + 2, 30).SetValue(vals[i]);
    b.ws.Cells(8, 30).SetValue("text");  // text never matches a number
    // row 9 stays blank
    b.Set("U4", 8);
    b.F("Y2", "=COUNTIF(AD2:AD9,\"<=7\")/U4");
    b.F("AF2", "=COUNTIF(AD2:AD9,\"<=25  \")/U4*100");  // two trailing blanks
    b.F("U9", "=COUNTIF(AD2:AD9,\">300\")/U4*100");
    b.F("B6", "=COUNTIF(AD2:AD9,\">=300\")");
    b.F("B7", "=COUNTIF(AD2:AD9,7)");
    b.F("B8", "=COUNTIF(AD2:AD9,\"= 7.5\")");
    b.F("B9", "=COUNTIF(AD2:AD9,\"text\")");
    b.F("B10", "=COUNTIF(AD2:AD9,\"<> 7\")");
    EXPECT_EQ(b.At("Y2").Number(), 2.0 / 8);
    EXPECT_EQ(b.At("AF2").Number(), 4.0 / 8 * 100);
    EXPECT_EQ(b.At("U9").Number(), 1.0 / 8 * 100);
    EXPECT_EQ(b.At("B6").Number(), 2);
    EXPECT_EQ(b.At("B7").Number(), 1);
    EXPECT_EQ(b.At("B8").Number(), 1);
    EXPECT_EQ(b.At("B9").Number(), 1);
    EXPECT_EQ(b.At("B10").Number(), 6);  // the five other numbers and the text
}

TEST(FormulaCountIf, DivisionThenMultiplicationStaysLeftToRight) {
    Book b;
    b.Set("A2", 1);
    b.Set("A3", 5);
    b.Set("A4", 9);
    b.Set("U4", 3);
    b.F("AB2", "=COUNTIF(A2:A4,\"<=4\")/U4*100");
    b.F("AB3", "=COUNTIF(A2:A4,\"<=9\")/U4*100");
    // (1/3)*100 differs from 100/3 in the last bit; builders compare with 100 exactly.
    EXPECT_EQ(b.At("AB2").Number(), (1.0 / 3.0) * 100.0);
    EXPECT_EQ(b.At("AB3").Number(), 100.0);
}

TEST(FormulaRecalculation, ChainsFollowEveryWrite) {
    Book b;
    b.Set("D2", 48.0);
    b.Set("D3", 48.0001);
    b.Set("F2", 11.0);
    b.Set("F3", 11.0);
    b.Set("U4", 2);
    b.F("M2", "=AVERAGE( D2 : D3)");
    b.F("N2", "=AVERAGE( F2 : F3)");
    b.F("O2", "=(D2 - M2)*6378198.133*(0.0174532925199433)");
    b.F("P2", "=(F2 - N2)*4819709.844*(0.0174532925199433)");
    b.F("O3", "=(D3 - M2)*6378198.133*(0.0174532925199433)");
    b.F("P3", "=(F3 - N2)*4819709.844*(0.0174532925199433)");
    b.F("Z2", "=SQRT(POWER(O2,2)+POWER(P2,2))");
    b.F("Z3", "=SQRT(POWER(O3,2)+POWER(P3,2))");
    b.F("Z6", "=MAX(Z2:Z3)");
    double half = 0.00005 * 6378198.133 * 0.0174532925199433;
    EXPECT_NEAR(b.At("Z6").Number(), half, 1e-9);
    // Moving one fix moves the mean, the errors and the maximum at once.
    b.Set("F3", 11.001);
    double dn = half, de = 0.0005 * 4819709.844 * 0.0174532925199433;
    EXPECT_NEAR(b.At("Z6").Number(), std::sqrt(dn * dn + de * de), 1e-9);
    EXPECT_NEAR(b.At("P3").Number(), de, 1e-9);
}

TEST(FormulaRecalculation, CircleFormulasFollowTheRadiusWrittenLater) {
    Book b;
    for (int i = 1; i <= 100; ++i) {
        int row = i + 1;
        b.ws.Cells(row, 34).SetValue(i / 100.0);
        b.ws.Cells(row, 35).SetFormula("=U10*SIN(2*PI()*AH" + std::to_string(row) + ")");
        b.ws.Cells(row, 36).SetFormula("=U10*COS(2*PI()*AH" + std::to_string(row) + ")");
    }
    EXPECT_EQ(b.At("AI2").Number(), 0);
    EXPECT_EQ(b.At("AJ101").Number(), 0);
    b.Set("U10", 2.5);
    EXPECT_NEAR(b.At("AI2").Number(), 0.157, 0.0005);
    EXPECT_NEAR(b.At("AJ2").Number(), 2.495, 0.0005);
    EXPECT_NEAR(b.At("AI101").Number(), 0, 1e-12);
    EXPECT_DOUBLE_EQ(b.At("AJ101").Number(), 2.5);
}

TEST(FormulaReferences, WholeColumnsCrossSheetAndBlanks) {
    Application app;
    Workbook& wb = app.AddWorkbook();
    Worksheet& level = wb.Worksheets(1);
    level.SetName("-130COLD");
    level.GetRange("U4").SetValue(30);
    level.GetRange("U5").SetValue(41.25);
    Worksheet& resume = wb.AddWorksheet();
    resume.SetName("Resume");
    resume.GetRange("W3").SetValue(-130);
    resume.GetRange("W4").SetValue(-135);
    resume.GetRange("W5").SetValue(-140);
    resume.GetRange("X3").SetFormula("='-130COLD'!U4");
    resume.GetRange("Y3").SetFormula("='-130cold'!U5");  // sheet names ignore case
    resume.GetRange("Z3").SetFormula("='-130COLD'!U6");  // a blank cell shows 0
    resume.GetRange("AD3").SetFormula("=45-(MAX(W:W)-W3)");
    resume.GetRange("AD4").SetFormula("=45-(MAX(W:W)-W4)");
    resume.GetRange("AD5").SetFormula("=-(MAX(W:W)-W5)");  // the answer left empty
    EXPECT_EQ(resume.GetRange("X3").GetValue().Number(), 30);
    EXPECT_EQ(resume.GetRange("Y3").GetValue().Number(), 41.25);
    EXPECT_TRUE(resume.GetRange("Z3").GetValue().IsNumber());
    EXPECT_EQ(resume.GetRange("Z3").GetValue().Number(), 0);
    EXPECT_EQ(resume.GetRange("AD3").GetValue().Number(), 45);
    EXPECT_EQ(resume.GetRange("AD4").GetValue().Number(), 40);
    EXPECT_EQ(resume.GetRange("AD5").GetValue().Number(), -10);
    // The referenced sheet changes: the summary follows.
    level.GetRange("U4").SetValue(29);
    EXPECT_EQ(resume.GetRange("X3").GetValue().Number(), 29);
    resume.GetRange("A1").SetFormula("='Nowhere'!U4");
    EXPECT_TRUE(IsError(resume.GetRange("A1").GetValue(), CellError::Ref));
}

TEST(FormulaReferences, R1C1FormulasConvertAndEvaluate) {
    Book b;
    for (int t = 1; t <= 10; ++t) b.ws.Cells(t + 1, 3).SetValue(t == 10 ? 300.0 : 100.0 + t);
    b.ws.GetRange("B1").SetFormulaR1C1("=COUNT(R2C3:R11C3)");
    b.ws.GetRange("B6").SetFormulaR1C1("=COUNTIF(R2C3:R11C3,\">=300\")");
    b.ws.GetRange("B7").SetFormulaR1C1("=R[-5]C[1]*2");  // relative: C2
    EXPECT_EQ(b.ws.GetRange("B1").Formula(), "=COUNT($C$2:$C$11)");
    EXPECT_EQ(b.ws.GetRange("B1").FormulaR1C1(), "=COUNT(R2C3:R11C3)");
    EXPECT_EQ(b.At("B1").Number(), 10);
    EXPECT_EQ(b.At("B6").Number(), 1);  // a TTFF equal to the limit counts
    EXPECT_EQ(b.ws.GetRange("B7").Formula(), "=C2*2");
    EXPECT_EQ(b.At("B7").Number(), 202);
    EXPECT_EQ(R1C1ToA1("=STDEV(R2C3:R11C3)", 5, 2), "=STDEV($C$2:$C$11)");
}

TEST(FormulaErrors, ErrorValuesPropagateAsInTheSpreadsheet) {
    Book b;
    b.Set("A1", 5);
    b.Set("A2", "abc");
    b.F("B1", "=A1/0");
    b.F("B2", "=B1+1");
    b.F("B3", "=A2*2");
    b.F("B4", "=SQRT(-4)");
    b.F("B5", "=NOSUCH(A1)");
    b.F("B6", "=undefinedname+1");
    b.F("B7", "=MAX(A1:B1)");
    b.F("B8", "=COUNT(A1:B2)");  // errors are not numbers, and do not stop COUNT
    b.F("B9", "=POWER(0,-1)");
    b.F("B10", "=\"3\"*2");       // numeric text takes part in arithmetic
    EXPECT_TRUE(IsError(b.At("B1"), CellError::Div0));
    EXPECT_TRUE(IsError(b.At("B2"), CellError::Div0));
    EXPECT_TRUE(IsError(b.At("B3"), CellError::Value));
    EXPECT_TRUE(IsError(b.At("B4"), CellError::Num));
    EXPECT_TRUE(IsError(b.At("B5"), CellError::Name));
    EXPECT_TRUE(IsError(b.At("B6"), CellError::Name));
    EXPECT_TRUE(IsError(b.At("B7"), CellError::Div0));
    EXPECT_EQ(b.At("B8").Number(), 1);
    EXPECT_TRUE(IsError(b.At("B9"), CellError::Div0));
    EXPECT_EQ(b.At("B10").Number(), 6);
    EXPECT_EQ(b.At("B1").ToString(), "#DIV/0!");
}

TEST(FormulaErrors, OperatorsAndPrecedence) {
    Book b;
    b.F("A1", "=-2^2");
    b.F("A2", "=2+3*4-6/3");
    b.F("A3", "=(2+3)*4");
    b.F("A4", "=3>2");
    b.F("A5", "=\"abc\"=\"ABC\"");
    b.F("A6", "=\"N\"&5");
    b.F("A7", "=50%");
    b.F("A8", "=1<>1");
    EXPECT_EQ(b.At("A1").Number(), 4);
    EXPECT_EQ(b.At("A2").Number(), 12);
    EXPECT_EQ(b.At("A3").Number(), 20);
    EXPECT_TRUE(b.At("A4").IsBool() && b.At("A4").BoolValue());
    EXPECT_TRUE(b.At("A5").BoolValue());
    EXPECT_EQ(b.At("A6").Text(), "N5");
    EXPECT_EQ(b.At("A7").Number(), 0.5);
    EXPECT_FALSE(b.At("A8").BoolValue());
}

TEST(FormulaErrors, MalformedFormulaIsRefusedAndTheCellKept) {
    Book b;
    b.Set("C3", 7);
    for (const char* bad : {"=SUM(A1", "=1+", "=A1:", "=\"open", "=)"}) {
        try {
            b.F("C3", bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ExcelError& e) {
            EXPECT_EQ(e.Operation(), "Formula");
            EXPECT_EQ(e.Number(), kExcelErrorNumber);
        }
        EXPECT_EQ(b.At("C3").Number(), 7);
    }
}

TEST(FormulaErrors, MalformedR1C1ReferencesAreRefusedAsFormulaErrors) {
    Book b;
    b.Set("C3", 7);
    // In C3: offsets without digits, beyond any int, or off the sheet.
    for (const char* bad : {"=R[-]C", "=R[+]C", "=RC[99999999999]", "=R[2147483647]C", "=RC[-2147483648]",
                            "=R[]C", "=R[1C", "=SUM(R[-5]C:RC)", "=R[1048574]C", "=RC[16382]", "=R[-3]C*2"}) {
        for (int how = 0; how < 3; ++how) {
            try {
                if (how == 0) b.ws.GetRange("C3").SetFormulaR1C1(bad);
                else if (how == 1) Formula::Parse(bad, true, 3, 3);
                else R1C1ToA1(bad, 3, 3);
                ADD_FAILURE() << "accepted " << bad << " (" << how << ")";
            } catch (const ExcelError& e) {
                EXPECT_EQ(e.Operation(), "Formula") << bad;
                EXPECT_EQ(e.Number(), kExcelErrorNumber) << bad;
            } catch (const std::exception& e) {
                ADD_FAILURE() << bad << " (" << how << "): " << e.what();
            }
        }
        EXPECT_EQ(b.At("C3").Number(), 7) << bad;
    }
    // The last row and column are still reached from the first.
    EXPECT_EQ(R1C1ToA1("=R[1048575]C+RC[16383]", 1, 1), "=A1048576+XFD1");
    EXPECT_EQ(R1C1ToA1("=R[-2]C[-2]", 3, 3), "=A1");
}

TEST(FormulaErrors, NumbersPastTheDoubleRangeAreNumErrors) {
    Book b;
    b.Set("A1", 3);
    b.Set("B4", 2);
    b.F("C1", "=1e999");
    b.F("C2", "=A1*2E400");
    b.ws.GetRange("B3").SetFormulaR1C1("=R[1]C+1e309");
    b.F("C4", "=-1E+309+A1");
    for (const char* cell : {"C1", "C2", "B3", "C4"}) EXPECT_TRUE(IsError(b.At(cell), CellError::Num)) << cell;
    // Read back as written; the file holds the error value, which every
    // spreadsheet reads.
    EXPECT_EQ(b.ws.GetRange("C2").Formula(), "=A1*2E400");
    EXPECT_EQ(b.ws.Find(2, 3)->a1Text, "=A1*#NUM!");
    EXPECT_EQ(b.ws.Find(3, 2)->a1Text, "=B4+#NUM!");
    // The range's edges still read as numbers; below it, as 0.
    b.F("D1", "=1.7976931348623157e308");
    b.F("D2", "=4.9e-324*1");
    b.F("D3", "=1e-400+A1");
    EXPECT_EQ(b.At("D1").Number(), 1.7976931348623157e308);
    EXPECT_EQ(b.At("D2").Number(), 4.9e-324);
    EXPECT_EQ(b.At("D3").Number(), 3);
    // The parser alone, either notation: no other exception escapes.
    for (const char* text : {"=1e999", "=R[1]C+1e309"}) {
        try {
            const auto f = Formula::Parse(text, true, 3, 2);
            EXPECT_NE(f->A1Text().find("#NUM!"), std::string::npos) << text;
        } catch (const std::exception& e) {
            ADD_FAILURE() << text << ": " << e.what();
        }
    }
}

TEST(FormulaErrors, NestingPastSixtyFourLevelsIsRefusedAsAFormulaError) {
    Book b;
    b.Set("A1", 2);
    auto parens = [](int depth, const std::string& inner) {
        return "=" + std::string(static_cast<size_t>(depth), '(') + inner + std::string(static_cast<size_t>(depth), ')');
    };
    auto calls = [](int depth) {
        std::string f = "=";
        for (int k = 0; k < depth; ++k) f += "SQRT(";
        f += "A1";
        return f + std::string(static_cast<size_t>(depth), ')');
    };
    b.F("B1", parens(64, "A1+1"));
    EXPECT_EQ(b.At("B1").Number(), 3);
    b.F("B2", calls(64));
    EXPECT_NEAR(b.At("B2").Number(), 1, 1e-15);
    b.F("B3", "=" + std::string(64, '-') + "A1");
    EXPECT_EQ(b.At("B3").Number(), 2);
    b.Set("C1", 7);
    // One level more, and far more: refused, the cell kept, no stack overflow.
    for (const std::string& deep : {parens(65, "1"), calls(65), parens(10000, "1"), parens(1000000, "1"),
                                    calls(100000), "=" + std::string(1000000, '-') + "1",
                                    "=" + std::string(200000, '(') + "1"}) {
        try {
            b.F("C1", deep);
            ADD_FAILURE() << "accepted a formula of " << deep.size() << " characters";
        } catch (const ExcelError& e) {
            EXPECT_EQ(e.Operation(), "Formula");
            EXPECT_EQ(e.Number(), kExcelErrorNumber);
        }
        EXPECT_EQ(b.At("C1").Number(), 7);
    }
    // A long flat formula is no nesting: read, and evaluated without
    // exhausting the stack.
    std::string sum = "=A1";
    for (int k = 0; k < 4000; ++k) sum += "+1";
    b.F("D1", sum);
    EXPECT_EQ(b.At("D1").Number(), 4002);
}

namespace {

// Every binary operator, with what a chain of n ones gives: logicals rank
// above numbers, so a comparison chain settles after its first step.
struct ChainOp {
    const char* op;
    Value (*value)(size_t n);
};
const ChainOp kChainOps[] = {
    {"+", [](size_t n) { return Value(static_cast<double>(n)); }},
    {"-", [](size_t n) { return Value(2.0 - static_cast<double>(n)); }},
    {"*", [](size_t) { return Value(1.0); }},
    {"/", [](size_t) { return Value(1.0); }},
    {"^", [](size_t) { return Value(1.0); }},
    {"&", [](size_t n) { return Value(std::string(n, '1')); }},
    {"=", [](size_t n) { return Value::Bool(n == 2); }},
    {"<>", [](size_t n) { return Value::Bool(n != 2); }},
    {"<", [](size_t) { return Value::Bool(false); }},
    {">", [](size_t n) { return Value::Bool(n != 2); }},
    {"<=", [](size_t n) { return Value::Bool(n == 2); }},
    {">=", [](size_t) { return Value::Bool(true); }},
};

std::string ChainOfOnes(const char* op, size_t terms) {
    std::string f = "=1";
    f.reserve(terms * (std::string(op).size() + 1) + 1);
    for (size_t k = 1; k < terms; ++k) (f += op) += '1';
    return f;
}

class NoCells : public RefResolver {
public:
    bool ForEachValue(const SheetArea&, const std::function<void(const Value&)>&) override { return false; }
    bool CellValue(const std::string&, int, int, Value&) override { return false; }
};

}  // namespace

// A chain of one operator, however long: what a cell takes gives its value,
// a longer one is refused when it is set and the cell keeps what it held;
// the evaluator reads a chain of a million terms in the stack of one.
TEST(FormulaErrors, ChainsOfEveryOperatorGiveTheirValueOrARefusalWhateverTheirLength) {
    Book b;
    for (const ChainOp& c : kChainOps) {
        SCOPED_TRACE(c.op);
        const size_t fits = (kMaxFormulaCharacters - 1) / (std::string(c.op).size() + 1) + 1;
        for (size_t terms : {size_t{2}, size_t{3}, fits, size_t{20000}, size_t{1000000}}) {
            SCOPED_TRACE(terms);
            b.Set("A1", 7);
            const std::string f = ChainOfOnes(c.op, terms);
            try {
                b.F("A1", f);
                EXPECT_LE(f.size() - 1, kMaxFormulaCharacters) << "accepted past the limit";
                const Value got = b.At("A1");
                const Value want = c.value(terms);
                EXPECT_EQ(got.kind(), want.kind()) << got.ToString();
                EXPECT_EQ(got.ToString(), want.ToString());
            } catch (const ExcelError& e) {
                EXPECT_GT(f.size() - 1, kMaxFormulaCharacters) << e.what();
                EXPECT_EQ(e.Operation(), "Formula");
                EXPECT_NE(e.Reason().find("8192"), std::string::npos) << e.what();
                EXPECT_EQ(b.At("A1").Number(), 7) << "the cell changed";
            }
        }
        // Past what a cell takes, where one call per operator overflowed the stack.
        const size_t many = std::string(c.op) == "+" ? 1000000 : 20000;
        NoCells none;
        const Value got = Formula::Parse(ChainOfOnes(c.op, many))->Evaluate(none);
        EXPECT_EQ(got.ToString(), c.value(many).ToString());
    }
    // The limit exactly: 8192 characters after the "=" are taken, one more is not.
    std::string at = "=10";
    for (int k = 0; k < 4095; ++k) at += "+1";
    ASSERT_EQ(at.size() - 1, 8192u);
    b.F("B1", at);
    EXPECT_EQ(b.At("B1").Number(), 4105);
    EXPECT_THROW(b.F("B2", "=100" + at.substr(3)), ExcelError);
    // Percent signs in a row divide once each.
    b.F("B3", "=5" + std::string(3, '%'));
    EXPECT_DOUBLE_EQ(b.At("B3").Number(), 5e-6);
    NoCells none;
    EXPECT_DOUBLE_EQ(Formula::Parse("=2" + std::string(100000, '%'))->Evaluate(none).Number(), 0);
    // The first error of a chain is its result, whatever follows it.
    b.F("B4", "=1+1/0+SQRT(-1)");
    EXPECT_TRUE(IsError(b.At("B4"), CellError::Div0));
    b.F("B5", "=\"a\"&SQRT(-1)&1/0");
    EXPECT_TRUE(IsError(b.At("B5"), CellError::Num));
    b.F("B6", "=2^3^2");
    EXPECT_EQ(b.At("B6").Number(), 64) << "left to right, as spreadsheets read it";
    b.F("B7", "=1-2+3*4/2^2&\"x\"<\"2y\"");
    EXPECT_TRUE(b.At("B7").IsBool());
    EXPECT_EQ(b.At("B7").ToString(), "TRUE") << "\"2x\" < \"2y\", compared as texts";
}

TEST(FormulaErrors, SelfReferenceDoesNotHang) {
    Book b;
    b.F("A1", "=A1+1");
    b.F("A2", "=MAX(A1:A3)");
    EXPECT_TRUE(b.At("A2").IsNumber());
}

TEST(NumberDisplay, FormatsUsedForWidths) {
    EXPECT_EQ(DisplayText(Value(4.0), "#.0#"), "4.0");
    EXPECT_EQ(DisplayText(Value(3.456), "#.0#"), "3.46");
    EXPECT_EQ(DisplayText(Value(0.5), "#.0#"), ".5");
    EXPECT_EQ(DisplayText(Value(10.0), "0.00"), "10.00");
    EXPECT_EQ(DisplayText(Value(1.0 / 3), "General"), "0.333333333");
    EXPECT_EQ(DisplayText(Value("x"), "0.00"), "x");
    EXPECT_EQ(DisplayText(Value::Error(CellError::Div0), "0.00"), "#DIV/0!");
}
