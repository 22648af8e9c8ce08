// Labels and texts: measurement and its cache, the alignment words, default
// colours, drawing inside the padding, and the links of formatted text.

#include "ui/control/Label.h"

#include <gtest/gtest.h>

#include "ControlTestHost.h"
#include "ui/control/HorizontalLayout.h"
#include "ui/control/Text.h"
#include "ui/control/VerticalLayout.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

// Leftmost and rightmost column of the window area that has the colour, or -1.
struct Columns {
    int first = -1;
    int last = -1;
};
Columns ColumnsWith(HWND window, const RECT& area, COLORREF colour) {
    Columns found;
    HDC dc = GetDC(window);
    for (int x = area.left; x < area.right; ++x) {
        for (int y = area.top; y < area.bottom; ++y) {
            if (GetPixel(dc, x, y) == colour) {
                if (found.first < 0) found.first = x;
                found.last = x;
                break;
            }
        }
    }
    ReleaseDC(window, dc);
    return found;
}

}  // namespace

TEST(LabelAttributes, AlignWordsAreSearchedInOrderLastFoundWins) {
    CLabelUI label;
    EXPECT_EQ(label.GetTextStyle(), UINT{DT_VCENTER | DT_SINGLELINE});
    label.ApplyAttribute(L"align", L"center");
    EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT), UINT{DT_CENTER});
    label.ApplyAttribute(L"align", L"right center");  // "right" is tested last
    EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT), UINT{DT_RIGHT});
    label.ApplyAttribute(L"align", L"vcenter");  // a substring search: this is "center" too
    EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT), UINT{DT_CENTER});
    label.ApplyAttribute(L"align", L"left");
    EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT), 0u);
    label.ApplyAttribute(L"align", L"sideways");
    EXPECT_EQ(label.GetTextStyle() & (DT_CENTER | DT_RIGHT), 0u);
}

TEST(LabelAttributes, VerticalAlignmentLineModeAndEllipsis) {
    CLabelUI label;
    label.ApplyAttribute(L"valign", L"bottom");
    EXPECT_EQ(label.GetTextStyle() & (DT_VCENTER | DT_BOTTOM), UINT{DT_BOTTOM});
    label.ApplyAttribute(L"valign", L"top");
    EXPECT_EQ(label.GetTextStyle() & (DT_VCENTER | DT_BOTTOM), 0u);
    label.ApplyAttribute(L"multiline", L"true");
    EXPECT_TRUE(label.IsMultiLine());
    EXPECT_NE(label.GetTextStyle() & DT_WORDBREAK, 0u);
    label.ApplyAttribute(L"multiline", L"false");
    EXPECT_FALSE(label.IsMultiLine());
    label.ApplyAttribute(L"endellipsis", L"true");
    EXPECT_NE(label.GetTextStyle() & DT_END_ELLIPSIS, 0u);
    label.ApplyAttribute(L"rtlreading", L"True");
    EXPECT_EQ(label.GetTextStyle() & DT_RTLREADING, 0u) << "only the exact word true";
    label.ApplyAttribute(L"rtlreading", L"true");
    EXPECT_NE(label.GetTextStyle() & DT_RTLREADING, 0u);
}

TEST(LabelAttributes, EffectSettings) {
    CLabelUI label;
    EXPECT_FLOAT_EQ(label.GetLuminousFuzziness(), 3.0f);
    label.ApplyAttribute(L"luminousfuzzy", L"0.00001");
    EXPECT_FLOAT_EQ(label.GetLuminousFuzziness(), 3.0f);
    label.ApplyAttribute(L"luminousfuzzy", L"1.5");
    EXPECT_FLOAT_EQ(label.GetLuminousFuzziness(), 1.5f);
    label.ApplyAttribute(L"shadowoffset", L"4,90");
    EXPECT_EQ(label.GetShadowOffset().x, 0);
    EXPECT_EQ(label.GetShadowOffset().y, 4);
    label.ApplyAttribute(L"shadowoffset", L"4,270");  // outside -180..180: ignored
    EXPECT_EQ(label.GetShadowOffset().y, 4);
    label.ApplyAttribute(L"enabledeffect", L"true");
    EXPECT_TRUE(label.IsEffectEnabled());
}

TEST(TextAttributes, MultiLineTopLeftWithSidePadding) {
    CTextUI text;
    EXPECT_EQ(text.GetTextStyle(), UINT{DT_WORDBREAK});
    EXPECT_EQ(text.GetTextPadding(), Rect(2, 0, 2, 0));
    EXPECT_EQ(text.CastTo(L"Label"), static_cast<CControlUI*>(&text));
    EXPECT_EQ(text.GetInputFlags(), 0u);
}

