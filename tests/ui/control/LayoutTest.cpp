// Containers and layouts: the child list, the vertical and horizontal layout
// arithmetic (shares, remainders, limits, alignment), floating children, the tab
// layout's selection rules and scrolling.

#include <gtest/gtest.h>

#include "ControlTestHost.h"
#include "ui/control/Button.h"
#include "ui/control/Container.h"
#include "ui/control/HorizontalLayout.h"
#include "ui/control/ScrollBar.h"
#include "ui/control/TabLayout.h"
#include "ui/control/VerticalLayout.h"

using namespace Veneer;
using namespace ControlTest;

namespace {

// A child that reports a chosen measured size, as a label with text would.
class SizedControl : public CControlUI {
public:
    explicit SizedControl(SIZE measured) : measured_(measured) {}
    SIZE MeasureSize(SIZE) override { return measured_; }

private:
    SIZE measured_;
};

template <class Layout>
struct Tree {
    Layout* layout = new Layout;
    ~Tree() { layout->Destroy(); }
    template <class Child = CControlUI>
    Child* Add(const wchar_t* attributes = L"") {
        auto* child = new Child;
        child->ApplyAttributeString(attributes);
        layout->Add(child);
        return child;
    }
    CControlUI* AddSized(SIZE measured) {
        auto* child = new SizedControl(measured);
        layout->Add(child);
        return child;
    }
};

int Height(const CControlUI* c) { return c->GetRect().bottom - c->GetRect().top; }
int Width(const CControlUI* c) { return c->GetRect().right - c->GetRect().left; }


}  // namespace

// ---- vertical layout -----------------------------------------------------------------

TEST(VerticalLayout, FixedChildrenKeepTheirHeightsAndTheStretchableOneTakesTheRest) {
    Tree<CVerticalLayoutUI> tree;
    auto* top = tree.Add(L"height=\"1\"");
    auto* middle = tree.Add();
    auto* bottom = tree.Add(L"height=\"75\"");
    tree.layout->Place(Rect(0, 0, 648, 358), false);
    EXPECT_EQ(top->GetRect(), Rect(0, 0, 648, 1));
    EXPECT_EQ(middle->GetRect(), Rect(0, 1, 648, 283));
    EXPECT_EQ(Height(middle), 282);
    EXPECT_EQ(bottom->GetRect(), Rect(0, 283, 648, 358));
}

TEST(VerticalLayout, TheLastStretchableChildTakesTheRemainder) {
    Tree<CVerticalLayoutUI> tree;
    auto* first = tree.Add();
    auto* second = tree.Add();
    tree.layout->Place(Rect(0, 0, 10, 101), false);
    EXPECT_EQ(Height(first), 50);
    EXPECT_EQ(Height(second), 51);
    EXPECT_EQ(second->GetRect().bottom, 101);
}

TEST(VerticalLayout, MinimumHeightWinsOverTheShareEvenWhenItOverflows) {
    Tree<CVerticalLayoutUI> tree;
    auto* first = tree.Add(L"minheight=\"80\"");
    auto* second = tree.Add();
    tree.layout->Place(Rect(0, 0, 10, 100), false);
    EXPECT_EQ(Height(first), 80);
    EXPECT_EQ(second->GetRect().top, 80);
    EXPECT_GE(Height(second), 0);
}

TEST(VerticalLayout, MeasuredHeightMakesAChildFixed) {
    Tree<CVerticalLayoutUI> tree;
    auto* measured = tree.AddSized(SIZE{0, 20});
    auto* rest = tree.Add();
    tree.layout->Place(Rect(0, 0, 100, 100), false);
    EXPECT_EQ(Height(measured), 20);
    EXPECT_EQ(Height(rest), 80);
}

TEST(VerticalLayout, ChildAlignCentreAndRight) {
    Tree<CVerticalLayoutUI> tree;
    auto* centred = tree.Add(L"width=\"300\" height=\"10\"");
    tree.layout->ApplyAttribute(L"childalign", L"center");
    tree.layout->Place(Rect(0, 0, 648, 100), false);
    EXPECT_EQ(centred->GetRect().left, 174);
    EXPECT_EQ(Width(centred), 300);
    tree.layout->ApplyAttribute(L"childalign", L"right");
    centred->ApplyAttribute(L"padding", L"0,0,8,0");
    tree.layout->Place(Rect(0, 0, 648, 100), false);
    EXPECT_EQ(centred->GetRect().right, 640);
    tree.layout->ApplyAttribute(L"childalign", L"middle");  // unknown: unchanged
    EXPECT_EQ(tree.layout->GetChildAlign(), UINT{DT_RIGHT});
}

