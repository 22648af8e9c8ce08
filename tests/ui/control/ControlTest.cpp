// The control base: attributes, placement of plain and floating controls and
// covers, visibility and focus, events and notifications, the paint layers.

#include "ui/control/Control.h"

#include <gtest/gtest.h>

#include "ControlTestHost.h"
#include "ui/control/Container.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

// A control deleted through Destroy at the end of the scope.
struct Owned {
    CControlUI* control;
    explicit Owned(CControlUI* c) : control(c) {}
    ~Owned() { control->Destroy(); }
    CControlUI* operator->() const { return control; }
};

}  // namespace

// ---- attributes -------------------------------------------------------------------

TEST(ControlAttributes, InitialValues) {
    Owned c(new CControlUI);
    EXPECT_EQ(c->GetMaxWidth(), 9999);
    EXPECT_EQ(c->GetMaxHeight(), 9999);
    EXPECT_EQ(c->GetToolTipWidth(), 300);
    EXPECT_TRUE(c->IsVisible());
    EXPECT_TRUE(c->IsEnabled());
    EXPECT_TRUE(c->IsMouseEnabled());
    EXPECT_FALSE(c->IsFloat());
    EXPECT_TRUE(c->IsLayoutDirty());
    EXPECT_STREQ(c->GetTypeName(), L"Control");
    EXPECT_EQ(c->CastTo(L"Control"), c.control);
    EXPECT_EQ(c->CastTo(L"Label"), nullptr);
    EXPECT_EQ(c->GetInputFlags(), 0u);
}

TEST(ControlAttributes, PosSetsOriginAndFixedSizeButNotTheFloatFlag) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"pos", L"10,20,110,60");
    EXPECT_EQ(c->GetFixedOrigin().cx, 10);
    EXPECT_EQ(c->GetFixedOrigin().cy, 20);
    EXPECT_EQ(c->GetFixedWidth(), 100);
    EXPECT_EQ(c->GetFixedHeight(), 40);
    EXPECT_FALSE(c->IsFloat());
}

TEST(ControlAttributes, SizeSettersIgnoreNegativeValues) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"width", L"50");
    c->ApplyAttribute(L"width", L"-5");
    c->ApplyAttribute(L"minheight", L"-1");
    EXPECT_EQ(c->GetFixedWidth(), 50);
    EXPECT_EQ(c->GetMinHeight(), 0);
}

TEST(ControlAttributes, MaximumNeverBelowMinimum) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"minwidth", L"200");
    c->ApplyAttribute(L"maxwidth", L"100");
    EXPECT_EQ(c->GetMaxWidth(), 200);
    EXPECT_EQ(c->GetMinWidth(), 200);
}

TEST(ControlAttributes, TooltipLineBreakToken) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"tooltip", L"a<n>b");
    EXPECT_EQ(c->GetToolTip(), L"a\r\nb");
}

TEST(ControlAttributes, BooleansAreTrueOnlyForLowerCaseTrue) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"visible", L"True");
    EXPECT_FALSE(c->IsVisible());
    c->ApplyAttribute(L"visible", L"true");
    EXPECT_TRUE(c->IsVisible());
    c->ApplyAttribute(L"mouse", L"false");
    c->ApplyAttribute(L"keyboard", L"1");
    c->ApplyAttribute(L"menu", L"true");
    EXPECT_FALSE(c->IsMouseEnabled());
    EXPECT_FALSE(c->IsKeyboardEnabled());
    EXPECT_TRUE(c->UsesContextMenu());
}

TEST(ControlAttributes, AttributeNamesAreCaseSensitive) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"Width", L"40");
    EXPECT_EQ(c->GetFixedWidth(), 0);
    EXPECT_STREQ(c->CustomAttribute(L"Width"), L"40");
}

TEST(ControlAttributes, BorderSizeOneValueOrFour) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"bordersize", L"1");
    RECT all = c->GetBorderSize();
    EXPECT_EQ(all, Rect(1, 1, 1, 1));
    c->ApplyAttribute(L"bordersize", L"0,1,0,1");
    EXPECT_EQ(c->GetBorderSize(), Rect(0, 1, 0, 1));
}

