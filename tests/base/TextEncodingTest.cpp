// The conversions by code page: UTF-8, the ANSI code page, the user's ANSI code
// page and the OEM code page.
#include "base/TextEncoding.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(TextEncoding, Utf8RoundTripsEveryPlane)
{
    const std::wstring text = L"A\u00e9\u0627\u4e2d\U0001F600";
    const std::string utf8 = "A\xc3\xa9\xd8\xa7\xe4\xb8\xad\xf0\x9f\x98\x80";
    EXPECT_EQ(utf8, Text::WideToUtf8(text));
    EXPECT_EQ(text, Text::Utf8ToWide(utf8));
    EXPECT_EQ(L"", Text::Utf8ToWide(""));
    EXPECT_EQ("", Text::WideToUtf8(L""));
    std::wstring withNul(L"a\0b", 3);
    EXPECT_EQ(std::string("a\0b", 3), Text::WideToUtf8(withNul)) << "the length is the text's, not up to a NUL";
}

TEST(TextEncoding, AnsiAndOemFollowTheirCodePages)
{
    // What the system itself makes of the text in each code page.
    auto widened = [](UINT codePage, const char* bytes) {
        wchar_t wide[16] = {};
        int n = MultiByteToWideChar(codePage, 0, bytes, -1, wide, 16);
        return std::wstring(wide, n > 0 ? n - 1 : 0);
    };
    auto narrowed = [](UINT codePage, const wchar_t* text) {
        char bytes[16] = {};
        int n = WideCharToMultiByte(codePage, 0, text, -1, bytes, 16, nullptr, nullptr);
        return std::string(bytes, n > 0 ? n - 1 : 0);
    };
    EXPECT_EQ(widened(CP_ACP, "caf\xe9"), Text::AnsiToWide("caf\xe9"));
    EXPECT_NE(Text::Utf8ToWide("caf\xe9"), Text::AnsiToWide("caf\xe9")) << "ANSI is not UTF-8";
    EXPECT_EQ(widened(Text::UserAnsiCodePage(), "caf\xe9"), Text::UserAnsiToWide("caf\xe9"));
    EXPECT_EQ(narrowed(CP_ACP, L"caf\u00e9"), Text::WideToAnsi(L"caf\u00e9"));
    EXPECT_EQ(narrowed(Text::UserAnsiCodePage(), L"caf\u00e9"), Text::WideToUserAnsi(L"caf\u00e9"));
    EXPECT_EQ(narrowed(CP_OEMCP, L"caf\u00e9"), Text::WideToOem(L"caf\u00e9"));
    // A character a code page lacks becomes its replacement, never nothing.
    EXPECT_FALSE(Text::WideToAnsi(L"\u4e2d").empty());
    EXPECT_FALSE(Text::WideToOem(L"\u4e2d").empty());
}