TEST(VerticalLayout, PaddingInsetAndChildPadding) {
    Tree<CVerticalLayoutUI> tree;
    tree.layout->ApplyAttributeString(L"inset=\"5,6,7,8\" childpadding=\"4\"");
    auto* first = tree.Add(L"height=\"10\" padding=\"1,2,3,4\"");
    auto* second = tree.Add();
    tree.layout->Place(Rect(0, 0, 100, 100), false);
    EXPECT_EQ(first->GetRect(), Rect(6, 8, 90, 18));
    // 86 inner height - (2 + 10 + 4) - 4 gap = 66 left for the second child.
    EXPECT_EQ(second->GetRect(), Rect(5, 26, 93, 92));
}

TEST(VerticalLayout, NegativeChildPaddingIsZero) {
    Tree<CVerticalLayoutUI> tree;
    tree.layout->SetChildPadding(-5);
    EXPECT_EQ(tree.layout->GetChildPadding(), 0);
}

TEST(VerticalLayout, HiddenAndFloatingChildrenTakeNoShare) {
    Tree<CVerticalLayoutUI> tree;
    auto* hidden = tree.Add(L"visible=\"false\"");
    auto* floating = tree.Add(L"float=\"true\" pos=\"10,10,30,30\"");
    auto* rest = tree.Add();
    tree.layout->Place(Rect(100, 50, 300, 150), false);
    EXPECT_EQ(rest->GetRect(), Rect(100, 50, 300, 150));
    EXPECT_EQ(floating->GetRect(), Rect(110, 60, 130, 80));
    EXPECT_EQ(hidden->GetRect(), Rect(0, 0, 0, 0));
}

// ---- horizontal layout -----------------------------------------------------------------

class ButtonRow : public ::testing::Test {
protected:
    Tree<CHorizontalLayoutUI> tree;
    CControlUI* left = tree.Add<CHorizontalLayoutUI>();
    CControlUI* install = tree.Add<CButtonUI>(L"width=\"168\"");
    CControlUI* start = tree.Add<CButtonUI>(L"width=\"168\"");
    CControlUI* right = tree.Add<CHorizontalLayoutUI>();
};

TEST_F(ButtonRow, TwoButtonsAreCentredBetweenTwoSpacers) {
    tree.layout->Place(Rect(0, 0, 648, 46), false);
    EXPECT_EQ(Width(left), 156);
    EXPECT_EQ(install->GetRect(), Rect(156, 0, 324, 46));
    EXPECT_EQ(start->GetRect(), Rect(324, 0, 492, 46));
    EXPECT_EQ(right->GetRect(), Rect(492, 0, 648, 46));
}

TEST_F(ButtonRow, AHiddenButtonGivesItsRoomToTheSpacers) {
    tree.layout->Place(Rect(0, 0, 648, 46), false);
    start->SetVisible(false);
    tree.layout->Place(Rect(0, 0, 648, 46), false);
    EXPECT_EQ(Width(left), 240);
    EXPECT_EQ(install->GetRect().left, 240);
    EXPECT_EQ(Width(right), 240);
}

TEST_F(ButtonRow, TheOddPixelGoesToTheLastSpacer) {
    tree.layout->Place(Rect(0, 0, 649, 46), false);
    EXPECT_EQ(Width(left), 156);
    EXPECT_EQ(Width(right), 157);
    EXPECT_EQ(right->GetRect().right, 649);
}

TEST(HorizontalLayout, AChildWithoutWidthStretchesWhateverItMeasures) {
    Tree<CHorizontalLayoutUI> tree;
    auto* measured = tree.AddSized(SIZE{50, 20});
    auto* other = tree.Add();
    tree.layout->Place(Rect(0, 0, 100, 30), false);
    EXPECT_EQ(Width(measured), 50);
    EXPECT_EQ(Width(other), 50);
    EXPECT_EQ(Height(measured), 30);
}