class LabelWindowTest : public WindowTest {
protected:
    int FontHeight() { return manager().StandardFontRecord()->metrics.tmHeight; }
};

TEST_F(LabelWindowTest, SingleLineLabelReportsFontHeightAndTextWidth) {
    auto* root = new CVerticalLayoutUI;
    auto* label = new CLabelUI;
    label->SetText(L"Install");
    label->ApplyAttribute(L"textpadding", L"3,2,5,4");
    root->Add(label);
    Attach(root);
    SIZE size = label->MeasureSize(SIZE{200, 100});
    EXPECT_EQ(size.cy, FontHeight() + 8 + 2 + 4);
    EXPECT_GT(size.cx, 3 + 5);
    // The cache: a different available size changes nothing for a single line.
    EXPECT_EQ(label->MeasureSize(SIZE{50, 50}).cx, size.cx);
    label->SetText(L"Install Install");
    EXPECT_GT(label->MeasureSize(SIZE{200, 100}).cx, size.cx);
    EXPECT_EQ(label->GetRect().bottom - label->GetRect().top, FontHeight() + 8 + 6);
}

TEST_F(LabelWindowTest, VerticalLayoutUsesTheTextHeightHorizontalStretches) {
    auto* root = new CVerticalLayoutUI;
    auto* stacked = new CLabelUI;
    stacked->SetText(L"path");
    root->Add(stacked);
    auto* row = new CHorizontalLayoutUI;
    auto* stretched = new CLabelUI;
    stretched->SetText(L"path");
    row->Add(stretched);
    root->Add(row);
    Attach(root);
    EXPECT_EQ(stacked->GetRect().bottom - stacked->GetRect().top, FontHeight() + 8);
    EXPECT_EQ(stretched->GetRect().right - stretched->GetRect().left, 200);
}

TEST_F(LabelWindowTest, MultiLineMeasuresAgainstTheAvailableWidth) {
    auto* root = new CVerticalLayoutUI;
    auto* label = new CLabelUI;
    label->ApplyAttribute(L"multiline", L"true");
    label->SetText(L"one two three four five six seven eight nine ten");
    root->Add(label);
    Attach(root);
    SIZE wide = label->MeasureSize(SIZE{1000, 500});
    SIZE narrow = label->MeasureSize(SIZE{60, 500});
    EXPECT_EQ(wide.cx, 1000);
    EXPECT_EQ(narrow.cx, 60);
    EXPECT_GT(narrow.cy, wide.cy);
}

TEST_F(LabelWindowTest, EffectLabelWithAFaceGdiplusCannotFindDrawsPlainText) {
    // The prefix's default dialog font is a substitute GDI+ does not know.
    auto* root = new CHorizontalLayoutUI;
    root->SetBackColor(0xFFFFFFFF);
    auto* label = new CLabelUI;
    label->ApplyAttributeString(L"text=\"WWWW\" align=\"center\" textcolor=\"#FFFF0000\" enabledeffect=\"true\"");
    root->Add(label);
    Attach(root);
    Columns red = ColumnsWith(window(), Rect(0, 0, 200, 100), RGB(255, 0, 0));
    EXPECT_GE(red.first, 0);
}

TEST_F(LabelWindowTest, ZeroColoursTakeTheDefaultsOthersAreKept) {
    auto* root = new CVerticalLayoutUI;
    auto* plain = new CLabelUI;
    plain->SetText(L"a");
    auto* transparent = new CLabelUI;
    transparent->SetText(L"b");
    transparent->ApplyAttribute(L"textcolor", L"#00FFFFFF");
    transparent->ApplyAttribute(L"disabledtextcolor", L"#00FFFFFF");
    root->Add(plain);
    root->Add(transparent);
    Attach(root);
    EXPECT_EQ(plain->GetTextColor(), manager().DefaultFontColor());
    EXPECT_EQ(plain->GetDisabledTextColor(), manager().DefaultDisabledColor());
    EXPECT_EQ(transparent->GetTextColor(), 0x00FFFFFFu);
    EXPECT_EQ(transparent->GetDisabledTextColor(), 0x00FFFFFFu);
}

TEST_F(LabelWindowTest, RightAlignedTextDrawsAtTheRightEdgeInsideThePadding) {
    auto* root = new CHorizontalLayoutUI;
    root->SetBackColor(0xFFFFFFFF);
    auto* label = new CLabelUI;
    label->ApplyAttributeString(L"text=\"WWW\" align=\"right\" textcolor=\"#FFFF0000\" textpadding=\"0,0,20,0\"");
    root->Add(label);
    Attach(root);
    Columns red = ColumnsWith(window(), Rect(0, 0, 200, 100), RGB(255, 0, 0));
    ASSERT_GE(red.first, 0);
    EXPECT_GT(red.first, 100);
    EXPECT_LE(red.last, 180);
    EXPECT_GE(red.last, 170);
}

