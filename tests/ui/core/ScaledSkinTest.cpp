// The shipped skin on displays of 120 and 144 DPI: every control sits at its 96-DPI
// place times the scale, fonts are made at the scaled size, images come from their
// denser variants, and a DPI change of an open window lays it out exactly as a window
// opened at the new DPI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

#include "SkinWindowHost.h"
#include "TestSupport.h"
#include "ui/control/Control.h"
#include "ui/control/Option.h"
#include "ui/control/TabLayout.h"
#include "ui/core/DpiScale.h"
#include "ui/core/ResourceLoader.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

// Opens the skin at a chosen DPI, as a window on such a display would.
class ScaledSkinWindow : public SkinWindow {
public:
    ScaledSkinWindow(const wchar_t* file, int dpi) : SkinWindow(file, kSkinZipResource, MAKEINTRESOURCEW(104)), dpi_(dpi) {}

    LRESULT HandleCreate(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override {
        manager_.AttachWindow(window_);
        manager_.SetDpi(dpi_);
        return SkinWindow::HandleCreate(message, wParam, lParam, handled);
    }

private:
    int dpi_;
};

CControlUI* CollectNamed(CControlUI* control, void* data) {
    if (!control->GetName().IsEmpty()) {
        (*static_cast<std::map<std::wstring, CControlUI*>*>(data))[control->GetName().GetData()] = control;
    }
    return nullptr;
}

std::map<std::wstring, CControlUI*> NamedControls(CWindowManagerUI& manager) {
    std::map<std::wstring, CControlUI*> named;
    manager.Root()->FindInTree(CollectNamed, &named, kFindMeFirst);
    return named;
}

std::string Describe(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom);
}

struct Opened {
    std::unique_ptr<ScaledSkinWindow> window;
    HWND handle = nullptr;
};

class ScaledSkinTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }
    void SetUp() override {
        CWindowManagerUI::SetResourceArchive(L"", false);
        CWindowManagerUI::SetResourceFolder(TestDataPath(L"skin"));
    }
    void TearDown() override {
        for (Opened& opened : windows_) {
            if (IsWindow(opened.handle)) DestroyWindow(opened.handle);
        }
        SkinWindow::Pump();
    }
    ScaledSkinWindow& Open(int dpi) {
        Opened opened;
        opened.window = std::make_unique<ScaledSkinWindow>(GetParam(), dpi);
        opened.handle = opened.window->OpenWindow();
        EXPECT_NE(opened.handle, nullptr);
        opened.window->ShowAndPaint();
        windows_.push_back(std::move(opened));
        return *windows_.back().window;
    }
    // What the installer does when the fold box is ticked: the path area shows and the
    // window grows by the area's height.
    static void Unfold(ScaledSkinWindow& window) {
        CWindowManagerUI& manager = window.Manager();
        static_cast<COptionUI*>(manager.ControlNamed(L"chk_fold"))->SetSelected(true, false);
        manager.ControlNamed(L"bottomLayout")->SetVisible(true);
        RECT rect;
        GetWindowRect(window.GetHWND(), &rect);
        SetWindowPos(window.GetHWND(), nullptr, 0, 0, rect.right - rect.left,
                     rect.bottom - rect.top + manager.Scale().Length(75), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        window.ShowAndPaint();
    }
    static void ShowBanner(ScaledSkinWindow& window) {
        static_cast<CTabLayoutUI*>(window.Manager().ControlNamed(L"switch"))->SelectPage(1, true);
        window.ShowAndPaint();
    }
    // Every control visible in both windows sits at its 96-DPI place times the scale,
    // within tolerance pixels.
    static void ExpectProportional(ScaledSkinWindow& reference, ScaledSkinWindow& scaled, int tolerance,
                                   const char* state) {
        const CDpiScale& scale = scaled.Manager().Scale();
        std::map<std::wstring, CControlUI*> base = NamedControls(reference.Manager());
        std::map<std::wstring, CControlUI*> other = NamedControls(scaled.Manager());
        int compared = 0;
        for (const auto& entry : base) {
            CControlUI* control = entry.second;
            CControlUI* twin = other[entry.first];
            ASSERT_NE(twin, nullptr) << ToUtf8(entry.first);
            EXPECT_EQ(control->IsVisible(), twin->IsVisible()) << ToUtf8(entry.first);
            if (!control->IsVisible() || !twin->IsVisible()) continue;
            RECT expected = scale.Rect(control->GetRect());
            const RECT& actual = twin->GetRect();
            EXPECT_TRUE(std::abs(actual.left - expected.left) <= tolerance &&
                        std::abs(actual.top - expected.top) <= tolerance &&
                        std::abs(actual.right - expected.right) <= tolerance &&
                        std::abs(actual.bottom - expected.bottom) <= tolerance)
                << state << ": " << ToUtf8(entry.first) << " at " << scale.Dpi() << " DPI is " << Describe(actual)
                << ", its 96-DPI place scaled is " << Describe(expected);
            ++compared;
        }
        EXPECT_GE(compared, 10) << state;
    }

    std::vector<Opened> windows_;
};

// 192 DPI needs a screen wider than the test display (the window is at most the work
// area); the screenshots at 192 DPI check that scale on a display of their own.
TEST_P(ScaledSkinTest, EveryStateIsLaidOutInProportion) {
    for (int dpi : {120, 144}) {
        ScaledSkinWindow& reference = Open(96);
        ScaledSkinWindow& scaled = Open(dpi);
        ExpectProportional(reference, scaled, 2, "home");
        Unfold(reference);
        Unfold(scaled);
        ExpectProportional(reference, scaled, 2, "unfolded");
        ShowBanner(reference);
        ShowBanner(scaled);
        ExpectProportional(reference, scaled, 2, "banner");
    }
}

