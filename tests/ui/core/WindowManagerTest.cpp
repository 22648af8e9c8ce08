// The window manager with real windows and real messages: routing of mouse and
// keyboard input, focus and tab order, timers, notifications, painting, and the
// resource tables.

#include "ui/core/WindowManager.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "UiTestDoubles.h"
#include "ui/core/DrawEngine.h"

using namespace Veneer;
using namespace VeneerTest;

namespace {

constexpr UINT kNotifyMessage = WM_APP + 1;

struct Filter : IMessageFilterUI {
    UINT take = 0;  // the message this filter handles
    LRESULT answer = 0;
    int seen = 0;
    LRESULT FilterMessage(UINT message, WPARAM, LPARAM, bool& handled) override {
        ++seen;
        if (message != take) return 0;
        handled = true;
        return answer;
    }
};

void SetShift(bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

bool PreDispatchMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    MSG msg = {window, message, wParam, lParam, GetTickCount(), {0, 0}};
    return CWindowManagerUI::PreDispatch(&msg);
}

struct CallbackReceiver : INotifyUI {
    std::function<void(UiNotify&)> onReceive;
    void Receive(UiNotify& notification) override {
        if (onReceive) onReceive(notification);
    }
};

// Reports "released" from its button-up handler and goes on using itself afterwards,
// as buttons do after their "click".
class ReleasingControl : public RecordingControl {
public:
    int* releases = nullptr;
    void HandleEvent(UiEvent& event) override {
        if (event.kind != kEventButtonUp) return RecordingControl::HandleEvent(event);
        Notify(L"released");
        if (IsVisible() && releases != nullptr) ++*releases;
        Invalidate();
    }
};

class WindowManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr)); }

    void SetUp() override {
        ASSERT_NE(host.Create(200, 100), nullptr);
        Pump();
        root = new TestContainer;
        root->SetName(L"root");
        root->fill = RGB(255, 0, 0);
        a = root->Add(new RecordingControl, RECT{0, 0, 50, 50});
        b = root->Add(new RecordingControl, RECT{50, 0, 100, 50});
        c = root->Add(new RecordingControl, RECT{100, 0, 150, 50});
        a->SetName(L"a");
        b->SetName(L"b");
        c->SetName(L"c");
        ASSERT_TRUE(manager().AttachRoot(root));
        manager().AddReceiver(&recorder);
        Repaint();
    }
    void TearDown() override { SetShift(false); }

    CWindowManagerUI& manager() { return host.manager; }
    HWND window() { return host.GetHWND(); }
    void Repaint() {
        InvalidateRect(window(), nullptr, FALSE);
        UpdateWindow(window());
    }
    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) { return SendMessageW(window(), message, wParam, lParam); }
    COLORREF PixelAt(int x, int y) {
        HDC dc = GetDC(window());
        COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(window(), dc);
        return colour;
    }

    HostWindow host;
    TestContainer* root = nullptr;
    RecordingControl* a = nullptr;
    RecordingControl* b = nullptr;
    RecordingControl* c = nullptr;
    NotifyRecorder recorder;
};

// ---- tree and names -------------------------------------------------------------

TEST_F(WindowManagerTest, FirstPaintLaysOutTheRootOverTheClientArea) {
    EXPECT_EQ(root->GetRect().right, 200);
    EXPECT_EQ(root->GetRect().bottom, 100);
    EXPECT_EQ(b->GetRect().left, 50);
    EXPECT_EQ(b->GetManager(), &manager());
    EXPECT_EQ(b->GetParent(), root);
}

TEST_F(WindowManagerTest, WindowInitIsSentExactlyOnceAfterTheFirstLayout) {
    ASSERT_EQ(recorder.Count(L"windowinit"), 1);
    for (const UiNotify& notification : recorder.got) {
        if (notification.type == L"windowinit") {
            EXPECT_EQ(notification.sender, root);
        }
    }
    SetWindowPos(window(), nullptr, 0, 0, 300, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Repaint();
    Repaint();
    EXPECT_EQ(recorder.Count(L"windowinit"), 1);
    EXPECT_EQ(root->GetRect().right, 300);
    EXPECT_EQ(root->GetRect().bottom, 150);
}

TEST_F(WindowManagerTest, NameMapIndexesTheTreeAndFollowsRenamesAndDestruction) {
    EXPECT_EQ(manager().ControlNamed(L"b"), b);
    EXPECT_EQ(manager().ControlNamed(L"root"), root);
    b->SetName(L"bee");
    EXPECT_EQ(manager().ControlNamed(L"b"), nullptr);
    EXPECT_EQ(manager().ControlNamed(L"bee"), b);
    EXPECT_FALSE(manager().RenameControl(c, L"bee"));  // taken
    auto* late = root->Add(new RecordingControl, RECT{0, 50, 10, 60});
    late->SetName(L"late");
    EXPECT_EQ(manager().ControlNamed(L"late"), late);
    root->Remove(late);
    late->Destroy();
    EXPECT_EQ(manager().ControlNamed(L"late"), nullptr);
}

TEST_F(WindowManagerTest, ControlAtFindsTheTopmostVisibleMouseEnabledControl) {
    auto* over = root->Add(new RecordingControl, RECT{40, 0, 60, 50});
    root->MarkLayoutDirty();
    Repaint();
    EXPECT_EQ(manager().ControlAt(POINT{45, 10}), over);
    over->SetVisible(false);
    EXPECT_EQ(manager().ControlAt(POINT{45, 10}), a);
    a->SetMouseEnabled(false);
    EXPECT_EQ(manager().ControlAt(POINT{45, 10}), root);
    EXPECT_EQ(manager().ControlAt(POINT{500, 10}), nullptr);
}

TEST_F(WindowManagerTest, DeferredDestructionWaitsForTheNotifyMessage) {
    bool destroyed = false;
    b->destroyedFlag = &destroyed;
    root->Remove(b);
    manager().DeferDestroy(b);
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(b->GetParent(), nullptr);
    Pump();
    EXPECT_TRUE(destroyed);
}

TEST_F(WindowManagerTest, ForgetsADestroyedControlEverywhere) {
    manager().FocusControl(b);
    Send(WM_MOUSEMOVE, 0, At(60, 10));
    ASSERT_TRUE(manager().StartTimer(b, 1, 10));
    manager().AddOverlayPainter(b);
    manager().SendNotification(b, L"queued", 0, 0, true, false);
    root->Remove(b);
    b->Destroy();
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    EXPECT_FALSE(manager().StopTimer(b, 1));
    recorder.got.clear();
    Pump();
    ASSERT_EQ(recorder.Count(L"queued"), 1);
    EXPECT_EQ(recorder.got[0].sender, nullptr);
    Repaint();  // the overlay list no longer holds it
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_EQ(a->Count(kEventMouseEnter), 1);
}

// ---- what receivers may do ----------------------------------------------------

TEST_F(WindowManagerTest, ControlRemovedBeforeAModalLoopLivesUntilTheOutermostHandlingEnds) {
    bool destroyed = false;
    auto* pressed = root->Add(new ReleasingControl, RECT{150, 50, 200, 100});
    pressed->destroyedFlag = &destroyed;
    root->MarkLayoutDirty();
    Repaint();
    bool destroyedInTheLoop = true;
    CallbackReceiver receiver;
    receiver.onReceive = [&](UiNotify& notification) {
        if (notification.type != L"released") return;
        root->Remove(pressed);
        manager().DeferDestroy(pressed);
        // A modal loop, as a message box runs one: the manager's notify message comes through it.
        Pump();
        destroyedInTheLoop = destroyed;
    };
    manager().AddReceiver(&receiver);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(175, 75));
    Send(WM_LBUTTONUP, 0, At(175, 75));
    manager().RemoveReceiver(&receiver);
    EXPECT_FALSE(destroyedInTheLoop);
    Pump();
    EXPECT_TRUE(destroyed);
}

