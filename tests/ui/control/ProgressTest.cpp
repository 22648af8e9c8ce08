// The progress bar: clamping, the covered part in both directions, the repaired
// range, and the fore image drawn over exactly that part.

#include "ui/control/Progress.h"

#include <gtest/gtest.h>

#include <string>

#include "ControlTestHost.h"
#include "TestSupport.h"
#include "ui/control/Container.h"

using namespace Veneer;
using namespace ControlTest;

TEST(Progress, InitialValues) {
    CProgressUI bar;
    EXPECT_TRUE(bar.IsHorizontal());
    EXPECT_EQ(bar.GetMinValue(), 0);
    EXPECT_EQ(bar.GetMaxValue(), 100);
    EXPECT_EQ(bar.GetValue(), 0);
    EXPECT_EQ(bar.GetFixedHeight(), 12);
    EXPECT_EQ(bar.GetTextStyle(), UINT{DT_SINGLELINE | DT_CENTER});
    bar.ApplyAttribute(L"height", L"6");
    EXPECT_EQ(bar.GetFixedHeight(), 6);
    CControlUI* control = &bar;
    EXPECT_EQ(bar.CastTo(L"Progress"), control);
    EXPECT_EQ(bar.CastTo(L"Label"), control);
}

TEST(Progress, ValuesAreClampedWhenSet) {
    CProgressUI bar;
    bar.SetValue(150);
    EXPECT_EQ(bar.GetValue(), 100);
    bar.SetValue(-5);
    EXPECT_EQ(bar.GetValue(), 0);
    bar.ApplyAttributeString(L"min=\"10\" max=\"20\" value=\"15\"");
    EXPECT_EQ(bar.GetValue(), 15);
    bar.SetMaxValue(12);  // not re-clamped until painted
    EXPECT_EQ(bar.GetValue(), 15);
    bar.BarRect();
    EXPECT_EQ(bar.GetValue(), 12);
}

TEST(Progress, HorizontalBarCoversTheValuesShareOfTheWidth) {
    CProgressUI bar;
    bar.Place(Rect(0, 0, 530, 6), false);
    bar.SetValue(30);
    EXPECT_EQ(bar.BarRect(), Rect(0, 0, 159, 6));
    bar.SetValue(100);
    EXPECT_EQ(bar.BarRect(), Rect(0, 0, 530, 6));
    bar.SetValue(0);
    EXPECT_EQ(bar.BarRect(), Rect(0, 0, 0, 6));
}

TEST(Progress, VerticalBarGrowsFromTheBottom) {
    CProgressUI bar;
    bar.ApplyAttribute(L"hor", L"false");
    bar.Place(Rect(0, 0, 10, 40), false);
    bar.SetValue(25);
    EXPECT_EQ(bar.BarRect(), Rect(0, 30, 10, 40));
}

TEST(Progress, AnEmptyRangeIsRepairedInsteadOfDividingByZero) {
    CProgressUI bar;
    bar.ApplyAttributeString(L"min=\"50\" max=\"50\"");
    bar.Place(Rect(0, 0, 100, 6), false);
    bar.BarRect();
    EXPECT_EQ(bar.GetMaxValue(), 51);
    EXPECT_EQ(bar.GetValue(), 50);
}

TEST(Progress, LargeRangesDoNotOverflow) {
    CProgressUI bar;
    bar.SetMaxValue(100000000);
    bar.SetValue(50000000);
    bar.Place(Rect(0, 0, 530, 6), false);
    EXPECT_EQ(bar.BarRect(), Rect(0, 0, 265, 6));
}

class ProgressWindowTest : public WindowTest {};

TEST_F(ProgressWindowTest, ForeImageCoversOnlyTheBar) {
    auto* root = new CContainerUI;
    root->SetBackColor(0xFFFFFFFF);
    auto* bar = new CProgressUI;
    std::wstring image = L"file='" + TestDataPath(L"controls\\bar.png") + L"'";
    bar->ApplyAttributeString(L"float=\"true\" pos=\"0,10,530,16\" bkcolor=\"#FFE0E0E0\"");
    bar->ApplyAttribute(L"foreimage", image.c_str());
    root->Add(bar);
    Attach(root, 600, 40);
    bar->SetValue(30);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 150, 12), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(window(), 158, 12), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(window(), 160, 12), RGB(0xE0, 0xE0, 0xE0));
    EXPECT_EQ(PixelAt(window(), 400, 12), RGB(0xE0, 0xE0, 0xE0));
}
