#pragma once
// Test doubles for the window-manager tests and the paint benchmark: controls that
// record the events they are given and fill themselves with a colour, a minimal
// container, a host window that routes its messages to a window manager, and a
// receiver that records notifications.

#include <windows.h>

#include <cwchar>
#include <functional>
#include <vector>

#include "ui/control/Control.h"
#include "ui/core/WindowManager.h"
#include "ui/core/WindowWnd.h"

namespace VeneerTest {

using namespace Veneer;

class RecordingControl : public CControlUI {
public:
    std::vector<UiEvent> events;
    UINT inputFlags = 0;
    COLORREF fill = CLR_INVALID;
    const wchar_t* typeWord = nullptr;  // an extra word CastTo answers (L"Label", ...)
    int activations = 0;
    bool* destroyedFlag = nullptr;

    ~RecordingControl() override {
        if (destroyedFlag != nullptr) *destroyedFlag = true;
    }
    UINT GetInputFlags() override { return inputFlags; }
    void* CastTo(const wchar_t* name) override {
        if (typeWord != nullptr && wcscmp(name, typeWord) == 0) return this;
        return CControlUI::CastTo(name);
    }
    bool Activate() override {
        ++activations;
        return CControlUI::Activate();
    }
    void DispatchEvent(UiEvent& event) override {
        events.push_back(event);
        CControlUI::DispatchEvent(event);
    }
    bool PaintSelf(HDC dc, const RECT& paintRect, CControlUI* stop) override {
        if (fill != CLR_INVALID) {
            RECT area;
            if (IntersectRect(&area, &paintRect, &GetRect())) {
                HBRUSH brush = CreateSolidBrush(fill);
                FillRect(dc, &area, brush);
                DeleteObject(brush);
            }
        }
        return CControlUI::PaintSelf(dc, paintRect, stop);
    }
    int Count(UiEventKind kind) const {
        int count = 0;
        for (const UiEvent& event : events) count += event.kind == kind ? 1 : 0;
        return count;
    }
    void Clear() { events.clear(); }
};

// Children at fixed rectangles relative to the container's top-left corner.
class TestContainer : public RecordingControl {
public:
    ~TestContainer() override {
        for (CControlUI* child : children_) child->Destroy();
    }
    template <class Control>
    Control* Add(Control* child, RECT rect) {
        children_.push_back(child);
        rects_.push_back(rect);
        if (manager_ != nullptr) {
            manager_->BindTree(child, this);
        } else {
            child->AttachToManager(nullptr, this, false);
        }
        return child;
    }
    bool Remove(CControlUI* child) {
        for (size_t i = 0; i < children_.size(); ++i) {
            if (children_[i] == child) {
                children_.erase(children_.begin() + i);
                rects_.erase(rects_.begin() + i);
                return true;
            }
        }
        return false;
    }
    void AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init) override {
        for (CControlUI* child : children_) child->AttachToManager(manager, this, init);
        CControlUI::AttachToManager(manager, parent, init);
    }
    void Place(RECT rect, bool invalidate) override {
        CControlUI::Place(rect, invalidate);
        for (size_t i = 0; i < children_.size(); ++i) {
            RECT child = rects_[i];
            OffsetRect(&child, GetRect().left, GetRect().top);
            children_[i]->Place(child, invalidate);
        }
    }
    CControlUI* FindInTree(FindControlProc visitor, void* data, UINT flags) override {
        if ((flags & kFindVisible) != 0 && !IsVisible()) return nullptr;
        if ((flags & kFindEnabled) != 0 && !IsEnabled()) return nullptr;
        if ((flags & kFindHitTest) != 0 && !PtInRect(&GetRect(), *static_cast<POINT*>(data))) return nullptr;
        if ((flags & kFindUpdateTest) != 0 && visitor(this, data) != nullptr) return nullptr;
        bool visit = (flags & kFindHitTest) == 0 || IsMouseEnabled();
        if ((flags & kFindMeFirst) != 0 && visit) {
            if (CControlUI* found = visitor(this, data)) return found;
        }
        if ((flags & kFindTopFirst) != 0) {
            for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
                if (CControlUI* found = (*it)->FindInTree(visitor, data, flags)) return found;
            }
        } else {
            for (CControlUI* child : children_) {
                if (CControlUI* found = child->FindInTree(visitor, data, flags)) return found;
            }
        }
        if ((flags & kFindMeFirst) == 0 && visit) return visitor(this, data);
        return nullptr;
    }
    bool Paint(HDC dc, const RECT& paintRect, CControlUI* stop) override {
        if (!CControlUI::Paint(dc, paintRect, stop)) return false;
        for (CControlUI* child : children_) {
            if (!child->Paint(dc, paintRect, stop)) return false;
        }
        return true;
    }

private:
    std::vector<CControlUI*> children_;
    std::vector<RECT> rects_;
};

class HostWindow : public CWindowWnd {
public:
    CWindowManagerUI manager;
    // Runs before the manager sees a message; return true to stop it there.
    std::function<bool(UINT, WPARAM, LPARAM)> before;

    ~HostWindow() {
        // A derived window's members are gone by now: its hook must not see the last messages.
        before = nullptr;
        if (window_ != nullptr) DestroyWindow(window_);
    }
    const wchar_t* WindowClassName() const override { return L"VeneerTestHost"; }
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CREATE) {
            manager.AttachWindow(window_, L"host");
            return 0;
        }
        if (before && before(message, wParam, lParam)) return 0;
        LRESULT result = 0;
        if (manager.HandleWindowMessage(message, wParam, lParam, result)) return result;
        return CWindowWnd::ProcessMessage(message, wParam, lParam);
    }
    HWND Create(int width, int height, HWND owner = nullptr, DWORD exStyle = 0) {
        return Open(owner, L"Veneer test", WS_POPUP | WS_VISIBLE, exStyle, 40, 40, width, height);
    }
};

struct NotifyRecorder : INotifyUI {
    std::vector<UiNotify> got;
    void Receive(UiNotify& notification) override { got.push_back(notification); }
    int Count(const wchar_t* type) const {
        int count = 0;
        for (const UiNotify& notification : got) count += notification.type == type ? 1 : 0;
        return count;
    }
};

// While it lives, no window of this thread becomes active or takes the keyboard focus
// (a CBT hook refuses both), so a long test's windows never take them from the tests
// running beside it.
class NoActivation {
public:
    NoActivation() : hook_(SetWindowsHookExW(WH_CBT, Refuse, nullptr, GetCurrentThreadId())) {}
    ~NoActivation() {
        if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    }
    NoActivation(const NoActivation&) = delete;
    NoActivation& operator=(const NoActivation&) = delete;
    bool Installed() const { return hook_ != nullptr; }

private:
    static LRESULT CALLBACK Refuse(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE || code == HCBT_SETFOCUS) return 1;
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_;
};

// Runs the thread's queued messages through the framework's hook, as the modal loop does.
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

inline LPARAM At(int x, int y) { return MAKELPARAM(x, y); }

}  // namespace VeneerTest
