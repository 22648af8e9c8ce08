// The native window wrapper with real windows: class registration (own and
// cloned), the procedures' binding of object and window, the modal loop,
// centring, client sizing and icons.

#include "ui/core/WindowWnd.h"

#include <gtest/gtest.h>

#include <vector>

#include "ui/core/WindowManager.h"

using namespace Veneer;

namespace {

class PlainWindow : public CWindowWnd {
public:
    std::vector<UINT> messages;
    HWND destroyedWindow = nullptr;
    bool closeDestroys = true;

    ~PlainWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    const wchar_t* WindowClassName() const override { return L"VeneerPlainWindow"; }
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return CWindowWnd::ProcessMessage(message, wParam, lParam);
    }
    void AfterDestroy(HWND window) override { destroyedWindow = window; }
    HWND Create(HWND owner = nullptr, DWORD style = WS_POPUP, int width = 200, int height = 100) {
        return Open(owner, L"plain", style, 0, 10, 10, width, height);
    }
};

class ClonedEdit : public CWindowWnd {
public:
    ~ClonedEdit() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    const wchar_t* WindowClassName() const override { return L"VeneerClonedEdit"; }
    const wchar_t* BaseClassName() const override { return L"EDIT"; }
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CHAR && wParam == L'x') return 0;  // swallowed before the edit sees it
        return CWindowWnd::ProcessMessage(message, wParam, lParam);
    }
};

class MissingBase : public CWindowWnd {
public:
    const wchar_t* WindowClassName() const override { return L"VeneerMissingBase"; }
    const wchar_t* BaseClassName() const override { return L"NoSuchClassAnywhere"; }
};

class WindowWndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }
};

RECT WorkAreaOf(HWND window) {
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info);
    return info.rcWork;
}

RECT WindowRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

// ---- registration and procedures ---------------------------------------------------

TEST_F(WindowWndTest, OpenRegistersTheClassAndBindsTheObjectFromNcCreate) {
    PlainWindow window;
    HWND handle = window.Create();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(window.GetHWND(), handle);
    ASSERT_FALSE(window.messages.empty());
    // WM_GETMINMAXINFO comes before WM_NCCREATE and goes to the default procedure.
    EXPECT_EQ(window.messages.front(), static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(GetWindowLongPtrW(handle, GWLP_USERDATA), reinterpret_cast<LONG_PTR>(&window));
    wchar_t name[64];
    GetClassNameW(handle, name, 64);
    EXPECT_STREQ(name, L"VeneerPlainWindow");
    WNDCLASSEXW info = {};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"VeneerPlainWindow", &info));
    EXPECT_EQ(info.hbrBackground, nullptr);
    EXPECT_EQ(info.hCursor, LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(WindowWndTest, ASecondOpenOfARegisteredClassSucceeds) {
    PlainWindow first;
    PlainWindow second;
    ASSERT_NE(first.Create(), nullptr);
    ASSERT_NE(second.Create(), nullptr);
    EXPECT_NE(first.GetHWND(), second.GetHWND());
}

TEST_F(WindowWndTest, DestructionUnbindsAndCallsAfterDestroy) {
    PlainWindow window;
    HWND handle = window.Create();
    ASSERT_NE(handle, nullptr);
    DestroyWindow(handle);
    EXPECT_EQ(window.GetHWND(), nullptr);
    EXPECT_EQ(window.destroyedWindow, handle);
    // WM_NCDESTROY itself goes to the previous procedure, not to ProcessMessage.
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_DESTROY));
}

TEST_F(WindowWndTest, AClonedClassKeepsItsBaseBehaviourAndFindsTheObjectThroughAProperty) {
    ClonedEdit edit;
    HWND handle = edit.Open(nullptr, L"start", WS_POPUP, 0, 0, 0, 120, 24);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GetPropW(handle, L"WndX"), &edit);
    wchar_t text[32] = {};
    GetWindowTextW(handle, text, 32);
    EXPECT_STREQ(text, L"start");
    SendMessageW(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"ab"));
    SendMessageW(handle, EM_SETSEL, 2, 2);
    SendMessageW(handle, WM_CHAR, L'x', 0);
    SendMessageW(handle, WM_CHAR, L'c', 0);
    GetWindowTextW(handle, text, 32);
    EXPECT_STREQ(text, L"abc");
    DestroyWindow(handle);
    EXPECT_EQ(edit.GetHWND(), nullptr);
}

TEST_F(WindowWndTest, CloningAClassThatDoesNotExistFails) {
    MissingBase window;
    EXPECT_EQ(window.Open(nullptr, L"x", WS_POPUP, 0), nullptr);
}

// ---- modal loop ----------------------------------------------------------------------

TEST_F(WindowWndTest, RunModalReturnsTheCloseCodeAndReenablesTheOwner) {
    PlainWindow owner;
    ASSERT_NE(owner.Create(nullptr, WS_POPUP | WS_VISIBLE), nullptr);
    PlainWindow dialog;
    ASSERT_NE(dialog.Create(owner.GetHWND()), nullptr);
    // Checked from inside the loop: the owner is disabled while the dialog runs.
    static HWND ownerWindow;
    static bool ownerDisabledMeanwhile;
    ownerWindow = owner.GetHWND();
    ownerDisabledMeanwhile = false;
    struct Probe {
        static void CALLBACK Tick(HWND window, UINT, UINT_PTR, DWORD) {
            KillTimer(window, 1);
            ownerDisabledMeanwhile = !IsWindowEnabled(ownerWindow);
            reinterpret_cast<PlainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA))->PostClose(7);
        }
    };
    SetTimer(dialog.GetHWND(), 1, 20, Probe::Tick);
    UINT code = dialog.RunModal();
    EXPECT_EQ(code, 7u);
    EXPECT_TRUE(ownerDisabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(owner.GetHWND()));
    EXPECT_FALSE(IsWindow(dialog.destroyedWindow));
    EXPECT_EQ(dialog.GetHWND(), nullptr);
}