TEST_F(WindowManagerTest, ReceiverThatDestroysTheSenderLeavesItWholeForTheReceiversAfterIt) {
    bool destroyed = false;
    b->destroyedFlag = &destroyed;
    CallbackReceiver destroying;
    destroying.onReceive = [&](UiNotify&) {
        root->Remove(b);
        b->Destroy();
    };
    bool destroyedWhenSeen = true;
    std::wstring nameSeen;
    CallbackReceiver later;
    later.onReceive = [&](UiNotify& notification) {
        destroyedWhenSeen = destroyed;
        nameSeen = notification.sender->GetName().GetData();
    };
    manager().AddReceiver(&destroying);
    manager().AddReceiver(&later);
    manager().SendNotification(b, L"gone");
    manager().RemoveReceiver(&destroying);
    manager().RemoveReceiver(&later);
    EXPECT_FALSE(destroyedWhenSeen);
    EXPECT_EQ(nameSeen, L"b");
    Pump();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(manager().ControlNamed(L"b"), nullptr);
}

TEST_F(WindowManagerTest, ReceiverThatReplacesTheTreeLeavesTheOldOneWholeUntilTheHandlingEnds) {
    bool destroyed = false;
    int releases = 0;
    auto* pressed = root->Add(new ReleasingControl, RECT{150, 50, 200, 100});
    pressed->destroyedFlag = &destroyed;
    pressed->releases = &releases;
    root->MarkLayoutDirty();
    Repaint();
    auto* replacement = new TestContainer;
    CallbackReceiver receiver;
    receiver.onReceive = [&](UiNotify& notification) {
        if (notification.type != L"released") return;
        manager().AttachRoot(replacement);
        Pump();
    };
    manager().AddReceiver(&receiver);
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(175, 75));
    Send(WM_LBUTTONUP, 0, At(175, 75));
    manager().RemoveReceiver(&receiver);
    EXPECT_EQ(manager().Root(), replacement);
    EXPECT_EQ(releases, 1);  // its handler went on with itself alive
    EXPECT_TRUE(destroyed);
}

// ---- notifications ------------------------------------------------------------

TEST_F(WindowManagerTest, SynchronousNotificationRunsTheSenderHooksThenEveryReceiver) {
    static std::vector<int>* order;
    std::vector<int> sequence;
    order = &sequence;
    struct First : INotifyUI {
        void Receive(UiNotify&) override { order->push_back(1); }
    } first;
    struct Second : INotifyUI {
        void Receive(UiNotify&) override { order->push_back(2); }
    } second;
    manager().RemoveReceiver(&recorder);
    manager().AddReceiver(&first);
    manager().AddReceiver(&second);
    EXPECT_FALSE(manager().AddReceiver(&first));
    a->notifyHooks += MakeDelegate([](void* record) {
        order->push_back(static_cast<UiNotify*>(record)->type == L"click" ? 0 : -1);
        return true;
    });
    Send(WM_MOUSEMOVE, 0, At(7, 9));
    manager().SendNotification(a, L"click", 3, 4);
    EXPECT_EQ(sequence, (std::vector<int>{0, 1, 2}));
    manager().RemoveReceiver(&first);
    manager().RemoveReceiver(&second);
}

TEST_F(WindowManagerTest, NotificationCarriesTheLastMousePositionAndParameters) {
    Send(WM_MOUSEMOVE, 0, At(7, 9));
    recorder.got.clear();
    manager().SendNotification(a, L"click", 3, 4);
    ASSERT_EQ(recorder.got.size(), 1u);
    EXPECT_EQ(recorder.got[0].sender, a);
    EXPECT_EQ(recorder.got[0].mousePoint.x, 7);
    EXPECT_EQ(recorder.got[0].mousePoint.y, 9);
    EXPECT_EQ(recorder.got[0].wParam, 3u);
    EXPECT_EQ(recorder.got[0].lParam, 4);
}

TEST_F(WindowManagerTest, QueuedNotificationWithoutRepeatsIsDeliveredOnceWithTheLaterValues) {
    recorder.got.clear();
    manager().SendNotification(a, L"progress", 1, 10, true, false);
    manager().SendNotification(a, L"progress", 2, 20, true, false);
    manager().SendNotification(b, L"progress", 9, 90, true, false);
    EXPECT_TRUE(recorder.got.empty());
    Pump();
    ASSERT_EQ(recorder.got.size(), 2u);
    EXPECT_EQ(recorder.got[0].sender, a);
    EXPECT_EQ(recorder.got[0].wParam, 2u);
    EXPECT_EQ(recorder.got[0].lParam, 20);
    EXPECT_EQ(recorder.got[1].sender, b);
}

