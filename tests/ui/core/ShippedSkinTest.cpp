// The installer's skin as shipped: the archive in resource ZIPRES 104 builds in both
// directions without skipping an element, every control the installer uses is there
// with its kind and its place, and the preview program writes screenshots of the
// home page (folded and unfolded) and of the banner page into the build folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Screenshots.h"
#include "SkinWindowHost.h"
#include "TestSupport.h"
#include "ui/control/Container.h"
#include "ui/control/Control.h"
#include "ui/control/Option.h"
#include "ui/control/TabLayout.h"
#include "ui/core/WindowManager.h"
#include "ui/core/XmlMarkup.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

struct NamedControl {
    const wchar_t* name;
    const wchar_t* kind;  // a word the control answers to CastTo
};

// The controls the installer's window uses by name.
const NamedControl kInstallerControls[] = {
    {L"switch", L"TabLayout"},          {L"minbtn", L"Button"},          {L"closebtn", L"Button"},
    {L"btn_install", L"Button"},        {L"btn_start", L"Button"},       {L"control_tip", L"Control"},
    {L"lineLayout", L"Container"},      {L"customLayout", L"Container"}, {L"chk_agree", L"CheckBox"},
    {L"btn_lisence", L"Button"},        {L"chk_fold", L"CheckBox"},      {L"bottomLayout", L"Container"},
    {L"label_path", L"Label"},          {L"edit_path", L"Edit"},         {L"btn_browse", L"Button"},
    {L"label_tip", L"Label"},           {L"banner", L"Control"},         {L"progress_download", L"Progress"},
    {L"label_install", L"Text"},        {L"label_progress", L"Text"},    {L"btn_hide", L"Button"},
    {L"examine", L"Option"},            {L"trojan", L"Option"},
};

bool IsResourceElement(const wchar_t* name) {
    return _wcsicmp(name, L"Image") == 0 || _wcsicmp(name, L"Font") == 0 || _wcsicmp(name, L"Default") == 0 ||
           _wcsicmp(name, L"MultiLanguage") == 0;
}

int CountElementsOf(const wchar_t* file);

// Control elements under a node, with included files counted in.
int CountElementsUnder(CXmlMarkupNode node) {
    int count = 0;
    for (CXmlMarkupNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
        if (IsResourceElement(child.Name())) continue;
        if (_wcsicmp(child.Name(), L"Include") == 0) {
            wchar_t source[500] = {};
            child.CopyAttribute(L"source", source, 499);
            count += CountElementsOf(source);
            continue;
        }
        count += 1 + CountElementsUnder(child);
    }
    return count;
}

int CountElementsOf(const wchar_t* file) {
    CXmlMarkup document;
    if (!document.ParseFile(file)) {
        ADD_FAILURE() << "the skin archive has no readable " << ToUtf8(file);
        return 0;
    }
    return CountElementsUnder(document.Root());
}

int CountControls(CControlUI* control) {
    int count = 1;
    if (control->GetCover() != nullptr) count += CountControls(control->GetCover());
    if (auto* container = static_cast<IContainerUI*>(control->CastTo(L"IContainer"))) {
        for (int i = 0; i < container->GetCount(); ++i) count += CountControls(container->GetItemAt(i));
    }
    return count;
}

bool IsInside(CControlUI* control, CControlUI* ancestor) {
    for (CControlUI* parent = control->GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (parent == ancestor) return true;
    }
    return false;
}

LRESULT HitTestAtCentre(HWND window, CControlUI* control) {
    const RECT& rect = control->GetRect();
    POINT point = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    ClientToScreen(window, &point);
    return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(point.x, point.y));
}

class ShippedSkinTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }
    void SetUp() override {
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin"));
        handle = window.OpenWindow();
        ASSERT_NE(handle, nullptr);
        window.ShowAndPaint();
    }
    void TearDown() override { DestroyWindow(handle); }
    bool RightToLeft() const { return wcscmp(GetParam(), L"skin_rtl.xml") == 0; }
    CControlUI* Named(const wchar_t* name) { return window.Manager().ControlNamed(name); }

    SkinWindow window{GetParam(), kSkinZipResource, MAKEINTRESOURCEW(104)};
    HWND handle = nullptr;
};

