// Numbers whose exponent is beyond any double, as they reach the workbook
// through a text import or a formula: out of range, never an infinity or
// a different number ("1e4294967297" once read as 10).
#include <gtest/gtest.h>

#include "platform/core/error.h"
#include "platform/workbook/formula.h"
#include "platform/workbook/textimport.h"

TEST(WorkbookNumbers, BeyondADoubleImportsAsTextAndNoFormulaTakesIt) {
    for (const char* text : {"1e400", "1e4294967297", "-0.5e2147483648"}) {
        const workbook::Value v = workbook::TypeGeneral(text, false);
        EXPECT_TRUE(v.IsText()) << text;
        EXPECT_THROW(workbook::Formula::Parse(std::string("=") + text), platform::BenchError) << text;
    }
    EXPECT_EQ(workbook::TypeGeneral("2.5e1", false).Number(), 25.0);
    EXPECT_EQ(workbook::TypeGeneral("1e-400", false).Number(), 0.0);
}