TEST_F(WindowManagerTest, QueuedNotificationsWithRepeatsShareOnePostedMessage) {
    int posted = 0;
    host.before = [&posted](UINT message, WPARAM, LPARAM) {
        if (message == kNotifyMessage) ++posted;
        return false;
    };
    recorder.got.clear();
    manager().SendNotification(a, L"tick", 1, 0, true, true);
    manager().SendNotification(a, L"tick", 2, 0, true, true);
    Pump();
    EXPECT_EQ(posted, 1);
    ASSERT_EQ(recorder.got.size(), 2u);
    EXPECT_EQ(recorder.got[0].wParam, 1u);
    EXPECT_EQ(recorder.got[1].wParam, 2u);
    host.before = nullptr;
}

// ---- mouse ----------------------------------------------------------------------

TEST_F(WindowManagerTest, ReleaseAfterDraggingOutGoesToThePressedControl) {
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    EXPECT_EQ(a->Count(kEventButtonDown), 1);
    EXPECT_TRUE(manager().HasMouseCapture());
    EXPECT_EQ(manager().FocusedControl(), a);
    Send(WM_MOUSEMOVE, MK_LBUTTON, At(70, 10));
    EXPECT_EQ(a->Count(kEventMouseMove), 2);  // the pressed control keeps the moves
    EXPECT_EQ(b->Count(kEventMouseEnter), 0);  // no hover change while captured
    EXPECT_EQ(b->Count(kEventMouseMove), 0);
    Send(WM_LBUTTONUP, 0, At(70, 10));
    EXPECT_EQ(a->Count(kEventButtonUp), 1);
    EXPECT_EQ(b->Count(kEventButtonUp), 0);
    EXPECT_FALSE(manager().HasMouseCapture());
    ASSERT_FALSE(a->events.empty());
    EXPECT_EQ(a->events.back().mousePoint.x, 70);
}

TEST_F(WindowManagerTest, HoverChangeSendsLeaveToTheOldAndEnterToTheNew) {
    manager().AddMouseLeaveTracking(c);
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    EXPECT_EQ(a->Count(kEventMouseEnter), 1);
    Send(WM_MOUSEMOVE, 0, At(12, 10));
    EXPECT_EQ(a->Count(kEventMouseEnter), 1);
    EXPECT_EQ(a->Count(kEventMouseMove), 2);
    Send(WM_MOUSEMOVE, 0, At(60, 10));
    EXPECT_EQ(a->Count(kEventMouseLeave), 1);
    EXPECT_EQ(c->Count(kEventMouseLeave), 1);  // registered for every hover change
    EXPECT_EQ(b->Count(kEventMouseEnter), 1);
}

TEST_F(WindowManagerTest, MouseLeaveOutsideTheWindowEndsTheHover) {
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    SetCursorPos(1200, 1000);
    Send(WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(a->Count(kEventMouseLeave), 1);
    EXPECT_EQ(manager().LastMousePosition().x, -1);
}

TEST_F(WindowManagerTest, DoubleClickKeepsTheFocusAndRightButtonTakesIt) {
    manager().FocusControl(a);
    Send(WM_LBUTTONDBLCLK, MK_LBUTTON, At(60, 10));
    EXPECT_EQ(b->Count(kEventDoubleClick), 1);
    EXPECT_EQ(manager().FocusedControl(), a);
    Send(WM_LBUTTONUP, 0, At(60, 10));
    EXPECT_EQ(b->Count(kEventButtonUp), 1);
    Send(WM_RBUTTONDOWN, MK_RBUTTON, At(110, 10));
    EXPECT_EQ(c->Count(kEventRightButtonDown), 1);
    EXPECT_EQ(manager().FocusedControl(), c);
    POINT screen = {110, 10};
    ClientToScreen(window(), &screen);
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window()), MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(c->Count(kEventContextMenu), 1);
    Send(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window()), MAKELPARAM(screen.x, screen.y));
    EXPECT_EQ(c->Count(kEventContextMenu), 1);  // no longer the click control
}

TEST_F(WindowManagerTest, WheelGoesToTheControlUnderThePointWithItsDirection) {
    POINT screen = {60, 10};
    ClientToScreen(window(), &screen);
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(screen.x, screen.y));
    Send(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(screen.x, screen.y));
    ASSERT_EQ(b->Count(kEventScrollWheel), 2);
    std::vector<WPARAM> directions;
    for (const UiEvent& event : b->events) {
        if (event.kind == kEventScrollWheel) directions.push_back(event.wParam);
    }
    EXPECT_EQ(directions, (std::vector<WPARAM>{1, 0}));
}

TEST_F(WindowManagerTest, SetCursorGoesOnlyToControlsThatSetTheirOwn) {
    POINT screen = {60, 10};
    ClientToScreen(window(), &screen);
    SetCursorPos(screen.x, screen.y);
    EXPECT_EQ(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), FALSE);
    b->inputFlags = kInputSetCursor;
    EXPECT_EQ(Send(WM_SETCURSOR, reinterpret_cast<WPARAM>(window()), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
    EXPECT_EQ(b->Count(kEventSetCursor), 1);
}

TEST_F(WindowManagerTest, ClosingReleasesThePressAndTheHoverAndRemovesTheFocus) {
    Send(WM_MOUSEMOVE, 0, At(10, 10));
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    ASSERT_EQ(manager().FocusedControl(), a);
    Send(WM_CLOSE, 0, 0);  // not handled by the manager: the window then closes
    EXPECT_EQ(a->Count(kEventMouseLeave), 1);
    EXPECT_EQ(a->Count(kEventButtonUp), 1);
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    EXPECT_EQ(recorder.Count(L"killfocus"), 1);
}

TEST_F(WindowManagerTest, HoverShowsTheTooltipWithLocalizedTokensReplaced) {
    CWindowManagerUI::RegisterLocalizedText(7, L"Hello");
    b->SetToolTip(L"%{7} tip");
    Send(WM_MOUSEMOVE, 0, At(60, 10));
    Send(WM_MOUSEHOVER, 0, At(60, 10));
    EXPECT_EQ(b->Count(kEventMouseHover), 1);
    HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
    while (tip != nullptr && GetWindow(tip, GW_OWNER) != window()) tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr);
    ASSERT_NE(tip, nullptr);
    wchar_t text[64] = {};
    TOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = window();
    tool.uId = reinterpret_cast<UINT_PTR>(window());
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 64, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text, L"Hello tip");
    Send(WM_CLOSE, 0, 0);  // closing destroys the tooltip window
    EXPECT_FALSE(IsWindow(tip));
}