TEST(HorizontalLayout, ChildVerticalAlignment) {
    Tree<CHorizontalLayoutUI> tree;
    auto* child = tree.Add(L"width=\"10\" height=\"20\"");
    tree.layout->ApplyAttribute(L"childvalign", L"vcenter");
    tree.layout->Place(Rect(0, 0, 100, 60), false);
    EXPECT_EQ(child->GetRect(), Rect(0, 20, 10, 40));
    tree.layout->ApplyAttribute(L"childvalign", L"bottom");
    child->ApplyAttribute(L"padding", L"0,0,0,5");
    tree.layout->Place(Rect(0, 0, 100, 60), false);
    EXPECT_EQ(child->GetRect(), Rect(0, 35, 10, 55));
}

TEST(HorizontalLayout, WidthLimitsClampTheShare) {
    Tree<CHorizontalLayoutUI> tree;
    auto* capped = tree.Add(L"maxwidth=\"30\"");
    auto* other = tree.Add();
    tree.layout->Place(Rect(0, 0, 100, 10), false);
    EXPECT_EQ(Width(capped), 30);
    EXPECT_EQ(other->GetRect().left, 30);
}

// ---- plain container and the child list -------------------------------------------------

TEST(Container, ChildrenOverlapOverTheInnerRectangle) {
    Tree<CContainerUI> tree;
    tree.layout->ApplyAttribute(L"inset", L"2,3,4,5");
    auto* full = tree.Add();
    auto* limited = tree.Add(L"maxwidth=\"20\" maxheight=\"10\"");
    tree.layout->Place(Rect(0, 0, 100, 50), false);
    EXPECT_EQ(full->GetRect(), Rect(2, 3, 96, 45));
    EXPECT_EQ(limited->GetRect(), Rect(2, 3, 22, 13));
    EXPECT_EQ(tree.layout->GetClientRect(), Rect(2, 3, 96, 45));
}

TEST(Container, ListOperationsRefuseBadArguments) {
    Tree<CContainerUI> tree;
    auto* a = tree.Add();
    auto* b = tree.Add();
    EXPECT_FALSE(tree.layout->Add(nullptr));
    CControlUI stray;
    EXPECT_FALSE(tree.layout->AddAt(&stray, 3));
    EXPECT_FALSE(tree.layout->AddAt(&stray, -1));
    EXPECT_FALSE(tree.layout->Remove(&stray));
    EXPECT_FALSE(tree.layout->RemoveAt(5));
    EXPECT_EQ(tree.layout->GetItemAt(2), nullptr);
    EXPECT_EQ(tree.layout->GetItemIndex(&stray), -1);
    // An index outside the list keeps the child where it was.
    EXPECT_FALSE(tree.layout->SetItemIndex(a, 2));
    EXPECT_EQ(tree.layout->GetItemAt(0), a);
    EXPECT_TRUE(tree.layout->SetItemIndex(a, 1));
    EXPECT_EQ(tree.layout->GetItemAt(0), b);
    EXPECT_EQ(tree.layout->GetItemAt(1), a);
}

TEST(Container, MoveItemRun) {
    Tree<CContainerUI> tree;
    CControlUI* items[5];
    for (auto& item : items) item = tree.Add();
    EXPECT_FALSE(tree.layout->MoveItemRun(items[3], 3, 0));  // would pass the end
    EXPECT_FALSE(tree.layout->MoveItemRun(nullptr, 1, 0));
    EXPECT_TRUE(tree.layout->MoveItemRun(items[1], 2, 1));   // already there
    EXPECT_TRUE(tree.layout->MoveItemRun(items[0], 2, 3));
    EXPECT_EQ(tree.layout->GetItemAt(0), items[2]);
    EXPECT_EQ(tree.layout->GetItemAt(3), items[0]);
    EXPECT_EQ(tree.layout->GetItemAt(4), items[1]);
}

namespace {
int g_destroyed = 0;
bool OnDestroyed(void*) {
    ++g_destroyed;
    return true;
}
}  // namespace

