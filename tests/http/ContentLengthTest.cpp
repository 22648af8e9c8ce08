// The one reading of Content-Length that every back-end and the download's request
// layer share.
#include "http/ContentLength.h"

#include <gtest/gtest.h>

namespace {

ContentLength::Parsed ParseBoth(const std::string& text, long long& size)
{
    long long wideSize = -1;
    ContentLength::Parsed wide = ContentLength::Parse(std::wstring(text.begin(), text.end()), wideSize);
    ContentLength::Parsed narrow = ContentLength::Parse(text, size);
    EXPECT_EQ(wide, narrow) << text;
    if (narrow == ContentLength::Parsed::kValid) {
        EXPECT_EQ(wideSize, size) << text;
    }
    return narrow;
}

}  // namespace

TEST(ContentLength, TakesDecimalDigitsWithBlanksAround)
{
    const std::pair<const char*, long long> cases[] = {
        {"0", 0}, {"3", 3}, {"  1024\t", 1024}, {"007", 7}, {"9007199254740992", 9007199254740992LL}};
    for (const auto& c : cases) {
        long long size = -1;
        EXPECT_EQ(ContentLength::Parsed::kValid, ParseBoth(c.first, size)) << c.first;
        EXPECT_EQ(c.second, size) << c.first;
    }
}

TEST(ContentLength, RefusesWhatIsNoLengthAndLeavesTheSizeAlone)
{
    for (const char* text : {"", " ", "abc", "+3", "-1", "3.0", "1e3", "0x10", "3 4", "5, 5", "3abc"}) {
        long long size = 42;
        EXPECT_EQ(ContentLength::Parsed::kNotANumber, ParseBoth(text, size)) << text;
        EXPECT_EQ(42, size) << text;
    }
}

TEST(ContentLength, RefusesLengthsBeyondTwoToTheFiftyThird)
{
    for (const char* text : {"9007199254740993", "18446744073709551616", "99999999999999999999999999"}) {
        long long size = 42;
        EXPECT_EQ(ContentLength::Parsed::kTooLarge, ParseBoth(text, size)) << text;
        EXPECT_EQ(42, size) << text;
    }
}
