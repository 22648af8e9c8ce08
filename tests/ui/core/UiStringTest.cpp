// CUiString: the inline buffer and its move to the heap, self-referencing
// assignment and append, searching, replacing and formatting.

#include "ui/core/UiString.h"

#include <gtest/gtest.h>

#include <string>

using Veneer::CUiString;

namespace {

TEST(UiString, HoldsTextAcrossTheInlineLimit) {
    std::wstring sixtyThree(63, L'a');
    CUiString text(sixtyThree.c_str());
    EXPECT_EQ(text.GetLength(), 63);
    text += L'b';  // the 64th character leaves the inline buffer
    EXPECT_EQ(text.GetLength(), 64);
    EXPECT_EQ(std::wstring(text.GetData()), sixtyThree + L"b");
    CUiString copy(text);
    text.SetAt(0, L'z');
    EXPECT_EQ(copy[0], L'a');  // copies own their characters
    CUiString moved(static_cast<CUiString&&>(copy));
    EXPECT_EQ(moved.GetLength(), 64);
    EXPECT_TRUE(copy.IsEmpty());
    EXPECT_STREQ(copy.GetData(), L"");
}

TEST(UiString, AssignsAndAppendsPartsOfItself) {
    CUiString text(L"abcdef");
    text.Assign(text.GetData() + 2, 3);
    EXPECT_STREQ(text, L"cde");
    std::wstring longText(100, L'x');
    CUiString grown(longText.c_str());
    grown.Append(grown.GetData(), grown.GetLength());  // grows while reading itself
    EXPECT_EQ(grown.GetLength(), 200);
    grown = grown;
    EXPECT_EQ(grown.GetLength(), 200);
    CUiString null(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(null.IsEmpty());
}

TEST(UiString, ComparesSearchesAndCuts) {
    CUiString text(L"Hello, World");
    EXPECT_TRUE(text == L"Hello, World");
    EXPECT_EQ(text.CompareNoCase(L"hello, world"), 0);
    EXPECT_NE(text.Compare(nullptr), 0);
    EXPECT_EQ(text.Find(L'o'), 4);
    EXPECT_EQ(text.Find(L'o', 5), 8);
    EXPECT_EQ(text.Find(L"World"), 7);
    EXPECT_EQ(text.Find(L'q'), -1);
    EXPECT_EQ(text.Find(L'o', 99), -1);
    EXPECT_EQ(text.ReverseFind(L'o'), 8);
    EXPECT_STREQ(text.Left(5), L"Hello");
    EXPECT_STREQ(text.Mid(7), L"World");
    EXPECT_STREQ(text.Mid(7, 99), L"World");
    EXPECT_STREQ(text.Right(5), L"World");
    EXPECT_STREQ(text.Left(-3), L"");
    CUiString upper(text);
    upper.MakeUpper();
    EXPECT_STREQ(upper, L"HELLO, WORLD");
}

TEST(UiString, ReplacesEveryOccurrence) {
    CUiString tip(L"a<n>b<n>");
    EXPECT_EQ(tip.Replace(L"<n>", L"\r\n"), 2);
    EXPECT_STREQ(tip, L"a\r\nb\r\n");
    EXPECT_EQ(tip.Replace(L"", L"x"), 0);
    CUiString same(L"aaa");
    EXPECT_EQ(same.Replace(L"a", L"aa"), 3);  // replaced text is not searched again
    EXPECT_STREQ(same, L"aaaaaa");
}

TEST(UiString, FormatsWithTheWindowsConventions) {
    EXPECT_STREQ(CUiString::Format(L"%s=%d", L"id", 42), L"id=42");
    std::wstring longText(300, L'y');
    EXPECT_EQ(CUiString::Format(L"%s!", longText.c_str()).GetLength(), 301);
    EXPECT_STREQ(CUiString::Format(L"%S", "narrow"), L"narrow");
}

}  // namespace