TEST(Container, RemovedChildrenAreDeletedUnlessKept) {
    g_destroyed = 0;
    Tree<CContainerUI> tree;
    auto* kept = tree.Add();
    auto* dropped = tree.Add();
    kept->destroyHooks += MakeDelegate(&OnDestroyed);
    dropped->destroyHooks += MakeDelegate(&OnDestroyed);
    EXPECT_TRUE(tree.layout->Remove(kept, true));
    EXPECT_EQ(g_destroyed, 0);
    EXPECT_TRUE(tree.layout->Remove(dropped));
    EXPECT_EQ(g_destroyed, 1);
    kept->Destroy();
    EXPECT_EQ(g_destroyed, 2);
}

TEST(Container, CastsToItsInterfaceAndItsWords) {
    Tree<CVerticalLayoutUI> tree;
    CControlUI* control = tree.layout;
    EXPECT_EQ(control->CastTo(L"IContainer"), static_cast<IContainerUI*>(tree.layout));
    EXPECT_EQ(control->CastTo(L"Container"), control);
    EXPECT_EQ(control->CastTo(L"VerticalLayout"), control);
    EXPECT_EQ(control->CastTo(L"HorizontalLayout"), nullptr);
    EXPECT_STREQ(control->GetTypeName(), L"VerticalLayout");
}

TEST(Container, HidingTheContainerHidesItsChildren) {
    Tree<CVerticalLayoutUI> tree;
    auto* child = tree.Add();
    tree.layout->SetVisible(false);
    EXPECT_FALSE(child->IsVisible());
    auto* late = tree.Add();
    EXPECT_FALSE(late->IsVisible());
    tree.layout->SetVisible(true);
    EXPECT_TRUE(child->IsVisible());
    EXPECT_TRUE(late->IsVisible());
}

// ---- scrolling ---------------------------------------------------------------------------

TEST(Container, OverflowShowsTheScrollBarAndScrollingMovesTheChildren) {
    Tree<CVerticalLayoutUI> tree;
    tree.layout->ApplyAttribute(L"vscrollbar", L"true");
    auto* first = tree.Add(L"height=\"80\"");
    tree.Add(L"height=\"80\"");
    tree.layout->Place(Rect(0, 0, 100, 100), false);
    CScrollBarUI* bar = tree.layout->GetVerticalScrollBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(bar->GetScrollRange(), 60);
    EXPECT_EQ(first->GetRect().right, 100 - CScrollBarUI::kDefaultThickness);
    tree.layout->SetScrollOffset(SIZE{0, 25});
    EXPECT_EQ(first->GetRect().top, -25);
    tree.layout->ScrollEnd();
    EXPECT_EQ(first->GetRect().top, -60);
    tree.layout->ScrollHome();
    EXPECT_EQ(first->GetRect().top, 0);
}

TEST(Container, NoOverflowNoScrollBar) {
    Tree<CVerticalLayoutUI> tree;
    tree.layout->ApplyAttribute(L"vscrollbar", L"true");
    auto* only = tree.Add(L"height=\"20\"");
    tree.layout->Place(Rect(0, 0, 100, 100), false);
    EXPECT_FALSE(tree.layout->GetVerticalScrollBar()->IsVisible());
    EXPECT_EQ(only->GetRect().right, 100);
}

class ScrollWindowTest : public WindowTest {};

TEST_F(ScrollWindowTest, LineStepIsTheFontHeightAndEightUnlessTheBarSetsOne) {
    auto* layout = new CVerticalLayoutUI;
    layout->ApplyAttribute(L"vscrollbar", L"true");
    for (int i = 0; i < 4; ++i) {
        auto* child = new CControlUI;
        child->ApplyAttribute(L"height", L"80");
        layout->Add(child);
    }
    Attach(layout);
    ASSERT_TRUE(layout->GetVerticalScrollBar()->IsVisible());
    const int fontHeight = manager().StandardFontRecord()->metrics.tmHeight;
    ASSERT_GT(fontHeight, 0);
    layout->ScrollLineDown();
    EXPECT_EQ(layout->GetScrollOffset().cy, fontHeight + 8);
    layout->GetVerticalScrollBar()->ApplyAttribute(L"linesize", L"5");
    layout->ScrollLineUp();
    EXPECT_EQ(layout->GetScrollOffset().cy, fontHeight + 8 - 5);
}