TEST_F(WindowWndTest, RunModalEndsOnQuitAndPostsTheQuitAgain) {
    PlainWindow window;
    ASSERT_NE(window.Create(), nullptr);
    PostQuitMessage(5);
    EXPECT_EQ(window.RunModal(), 0u);
    EXPECT_NE(window.GetHWND(), nullptr);  // the window is still there
    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 5u);
}

// ---- geometry ------------------------------------------------------------------------

TEST_F(WindowWndTest, CenterOnOwnerUsesHalvesOfTheOwnersRectangle) {
    PlainWindow owner;
    ASSERT_NE(owner.Create(nullptr, WS_POPUP | WS_VISIBLE, 401, 301), nullptr);
    SetWindowPos(owner.GetHWND(), nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlainWindow window;
    ASSERT_NE(window.Create(owner.GetHWND(), WS_POPUP, 101, 51), nullptr);
    window.CenterOnOwner();
    RECT rect = WindowRect(window.GetHWND());
    EXPECT_EQ(rect.left, (100 + 501) / 2 - 101 / 2);
    EXPECT_EQ(rect.top, (100 + 401) / 2 - 51 / 2);
    EXPECT_EQ(rect.right - rect.left, 101);  // size unchanged
}

TEST_F(WindowWndTest, CenterOnOwnerIsClampedIntoTheWorkArea) {
    PlainWindow owner;
    ASSERT_NE(owner.Create(nullptr, WS_POPUP | WS_VISIBLE, 100, 100), nullptr);
    RECT work = WorkAreaOf(owner.GetHWND());
    SetWindowPos(owner.GetHWND(), nullptr, work.right - 60, work.top - 40, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PlainWindow window;
    ASSERT_NE(window.Create(owner.GetHWND(), WS_POPUP, 300, 200), nullptr);
    window.CenterOnOwner();
    RECT rect = WindowRect(window.GetHWND());
    EXPECT_EQ(rect.right, work.right);
    EXPECT_EQ(rect.top, work.top);
}

TEST_F(WindowWndTest, WithoutAnOwnerTheWindowIsCentredOnTheWorkArea) {
    PlainWindow window;
    ASSERT_NE(window.Create(nullptr, WS_POPUP, 300, 200), nullptr);
    window.CenterOnOwner();
    RECT work = WorkAreaOf(window.GetHWND());
    RECT rect = WindowRect(window.GetHWND());
    EXPECT_EQ(rect.left, (work.left + work.right) / 2 - 150);
    EXPECT_EQ(rect.top, (work.top + work.bottom) / 2 - 100);
}

TEST_F(WindowWndTest, ResizeClientAreaKeepsAnUnchangedDimensionAndThePosition) {
    PlainWindow window;
    ASSERT_NE(window.Create(nullptr, WS_OVERLAPPEDWINDOW, 300, 200), nullptr);
    RECT before = WindowRect(window.GetHWND());
    RECT client;
    GetClientRect(window.GetHWND(), &client);
    window.ResizeClientArea(250, -1);
    RECT after;
    GetClientRect(window.GetHWND(), &after);
    EXPECT_EQ(after.right, 250);
    EXPECT_EQ(after.bottom, client.bottom);
    RECT moved = WindowRect(window.GetHWND());
    EXPECT_EQ(moved.left, before.left);
    EXPECT_EQ(moved.top, before.top);
}

TEST_F(WindowWndTest, ShowWithoutFocusDoesNotActivate) {
    PlainWindow active;
    ASSERT_NE(active.Create(nullptr, WS_POPUP | WS_VISIBLE), nullptr);
    SetActiveWindow(active.GetHWND());
    PlainWindow window;
    ASSERT_NE(window.Create(), nullptr);
    window.Show(true, false);
    EXPECT_TRUE(IsWindowVisible(window.GetHWND()));
    EXPECT_EQ(GetActiveWindow(), active.GetHWND());
    window.Show(false);
    EXPECT_FALSE(IsWindowVisible(window.GetHWND()));
}

TEST_F(WindowWndTest, SetIconResourceSetsBothIcons) {
    PlainWindow window;
    ASSERT_NE(window.Create(), nullptr);
    window.SetIconResource(101);
    EXPECT_NE(window.Send(WM_GETICON, ICON_BIG), 0);
    EXPECT_NE(window.Send(WM_GETICON, ICON_SMALL), 0);
}

TEST_F(WindowWndTest, SendAndPostReachTheWindow) {
    PlainWindow window;
    ASSERT_NE(window.Create(), nullptr);
    window.messages.clear();
    window.Send(WM_USER + 5);
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_USER + 5));
    EXPECT_TRUE(window.Post(WM_USER + 6));
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_USER + 6));
}

}  // namespace