// ---- keyboard and focus --------------------------------------------------------

TEST_F(WindowManagerTest, FocusChangesSendEventsAndNotifications) {
    manager().FocusControl(a);
    manager().FocusControl(b);
    EXPECT_EQ(a->Count(kEventSetFocus), 1);
    ASSERT_EQ(a->Count(kEventKillFocus), 1);
    for (const UiEvent& event : a->events) {
        if (event.kind == kEventKillFocus) {
            EXPECT_EQ(event.sender, b);
        }
    }
    EXPECT_TRUE(b->IsFocused());
    EXPECT_FALSE(a->IsFocused());
    EXPECT_EQ(recorder.Count(L"setfocus"), 2);
    EXPECT_EQ(recorder.Count(L"killfocus"), 1);
    c->SetEnabled(false);
    manager().FocusControl(c);
    EXPECT_EQ(manager().FocusedControl(), nullptr);  // the old focus went, the new one was refused
}

TEST_F(WindowManagerTest, HidingTheFocusedControlClearsTheFocus) {
    manager().FocusControl(b);
    b->SetVisible(false);
    EXPECT_EQ(manager().FocusedControl(), nullptr);
    EXPECT_FALSE(b->IsFocused());
}

TEST_F(WindowManagerTest, TabWrapsFromTheLastStopAndShiftTabFromTheFirst) {
    a->inputFlags = b->inputFlags = c->inputFlags = kInputTabStop;
    manager().FocusControl(c);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), a);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), b);
    SetShift(true);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), a);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), c);
    SetShift(false);
    b->SetVisible(false);
    Repaint();
    manager().FocusControl(a);
    manager().MoveFocusByTab(true);
    EXPECT_EQ(manager().FocusedControl(), c);  // hidden stops are skipped
}

TEST_F(WindowManagerTest, FocusFirstTabStopLandsOnTheControlAtTheNextPaint) {
    a->inputFlags = c->inputFlags = kInputTabStop;
    manager().FocusFirstTabStop(c);
    Repaint();
    EXPECT_EQ(manager().FocusedControl(), c);
    EXPECT_EQ(c->Count(kEventSetFocus), 1);
}

TEST_F(WindowManagerTest, KeyDownGoesToTheFocusAndKeyUpToTheControlThatGotTheDown) {
    manager().FocusControl(a);
    Send(WM_KEYDOWN, VK_HOME, 0);
    ASSERT_EQ(a->Count(kEventKeyDown), 1);
    EXPECT_EQ(a->events.back().key, 0x24);
    manager().FocusControl(b);
    Send(WM_CHAR, L'x', 0);
    Send(WM_KEYUP, VK_HOME, 0);
    EXPECT_EQ(a->Count(kEventKeyUp), 1);
    EXPECT_EQ(b->Count(kEventKeyUp), 0);
    EXPECT_EQ(b->Count(kEventChar), 1);
    Send(WM_KEYUP, VK_HOME, 0);
    EXPECT_EQ(a->Count(kEventKeyUp), 1);  // forgotten after the first up
}

TEST_F(WindowManagerTest, AltShortcutFocusesAndActivatesAndALabelHandsOn) {
    b->SetShortcut(L'k');
    EXPECT_TRUE(PreDispatchMessage(window(), WM_SYSCHAR, L'K'));
    EXPECT_EQ(manager().FocusedControl(), b);
    EXPECT_EQ(b->activations, 1);
    // The search runs top first (last child first): a label hands the match to the
    // control searched after it.
    b->typeWord = L"Label";
    b->SetShortcut(L'L');
    EXPECT_TRUE(PreDispatchMessage(window(), WM_SYSCHAR, L'l'));
    EXPECT_EQ(manager().FocusedControl(), a);
    EXPECT_EQ(a->activations, 1);
    EXPECT_EQ(b->activations, 1);
    EXPECT_FALSE(PreDispatchMessage(window(), WM_SYSCHAR, L'q'));
}

TEST_F(WindowManagerTest, EarlyFilterThatHandlesAMessageEndsPreDispatch) {
    Filter filter;
    filter.take = WM_KEYDOWN;
    manager().AddEarlyFilter(&filter);
    a->inputFlags = b->inputFlags = kInputTabStop;
    manager().FocusControl(a);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), a);
    manager().RemoveEarlyFilter(&filter);
}

TEST_F(WindowManagerTest, MessageFilterAnswersFirstAndTheEventIsNotRouted) {
    Filter filter;
    filter.take = WM_LBUTTONDOWN;
    filter.answer = 42;
    manager().AddFilter(&filter);
    EXPECT_EQ(Send(WM_LBUTTONDOWN, MK_LBUTTON, At(60, 10)), 42);
    EXPECT_EQ(b->Count(kEventButtonDown), 0);
    EXPECT_EQ(manager().LastMousePosition().x, 60);
    manager().RemoveFilter(&filter);
}

