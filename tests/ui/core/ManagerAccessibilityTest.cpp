// The window manager for keyboard and screen-reader users: the accessible object of
// the client area (children, roles, names, states, values, places, hit test,
// navigation, default actions run after the call, a disconnected object once the
// window is gone), the reading order of a right-to-left skin for Tab and for the
// tree, and the focus rectangle that appears once the keyboard is used.

#include <gtest/gtest.h>
#include <oleacc.h>

#include <string>

#include "UiTestDoubles.h"
#include "ui/control/Control.h"
#include "ui/control/Container.h"
#include "ui/control/Option.h"
#include "ui/core/SkinBuilder.h"
#include "ui/core/WindowManager.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

const wchar_t kRow[] = LR"(
  <HorizontalLayout height="40">
    <Button name="first" width="80" text="First" />
    <CheckBox name="box" width="80" text="Box" selected="true" />
    <Button name="link" width="80" showhtml="true" text="{a target}Read{/a}" />
    <Control name="deco" width="40" bkcolor="#FF000000" />
  </HorizontalLayout>
  <HorizontalLayout height="40">
    <Label name="caption" width="100" text="Caption" />
    <Edit name="path" width="120" accname="Folder" text="C:\x" readonly="true" />
    <Progress name="bar" width="80" height="10" value="30" />
  </HorizontalLayout>
  <Button name="hidden" height="20" text="Hidden" visible="false" />)";

// A child id as IAccessible takes it.
struct Child : VARIANT {
    explicit Child(long id) : VARIANT{} {
        vt = VT_I4;
        lVal = id;
    }
};

// A string IAccessible hands out, freed when the test is done with it.
struct Text {
    BSTR value = nullptr;
    ~Text() { SysFreeString(value); }
    BSTR* operator&() { return &value; }
    std::wstring Get() const { return value != nullptr ? std::wstring(value, SysStringLen(value)) : std::wstring(); }
};

class ManagerAccessibilityTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }
    void Open(const wchar_t* windowAttributes = L"") {
        ASSERT_NE(host.Create(400, 120), nullptr);
        std::wstring markup = std::wstring(L"<Window ") + windowAttributes +
                              L"><VerticalLayout bkcolor=\"#FFFFFFFF\">" + kRow + L"</VerticalLayout></Window>";
        CSkinBuilder builder;
        CControlUI* root = builder.Build(markup.c_str(), nullptr, nullptr, &manager(), nullptr);
        ASSERT_NE(root, nullptr);
        ASSERT_TRUE(manager().AttachRoot(root));
        Repaint();
        ASSERT_EQ(AccessibleObjectFromWindow(host.GetHWND(), static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                             reinterpret_cast<void**>(&object)),
                  S_OK);
    }
    void TearDown() override {
        if (object != nullptr) object->Release();
    }
    CWindowManagerUI& manager() { return host.manager; }
    CControlUI* Named(const wchar_t* name) { return manager().ControlNamed(name); }
    void Repaint() {
        InvalidateRect(host.GetHWND(), nullptr, FALSE);
        UpdateWindow(host.GetHWND());
        Pump();
    }
    long Role(long id) {
        VARIANT role;
        EXPECT_EQ(object->get_accRole(Child(id), &role), S_OK);
        return role.lVal;
    }
    long State(long id) {
        VARIANT state;
        EXPECT_EQ(object->get_accState(Child(id), &state), S_OK);
        return state.lVal;
    }
    std::wstring Name(long id) {
        Text name;
        object->get_accName(Child(id), &name);
        return name.Get();
    }
    // Non-white pixels on the line just inside the control's top edge.
    int MarksInsideTopEdge(CControlUI* control) {
        HDC dc = GetDC(host.GetHWND());
        const RECT& rect = control->GetRect();
        int marks = 0;
        for (int x = rect.left + 2; x < rect.right - 2; ++x) marks += GetPixel(dc, x, rect.top + 1) != RGB(255, 255, 255);
        ReleaseDC(host.GetHWND(), dc);
        return marks;
    }

    HostWindow host;
    IAccessible* object = nullptr;
};

