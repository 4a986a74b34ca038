#include "platform/core/error.h"
#include "platform/core/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <limits>

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

// Exponents beyond any double, and beyond a machine integer, must not wrap
// into an ordinary number or pass as an infinity.
TEST(NumberReading, NumbersBeyondADoubleAreOutOfRangeNeverAnotherNumber) {
    auto overflow = [](auto read, const char* text) {
        try {
            read(text);
        } catch (const BenchError& e) {
            return e.Number() == err::Overflow;
        }
        return false;
    };
    const auto lenient = [](const char* t) { return ReadLenient(t); };
    const auto strict = [](const char* t) { return ReadStrict(t); };
    for (const char* text : {"1e400", "-1e400", "1e4294967297", "1e2147483648", "9e99999999999999999999",
                             "1.5E+309", "0.5e2147483647"}) {
        EXPECT_TRUE(overflow(lenient, text)) << text;
        EXPECT_TRUE(overflow(strict, text)) << text;
        double v = 12345;
        EXPECT_FALSE(TryReadStrict(text, v)) << text;
        EXPECT_EQ(v, 12345) << text;
    }
    EXPECT_TRUE(overflow(lenient, "  1e400,N")) << "the leading number of a field";
    // A value too small for a double is 0, its nearest neighbour.
    for (const char* text : {"0.5e-2147483648", "1e-4294967296", "1e-400", "-7e-99999999999"}) {
        EXPECT_EQ(ReadLenient(text), 0.0) << text;
        EXPECT_EQ(ReadStrict(text), 0.0) << text;
    }
    // Long digit strings and exponents that cancel still read exactly.
    EXPECT_DOUBLE_EQ(ReadStrict("0.000000000000000000000000000000000000000015e40"), 0.15);
    EXPECT_DOUBLE_EQ(ReadStrict("15000000000000000000000000000000000000000e-40"), 1.5);
    EXPECT_DOUBLE_EQ(ReadLenient("1.7976931348623157e308"), 1.7976931348623157e308);
    EXPECT_DOUBLE_EQ(ReadStrict("-2.5e-3"), -0.0025);
    EXPECT_DOUBLE_EQ(ReadLenient("000012.5e+0001"), 125.0);
    EXPECT_DOUBLE_EQ(RoundDecimals(1.7976931348623157e308, 2), 1.7976931348623157e308);
}

// Every reading must give the very double the C library gives the same
// text, whatever path it takes: short decimals of every length and place
// of the point, signs, padding zeros, and the lengths either side of the
// shortcut's 15 digits and 22 decimals.
TEST(NumberReading, EveryDecimalReadsAsTheCLibraryReadsIt) {
    uint64_t seed = 88172645463325252ull;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    std::vector<std::string> texts = {"0.1", "0.3", "2.675", "123456789012345", "1234567890123456",
                                      "9007199254740993", "0.0000000000000000000001", "0.00000000000000000000001",
                                      "-0.0", "000.000", "545.400000", "+12.5", "898855200", "4.35",
                                      "999999999999999", "0.999999999999999", "1.00000000000000000000000001"};
    for (int k = 0; k < 200000; ++k) {
        const int digits = 1 + static_cast<int>(next() % 18);
        std::string t;
        if (next() % 4 == 0) t += next() % 2 ? "-" : "+";
        const int point = static_cast<int>(next() % static_cast<uint64_t>(digits + 8)) - 4;
        if (point < 0) t += "0." + std::string(static_cast<size_t>(-point), '0');
        for (int d = 0; d < digits; ++d) {
            if (d == point && point > 0) t += '.';
            if (d == 0 && point == 0) t += "0.";
            t += static_cast<char>('0' + next() % 10);
        }
        texts.push_back(t);
    }
    for (const std::string& t : texts) {
        double v = -1;
        ASSERT_TRUE(TryReadStrict(t, v)) << t;
        const double c = std::strtod(t.c_str(), nullptr);
        uint64_t a = 0, b = 0;
        std::memcpy(&a, &v, sizeof a);
        std::memcpy(&b, &c, sizeof b);
        ASSERT_EQ(a, b) << t << " read as " << v << ", the C library reads " << c;
        EXPECT_EQ(ReadLenient(t + ",N"), v) << t;
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
    EXPECT_EQ(NumberToText(1.5e300), "1.5E+300");
    EXPECT_EQ(NumberToText(1.7976931348623e308), "1.7976931348623E+308");
}

TEST(NumberToText, TheLargestDoublesReadBack) {
    // 15 digits round these past the largest double.
    const double top = std::numeric_limits<double>::max();
    for (double x : {top, -top, std::nextafter(top, 0.0), std::nextafter(std::nextafter(top, 0.0), 0.0)}) {
        const std::string text = NumberToText(x);
        double back = 0;
        EXPECT_TRUE(TryReadStrict(text, back)) << text;
        EXPECT_NEAR(back / x, 1.0, 1e-15) << text;
        EXPECT_EQ(ReadLenient(text), back) << text;
    }
    EXPECT_EQ(NumberToText(top), "1.7976931348623157E+308");
    EXPECT_EQ(ReadStrict(NumberToText(-top)), -top);
    // Just below them 15 digits still do.
    EXPECT_EQ(NumberToText(1.79769313486231e308), "1.79769313486231E+308");
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
