#pragma once
// What the control tests share: a real top-level window whose messages go to a
// window manager, a receiver that records notifications, the message pump, and
// small helpers to send mouse and key messages.

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ui/control/Control.h"
#include "ui/core/UiNotify.h"
#include "ui/core/WindowManager.h"
#include "ui/core/WindowWnd.h"

#include <ostream>

inline bool operator==(const RECT& a, const RECT& b) { return EqualRect(&a, &b) != FALSE; }
inline std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
}

namespace ControlTest {

using namespace Veneer;

class HostWindow : public CWindowWnd {
public:
    CWindowManagerUI manager;

    ~HostWindow() {
        if (window_ != nullptr) DestroyWindow(window_);
    }
    const wchar_t* WindowClassName() const override { return L"VeneerControlTestHost"; }
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE) {
            manager.AttachWindow(window_, L"host");
            return 0;
        }
        LRESULT result = 0;
        if (manager.HandleWindowMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::ProcessMessage(message, wParam, lParam);
    }
    HWND Create(int width, int height) {
        CWindowManagerUI::SetModuleHandle(GetModuleHandleW(nullptr));
        HWND window = Open(nullptr, L"Veneer control test", WS_POPUP | WS_VISIBLE, 0, 20, 20, width, height);
        if (window != nullptr) SetForegroundWindow(window);
        return window;
    }
};

struct NotifyRecorder : INotifyUI {
    std::vector<UiNotify> got;
    // Called for each notification as it arrives, before it is recorded.
    std::function<void(const UiNotify&)> onReceive;
    void Receive(UiNotify& notification) override {
        if (onReceive) onReceive(notification);
        got.push_back(notification);
    }
    int Count(const wchar_t* type) const {
        int count = 0;
        for (const UiNotify& notification : got) count += notification.type == type ? 1 : 0;
        return count;
    }
    // The notification types in order, skipping the manager's own focus reports.
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

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (!CWindowManagerUI::PreDispatch(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        Pump();
    }
    return true;
}

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

// One window serves the whole test program: under Wine without a window manager,
// hiding or destroying a shown window waits two seconds for the X server. It is
// never destroyed; the process's end takes it.
inline HostWindow& SharedHost() {
    static HostWindow* host = [] {
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

    NotifyRecorder recorder;
};

}  // namespace ControlTest