TEST(ControlAttributes, ColoursSkipBlanksAndOneHash) {
    auto* raw = new CControlUI;
    Owned c(raw);
    raw->ApplyAttribute(L"bkcolor", L"  #FF1A57A9");
    raw->ApplyAttribute(L"bkcolor2", L"FF000000");
    raw->ApplyAttribute(L"bordercolor", L"#FFFF0000");
    raw->ApplyAttribute(L"focusbordercolor", L"#12345678");
    EXPECT_EQ(raw->GetBackColor(), 0xFF1A57A9u);
    EXPECT_EQ(raw->GetBackColor2(), 0xFF000000u);
    EXPECT_EQ(raw->GetBorderColor(), 0xFFFF0000u);
    EXPECT_EQ(raw->GetFocusBorderColor(), 0x12345678u);
}

TEST(ControlAttributes, FloatPlainOrFractions) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"float", L"true");
    EXPECT_TRUE(c->IsFloat());
    c->ApplyAttribute(L"float", L"false");
    EXPECT_FALSE(c->IsFloat());
    c->ApplyAttribute(L"float", L"0.5,0,0.5,0");
    EXPECT_TRUE(c->IsFloat());
    EXPECT_DOUBLE_EQ(c->GetFloatFractions().left, 0.5);
    EXPECT_DOUBLE_EQ(c->GetFloatFractions().right, 0.5);
    EXPECT_DOUBLE_EQ(c->GetFloatFractions().top, 0.0);
}

TEST(ControlAttributes, PlainStores) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"shortcut", L"Install");
    c->ApplyAttribute(L"userdata", L"payload");
    c->ApplyAttribute(L"tag", L"77");
    c->ApplyAttribute(L"name", L"logo");
    c->ApplyAttribute(L"text", L"hello");
    EXPECT_EQ(c->GetShortcut(), L'I');
    EXPECT_EQ(c->GetUserData(), L"payload");
    EXPECT_EQ(c->GetTag(), 77u);
    EXPECT_EQ(c->GetName(), L"logo");
    EXPECT_EQ(c->GetText(), L"hello");
}

TEST(ControlAttributes, UnknownNamesBecomeCustomAttributesFirstValueKept) {
    Owned c(new CControlUI);
    c->ApplyAttribute(L"flavour", L"mint");
    c->ApplyAttribute(L"flavour", L"lemon");
    c->ApplyAttribute(L"empty", L"");
    EXPECT_STREQ(c->CustomAttribute(L"flavour"), L"mint");
    EXPECT_EQ(c->CustomAttribute(L"empty"), nullptr);
    EXPECT_FALSE(c->StoreCustomAttribute(L"", L"x"));
    EXPECT_FALSE(c->StoreCustomAttribute(nullptr, L"x"));
}

TEST(ControlAttributeString, PairsSeparatedByOneBlank) {
    Owned c(new CControlUI);
    c->ApplyAttributeString(L"width=\"30\" height=\"40\"");
    EXPECT_EQ(c->GetFixedWidth(), 30);
    EXPECT_EQ(c->GetFixedHeight(), 40);
}

TEST(ControlAttributeString, TwoBlanksEndTheList) {
    Owned c(new CControlUI);
    c->ApplyAttributeString(L"width=\"30\"  height=\"40\"");
    EXPECT_EQ(c->GetFixedWidth(), 30);
    EXPECT_EQ(c->GetFixedHeight(), 0);
}

TEST(ControlAttributeString, MalformedPairsStopTheList) {
    Owned c(new CControlUI);
    c->ApplyAttributeString(L"width=30 height=\"40\"");
    EXPECT_EQ(c->GetFixedWidth(), 0);
    EXPECT_EQ(c->GetFixedHeight(), 0);
    c->ApplyAttributeString(L"width=\"30\" height=\"40");  // unterminated value
    EXPECT_EQ(c->GetFixedWidth(), 30);
    EXPECT_EQ(c->GetFixedHeight(), 0);
    c->ApplyAttributeString(L"text=\"a\\\"b\"");  // no escapes: the value ends at the second quote
    EXPECT_EQ(c->GetText(), L"a\\");
}

// ---- placement ---------------------------------------------------------------------

TEST(ControlPlace, InvertedRectangleCollapses) {
    Owned c(new CControlUI);
    c->Place(Rect(50, 60, 10, 20), false);
    EXPECT_EQ(c->GetRect(), Rect(50, 60, 50, 60));
}

