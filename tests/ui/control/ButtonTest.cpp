// Buttons: state bits through real mouse and key messages, "click" rules, the
// fade timer, the state images (one five-column picture) and text colours.

#include "ui/control/Button.h"

#include <gtest/gtest.h>

#include <string>

#include "ControlTestHost.h"
#include "TestSupport.h"
#include "ui/control/Container.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

// The fixture picture: five 10 x 10 columns, red, green, blue, yellow, grey.
std::wstring FiveStatusPicture() { return TestDataPath(L"controls\\five.png"); }

}  // namespace

TEST(ButtonAttributes, StyleFlagsAndWords) {
    CButtonUI button;
    EXPECT_EQ(button.GetTextStyle(), UINT{DT_VCENTER | DT_SINGLELINE | DT_CENTER});
    EXPECT_EQ(button.GetInputFlags(), UINT{kInputSetCursor | kInputTabStop});
    button.SetKeyboardEnabled(false);
    EXPECT_EQ(button.GetInputFlags(), UINT{kInputSetCursor});
    button.SetEnabled(false);
    EXPECT_EQ(button.GetInputFlags(), 0u);
    EXPECT_EQ(button.CastTo(L"Label"), static_cast<CControlUI*>(&button));
    EXPECT_EQ(button.CastTo(L"Option"), nullptr);
    button.ApplyAttribute(L"fadedelta", L"300");  // kept in 8 bits
    EXPECT_EQ(button.GetFadeStep(), 300 % 256);
}

TEST(ButtonAttributes, MeasureIsTheFixedSizeOrTheFontHeight) {
    CButtonUI button;
    button.ApplyAttribute(L"width", L"168");
    EXPECT_EQ(button.MeasureSize(SIZE{500, 500}).cx, 168);
    EXPECT_EQ(button.MeasureSize(SIZE{500, 500}).cy, 8);  // no manager: a font height of 0
    button.ApplyAttribute(L"height", L"46");
    EXPECT_EQ(button.MeasureSize(SIZE{500, 500}).cy, 46);
}

class ButtonWindowTest : public WindowTest {
protected:
    void SetUp() override {
        auto* root = new CContainerUI;
        root->SetBackColor(0xFFFFFFFF);
        button = new CButtonUI;
        button->ApplyAttributeString(L"float=\"true\" pos=\"20,20,120,60\" text=\"Install\"");
        root->Add(button);
        Attach(root);
    }
    int Clicks() { return recorder.Count(L"click"); }

    CButtonUI* button = nullptr;
};

TEST_F(ButtonWindowTest, PressAndReleaseInsideClicks) {
    Click(window(), 50, 40);
    EXPECT_EQ(Clicks(), 1);
    EXPECT_EQ(recorder.got.back().sender, button);
    EXPECT_EQ(button->GetState() & (kStatePushed | kStateCaptured), 0u);
}

TEST_F(ButtonWindowTest, DraggedOutAndReleasedIsSilent) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    Mouse(window(), WM_LBUTTONDOWN, 50, 40);
    EXPECT_NE(button->GetState() & kStatePushed, 0u);
    Mouse(window(), WM_MOUSEMOVE, 150, 80);
    EXPECT_EQ(button->GetState() & kStatePushed, 0u);
    EXPECT_NE(button->GetState() & kStateCaptured, 0u);
    Mouse(window(), WM_LBUTTONUP, 150, 80);
    EXPECT_EQ(Clicks(), 0);
}

TEST_F(ButtonWindowTest, DraggedOutAndBackInClicks) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    Mouse(window(), WM_LBUTTONDOWN, 50, 40);
    Mouse(window(), WM_MOUSEMOVE, 150, 80);
    Mouse(window(), WM_MOUSEMOVE, 60, 45);
    EXPECT_NE(button->GetState() & kStatePushed, 0u);
    Mouse(window(), WM_LBUTTONUP, 60, 45);
    EXPECT_EQ(Clicks(), 1);
}

TEST_F(ButtonWindowTest, LosingTheCaptureLetsGoWithoutAClick) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    Mouse(window(), WM_LBUTTONDOWN, 50, 40);
    ASSERT_NE(button->GetState() & kStatePushed, 0u);
    // Another window takes the mouse, as a message box popping up does.
    HostWindow other;
    ASSERT_NE(other.Create(20, 20), nullptr);
    SetCapture(other.GetHWND());
    EXPECT_EQ(button->GetState() & (kStatePushed | kStateCaptured), 0u);
    ReleaseCapture();
    Mouse(window(), WM_LBUTTONUP, 50, 40);
    EXPECT_EQ(Clicks(), 0);
}