TEST_P(ShippedSkinTest, BuildsFromTheArchiveResourceWithoutSkippingAnElement) {
    ASSERT_NE(window.Manager().Root(), nullptr);
    EXPECT_STREQ(CWindowManagerUI::ResourceArchiveName().c_str(), CWindowManagerUI::kMemoryArchiveName);
    EXPECT_TRUE(window.unknownElements.empty());
    EXPECT_EQ(CountControls(window.Manager().Root()), CountElementsOf(GetParam()));
}

TEST_P(ShippedSkinTest, EveryControlTheInstallerUsesIsThereWithItsKind) {
    for (const NamedControl& expected : kInstallerControls) {
        CControlUI* control = Named(expected.name);
        ASSERT_NE(control, nullptr) << ToUtf8(expected.name);
        EXPECT_NE(control->CastTo(expected.kind), nullptr) << ToUtf8(expected.name) << " is no " << ToUtf8(expected.kind);
    }
}

TEST_P(ShippedSkinTest, WindowAttributesAndFonts) {
    RECT rect;
    GetWindowRect(handle, &rect);
    EXPECT_EQ(rect.right - rect.left, 650);
    EXPECT_EQ(rect.bottom - rect.top, 360);
    EXPECT_EQ(window.Manager().CaptionArea().bottom, 290);
    EXPECT_GT(window.Manager().ResizeBorders().left, 0);
    EXPECT_NE(window.Manager().FontById(0), nullptr);
    EXPECT_NE(window.Manager().FontById(1), nullptr);
    EXPECT_EQ(window.Manager().StandardFontRecord()->face, RightToLeft() ? L"Tahoma" : L"Segoe UI");
}

TEST_P(ShippedSkinTest, StartsOnTheHomePageWithTheLicenceTickedAndThePathAreaClosed) {
    auto* pages = static_cast<CTabLayoutUI*>(Named(L"switch"));
    ASSERT_EQ(pages->GetCount(), 2);
    EXPECT_EQ(pages->GetSelectedIndex(), 0);
    EXPECT_TRUE(IsInside(Named(L"btn_install"), pages->GetItemAt(0)));
    EXPECT_TRUE(IsInside(Named(L"chk_agree"), pages->GetItemAt(0)));
    EXPECT_TRUE(IsInside(Named(L"progress_download"), pages->GetItemAt(1)));
    EXPECT_TRUE(IsInside(Named(L"btn_hide"), pages->GetItemAt(1)));
    EXPECT_TRUE(static_cast<COptionUI*>(Named(L"chk_agree"))->IsSelected());
    EXPECT_FALSE(static_cast<COptionUI*>(Named(L"chk_fold"))->IsSelected());
    EXPECT_TRUE(static_cast<COptionUI*>(Named(L"examine"))->IsSelected());
    EXPECT_FALSE(Named(L"btn_start")->IsVisible());
    EXPECT_FALSE(Named(L"control_tip")->IsVisible());
    EXPECT_FALSE(Named(L"label_tip")->IsVisible());
    EXPECT_FALSE(Named(L"bottomLayout")->IsVisible());
    EXPECT_FALSE(Named(L"examine")->IsVisible());
    EXPECT_TRUE(Named(L"btn_install")->IsVisible());
}

TEST_P(ShippedSkinTest, PathAreaIsBelowTheSwitchAndSeventyFivePixelsHigh) {
    CControlUI* area = Named(L"bottomLayout");
    CControlUI* pages = Named(L"switch");
    ASSERT_EQ(area->GetParent(), pages->GetParent());
    auto* root = static_cast<IContainerUI*>(area->GetParent()->CastTo(L"IContainer"));
    EXPECT_GT(root->GetItemIndex(area), root->GetItemIndex(pages));
    EXPECT_EQ(area->GetFixedHeight(), 75);
    EXPECT_TRUE(IsInside(Named(L"edit_path"), area));
    EXPECT_TRUE(IsInside(Named(L"label_tip"), area));
    EXPECT_EQ(Named(L"progress_download")->GetFixedHeight(), 6);
}

