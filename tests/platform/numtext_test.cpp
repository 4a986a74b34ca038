#include "platform/core/error.h"
#include "platform/core/numtext.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(NumberReading, LenientTakesTheLeadingNumberAndNeverFails) {
    EXPECT_DOUBLE_EQ(ReadLenient("  4807.038,N"), 4807.038);
    EXPECT_DOUBLE_EQ(ReadLenient("-12.5abc"), -12.5);
    EXPECT_DOUBLE_EQ(ReadLenient(""), 0.0);
    EXPECT_DOUBLE_EQ(ReadLenient("abc"), 0.0);
    EXPECT_DOUBLE_EQ(ReadLenient(".5"), 0.5);
    EXPECT_DOUBLE_EQ(ReadLenient("1e3x"), 1000.0);
    EXPECT_DOUBLE_EQ(ReadLenient("1e"), 1.0);  // an exponent needs digits
    EXPECT_DOUBLE_EQ(ReadLenient("08"), 8.0);
}

TEST(NumberReading, StrictWantsTheWholeText) {
    EXPECT_DOUBLE_EQ(ReadStrict(" 545.4 "), 545.4);
    EXPECT_THROW(ReadStrict(""), BenchError);
    EXPECT_THROW(ReadStrict("12,5"), BenchError);
    EXPECT_THROW(ReadStrict("M"), BenchError);
    try {
        ReadStrict("x");
    } catch (const BenchError& e) {
        EXPECT_EQ(e.Number(), err::TypeMismatch);
    }
}

TEST(Rounding, HalvesGoToTheEvenNeighbour) {
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(3.5), 4.0);
    EXPECT_EQ(RoundHalfEven(-2.5), -2.0);
    EXPECT_EQ(RoundToInt16(32767.4), 32767);
    EXPECT_THROW(RoundToInt16(32767.5), BenchError);  // rounds to 32768
    EXPECT_THROW(RoundToInt32(3e9), BenchError);
    EXPECT_DOUBLE_EQ(RoundDecimals(2.675, 2), 2.68);
    EXPECT_DOUBLE_EQ(RoundDecimals(2.665, 2), 2.66);
}

TEST(NumberToText, FifteenSignificantDigitsNoTrailingZeros) {
    EXPECT_EQ(NumberToText(30.123 + 2.5), "32.623");
    EXPECT_EQ(NumberToText(300), "300");
    EXPECT_EQ(NumberToText(-0.5), "-0.5");
    EXPECT_EQ(NumberToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberToText(-130), "-130");
    EXPECT_EQ(NumberToText(0.001), "0.001");
    EXPECT_EQ(NumberToText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberToText(0), "0");
}

TEST(OneBasedText, MidInStrLeftRight) {
    EXPECT_EQ(Mid("$GPGGA,1", 2, 5), "GPGGA");
    EXPECT_EQ(Mid("abc", 3), "c");
    EXPECT_EQ(Mid("abc", 4), "");
    EXPECT_EQ(Left("abc", 10), "abc");
    EXPECT_EQ(Right("abc", 2), "bc");
    EXPECT_EQ(InStr("a,b,c", ","), 2);
    EXPECT_EQ(InStr(3, "a,b,c", ","), 4);
    EXPECT_EQ(InStr("abc", "x"), 0);
    EXPECT_EQ(InStrRev("a\\b\\c", "\\"), 4);
}