// ---- floating children -------------------------------------------------------------------

class FloatWindowTest : public WindowTest {};

TEST_F(FloatWindowTest, FloatingChildPaintsOverTheInsetAndNonFloatingOnesDoNot) {
    auto* box = new CContainerUI;
    box->ApplyAttributeString(L"inset=\"20,20,20,20\" bkcolor=\"#FFFFFFFF\"");
    auto* flowing = new CControlUI;
    flowing->ApplyAttributeString(L"bkcolor=\"#FF00FF00\"");
    auto* floating = new CControlUI;
    floating->ApplyAttributeString(L"float=\"true\" pos=\"0,0,40,40\" bkcolor=\"#FFFF0000\"");
    box->Add(flowing);
    box->Add(floating);
    Attach(box, 200, 100);
    EXPECT_EQ(PixelAt(window(), 5, 5), RGB(255, 0, 0));      // over the inset
    EXPECT_EQ(PixelAt(window(), 30, 30), RGB(255, 0, 0));    // over the flowing child
    EXPECT_EQ(PixelAt(window(), 190, 90), RGB(255, 255, 255));
    EXPECT_EQ(PixelAt(window(), 100, 50), RGB(0, 255, 0));
}

// ---- tab layout ------------------------------------------------------------------------

TEST(TabLayout, TheFirstVisibleChildIsShownAndLaterOnesHidden) {
    Tree<CTabLayoutUI> tree;
    auto* home = tree.Add();
    auto* progress = tree.Add();
    EXPECT_EQ(tree.layout->GetSelectedIndex(), 0);
    EXPECT_TRUE(home->IsVisible());
    EXPECT_FALSE(progress->IsVisible());
}

TEST(TabLayout, InsertingBeforeTheSelectionMovesItsIndex) {
    Tree<CTabLayoutUI> tree;
    tree.Add();
    auto* second = new CControlUI;
    EXPECT_TRUE(tree.layout->AddAt(second, 0));
    EXPECT_EQ(tree.layout->GetSelectedIndex(), 1);
    EXPECT_TRUE(second->IsVisible());  // inserted before the selection: left as it is
    auto* after = new CControlUI;
    EXPECT_TRUE(tree.layout->AddAt(after, 2));
    EXPECT_FALSE(after->IsVisible());
}

TEST(TabLayout, RemovingTheSelectedPageShowsPageZero) {
    Tree<CTabLayoutUI> tree;
    auto* first = tree.Add();
    auto* second = tree.Add();
    auto* third = tree.Add();
    ASSERT_TRUE(tree.layout->SelectPage(2, false));
    EXPECT_TRUE(tree.layout->Remove(third));
    EXPECT_EQ(tree.layout->GetSelectedIndex(), 0);
    EXPECT_TRUE(first->IsVisible());
    EXPECT_FALSE(second->IsVisible());
    ASSERT_TRUE(tree.layout->SelectPage(1, false));
    EXPECT_TRUE(tree.layout->Remove(first));
    EXPECT_EQ(tree.layout->GetSelectedIndex(), 0);  // before the selection: it moves down
    tree.layout->RemoveAll();
    EXPECT_EQ(tree.layout->GetSelectedIndex(), -1);
}

TEST(TabLayout, OutOfRangeSelectionIsRefused) {
    Tree<CTabLayoutUI> tree;
    tree.Add();
    EXPECT_FALSE(tree.layout->SelectPage(1));
    EXPECT_FALSE(tree.layout->SelectPage(-1));
    EXPECT_EQ(tree.layout->GetSelectedIndex(), 0);
}

TEST(TabLayout, OnlyTheSelectedPageIsPlacedInsideInsetAndPadding) {
    Tree<CTabLayoutUI> tree;
    tree.layout->ApplyAttribute(L"inset", L"1,2,3,4");
    auto* first = tree.Add(L"padding=\"5,5,5,5\"");
    auto* second = tree.Add(L"maxheight=\"10\"");
    tree.layout->Place(Rect(0, 0, 100, 50), false);
    EXPECT_EQ(first->GetRect(), Rect(6, 7, 92, 41));
    EXPECT_EQ(second->GetRect(), Rect(0, 0, 0, 0));
    tree.layout->SelectPage(1, false);
    tree.layout->Place(Rect(0, 0, 100, 50), false);
    EXPECT_EQ(second->GetRect(), Rect(1, 2, 97, 12));
}