TEST(ControlPlace, FloatingChildIsRelativeToTheContainerWhateverTheInset) {
    auto* parent = new CContainerUI;
    Owned owner(parent);
    auto* child = new CControlUI;
    child->ApplyAttribute(L"float", L"true");
    child->ApplyAttribute(L"pos", L"10,10,30,30");
    parent->Add(child);
    parent->ApplyAttribute(L"inset", L"5,5,5,5");
    parent->Place(Rect(100, 50, 300, 150), false);
    EXPECT_EQ(child->GetRect(), Rect(110, 60, 130, 80));
}

TEST(ControlPlace, FloatFractionsCentreTheControl) {
    auto* parent = new CContainerUI;
    Owned owner(parent);
    auto* child = new CControlUI;
    child->ApplyAttributeString(L"float=\"0.5,0,0.5,0\" pos=\"-20,10,20,30\"");
    parent->Add(child);
    parent->Place(Rect(100, 50, 300, 150), false);
    // 200 wide: the 40 by 20 control sits at 80..120 of it, 10 below the top.
    EXPECT_EQ(child->GetRect(), Rect(180, 60, 220, 80));
    EXPECT_EQ(child->GetFixedOrigin().cx, -20);
    EXPECT_EQ(child->GetFixedWidth(), 40);
}

TEST(ControlPlace, RectInParentAndOffset) {
    auto* parent = new CContainerUI;
    Owned owner(parent);
    auto* child = new CControlUI;
    parent->Add(child);
    parent->Place(Rect(10, 20, 110, 120), false);
    EXPECT_EQ(child->GetRectInParent(), Rect(0, 0, 100, 100));
    parent->Offset(5, 7, false);
    EXPECT_EQ(parent->GetRect(), Rect(15, 27, 115, 127));
    EXPECT_EQ(child->GetRect(), Rect(15, 27, 115, 127));
}

// ---- with a window -------------------------------------------------------------------

class ControlWindowTest : public WindowTest {
protected:
    void SetUp() override {
        root = new CContainerUI;
        root->SetBackColor(0xFFFFFFFF);
        plain = Child(L"plain", L"10,10,60,40");
        second = Child(L"second", L"100,10,150,40");
        Attach(root);
    }

    CControlUI* Child(const wchar_t* name, const wchar_t* pos) {
        auto* control = new CControlUI;
        control->SetName(name);
        control->ApplyAttribute(L"float", L"true");
        control->ApplyAttribute(L"pos", pos);
        root->Add(control);
        return control;
    }
    CContainerUI* root = nullptr;
    CControlUI* plain = nullptr;
    CControlUI* second = nullptr;
};

TEST_F(ControlWindowTest, HidingTheFocusedControlTakesTheFocusAway) {
    manager().FocusControl(plain, false);
    ASSERT_EQ(manager().FocusedControl(), plain);
    plain->SetVisible(false);
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    EXPECT_FALSE(plain->IsFocused());
}

TEST_F(ControlWindowTest, ShowingOrHidingClearsTheFocusedFlag) {
    UiEvent focus = {};
    focus.kind = kEventSetFocus;
    second->DispatchEvent(focus);
    ASSERT_TRUE(second->IsFocused());
    second->SetVisible(false);
    second->SetVisible(true);
    EXPECT_FALSE(second->IsFocused());
}

TEST_F(ControlWindowTest, HiddenParentHidesChildrenAndTheirFocus) {
    manager().FocusControl(plain, false);
    root->SetVisible(false);
    EXPECT_FALSE(plain->IsVisible());
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    root->SetVisible(true);
    EXPECT_TRUE(plain->IsVisible());
}

TEST_F(ControlWindowTest, RenameAndDestroyKeepTheNameMapRight) {
    EXPECT_EQ(manager().ControlNamed(L"plain"), plain);
    plain->SetName(L"renamed");
    EXPECT_EQ(manager().ControlNamed(L"renamed"), plain);
    EXPECT_EQ(manager().ControlNamed(L"plain"), nullptr);
    root->SetDefersChildDeletion(false);
    root->Remove(second);
    EXPECT_EQ(manager().ControlNamed(L"second"), nullptr);
}

TEST_F(ControlWindowTest, TimerEventsBecomeTimerNotifications) {
    UiEvent timer = {};
    timer.kind = kEventTimer;
    timer.wParam = 5;
    timer.lParam = 9;
    plain->DispatchEvent(timer);
    ASSERT_EQ(recorder.Count(L"timer"), 1);
    EXPECT_EQ(recorder.got.back().sender, plain);
    EXPECT_EQ(recorder.got.back().wParam, 5u);
    EXPECT_EQ(recorder.got.back().lParam, 9);
}