TEST_F(WindowManagerTest, AFilterThatUnregistersItselfDoesNotHideTheMessageFromTheNext) {
    // Only this message is counted: the window gets others meanwhile.
    constexpr UINT kProbe = WM_USER + 7;
    struct ProbeFilter : IMessageFilterUI {
        CWindowManagerUI* leaveFrom = nullptr;  // unregisters itself from this manager
        bool early = false;
        int seen = 0;
        LRESULT FilterMessage(UINT message, WPARAM, LPARAM, bool&) override {
            if (message != kProbe) return 0;
            ++seen;
            if (leaveFrom != nullptr && early) leaveFrom->RemoveEarlyFilter(this);
            if (leaveFrom != nullptr && !early) leaveFrom->RemoveFilter(this);
            return 0;
        }
    };
    ProbeFilter leaving;
    leaving.leaveFrom = &manager();
    ProbeFilter next;
    manager().AddFilter(&leaving);
    manager().AddFilter(&next);
    Send(kProbe, 0, 0);
    EXPECT_EQ(leaving.seen, 1);
    EXPECT_EQ(next.seen, 1);
    manager().RemoveFilter(&next);

    ProbeFilter leavingEarly;
    leavingEarly.leaveFrom = &manager();
    leavingEarly.early = true;
    ProbeFilter nextEarly;
    manager().AddEarlyFilter(&leavingEarly);
    manager().AddEarlyFilter(&nextEarly);
    PreDispatchMessage(window(), kProbe, 0);
    EXPECT_EQ(leavingEarly.seen, 1);
    EXPECT_EQ(nextEarly.seen, 1);
    manager().RemoveEarlyFilter(&nextEarly);
}

TEST_F(WindowManagerTest, AnAcceleratorTranslationEndsTheHook) {
    struct Translator : ITranslateAccelerator {
        int seen = 0;
        LRESULT TranslateAccelerator(MSG* message) override {
            ++seen;
            return message->message == WM_KEYDOWN && message->wParam == 'S' ? 0 : 1;
        }
    } translator;
    manager().AddAcceleratorTranslator(&translator);
    EXPECT_TRUE(PreDispatchMessage(window(), WM_KEYDOWN, 'S'));
    EXPECT_FALSE(PreDispatchMessage(window(), WM_KEYDOWN, 'T'));
    EXPECT_EQ(translator.seen, 2);
    manager().RemoveAcceleratorTranslator(&translator);
}

// A native child window (an edit's editor, for example) inside the host.
struct ChildWindow : HostWindow {
    std::vector<UINT> received;
    HWND CreateChild(HWND parent) {
        before = [this](UINT message, WPARAM, LPARAM) {
            received.push_back(message);
            return false;
        };
        return Open(parent, L"child", WS_CHILD | WS_VISIBLE, 0, 150, 50, 40, 40);
    }
};

TEST_F(WindowManagerTest, KeysForAChildWindowGoThroughTheManagersOfItsAncestors) {
    ChildWindow child;
    ASSERT_NE(child.CreateChild(window()), nullptr);
    a->inputFlags = b->inputFlags = kInputTabStop;
    manager().FocusControl(a);
    // Handled before dispatch, but the child still gets the key.
    EXPECT_FALSE(PreDispatchMessage(child.GetHWND(), WM_KEYDOWN, VK_TAB));
    EXPECT_EQ(manager().FocusedControl(), b);
}

TEST_F(WindowManagerTest, ChildWindowNotificationsAreReflectedAndItsFocusMovesTheControlFocus) {
    ChildWindow child;
    ASSERT_NE(child.CreateChild(window()), nullptr);
    ASSERT_TRUE(manager().AddChildWindow(c, child.GetHWND()));
    EXPECT_FALSE(manager().AddChildWindow(c, child.GetHWND()));
    Send(WM_COMMAND, MAKEWPARAM(1, EN_CHANGE), reinterpret_cast<LPARAM>(child.GetHWND()));
    ASSERT_FALSE(child.received.empty());
    EXPECT_EQ(child.received.back(), static_cast<UINT>(WM_COMMAND + 0x2000));
    NMHDR header = {child.GetHWND(), 1, 0};
    Send(WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(child.received.back(), static_cast<UINT>(WM_NOTIFY + 0x2000));
    manager().FocusControl(a);
    Send(WM_KILLFOCUS, reinterpret_cast<WPARAM>(child.GetHWND()), 0);
    EXPECT_EQ(manager().FocusedControl(), c);
    EXPECT_TRUE(manager().RemoveChildWindow(child.GetHWND()));
}

TEST_F(WindowManagerTest, LosingTheCaptureToAnotherWindowEndsTheCapturedState) {
    Send(WM_LBUTTONDOWN, MK_LBUTTON, At(10, 10));
    ASSERT_TRUE(manager().HasMouseCapture());
    HostWindow other;
    ASSERT_NE(other.Create(20, 20), nullptr);
    SetCapture(other.GetHWND());
    EXPECT_FALSE(manager().HasMouseCapture());
    ReleaseCapture();
    Send(WM_MOUSEMOVE, 0, At(60, 10));
    EXPECT_EQ(b->Count(kEventMouseEnter), 1);  // hover follows the mouse again
}

TEST(WindowManagerNoActivate, ClickingTheWindowKeepsTheNativeFocusElsewhere) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow other;
    ASSERT_NE(other.Create(100, 60), nullptr);
    HostWindow host;
    ASSERT_NE(host.Create(100, 60), nullptr);
    auto* root = new RecordingControl;
    host.manager.AttachRoot(root);
    host.manager.ApplyWindowAttribute(L"noactivate", L"true");
    Pump();
    SetFocus(other.GetHWND());
    ASSERT_EQ(GetFocus(), other.GetHWND());
    EXPECT_EQ(SendMessageW(host.GetHWND(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(host.GetHWND()),
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_NOACTIVATE);
    SendMessageW(host.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageW(host.GetHWND(), WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_EQ(GetFocus(), other.GetHWND());
    EXPECT_EQ(root->Count(kEventButtonDown), 1);

    host.manager.SetClickWithoutActivation(false);
    SendMessageW(host.GetHWND(), WM_LBUTTONDOWN, MK_LBUTTON, At(5, 5));
    SendMessageW(host.GetHWND(), WM_LBUTTONUP, 0, At(5, 5));
    EXPECT_EQ(GetFocus(), host.GetHWND());
}

// ---- timers -----------------------------------------------------------------------

TEST_F(WindowManagerTest, TimerKeysStartOnceAndReuseTheirIdentifierAfterAStop) {
    std::vector<WPARAM> nativeIds;
    host.before = [&nativeIds](UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_TIMER) nativeIds.push_back(wParam);
        return false;
    };
    ASSERT_TRUE(manager().StartTimer(a, 5, 10));
    EXPECT_FALSE(manager().StartTimer(a, 5, 10));  // already running
    ASSERT_TRUE(PumpUntil([&] { return a->Count(kEventTimer) > 0; }));
    EXPECT_EQ(nativeIds.front(), 17u);  // 4096 + 1 modulo 255
    for (const UiEvent& event : a->events) {
        if (event.kind == kEventTimer) {
            EXPECT_EQ(event.wParam, 5u);
        }
    }
    EXPECT_TRUE(manager().StopTimer(a, 5));
    Pump();
    a->Clear();
    nativeIds.clear();
    ASSERT_TRUE(manager().StartTimer(b, 5, 10));
    ASSERT_TRUE(manager().StartTimer(a, 5, 10));  // restarted with its old identifier
    ASSERT_TRUE(PumpUntil([&] { return a->Count(kEventTimer) > 0 && b->Count(kEventTimer) > 0; }));
    EXPECT_NE(std::find(nativeIds.begin(), nativeIds.end(), 17u), nativeIds.end());
    EXPECT_NE(std::find(nativeIds.begin(), nativeIds.end(), 18u), nativeIds.end());
    manager().StopTimers(a);
    EXPECT_FALSE(manager().StopTimer(a, 5));  // the record is gone
    manager().StopAllTimers();
    host.before = nullptr;
}

TEST_F(WindowManagerTest, TimerIdentifiersNeverWrapOntoOnesStillHeldOrBelow17) {
    // 17 to 254: 238 identifiers; a stopped timer keeps its identifier for a restart.
    for (UINT key = 0; key < 238; ++key) ASSERT_TRUE(manager().StartTimer(a, key, 60000)) << key;
    manager().StopTimer(a, 0);
    EXPECT_FALSE(manager().StartTimer(b, 0, 60000));
    manager().StopTimers(a);
    EXPECT_TRUE(manager().StartTimer(b, 0, 60000));
    manager().StopAllTimers();
}

TEST_F(WindowManagerTest, TimerEventBecomesATimerNotification) {
    ASSERT_TRUE(manager().StartTimer(b, 9, 10));
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(L"timer") > 0; }));
    manager().StopTimer(b, 9);
    for (const UiNotify& notification : recorder.got) {
        if (notification.type == L"timer") {
            EXPECT_EQ(notification.sender, b);
            EXPECT_EQ(notification.wParam, 9u);
        }
    }
}