TEST_F(LabelWindowTest, DisabledLabelDrawsInTheDisabledColour) {
    auto* root = new CHorizontalLayoutUI;
    root->SetBackColor(0xFFFFFFFF);
    auto* label = new CLabelUI;
    label->ApplyAttributeString(
        L"text=\"WWW\" align=\"center\" textcolor=\"#FFFF0000\" disabledtextcolor=\"#FF0000FF\" enabled=\"false\"");
    root->Add(label);
    Attach(root);
    EXPECT_LT(ColumnsWith(window(), Rect(0, 0, 200, 100), RGB(255, 0, 0)).first, 0);
    Columns blue = ColumnsWith(window(), Rect(0, 0, 200, 100), RGB(0, 0, 255));
    ASSERT_GE(blue.first, 0);
    EXPECT_LT(blue.first, 100);
    EXPECT_GT(blue.last, 100);
}

TEST_F(LabelWindowTest, EffectPainterDrawsTextAndShadowThroughGdiplus) {
    // A face installed under its own name (the setup installs it): GDI+ finds it.
    auto* root = new CHorizontalLayoutUI;
    root->SetBackColor(0xFFFFFFFF);
    auto* label = new CLabelUI;
    label->ApplyAttributeString(
        L"text=\"WWWW\" align=\"center\" textcolor=\"#FFFF0000\" enabledeffect=\"true\" enabledshadow=\"true\" "
        L"shadowoffset=\"6,90\" font=\"5\"");
    root->Add(label);
    Attach(root);
    manager().RegisterFont(5, L"WenQuanYi Micro Hei", 16, false, false, false);
    Repaint(window());
    int reddish = 0;
    int dark = 0;
    HDC dc = GetDC(window());
    for (int x = 60; x < 140; ++x) {
        for (int y = 30; y < 70; ++y) {
            COLORREF c = GetPixel(dc, x, y);
            if (GetRValue(c) > 200 && GetGValue(c) < 100 && GetBValue(c) < 100) ++reddish;
            if (GetRValue(c) < 60 && GetGValue(c) < 60 && GetBValue(c) < 60) ++dark;
        }
    }
    ReleaseDC(window(), dc);
    EXPECT_GT(reddish, 10);
    EXPECT_GT(dark, 0);  // the black shadow 6 pixels below the text
}

class TextLinkTest : public LabelWindowTest {
protected:
    void SetUp() override {
        auto* root = new CVerticalLayoutUI;
        text = new CTextUI;
        text->ApplyAttribute(L"showhtml", L"true");
        text->SetText(L"{a one}First{/a} and {a two}Second{/a} or {a three}Third{/a}");
        root->Add(text);
        Attach(root, 400, 100);
    }
    POINT CentreOf(int link) {
        const RECT& r = text->GetLinkRect(link);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    CTextUI* text = nullptr;
};

TEST_F(TextLinkTest, EachLinkReportsItsIndex) {
    ASSERT_EQ(text->GetLinkCount(), 3);
    EXPECT_EQ(text->GetLinkText(1), L"two");
    EXPECT_EQ(text->GetInputFlags(), UINT{kInputSetCursor});
    for (int link = 0; link < 3; ++link) {
        POINT p = CentreOf(link);
        Click(window(), p.x, p.y);
    }
    ASSERT_EQ(recorder.Count(L"link"), 3);
    int index = 0;
    for (const UiNotify& n : recorder.got) {
        if (n.type == L"link") {
            EXPECT_EQ(n.wParam, static_cast<WPARAM>(index++));
        }
    }
}

TEST_F(TextLinkTest, ReleaseOutsideTheLinksReportsNothing) {
    const RECT& last = text->GetLinkRect(2);
    Click(window(), last.right + 30, (last.top + last.bottom) / 2);
    EXPECT_EQ(recorder.Count(L"link"), 0);
}

TEST_F(TextLinkTest, HoverFollowsTheMouse) {
    POINT p = CentreOf(1);
    Mouse(window(), WM_MOUSEMOVE, p.x, p.y);
    EXPECT_EQ(text->GetHoveredLink(), 1);
    const RECT& last = text->GetLinkRect(2);
    Mouse(window(), WM_MOUSEMOVE, last.right + 30, p.y);
    EXPECT_EQ(text->GetHoveredLink(), -1);
}
