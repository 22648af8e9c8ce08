// The value forms of control attributes.

#include "ui/control/AttributeValues.h"

#include <gtest/gtest.h>

using namespace Veneer;

TEST(AttributeValues, OnlyTheExactWordTrueIsTrue) {
    EXPECT_TRUE(IsTrueValue(L"true"));
    EXPECT_FALSE(IsTrueValue(L"True"));
    EXPECT_FALSE(IsTrueValue(L"TRUE"));
    EXPECT_FALSE(IsTrueValue(L"1"));
    EXPECT_FALSE(IsTrueValue(L""));
    EXPECT_FALSE(IsTrueValue(nullptr));
}

TEST(AttributeValues, IntegerListsTakeAnySingleSeparator) {
    RECT commas = ReadRect(L"1,2,3,4");
    RECT blanks = ReadRect(L"1 2 3 4");
    EXPECT_EQ(commas.left, 1);
    EXPECT_EQ(commas.bottom, 4);
    EXPECT_EQ(blanks.top, 2);
    EXPECT_EQ(blanks.right, 3);
    RECT negative = ReadRect(L"-20,10,20,30");
    EXPECT_EQ(negative.left, -20);
    EXPECT_EQ(negative.right, 20);
}

TEST(AttributeValues, ShortListsStopAtTheEndAndLeaveZeros) {
    long numbers[4] = {7, 7, 7, 7};
    EXPECT_EQ(ReadIntegers(L"5", numbers, 4), 1);
    EXPECT_EQ(numbers[0], 5);
    EXPECT_EQ(numbers[1], 0);
    EXPECT_EQ(numbers[3], 0);
    // A trailing separator must not step over the terminator.
    EXPECT_EQ(ReadIntegers(L"5,", numbers, 4), 1);
    EXPECT_EQ(ReadIntegers(L"", numbers, 4), 0);
}

TEST(AttributeValues, IntegersReadLikeTheRuntime) {
    EXPECT_EQ(ReadInteger(L"  42px"), 42);
    EXPECT_EQ(ReadInteger(L"-7"), -7);
    EXPECT_EQ(ReadInteger(L"abc"), 0);
}

TEST(AttributeValues, FractionsReadAsFloatingPoint) {
    double f[4];
    ReadDoubles(L"0.5,0,0.25,1", f, 4);
    EXPECT_DOUBLE_EQ(f[0], 0.5);
    EXPECT_DOUBLE_EQ(f[2], 0.25);
    EXPECT_DOUBLE_EQ(f[3], 1.0);
}

TEST(AttributeValues, ColoursAreUnsignedHexWithOptionalHash) {
    EXPECT_EQ(ReadColor(L"#FF1A57A9"), 0xFF1A57A9u);
    EXPECT_EQ(ReadColor(L"FF1A57A9"), 0xFF1A57A9u);
    EXPECT_EQ(ReadColor(L"#1A57A9"), 0x001A57A9u);  // six digits: alpha 0
    EXPECT_EQ(ReadColor(L"nonsense"), 0u);
    EXPECT_EQ(ReadColor(L"##FF000000"), 0u);  // only one "#" is skipped
}

TEST(AttributeValues, BackgroundColoursSkipLeadingControlCharacters) {
    EXPECT_EQ(ReadBackgroundColor(L" \t\r\n#FFFF0000"), 0xFFFF0000u);
    EXPECT_EQ(ReadBackgroundColor(L"\x01#FF00FF00"), 0xFF00FF00u);
}