// ---- painting ----------------------------------------------------------------------

TEST_F(WindowManagerTest, PaintsTheTreeIntoTheWindow) {
    a->fill = RGB(0, 0, 255);
    Repaint();
    EXPECT_EQ(PixelAt(10, 10), RGB(0, 0, 255));
    EXPECT_EQ(PixelAt(180, 80), RGB(255, 0, 0));
}

TEST_F(WindowManagerTest, InvalidatingOneControlRepaintsOnlyItsArea) {
    a->fill = RGB(0, 0, 255);
    Repaint();
    root->fill = RGB(0, 255, 0);
    b->fill = RGB(255, 255, 0);
    b->Invalidate();
    UpdateWindow(window());
    EXPECT_EQ(PixelAt(60, 10), RGB(255, 255, 0));
    EXPECT_EQ(PixelAt(180, 80), RGB(255, 0, 0));  // outside the invalid area: untouched
    EXPECT_EQ(PixelAt(10, 10), RGB(0, 0, 255));
}

TEST_F(WindowManagerTest, OutlinesRepaintedAreasWithShowDirty) {
    manager().ApplyWindowAttribute(L"showdirty", L"true");
    b->Invalidate();
    UpdateWindow(window());
    EXPECT_EQ(PixelAt(50, 0), RGB(220, 0, 0));
    EXPECT_EQ(PixelAt(49, 0), RGB(255, 0, 0));
}

TEST(WindowManagerPaint, WithoutARootTheWindowIsBlack) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(80, 40), nullptr);
    InvalidateRect(host.GetHWND(), nullptr, FALSE);
    UpdateWindow(host.GetHWND());
    HDC dc = GetDC(host.GetHWND());
    EXPECT_EQ(GetPixel(dc, 40, 20), RGB(0, 0, 0));
    ReleaseDC(host.GetHWND(), dc);
}