TEST_P(ShippedSkinTest, CheckBoxesSitBelowTheCaptionSoTheyTakeClicks) {
    EXPECT_GE(Named(L"chk_agree")->GetRect().top, 290);
    EXPECT_GE(Named(L"chk_fold")->GetRect().top, 290);
    EXPECT_EQ(HitTestAtCentre(handle, Named(L"chk_agree")), HTCLIENT);
    EXPECT_EQ(HitTestAtCentre(handle, Named(L"chk_fold")), HTCLIENT);
    EXPECT_EQ(HitTestAtCentre(handle, Named(L"btn_install")), HTCLIENT);
    EXPECT_EQ(HitTestAtCentre(handle, Named(L"closebtn")), HTCLIENT);
    EXPECT_EQ(HitTestAtCentre(handle, Named(L"btn_lisence")), HTCLIENT);
    // The brand area drags the window.
    POINT header = {325, 100};
    ClientToScreen(handle, &header);
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(header.x, header.y)), HTCAPTION);
}

TEST_P(ShippedSkinTest, RightToLeftMirrorsTheRows) {
    int close = Named(L"closebtn")->GetRect().left;
    int minimise = Named(L"minbtn")->GetRect().left;
    int agree = Named(L"chk_agree")->GetRect().left;
    int licence = Named(L"btn_lisence")->GetRect().left;
    int fold = Named(L"chk_fold")->GetRect().left;
    if (RightToLeft()) {
        EXPECT_LT(close, minimise);
        EXPECT_LT(fold, licence);
        EXPECT_LT(licence, agree);
        EXPECT_LT(close, 100);
    } else {
        EXPECT_GT(close, minimise);
        EXPECT_LT(agree, licence);
        EXPECT_LT(licence, fold);
        EXPECT_GT(close, 550);
    }
}

TEST_P(ShippedSkinTest, SystemButtonsOfTheSkinWork) {
    window.keepOpenOnClose = true;
    window.Manager().SendNotification(Named(L"closebtn"), L"click");
    window.Pump();
    ASSERT_EQ(window.closeCodes.size(), 1u);
    EXPECT_EQ(window.closeCodes[0], 1u);
    window.Manager().SendNotification(Named(L"minbtn"), L"click");
    EXPECT_TRUE(IsIconic(handle));
}

INSTANTIATE_TEST_SUITE_P(BothDirections, ShippedSkinTest, ::testing::Values(L"skin.xml", L"skin_rtl.xml"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.index == 0 ? "LeftToRight" : "RightToLeft");
                         });

// ---- screenshots through the preview program ----------------------------------------------

class SkinScreenshotTest : public ::testing::Test {
protected:
    // Runs the preview on the packed archive; the picture lands in build/skin-screenshots.
    static Picture Shoot(const std::wstring& name, const std::wstring& arguments,
                         const std::wstring& skin = BuildPath(L"product\\skin.zip")) {
        std::wstring folder = BuildPath(L"skin-screenshots");
        CreateDirectoryW(folder.c_str(), nullptr);
        std::wstring path = folder + L"\\" + name + L".png";
        DeleteFileW(path.c_str());
        int code = RunAndWait(BuildPath(L"tools\\skinpreview\\skinpreview.exe"),
                              L"\"" + skin + L"\" " + arguments + L" --screenshot \"" +
                                  path + L"\"",
                              60000);
        EXPECT_EQ(code, 0) << ToUtf8(name);
        Picture picture;
        EXPECT_TRUE(LoadPicture(path, picture)) << ToUtf8(path);
        return picture;
    }
    static std::wstring Banner(const wchar_t* language) {
        return L" --attr \"banner:bkimage=" + TestDataPath(L"..\\..\\product\\") + language + L"\\pr_1.png\"";
    }
};

