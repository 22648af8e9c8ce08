#pragma once
// What the control tests share on top of the window-manager test doubles: one
// real window for the whole program, a fixture that gives each test its own tree
// in it, a notification log, and helpers for mouse messages and pixels.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "ui/core/UiTestDoubles.h"

inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace Veneer {
// Failure messages show the text, not the pointer.
inline void PrintTo(const CUiString& text, std::ostream* out) { *out << '"' << ToUtf8(text.GetData()) << '"'; }
}  // namespace Veneer

namespace ControlTest {

using namespace Veneer;
using VeneerTest::HostWindow;
using VeneerTest::Pump;
using VeneerTest::PumpUntil;

// Records notifications; onReceive sees each one as it arrives.
struct NotifyLog : VeneerTest::NotifyRecorder {
    std::function<void(const UiNotify&)> onReceive;
    void Receive(UiNotify& notification) override {
        if (onReceive) onReceive(notification);
        VeneerTest::NotifyRecorder::Receive(notification);
    }
    // The notification types in order, without the manager's own reports.
    std::vector<std::wstring> Types() const {
        std::vector<std::wstring> types;
        for (const UiNotify& notification : got) {
            if (notification.type == L"setfocus" || notification.type == L"killfocus" ||
                notification.type == L"windowinit") {
                continue;
            }
            types.emplace_back(notification.type.GetData());
        }
        return types;
    }
};

// Lays out and paints the whole window now.
inline void Repaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

inline LRESULT Mouse(HWND window, UINT message, int x, int y) {
    WPARAM keys = message == WM_LBUTTONDOWN || message == WM_MOUSEMOVE ? MK_LBUTTON : 0;
    return SendMessageW(window, message, keys, MAKELPARAM(x, y));
}

inline void Click(HWND window, int x, int y) {
    Mouse(window, WM_MOUSEMOVE, x, y);
    Mouse(window, WM_LBUTTONDOWN, x, y);
    Mouse(window, WM_LBUTTONUP, x, y);
}

inline COLORREF PixelAt(HWND window, int x, int y) {
    HDC dc = GetDC(window);
    COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return colour;
}

inline RECT Rect(int left, int top, int right, int bottom) { return RECT{left, top, right, bottom}; }

// One window serves the whole test program, each test with a tree of its own:
// creating and closing a shown window per test costs far more than the test
// (under Wine, seconds when the prefix expects a window manager). The process's
// end takes the window.
inline HostWindow& SharedHost() {
    static HostWindow* host = [] {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        auto* window = new HostWindow;
        window->Create(200, 100);
        return window;
    }();
    return *host;
}

// A test with a fresh tree in the shared window, sized for the test.
class WindowTest : public ::testing::Test {
protected:
    void Attach(CControlUI* root, int width = 200, int height = 100) {
        HostWindow& host = SharedHost();
        ASSERT_NE(host.GetHWND(), nullptr);
        SetWindowPos(host.GetHWND(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        SetForegroundWindow(host.GetHWND());
        SetFocus(host.GetHWND());
        Pump();
        ASSERT_TRUE(manager().AttachRoot(root));
        manager().AddReceiver(&recorder);
        Repaint(window());
    }
    void TearDown() override {
        manager().RemoveReceiver(&recorder);
        manager().ReleaseMouse();
        manager().FocusControl(nullptr, true);
        Pump();
    }
    CWindowManagerUI& manager() { return SharedHost().manager; }
    HWND window() { return SharedHost().GetHWND(); }

    NotifyLog recorder;
};

}  // namespace ControlTest