TEST_F(WindowManagerTest, PrintClientPaintsTheTreeIntoTheGivenContext) {
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 100);
    HGDIOBJ old = SelectObject(memory, bitmap);
    c->fill = RGB(0, 128, 0);
    Send(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
    EXPECT_EQ(GetPixel(memory, 120, 10), RGB(0, 128, 0));
    EXPECT_EQ(GetPixel(memory, 120, 80), RGB(255, 0, 0));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

TEST_F(WindowManagerTest, SizeChangeTellsTheFocusAndRelaysOut) {
    manager().FocusControl(a);
    SetWindowPos(window(), nullptr, 0, 0, 260, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(a->Count(kEventWindowSize), 1);
    UpdateWindow(window());
    EXPECT_EQ(root->GetRect().right, 260);
}

// ---- resources -------------------------------------------------------------------

TEST_F(WindowManagerTest, FontsAreKeptByIdWithTheirMetrics) {
    HFONT bold = manager().RegisterFont(1, L"Tahoma", 14, true, false, false);
    ASSERT_NE(bold, nullptr);
    EXPECT_EQ(manager().FontById(1), bold);
    const FontRecord* record = manager().FontRecordById(1);
    ASSERT_NE(record, nullptr);
    EXPECT_GT(record->metrics.tmHeight, 0);
    EXPECT_GE(record->metrics.tmWeight, FW_BOLD);
    EXPECT_EQ(manager().FontIdMatching(L"Tahoma", 14, true, false, false), 1);
    EXPECT_EQ(manager().FontIdMatching(L"Tahoma", 14, false, false, false), -1);
    HFONT replaced = manager().RegisterFont(1, L"Tahoma", 20, false, true, false);
    EXPECT_EQ(manager().FontById(1), replaced);
    EXPECT_EQ(manager().FontRecordOf(replaced)->size, 20);
    EXPECT_EQ(manager().FontById(2), nullptr);
    manager().RegisterFont(2, L"Tahoma", 9, false, false, false, true);
    EXPECT_NE(manager().FontById(2), nullptr);  // from the shared table
    LOGFONTW gui = {};
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof gui, &gui);
    EXPECT_EQ(manager().StandardFontRecord()->size, -gui.lfHeight);
    manager().SetStandardFont(L"Tahoma", 16, false, false, false);
    EXPECT_EQ(manager().StandardFontRecord()->size, 16);
}

// The language's face: every font made after the choice takes it, the skin's own
// ones and the variants brace-tag text asks for, at the sizes and styles asked.
TEST_F(WindowManagerTest, APreferredFaceReplacesTheFaceOfEveryFontMadeAfterIt) {
    EXPECT_FALSE(manager().PreferFaces(L"No Such Face, Another Missing One"));
    EXPECT_TRUE(manager().PreferredFace().IsEmpty());
    manager().RegisterFont(3, L"Tahoma", 12, false, false, false);
    EXPECT_STREQ(manager().FontRecordById(3)->face, L"Tahoma") << "no installed face: the skin's stays";

    ASSERT_TRUE(manager().PreferFaces(L"No Such Face, Segoe UI, Tahoma"));
    EXPECT_STREQ(manager().PreferredFace(), L"Segoe UI");
    HFONT made = manager().RegisterFont(4, L"Tahoma", 14, true, false, true);
    const FontRecord* record = manager().FontRecordById(4);
    ASSERT_NE(record, nullptr);
    EXPECT_STREQ(record->face, L"Segoe UI");
    EXPECT_EQ(record->size, 14);
    EXPECT_TRUE(record->bold);
    EXPECT_TRUE(record->italic);
    LOGFONTW font = {};
    GetObjectW(made, sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, L"Segoe UI");
    EXPECT_EQ(font.lfHeight, -14);
    EXPECT_GE(font.lfWeight, FW_BOLD);
    EXPECT_TRUE(font.lfItalic);
    EXPECT_STREQ(manager().FontRecordById(3)->face, L"Tahoma") << "fonts made before the choice keep their face";

    manager().SetStandardFont(L"Tahoma", 13, false, false, false);
    EXPECT_STREQ(manager().StandardFontRecord()->face, L"Segoe UI");
    EXPECT_EQ(manager().StandardFontRecord()->size, 13);

    manager().RegisterFont(5, L"Tahoma", 12, false, false, false);
    RECT extent = {0, 0, 400, 40};
    int links = 0;
    CDrawEngine::PaintMarkupText(manager().PaintDC(), &manager(), extent, L"plain {b}bold{/b}", 0, nullptr, nullptr,
                                 links, 5, DT_SINGLELINE | DT_CALCRECT);
    EXPECT_GE(manager().FontIdMatching(L"Segoe UI", 12, true, false, false), CDrawEngine::kFirstVariantFontId)
        << "the bold variant has the preferred face too";

    EXPECT_FALSE(manager().PreferFaces(L""));
    manager().RegisterFont(6, L"Tahoma", 12, false, false, false);
    EXPECT_STREQ(manager().FontRecordById(6)->face, L"Tahoma") << "an empty list gives the skin its faces back";
}

TEST_F(WindowManagerTest, ImagesAreLoadedOnceByNameOwnTableFirst) {
    std::shared_ptr<ImageRecord> red = manager().ImageOrLoad(L"#FFFF0000", L"*COLOR*");
    ASSERT_NE(red, nullptr);
    EXPECT_EQ(red->width, 1);
    EXPECT_EQ(manager().ImageOrLoad(L"#FFFF0000", L"*COLOR*"), red);
    EXPECT_EQ(manager().ImageByName(L"#FFFF0000"), red);
    EXPECT_EQ(manager().RegisterImage(L"missing.png"), nullptr);
    EXPECT_EQ(manager().ImageByName(L"missing.png"), nullptr);
    std::shared_ptr<ImageRecord> shared = manager().RegisterImage(L"#FF00FF00", L"*COLOR*", 0, true);
    ASSERT_NE(shared, nullptr);
    HostWindow second;
    ASSERT_NE(second.Create(20, 20), nullptr);
    EXPECT_EQ(second.manager.ImageByName(L"#FF00FF00"), shared);
    EXPECT_EQ(second.manager.ImageByName(L"#FFFF0000"), nullptr);
}

TEST_F(WindowManagerTest, ReplacingAnImageLeavesTheControlsThatDrewItDrawingIt) {
    auto* pictured = root->Add(new RecordingControl, RECT{150, 50, 200, 100});
    pictured->SetBackImage(L"color='#FF0000FF'");
    root->MarkLayoutDirty();
    Repaint();
    ASSERT_EQ(PixelAt(175, 75), RGB(0, 0, 255));
    // The name the colour was loaded under, registered again, in both tables.
    ASSERT_NE(manager().RegisterImage(L"#FF0000FF", L"*COLOR*"), nullptr);
    ASSERT_NE(manager().RegisterImage(L"#FF0000FF", L"*COLOR*", 0, true), nullptr);
    Repaint();
    EXPECT_EQ(PixelAt(175, 75), RGB(0, 0, 255));
}

TEST_F(WindowManagerTest, ClassDefaultsAndLocalizedTexts) {
    manager().RegisterClassDefaults(L"Button", L"width=\"10\"");
    manager().RegisterClassDefaults(L"Button", L"width=\"20\"");
    EXPECT_STREQ(manager().ClassDefaults(L"Button"), L"width=\"20\"");
    EXPECT_EQ(manager().ClassDefaults(L"Label"), nullptr);
    CWindowManagerUI::RegisterLocalizedText(12, L"twelve");
    EXPECT_STREQ(CWindowManagerUI::ReplaceLocalizedTokens(L"a%{12}b%{x}c%{12").GetData(), L"atwelveb%{x}c%{12");
}

TEST_F(WindowManagerTest, OptionGroupsKeepTheirMembersInJoiningOrder) {
    manager().JoinOptionGroup(L"g", b);
    manager().JoinOptionGroup(L"g", a);
    manager().JoinOptionGroup(L"g", b);
    const CPtrArray* group = manager().OptionGroup(L"g");
    ASSERT_NE(group, nullptr);
    ASSERT_EQ(group->GetSize(), 2);
    EXPECT_EQ(group->GetAt(0), b);
    manager().LeaveOptionGroup(L"g", b);
    manager().LeaveOptionGroup(L"g", a);
    EXPECT_EQ(manager().OptionGroup(L"g"), nullptr);
}

// ---- window attributes -------------------------------------------------------------

TEST(WindowManagerAttributes, ApplyTheSkinsWindowAttributes) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(100, 60), nullptr);
    CWindowManagerUI& manager = host.manager;
    manager.ApplyWindowAttribute(L"Size", L"650,360");
    RECT rect;
    GetWindowRect(host.GetHWND(), &rect);
    EXPECT_EQ(rect.right - rect.left, 650);
    EXPECT_EQ(rect.bottom - rect.top, 360);
    EXPECT_EQ(rect.left, 40);  // not moved
    manager.ApplyWindowAttribute(L"sizebox", L"4,5,6,7");
    EXPECT_EQ(manager.ResizeBorders().bottom, 7);
    manager.ApplyWindowAttribute(L"caption", L"0,0,0,290");
    EXPECT_EQ(manager.CaptionArea().bottom, 290);
    manager.ApplyWindowAttribute(L"roundcorner", L"3,3");
    EXPECT_EQ(manager.CornerRounding().cx, 3);
    manager.ApplyWindowAttribute(L"linkfontcolor", L"FF1A57A9");
    EXPECT_EQ(manager.DefaultLinkFontColor(), 0xFF1A57A9u);
    manager.ApplyWindowAttribute(L"selectedcolor", L"#FF1A57A9");
    EXPECT_EQ(manager.DefaultSelectedBackColor(), 0xFF1A57A9u);
    manager.ApplyWindowAttribute(L"NoActivate", L"true");  // only the lower-case name counts
    EXPECT_FALSE(manager.ClicksWithoutActivation());
    EXPECT_STREQ(manager.CustomWindowAttribute(L"NoActivate"), L"true");
    manager.ApplyWindowAttribute(L"brand", L"first");
    manager.ApplyWindowAttribute(L"brand", L"second");
    EXPECT_STREQ(manager.CustomWindowAttribute(L"brand"), L"first");
    manager.ApplyWindowAttribute(L"showdirty", L"True");  // not exactly "true"

    manager.AttachRoot(new RecordingControl);
    manager.ApplyWindowAttribute(L"size", L"300,200");  // with a root: stored, the window keeps its size
    GetWindowRect(host.GetHWND(), &rect);
    EXPECT_EQ(rect.right - rect.left, 650);
    EXPECT_EQ(manager.StartSize().cx, 300);
}

