// The value forms of attributes: controls, windows, resource elements, image strings.

#include "ui/core/AttributeValue.h"

#include <gtest/gtest.h>

#include <climits>

using namespace Veneer;

TEST(AttributeValues, OnlyTheExactWordTrueIsTrue) {
    EXPECT_TRUE(IsTrueValue(L"true"));
    EXPECT_FALSE(IsTrueValue(L"True"));
    EXPECT_FALSE(IsTrueValue(L"TRUE"));
    EXPECT_FALSE(IsTrueValue(L"1"));
    EXPECT_FALSE(IsTrueValue(L""));
    EXPECT_FALSE(IsTrueValue(nullptr));
}

TEST(AttributeValues, ResourceElementsTakeTrueInAnyCaseAndNothingElse) {
    for (const wchar_t* yes : {L"true", L"True", L"TRUE"}) EXPECT_TRUE(IsTrueValueAnyCase(yes)) << yes;
    for (const wchar_t* no : {L"1", L"true ", L""}) EXPECT_FALSE(IsTrueValueAnyCase(no)) << no;
    EXPECT_FALSE(IsTrueValueAnyCase(nullptr));
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

TEST(AttributeValues, NumbersOutOfRangeAndMissingValuesAreHeld) {
    EXPECT_EQ(ReadInteger(L"99999999999"), INT_MAX);
    EXPECT_EQ(ReadInteger(L"-99999999999"), INT_MIN);
    EXPECT_EQ(ReadInteger(nullptr), 0);
    EXPECT_DOUBLE_EQ(ReadDouble(nullptr), 0.0);
    EXPECT_EQ(ReadColor(nullptr), 0u);
    EXPECT_EQ(ReadBackgroundColor(nullptr), 0u);
    RECT none = ReadRect(nullptr);
    EXPECT_EQ(none.left, 0);
    EXPECT_EQ(none.bottom, 0);
    SIZE pair = ReadSize(L"650,360");
    EXPECT_EQ(pair.cx, 650);
    EXPECT_EQ(pair.cy, 360);
    // A number that does not parse reads as 0 and its character is the separator.
    RECT holes = ReadRect(L"x,2,3,4");
    EXPECT_EQ(holes.left, 0);
    EXPECT_EQ(holes.top, 0);
    EXPECT_EQ(holes.right, 2);
    EXPECT_EQ(holes.bottom, 3);
}

TEST(AttributeValues, AlphasAreHeldToOneByte) {
    EXPECT_EQ(ReadAlpha(L"128"), 128);
    EXPECT_EQ(ReadAlpha(L"300"), 255);
    EXPECT_EQ(ReadAlpha(L"-5"), 0);
    EXPECT_EQ(ReadAlpha(L"junk"), 0);
}

TEST(AttributeValues, FractionsReadAsFloatingPoint) {
    double f[4];
    ReadDoubles(L"0.5,0,0.25,1", f, 4);
    EXPECT_DOUBLE_EQ(f[0], 0.5);
    EXPECT_DOUBLE_EQ(f[2], 0.25);
    EXPECT_DOUBLE_EQ(f[3], 1.0);
    EXPECT_DOUBLE_EQ(ReadDouble(L" 2.5x"), 2.5);
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