TEST_P(ScaledSkinTest, WindowAttributesFontsAndImagesFollowTheScale) {
    ScaledSkinWindow& window = Open(144);
    CWindowManagerUI& manager = window.Manager();
    RECT rect;
    GetWindowRect(window.GetHWND(), &rect);
    EXPECT_EQ(rect.right - rect.left, 975);
    EXPECT_EQ(rect.bottom - rect.top, 540);
    EXPECT_EQ(manager.CaptionArea().bottom, 435);
    EXPECT_EQ(manager.ResizeBorders().left, 6);
    EXPECT_EQ(manager.CornerRounding().cx, 12);

    // The record keeps the skin's size; the font is 1.5 times as high.
    const FontRecord* font = manager.FontRecordById(0);
    ASSERT_NE(font, nullptr);
    EXPECT_EQ(font->size, 13);
    LOGFONTW made = {};
    GetObjectW(font->font, sizeof made, &made);
    EXPECT_EQ(made.lfHeight, -20);
    EXPECT_EQ(manager.StandardFontRecord()->size, 13);

    // The check box's 14-pixel box at "dest" 0,8,14,22 becomes 21 pixels at 12,33.
    EXPECT_EQ(manager.ControlNamed(L"chk_agree")->GetHeight(), 45);
    EXPECT_EQ(manager.ControlNamed(L"progress_download")->GetFixedHeight(), 9);
}

// The picture the window loads for a name is the skin's variant for its scale, pixel
// for pixel; without one for the scale the denser one is filtered down.
TEST_P(ScaledSkinTest, ImagesComeFromTheVariantForTheScale) {
    struct Case {
        int dpi;
        const wchar_t* name;
        const wchar_t* variant;
    };
    for (const Case& c : {Case{192, L"img/close.png", L"img/close@2x.png"},
                          Case{144, L"img/logo.png", L"img/logo@1.5x.png"},
                          Case{192, L"img/checked.png", L"img/checked@2x.png"}}) {
        ScaledSkinWindow& window = Open(c.dpi);
        std::shared_ptr<const ImageRecord> image = window.Manager().ImageOrLoad(c.name);
        ASSERT_NE(image, nullptr) << ToUtf8(c.name);
        std::string bytes;
        ASSERT_TRUE(ReadImageFile(c.variant, bytes)) << ToUtf8(c.variant);
        std::unique_ptr<ImageRecord> expected = CDrawEngine::DecodeImage(bytes.data(), bytes.size());
        ASSERT_NE(expected, nullptr);
        ASSERT_EQ(image->width, expected->width) << ToUtf8(c.name);
        ASSERT_EQ(image->height, expected->height) << ToUtf8(c.name);
        EXPECT_EQ(memcmp(image->bits, expected->bits, static_cast<size_t>(image->width) * image->height * 4), 0)
            << ToUtf8(c.name) << " at " << c.dpi << " DPI is not its variant " << ToUtf8(c.variant);
    }
    // 120 DPI has no variant of its own: the 1.5x picture filtered to 1.25 times the size.
    ScaledSkinWindow& window = Open(120);
    std::shared_ptr<const ImageRecord> close = window.Manager().ImageOrLoad(L"img/close.png");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->width, 50);
    EXPECT_EQ(close->height, 40);
}

TEST_P(ScaledSkinTest, ADpiChangeLaysTheWindowOutAsIfItOpenedThere) {
    ScaledSkinWindow& moved = Open(96);
    Unfold(moved);
    ScaledSkinWindow& fresh = Open(144);
    Unfold(fresh);
    RECT target;
    GetWindowRect(fresh.GetHWND(), &target);
    RECT now;
    GetWindowRect(moved.GetHWND(), &now);
    OffsetRect(&target, now.left - target.left, now.top - target.top);
    // What Windows sends when the window moves to a 144-DPI display: the new DPI and
    // the rectangle it suggests.
    SendMessageW(moved.GetHWND(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&target));
    moved.ShowAndPaint();

    EXPECT_EQ(moved.Manager().Scale().Dpi(), 144);
    RECT rect;
    GetWindowRect(moved.GetHWND(), &rect);
    EXPECT_TRUE(EqualRect(&rect, &target)) << Describe(rect);
    EXPECT_EQ(moved.Manager().CaptionArea().bottom, fresh.Manager().CaptionArea().bottom);
    LOGFONTW movedFont = {}, freshFont = {};
    GetObjectW(moved.Manager().FontById(1), sizeof movedFont, &movedFont);
    GetObjectW(fresh.Manager().FontById(1), sizeof freshFont, &freshFont);
    EXPECT_EQ(movedFont.lfHeight, freshFont.lfHeight);
    std::map<std::wstring, CControlUI*> expected = NamedControls(fresh.Manager());
    for (const auto& entry : NamedControls(moved.Manager())) {
        CControlUI* twin = expected[entry.first];
        ASSERT_NE(twin, nullptr);
        EXPECT_TRUE(EqualRect(&entry.second->GetRect(), &twin->GetRect()))
            << ToUtf8(entry.first) << " is " << Describe(entry.second->GetRect()) << " after the change, "
            << Describe(twin->GetRect()) << " when opened at 144 DPI";
    }
    std::shared_ptr<const ImageRecord> close = moved.Manager().ImageOrLoad(L"img/close.png");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->width, 60);
}

INSTANTIATE_TEST_SUITE_P(BothDirections, ScaledSkinTest, ::testing::Values(L"skin.xml", L"skin_rtl.xml"),
                         [](const ::testing::TestParamInfo<const wchar_t*>& info) {
                             return std::string(info.index == 0 ? "LeftToRight" : "RightToLeft");
                         });

}  // namespace