TEST(WindowManagerAttributes, TrackingSizesReplaceTheSystemsWhereGiven) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(100, 60), nullptr);
    host.manager.ApplyWindowAttribute(L"mininfo", L"400,0");
    host.manager.ApplyWindowAttribute(L"maxinfo", L"0,500");
    MINMAXINFO info = {};
    info.ptMinTrackSize = {1, 2};
    info.ptMaxTrackSize = {3, 4};
    SendMessageW(host.GetHWND(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, 400);
    EXPECT_EQ(info.ptMinTrackSize.y, 2);
    EXPECT_EQ(info.ptMaxTrackSize.x, 3);
    EXPECT_EQ(info.ptMaxTrackSize.y, 500);
}

TEST(WindowManagerAttributes, OpacityMakesTheWindowLayeredAndChildrenRefusePerPixelMode) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(100, 60), nullptr);
    host.manager.ApplyWindowAttribute(L"opacity", L"200");
    EXPECT_NE(GetWindowLongW(host.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(host.GetHWND(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 200);

    struct ChildHost : HostWindow {
        HWND CreateChild(HWND parent) {
            return Open(parent, L"child", WS_CHILD | WS_VISIBLE, 0, 0, 0, 20, 20);
        }
    } child;
    ASSERT_NE(child.CreateChild(host.GetHWND()), nullptr);
    child.manager.SetPerPixelLayered(true);
    EXPECT_FALSE(child.manager.IsPerPixelLayered());
}

TEST(WindowManagerAttributes, AnOpacityOutOfRangeIsHeldToTheNearestAlpha) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(100, 60), nullptr);
    BYTE alpha = 0;
    DWORD flags = 0;
    // 300 would wrap to 44 and leave the window nearly invisible.
    host.manager.ApplyWindowAttribute(L"opacity", L"300");
    ASSERT_TRUE(GetLayeredWindowAttributes(host.GetHWND(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);
    host.manager.ApplyWindowAttribute(L"opacity", L"-5");
    ASSERT_TRUE(GetLayeredWindowAttributes(host.GetHWND(), nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 0);
    host.manager.ApplyWindowAttribute(L"layeredopacity", L"256");
    EXPECT_EQ(host.manager.Opacity(), 255);
}

TEST(WindowManagerAttributes, PerPixelLayeredModePaintsFromTheDirtyArea) {
    CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
    HostWindow host;
    ASSERT_NE(host.Create(60, 40), nullptr);
    auto* root = new RecordingControl;
    root->fill = RGB(0, 0, 255);
    host.manager.AttachRoot(root);
    NotifyRecorder recorder;
    host.manager.AddReceiver(&recorder);
    host.manager.ApplyWindowAttribute(L"layeredimage", L"color='#80FFFFFF'");
    EXPECT_TRUE(host.manager.IsPerPixelLayered());
    EXPECT_NE(GetWindowLongW(host.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    // The 10 ms timer paints the dirty area; the first paint lays the tree out.
    ASSERT_TRUE(PumpUntil([&] { return recorder.Count(L"windowinit") == 1; }));
    EXPECT_EQ(root->GetRect().right, 60);
    host.manager.SetPerPixelLayered(false);
    EXPECT_EQ(GetWindowLongW(host.GetHWND(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

TEST(WindowManagerMessages, NothingIsHandledBeforeAWindowIsAttached) {
    CWindowManagerUI manager;
    LRESULT result = 0;
    EXPECT_FALSE(manager.HandleWindowMessage(WM_ERASEBKGND, 0, 0, result));
}

}  // namespace