class TabWindowTest : public WindowTest {
protected:
    void SetUp() override {
        tab = new CTabLayoutUI;
        home = new CVerticalLayoutUI;
        progress = new CVerticalLayoutUI;
        tab->Add(home);
        tab->Add(progress);
        Attach(tab);
    }
    CTabLayoutUI* tab = nullptr;
    CControlUI* home = nullptr;
    CControlUI* progress = nullptr;
};

TEST_F(TabWindowTest, SelectPageShowsFocusesAndReportsOnce) {
    ASSERT_TRUE(tab->SelectPage(1, true));
    EXPECT_TRUE(progress->IsVisible());
    EXPECT_FALSE(home->IsVisible());
    EXPECT_EQ(manager().FocusedControl(), progress);
    ASSERT_EQ(recorder.Count(L"tabselect"), 1);
    EXPECT_EQ(recorder.got.back().wParam, 1u);
    EXPECT_EQ(recorder.got.back().lParam, 0);
    EXPECT_EQ(recorder.got.back().sender, tab);
    EXPECT_TRUE(tab->SelectPage(1, true));
    EXPECT_EQ(recorder.Count(L"tabselect"), 1);
    Repaint(window());
    EXPECT_EQ(progress->GetRect(), Rect(0, 0, 200, 100));
}

TEST_F(TabWindowTest, SilentSelectionAndTheSelectedIdAttribute) {
    tab->SelectPage(1, false);
    EXPECT_EQ(recorder.Count(L"tabselect"), 0);
    tab->ApplyAttribute(L"selectedid", L"0");
    EXPECT_EQ(tab->GetSelectedIndex(), 0);
    EXPECT_EQ(recorder.Count(L"tabselect"), 1);
    EXPECT_STREQ(tab->CustomAttribute(L"selectedid"), L"0");
}

// ---- separators --------------------------------------------------------------------------

class SeparatorTest : public WindowTest {
protected:
    void SetUp() override {
        auto* root = new CVerticalLayoutUI;
        top = new CVerticalLayoutUI;
        top->ApplyAttributeString(L"height=\"40\" sepheight=\"4\" minheight=\"20\" maxheight=\"80\"");
        root->Add(top);
        root->Add(new CControlUI);
        Attach(root);
    }
    void Drag(int fromY, int toY) {
        Mouse(window(), WM_MOUSEMOVE, 50, fromY);
        Mouse(window(), WM_LBUTTONDOWN, 50, fromY);
        Mouse(window(), WM_MOUSEMOVE, 50, toY);
    }
    CVerticalLayoutUI* top = nullptr;
};

TEST_F(SeparatorTest, ImmediateBandFollowsTheMouse) {
    top->ApplyAttribute(L"sepimm", L"true");
    EXPECT_EQ(top->GetInputFlags(), UINT{kInputSetCursor});
    Drag(38, 58);
    EXPECT_EQ(top->GetFixedHeight(), 60);
    Mouse(window(), WM_LBUTTONUP, 50, 58);
    EXPECT_EQ(top->GetFixedHeight(), 60);
}

TEST_F(SeparatorTest, DeferredBandAppliesOnReleaseWithinTheLimits) {
    Drag(38, 58);
    EXPECT_EQ(top->GetFixedHeight(), 40);
    Mouse(window(), WM_MOUSEMOVE, 50, 98);  // beyond the maximum: not followed
    Mouse(window(), WM_LBUTTONUP, 50, 98);
    EXPECT_EQ(top->GetFixedHeight(), 60);
    Repaint(window());
    EXPECT_EQ(top->GetRect().bottom, 60);
}

TEST_F(SeparatorTest, PressOutsideTheBandIsNoDrag) {
    Drag(10, 30);
    Mouse(window(), WM_LBUTTONUP, 50, 30);
    EXPECT_EQ(top->GetFixedHeight(), 40);
}