TEST_F(ButtonWindowTest, PressOutsideNeverClicks) {
    Mouse(window(), WM_LBUTTONDOWN, 150, 80);
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    Mouse(window(), WM_LBUTTONUP, 50, 40);
    EXPECT_EQ(Clicks(), 0);
}

TEST_F(ButtonWindowTest, SpaceAndReturnClickTheFocusedButton) {
    manager().FocusControl(button, true);
    SendMessageW(window(), WM_KEYDOWN, VK_SPACE, 0);
    SendMessageW(window(), WM_KEYDOWN, VK_RETURN, 0);
    SendMessageW(window(), WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(Clicks(), 2);
}

TEST_F(ButtonWindowTest, DisabledButtonIgnoresMouseAndKeys) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    EXPECT_NE(button->GetState() & kStateHot, 0u);
    button->SetEnabled(false);
    EXPECT_EQ(button->GetState(), 0u);  // the hot look goes at once
    Click(window(), 50, 40);
    manager().FocusControl(button, true);
    SendMessageW(window(), WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(Clicks(), 0);
    EXPECT_FALSE(button->Activate());
}

TEST_F(ButtonWindowTest, HotFollowsEnterAndLeave) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    EXPECT_NE(button->GetState() & kStateHot, 0u);
    Mouse(window(), WM_MOUSEMOVE, 150, 80);
    EXPECT_EQ(button->GetState() & kStateHot, 0u);
}

TEST_F(ButtonWindowTest, ZeroFadeDeltaStartsNoTimer) {
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    // A running fade timer would refuse a second start.
    EXPECT_TRUE(manager().StartTimer(button, CButtonUI::kFadeTimer, 1000));
    manager().StopTimer(button, CButtonUI::kFadeTimer);
}

TEST_F(ButtonWindowTest, FadeRunsToHotAndBackThenStops) {
    button->ApplyAttribute(L"fadedelta", L"64");
    Mouse(window(), WM_MOUSEMOVE, 50, 40);
    EXPECT_FALSE(manager().StartTimer(button, CButtonUI::kFadeTimer, 30));  // already running
    ASSERT_TRUE(PumpUntil([&] { return button->GetFadeLevel() == 0; }));
    Mouse(window(), WM_MOUSEMOVE, 150, 80);
    ASSERT_TRUE(PumpUntil([&] { return button->GetFadeLevel() == 255; }));
    // Stopped at the end: a new start succeeds.
    EXPECT_TRUE(manager().StartTimer(button, CButtonUI::kFadeTimer, 1000));
    manager().StopTimer(button, CButtonUI::kFadeTimer);
}

TEST_F(ButtonWindowTest, FiveStatusImageGivesEachStateItsColumn) {
    button->SetText(L"");
    button->SetFiveStatusImage(FiveStatusPicture().c_str());
    ASSERT_NE(button->NormalImage().image, nullptr);
    EXPECT_EQ(button->NormalImage().source, Rect(0, 0, 10, 10));
    EXPECT_EQ(button->HotImage().source, Rect(20, 0, 30, 10));
    EXPECT_EQ(button->DisabledImage().source, Rect(40, 0, 50, 10));
    // The first paint gave the only tab stop the focus; the normal look needs it gone.
    manager().FocusControl(nullptr, true);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(255, 0, 0));
    Mouse(window(), WM_MOUSEMOVE, 70, 40);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(0, 0, 255));
    Mouse(window(), WM_LBUTTONDOWN, 70, 40);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(0, 255, 0));
    Mouse(window(), WM_LBUTTONUP, 70, 40);
    button->SetEnabled(false);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(128, 128, 128));
}

TEST_F(ButtonWindowTest, FocusedImageWhenFocusedAndNotHot) {
    button->SetText(L"");
    button->SetFiveStatusImage(FiveStatusPicture().c_str());
    manager().FocusControl(button, true);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(255, 255, 0));
}

TEST_F(ButtonWindowTest, FloatingButtonWithoutSizeTakesOneColumn) {
    auto* floating = new CButtonUI;
    floating->ApplyAttribute(L"float", L"true");
    static_cast<CContainerUI*>(manager().Root())->Add(floating);
    floating->SetFiveStatusImage(FiveStatusPicture().c_str());
    EXPECT_EQ(floating->GetFixedWidth(), 10);
    EXPECT_EQ(floating->GetFixedHeight(), 10);
}

TEST_F(ButtonWindowTest, HotBackgroundColourWithoutHotImage) {
    button->SetText(L"");
    button->ApplyAttribute(L"hotbkcolor", L"#FF00FF00");
    Mouse(window(), WM_MOUSEMOVE, 70, 40);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 70, 40), RGB(0, 255, 0));
}
