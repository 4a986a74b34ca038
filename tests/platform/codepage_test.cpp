#include "platform/core/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Codepage, EveryByteSurvivesTheTripThroughUtf8) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(all);
    bool lossless = false;
    EXPECT_EQ(Utf8ToCp1252(utf8, &lossless), all);
    EXPECT_TRUE(lossless);
}

TEST(Codepage, TheUpperHalfIsWindows1252NotLatin1) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");       // euro sign
    EXPECT_EQ(Cp1252ToUtf8("\x96"), "\xE2\x80\x93");       // en dash
    EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");           // Y with diaeresis
    EXPECT_EQ(Cp1252ToUtf8("M\xFCller \xB0"), "M\xC3\xBCller \xC2\xB0");
    EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");           // undefined byte kept as a control
    EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9C" "a" "\xE2\x80\x9D"), "\x93" "a" "\x94");
    EXPECT_EQ(Utf8ToCp1252("\xC3\xA9t\xC3\xA9"), "\xE9t\xE9");
}

TEST(Codepage, WhatThePageCannotHoldBecomesAQuestionMarkAndIsReported) {
    bool lossless = true;
    // Greek omega, a CJK character and an emoji have no byte.
    EXPECT_EQ(Utf8ToCp1252("a\xCE\xA9" "b\xE4\xB8\xAD" "c\xF0\x9F\x98\x80", &lossless), "a?b?c?");
    EXPECT_FALSE(lossless);

    // Broken UTF-8: a lone continuation byte, a truncated sequence, an
    // overlong form of "/" and an encoded surrogate.
    lossless = true;
    EXPECT_EQ(Utf8ToCp1252("x\x80y", &lossless), "x?y");
    EXPECT_FALSE(lossless);
    EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???");

    lossless = false;
    EXPECT_EQ(Utf8ToCp1252("$PQNVCOLD", &lossless), "$PQNVCOLD");
    EXPECT_TRUE(lossless);
}