TEST_F(ManagerAccessibilityTest, ChildrenAreTheControlsOnScreenWithTheirFacts) {
    Open();
    long count = 0;
    ASSERT_EQ(object->get_accChildCount(&count), S_OK);
    // The decoration and the hidden button are not read out.
    ASSERT_EQ(count, 6);
    const long roles[] = {ROLE_SYSTEM_PUSHBUTTON, ROLE_SYSTEM_CHECKBUTTON, ROLE_SYSTEM_LINK,
                          ROLE_SYSTEM_STATICTEXT, ROLE_SYSTEM_TEXT,        ROLE_SYSTEM_PROGRESSBAR};
    const wchar_t* names[] = {L"First", L"Box", L"Read", L"Caption", L"Folder", L""};
    for (long id = 1; id <= 6; ++id) {
        EXPECT_EQ(Role(id), roles[id - 1]) << id;
        EXPECT_EQ(Name(id), names[id - 1]) << id;
    }
    EXPECT_EQ(Role(CHILDID_SELF), ROLE_SYSTEM_CLIENT);
    EXPECT_EQ(State(2) & (STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE), STATE_SYSTEM_CHECKED | STATE_SYSTEM_FOCUSABLE);
    EXPECT_NE(State(3) & STATE_SYSTEM_LINKED, 0);
    EXPECT_NE(State(5) & STATE_SYSTEM_READONLY, 0);
    EXPECT_EQ(State(4) & STATE_SYSTEM_FOCUSABLE, 0);
    Named(L"first")->SetEnabled(false);
    EXPECT_NE(State(1) & STATE_SYSTEM_UNAVAILABLE, 0);

    Text path, bar, told;
    EXPECT_EQ(object->get_accValue(Child(5), &path), S_OK);
    EXPECT_EQ(path.Get(), L"C:\\x");
    EXPECT_EQ(object->get_accValue(Child(6), &bar), S_OK);
    EXPECT_EQ(bar.Get(), L"30%");
    Named(L"bar")->SetAccessibleValue(L"55%");
    EXPECT_EQ(object->get_accValue(Child(6), &told), S_OK);
    EXPECT_EQ(told.Get(), L"55%");
    const wchar_t* actions[] = {L"Press", L"Uncheck", L"Jump"};
    for (long id = 1; id <= 3; ++id) {
        Text action;
        EXPECT_EQ(object->get_accDefaultAction(Child(id), &action), S_OK);
        EXPECT_EQ(action.Get(), actions[id - 1]);
    }

    long left = 0, top = 0, width = 0, height = 0;
    ASSERT_EQ(object->accLocation(&left, &top, &width, &height, Child(2)), S_OK);
    RECT box = Named(L"box")->GetRect();
    MapWindowPoints(host.GetHWND(), HWND_DESKTOP, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(left, box.left);
    EXPECT_EQ(top, box.top);
    EXPECT_EQ(width, 80);
    EXPECT_EQ(height, 40);

    // A child that is no longer there, or never was, is refused.
    Text name;
    EXPECT_EQ(object->get_accName(Child(7), &name), E_INVALIDARG);
    Named(L"caption")->SetVisible(false);
    EXPECT_EQ(object->get_accChildCount(&count), S_OK);
    EXPECT_EQ(count, 5);
}

TEST_F(ManagerAccessibilityTest, HitTestAndNavigationFindTheChildren) {
    Open();
    RECT box = Named(L"box")->GetRect();
    MapWindowPoints(host.GetHWND(), HWND_DESKTOP, reinterpret_cast<POINT*>(&box), 2);
    VARIANT hit;
    ASSERT_EQ(object->accHitTest((box.left + box.right) / 2, (box.top + box.bottom) / 2, &hit), S_OK);
    EXPECT_EQ(hit.vt, VT_I4);
    EXPECT_EQ(hit.lVal, 2);
    RECT deco = Named(L"deco")->GetRect();
    MapWindowPoints(host.GetHWND(), HWND_DESKTOP, reinterpret_cast<POINT*>(&deco), 2);
    ASSERT_EQ(object->accHitTest(deco.left + 5, deco.top + 5, &hit), S_OK);
    EXPECT_EQ(hit.lVal, CHILDID_SELF);
    EXPECT_EQ(object->accHitTest(deco.left - 1000, deco.top, &hit), S_FALSE);

    VARIANT end;
    ASSERT_EQ(object->accNavigate(NAVDIR_FIRSTCHILD, Child(CHILDID_SELF), &end), S_OK);
    EXPECT_EQ(end.lVal, 1);
    ASSERT_EQ(object->accNavigate(NAVDIR_NEXT, Child(1), &end), S_OK);
    EXPECT_EQ(end.lVal, 2);
    ASSERT_EQ(object->accNavigate(NAVDIR_LASTCHILD, Child(CHILDID_SELF), &end), S_OK);
    EXPECT_EQ(end.lVal, 6);
    EXPECT_EQ(object->accNavigate(NAVDIR_PREVIOUS, Child(1), &end), S_FALSE);
}

TEST_F(ManagerAccessibilityTest, DefaultActionsRunAfterTheCallReturns) {
    Open();
    auto* box = static_cast<COptionUI*>(Named(L"box"));
    ASSERT_EQ(object->accDoDefaultAction(Child(2)), S_OK);
    EXPECT_TRUE(box->IsSelected()) << "not during the caller's call";
    Pump();
    EXPECT_FALSE(box->IsSelected());
    // An action for a control destroyed before its turn does nothing.
    ASSERT_EQ(object->accDoDefaultAction(Child(2)), S_OK);
    static_cast<IContainerUI*>(box->GetParent()->CastTo(L"IContainer"))->Remove(box, false);
    manager().ForgetControl(box);
    Pump();
    EXPECT_EQ(object->accDoDefaultAction(Child(CHILDID_SELF)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Name(4), L"Folder");
    EXPECT_EQ(object->accDoDefaultAction(Child(4)), DISP_E_MEMBERNOTFOUND) << "an edit has no default action";
}

TEST_F(ManagerAccessibilityTest, AClientHoldingTheObjectAfterTheWindowIsGoneIsRefused) {
    Open();
    DestroyWindow(host.GetHWND());
    long count = 0;
    EXPECT_EQ(object->get_accChildCount(&count), RPC_E_DISCONNECTED);
    Text name;
    EXPECT_EQ(object->get_accName(Child(1), &name), RPC_E_DISCONNECTED);
}

TEST_F(ManagerAccessibilityTest, RightToLeftReadsEachRowFromTheRight) {
    Open(L"direction=\"rtl\"");
    const wchar_t* names[] = {L"Read", L"Box", L"First", L"", L"Folder", L"Caption"};
    for (long id = 1; id <= 6; ++id) EXPECT_EQ(Name(id), names[id - 1]) << id;
    manager().FocusControl(nullptr);
    manager().MoveFocusByTab(true);
    EXPECT_EQ(manager().FocusedControl(), Named(L"link"));
    manager().MoveFocusByTab(true);
    EXPECT_EQ(manager().FocusedControl(), Named(L"box"));
    manager().MoveFocusByTab(true);
    EXPECT_EQ(manager().FocusedControl(), Named(L"first"));
    manager().MoveFocusByTab(false);
    EXPECT_EQ(manager().FocusedControl(), Named(L"box"));
}

TEST_F(ManagerAccessibilityTest, TheFocusRectangleAppearsOnceTheKeyboardIsUsed) {
    Open();
    manager().FocusControl(Named(L"first"));
    Repaint();
    EXPECT_EQ(MarksInsideTopEdge(Named(L"first")), 0) << "a click or the program moved the focus: no rectangle";
    EXPECT_FALSE(manager().ShowsFocusCues());
    MSG tab = {host.GetHWND(), WM_KEYDOWN, VK_TAB, 0, GetTickCount(), {0, 0}};
    EXPECT_TRUE(CWindowManagerUI::PreDispatch(&tab));
    Repaint();
    EXPECT_EQ(manager().FocusedControl(), Named(L"box"));
    EXPECT_GT(MarksInsideTopEdge(Named(L"box")), 10);
    EXPECT_EQ(MarksInsideTopEdge(Named(L"first")), 0) << "the old rectangle is gone";
}

}  // namespace
