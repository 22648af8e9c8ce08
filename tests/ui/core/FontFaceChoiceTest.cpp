// Choosing the first installed face of a language's list. Segoe UI and Tahoma are
// installed on Windows, and mapped to host faces in the test prefix.

#include "ui/core/FontFaceChoice.h"

#include <gtest/gtest.h>

#include <string>

using namespace Veneer;

namespace {

TEST(FontFaceChoice, AFaceIsInstalledOnlyUnderItsWholeName) {
    EXPECT_TRUE(IsFontFaceInstalled(L"Segoe UI"));
    EXPECT_TRUE(IsFontFaceInstalled(L"Tahoma"));
    EXPECT_FALSE(IsFontFaceInstalled(L"No Such Face"));
    EXPECT_FALSE(IsFontFaceInstalled(L"Segoe"));
    EXPECT_FALSE(IsFontFaceInstalled(L""));
    EXPECT_FALSE(IsFontFaceInstalled(nullptr));
    // Longer than GDI's face buffer: never a face, and never copied past it.
    std::wstring tooLong = L"Segoe UI" + std::wstring(40, L'x');
    EXPECT_FALSE(IsFontFaceInstalled(tooLong.c_str()));
}

TEST(FontFaceChoice, TheFirstInstalledFaceOfTheListWinsWithoutItsBlanks) {
    EXPECT_STREQ(FirstInstalledFace(L"  No Such Face ,Segoe UI , Tahoma"), L"Segoe UI");
    EXPECT_STREQ(FirstInstalledFace(L"Tahoma,Segoe UI"), L"Tahoma");
    EXPECT_STREQ(FirstInstalledFace(L"No Such Face,,\tTahoma\t"), L"Tahoma");
}

TEST(FontFaceChoice, AListWithoutAnInstalledFaceGivesNone) {
    EXPECT_TRUE(FirstInstalledFace(L"No Such Face, Another Missing One").IsEmpty());
    EXPECT_TRUE(FirstInstalledFace(L" , ,").IsEmpty());
    EXPECT_TRUE(FirstInstalledFace(L"").IsEmpty());
    EXPECT_TRUE(FirstInstalledFace(nullptr).IsEmpty());
}

}  // namespace