const unsigned kBrand = 0x337BDD;
const unsigned kHeader = 0x1D4E89;
const unsigned kPathArea = 0xF5F7FA;

TEST_F(SkinScreenshotTest, HomePageLeftToRight) {
    Picture home = Shoot(L"home-ltr", L"");
    ASSERT_EQ(home.width, 650);
    ASSERT_EQ(home.height, 360);
    EXPECT_EQ(home.At(0, 0)[3], 0);  // outside the rounded corner
    EXPECT_TRUE(Near(home.At(40, 60), kHeader, 30));
    EXPECT_TRUE(Near(home.At(260, 238), kBrand));  // the Install button
    EXPECT_TRUE(Near(home.At(325, 280), 0xFFFFFF, 4));
}

TEST_F(SkinScreenshotTest, SkinFolderLooksLikeThePackedArchive) {
    Picture packed = Shoot(L"home-ltr", L"");
    Picture folder = Shoot(L"home-ltr-folder", L"", TestDataPath(L"..\\..\\product\\skin"));
    ASSERT_EQ(folder.width, packed.width);
    ASSERT_EQ(folder.height, packed.height);
    EXPECT_TRUE(folder.rgba == packed.rgba);
}

TEST_F(SkinScreenshotTest, HomePageUnfoldedLeftToRight) {
    Picture unfolded = Shoot(L"home-unfolded-ltr", L"--attr chk_fold:selected=true");
    ASSERT_EQ(unfolded.width, 650);
    ASSERT_EQ(unfolded.height, 435);
    EXPECT_TRUE(Near(unfolded.At(100, 422), kPathArea, 4));
    EXPECT_TRUE(Near(unfolded.At(300, 377), 0xFFFFFF, 4));  // inside the path field
}

TEST_F(SkinScreenshotTest, BannerPageLeftToRight) {
    Picture banner =
        Shoot(L"banner-ltr", L"--attr switch:selectedid=1 --attr progress_download:value=45 "
                             L"--attr label_progress:text=45%" + Banner(L"English"));
    ASSERT_EQ(banner.height, 360);
    EXPECT_TRUE(Near(banner.At(20, 240), kHeader, 30));  // the picture's background
    EXPECT_TRUE(Near(banner.At(60, 326), kBrand, 40));   // the filled part of the bar
    EXPECT_TRUE(Near(banner.At(450, 326), 0xE4E9F0, 8)); // the track
}

TEST_F(SkinScreenshotTest, HomePageRightToLeft) {
    Picture home = Shoot(L"home-rtl", L"--file skin_rtl.xml");
    ASSERT_EQ(home.width, 650);
    ASSERT_EQ(home.height, 360);
    EXPECT_TRUE(Near(home.At(260, 238), kBrand));
}

TEST_F(SkinScreenshotTest, HomePageUnfoldedRightToLeft) {
    Picture unfolded = Shoot(L"home-unfolded-rtl",
                             L"--file skin_rtl.xml --attr chk_fold:selected=true "
                             L"--attr \"label_tip:text=The installation path is invalid.\" --attr label_tip:visible=true");
    ASSERT_EQ(unfolded.height, 435);
    EXPECT_TRUE(Near(unfolded.At(300, 377), 0xFFFFFF, 4));
}

TEST_F(SkinScreenshotTest, BannerPageRightToLeft) {
    // The installer shows 45 percent as 55 in this skin: the bar fills from the right.
    Picture banner = Shoot(L"banner-rtl", L"--file skin_rtl.xml --attr switch:selectedid=1 "
                                          L"--attr progress_download:value=55 --attr label_progress:text=45%" +
                                              Banner(L"Arabic"));
    ASSERT_EQ(banner.height, 360);
    EXPECT_TRUE(Near(banner.At(200, 326), 0xE4E9F0, 8));
    EXPECT_TRUE(Near(banner.At(590, 326), kBrand, 8));
}

}  // namespace
