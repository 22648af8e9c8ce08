// Skin lengths into device pixels: the rounding, the attribute lists read back by
// the attribute readers, which attributes count as lengths, and 96 DPI untouched.

#include "ui/core/DpiScale.h"

#include <gtest/gtest.h>

#include <climits>

#include "ui/core/AttributeValue.h"

using namespace Veneer;

namespace {

TEST(DpiScaleTest, LengthsRoundToTheNearestPixelWithHalvesAwayFromZero) {
    CDpiScale scale144(144);
    EXPECT_EQ(scale144.Length(13), 20);  // 19.5
    EXPECT_EQ(scale144.Length(1), 2);    // 1.5: a one-pixel border stays visible and even
    EXPECT_EQ(scale144.Length(7), 11);   // 10.5
    EXPECT_EQ(scale144.Length(-20), -30);
    EXPECT_EQ(scale144.Length(-7), -11);
    EXPECT_EQ(scale144.Length(0), 0);
    EXPECT_EQ(CDpiScale(192).Length(75), 150);
    EXPECT_EQ(CDpiScale(120).Length(75), 94);  // 93.75
    EXPECT_EQ(CDpiScale(192).Length(2000000000), INT_MAX);
    // A DPI the system cannot have is taken as 96.
    EXPECT_EQ(CDpiScale(0).Dpi(), 96);
    EXPECT_EQ(CDpiScale(-5).Length(40), 40);
}

TEST(DpiScaleTest, AListReadsBackAsItsNumbersScaled) {
    CDpiScale scale(144);
    struct Case {
        const wchar_t* value;
        int count;
    };
    // Separators, blanks, signs, short lists, fractions and junk read the same way
    // before and after: only the numbers change.
    for (const Case& c : {Case{L"4,4,4,4", 4}, Case{L"650,360", 2}, Case{L"-20,10,20,30", 4}, Case{L"5", 4},
                          Case{L"1 1 1 1", 4}, Case{L" 8, 3 ,8,3", 4}, Case{L"10.5", 2}, Case{L"abc", 2},
                          Case{L"5-3", 2}, Case{L"", 4}, Case{L"0,0,0,290", 4}}) {
        long original[4], scaled[4];
        int read = ReadIntegers(c.value, original, c.count);
        std::wstring converted = scale.Lengths(c.value);
        EXPECT_EQ(ReadIntegers(converted.c_str(), scaled, c.count), read) << c.value;
        for (int i = 0; i < c.count; ++i) {
            EXPECT_EQ(scaled[i], scale.Length(original[i])) << "\"" << c.value << "\" number " << i;
        }
    }
    EXPECT_EQ(scale.Lengths(L"0,8,14,22"), L"0,12,21,33");
}

TEST(DpiScaleTest, OnlyLengthAttributesChange) {
    CDpiScale scale(192);
    EXPECT_EQ(scale.AttributeValue(L"padding", L"0,13,0,0"), L"0,26,0,0");
    EXPECT_EQ(scale.AttributeValue(L"width", L"220"), L"440");
    EXPECT_EQ(scale.AttributeValue(L"textpadding", L"20,0,0,0"), L"40,0,0,0");
    // Not lengths: a text with digits, colours, a font index, fractions, a value.
    EXPECT_EQ(scale.AttributeValue(L"text", L"45%"), L"45%");
    EXPECT_EQ(scale.AttributeValue(L"bkcolor", L"#FF1D4E89"), L"#FF1D4E89");
    EXPECT_EQ(scale.AttributeValue(L"font", L"1"), L"1");
    EXPECT_EQ(scale.AttributeValue(L"float", L"0.5,0,0.5,0"), L"0.5,0,0.5,0");
    EXPECT_EQ(scale.AttributeValue(L"value", L"45"), L"45");
    // Control attribute names are matched as written, window attributes in any case.
    EXPECT_FALSE(CDpiScale::IsLengthAttribute(L"Width"));
    EXPECT_TRUE(CDpiScale::IsWindowLengthAttribute(L"Caption"));
    EXPECT_FALSE(CDpiScale::IsWindowLengthAttribute(L"opacity"));
}

TEST(DpiScaleTest, NinetySixDpiChangesNothing) {
    CDpiScale scale;
    EXPECT_TRUE(scale.IsSkinScale());
    EXPECT_EQ(scale.Length(13), 13);
    EXPECT_EQ(scale.Lengths(L" 8, 3 ,8,3"), L" 8, 3 ,8,3");
    EXPECT_EQ(scale.AttributeValue(L"pos", L"-20,10,20,30"), L"-20,10,20,30");
}

}  // namespace
