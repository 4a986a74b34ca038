// Numbers whose exponent is beyond any double, as they reach the workbook
// through a text import or a formula: text, or the spreadsheet's #NUM!,
// never an infinity or a different number ("1e4294967297" once read as 10).
#include <gtest/gtest.h>

#include "platform/workbook/formula.h"
#include "platform/workbook/textimport.h"

TEST(WorkbookNumbers, BeyondADoubleImportsAsTextAndAFormulaTakesItAsNum) {
    for (const char* text : {"1e400", "1e4294967297", "-0.5e2147483648"}) {
        const workbook::Value v = workbook::TypeGeneral(text, false);
        EXPECT_TRUE(v.IsText()) << text;
        const std::string a1 = workbook::Formula::Parse(std::string("=") + text)->A1Text();
        EXPECT_TRUE(a1 == "=#NUM!" || a1 == "=-#NUM!") << text << ": " << a1;
    }
    EXPECT_EQ(workbook::TypeGeneral("2.5e1", false).Number(), 25.0);
    EXPECT_EQ(workbook::TypeGeneral("1e-400", false).Number(), 0.0);
}