TEST_F(ControlWindowTest, ContextMenuOnlyWithMenuAttribute) {
    UiEvent menu = {};
    menu.kind = kEventContextMenu;
    plain->DispatchEvent(menu);
    EXPECT_EQ(recorder.Count(L"menu"), 0);
    plain->ApplyAttribute(L"menu", L"true");
    plain->DispatchEvent(menu);
    EXPECT_EQ(recorder.Count(L"menu"), 1);
}

namespace {
int g_hookCalls = 0;
bool RefuseEvent(void*) {
    ++g_hookCalls;
    return false;
}
bool RefusePaint(void*) { return false; }
}  // namespace

TEST_F(ControlWindowTest, EventHookReturningFalseStopsTheEvent) {
    g_hookCalls = 0;
    plain->eventHooks += MakeDelegate(&RefuseEvent);
    plain->eventHooks += MakeDelegate(&RefuseEvent);  // the same delegate is kept once
    UiEvent timer = {};
    timer.kind = kEventTimer;
    plain->DispatchEvent(timer);
    EXPECT_EQ(g_hookCalls, 1);
    EXPECT_EQ(recorder.Count(L"timer"), 0);
}

TEST_F(ControlWindowTest, HitTestSkipsControlsThatIgnoreTheMouse) {
    EXPECT_EQ(manager().ControlAt(POINT{20, 20}), plain);
    plain->SetMouseEnabled(false);
    EXPECT_EQ(manager().ControlAt(POINT{20, 20}), root);
    plain->SetVisible(false);
    EXPECT_EQ(manager().ControlAt(POINT{20, 20}), root);
}

TEST_F(ControlWindowTest, CoverLiesOverItsControl) {
    auto* cover = new CControlUI;
    cover->SetBackColor(0xFF00FF00);
    plain->AssignCover(cover);
    Repaint(window());
    EXPECT_EQ(cover->GetRect(), plain->GetRect());
    EXPECT_EQ(cover->GetParent(), plain);
    EXPECT_EQ(PixelAt(window(), 30, 20), RGB(0, 255, 0));
    plain->SetVisible(false);
    EXPECT_FALSE(cover->IsVisible());
}

TEST_F(ControlWindowTest, OpaqueBackgroundFills) {
    plain->SetBackColor(0xFFFF0000);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 30, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(window(), 5, 5), RGB(255, 255, 255));
}

TEST_F(ControlWindowTest, TwoColoursMakeAVerticalGradient) {
    plain->SetBackColor(0xFF000000);
    plain->SetBackColor2(0xFF0000FF);
    Repaint(window());
    COLORREF top = PixelAt(window(), 30, 10);
    COLORREF bottom = PixelAt(window(), 30, 39);
    EXPECT_LT(GetBValue(top), 64);
    EXPECT_GT(GetBValue(bottom), 192);
}

TEST_F(ControlWindowTest, PaintHookReturningFalseSkipsTheControl) {
    plain->SetBackColor(0xFFFF0000);
    plain->paintHooks += MakeDelegate(&RefusePaint);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 30, 20), RGB(255, 255, 255));
}

TEST_F(ControlWindowTest, BorderNeedsALeftWidth) {
    plain->SetBorderColor(0xFFFF0000);
    plain->SetBorderSize(1);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 20), RGB(255, 0, 0));
    EXPECT_EQ(PixelAt(window(), 30, 10), RGB(255, 0, 0));
    plain->SetBorderSize(Rect(0, 1, 0, 1));
    Repaint(window());
    // The left width is 0: nothing at all, not even the top and bottom lines.
    EXPECT_EQ(PixelAt(window(), 30, 10), RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(window(), 30, 39), RGB(255, 255, 255));
}

TEST_F(ControlWindowTest, FocusBorderColourWhileFocused) {
    plain->SetBorderColor(0xFFFF0000);
    plain->SetFocusBorderColor(0xFF0000FF);
    plain->SetBorderSize(1);
    manager().FocusControl(plain, false);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 20), RGB(0, 0, 255));
    manager().FocusControl(second, false);
    Repaint(window());
    EXPECT_EQ(PixelAt(window(), 10, 20), RGB(255, 0, 0));
}
