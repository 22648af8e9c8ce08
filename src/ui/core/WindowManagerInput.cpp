// The window manager's routing of the window's messages: mouse hit-testing, hover,
// capture and leave, keys to the focused control, timers, reflection to native child
// windows, and the message loop's hook before dispatch.

#include "ui/core/WindowManager.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "ui/control/Control.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

constexpr UINT kReflectOffset = 0x2000;  // the reflected-message base (OCM_BASE)
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later
// The key-state bit for Alt, beside the MK_ mouse-message bits.
constexpr WORD kKeyStateAlt = 0x20;

WORD KeyState() {
    WORD state = 0;
    if (GetKeyState(VK_CONTROL) < 0) state |= MK_CONTROL;
    if (GetKeyState(VK_RBUTTON) < 0) state |= MK_RBUTTON;
    if (GetKeyState(VK_LBUTTON) < 0) state |= MK_LBUTTON;
    if (GetKeyState(VK_SHIFT) < 0) state |= MK_SHIFT;
    if (GetKeyState(VK_MENU) < 0) state |= kKeyStateAlt;
    return state;
}

POINT PointFrom(LPARAM lParam) { return POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}; }

}  // namespace

bool CWindowManagerUI::AddMouseLeaveTracking(CControlUI* control) { return AddOnce(mouseLeaveTracking_, control); }

bool CWindowManagerUI::RemoveMouseLeaveTracking(CControlUI* control) { return RemoveOnce(mouseLeaveTracking_, control); }

bool CWindowManagerUI::AddEarlyFilter(IMessageFilterUI* filter) { return AddOnce(earlyFilters_, filter); }

bool CWindowManagerUI::RemoveEarlyFilter(IMessageFilterUI* filter) { return RemoveOnce(earlyFilters_, filter); }

bool CWindowManagerUI::AddFilter(IMessageFilterUI* filter) { return AddOnce(filters_, filter); }

bool CWindowManagerUI::RemoveFilter(IMessageFilterUI* filter) { return RemoveOnce(filters_, filter); }

bool CWindowManagerUI::AddAcceleratorTranslator(ITranslateAccelerator* translator) {
    return AddOnce(translators_, translator);
}

bool CWindowManagerUI::RemoveAcceleratorTranslator(ITranslateAccelerator* translator) {
    return RemoveOnce(translators_, translator);
}

bool CWindowManagerUI::AddOverlayPainter(CControlUI* control) { return AddOnce(overlayPainters_, control); }

bool CWindowManagerUI::RemoveOverlayPainter(CControlUI* control) { return RemoveOnce(overlayPainters_, control); }

bool CWindowManagerUI::AddChildWindow(CControlUI* control, HWND window) {
    if (control == nullptr || window == nullptr) return false;
    for (const ChildWindow& child : childWindows_) {
        if (child.window == window) return false;
    }
    childWindows_.push_back(ChildWindow{control, window});
    return true;
}

bool CWindowManagerUI::RemoveChildWindow(HWND window) {
    auto it = std::find_if(childWindows_.begin(), childWindows_.end(),
                           [window](const ChildWindow& child) { return child.window == window; });
    if (it == childWindows_.end()) return false;
    childWindows_.erase(it);
    return true;
}

void CWindowManagerUI::CaptureMouse() {
    if (window_ == nullptr) return;
    SetCapture(window_);
    mouseCaptured_ = true;
}

void CWindowManagerUI::ReleaseMouse() {
    mouseCaptured_ = false;
    ReleaseCapture();
}

void CWindowManagerUI::SendEvent(CControlUI* control, UiEventKind kind, WPARAM wParam, LPARAM lParam, wchar_t key,
                                 CControlUI* sender, const POINT* point) {
    if (control == nullptr) return;
    CDispatchScope scope(this);
    UiEvent event = {};
    event.kind = kind;
    event.sender = sender != nullptr ? sender : control;
    event.timestamp = GetTickCount();
    event.mousePoint = point != nullptr ? *point : lastMousePos_;
    event.key = key;
    event.keyState = KeyState();
    event.wParam = wParam;
    event.lParam = lParam;
    control->DispatchEvent(event);
}

void CWindowManagerUI::HandleMouseMove(POINT point) {
    if (!mouseTracking_) {
        TRACKMOUSEEVENT track = {sizeof track, TME_HOVER | TME_LEAVE, window_, hoverTime_};
        if (toolTip_ != nullptr) track.dwHoverTime = static_cast<DWORD>(SendMessageW(toolTip_, TTM_GETDELAYTIME, TTDT_INITIAL, 0));
        TrackMouseEvent(&track);
        mouseTracking_ = true;
    }
    lastMousePos_ = point;
    CControlUI* control = ControlAt(point);
    if (control != nullptr && control->GetManager() != this) return;
    if (!mouseCaptured_ && control != hover_) {
        if (hover_ != nullptr) {
            CControlUI* old = hover_;
            WalkRegistered(mouseLeaveTracking_, [this, old](CControlUI* tracked) {
                if (tracked != old) SendEvent(tracked, kEventMouseLeave);
                return false;
            });
            SendEvent(hover_, kEventMouseLeave);
            HideToolTip();
            hover_ = nullptr;
        }
        if (control != nullptr) {
            SendEvent(control, kEventMouseEnter);
            hover_ = control;
        }
    }
    CControlUI* target = click_ != nullptr ? click_ : control;
    SendEvent(target, kEventMouseMove);
}

LRESULT CWindowManagerUI::ReflectToChild(UINT message, WPARAM wParam, LPARAM lParam, HWND child, bool& handled) {
    handled = false;
    if (child == nullptr || !IsWindow(child)) return 0;
    handled = true;
    return SendMessageW(child, message + kReflectOffset, wParam, lParam);
}

bool CWindowManagerUI::HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (window_ == nullptr) return false;
    CDispatchScope scope(this);
    if (OfferToFilters(filters_, message, wParam, lParam, result)) {
        switch (message) {
        case WM_CONTEXTMENU:
        case WM_MOUSEWHEEL: {
            POINT point = PointFrom(lParam);
            ScreenToClient(window_, &point);
            lastMousePos_ = point;
            break;
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_LBUTTONUP:
            lastMousePos_ = PointFrom(lParam);
            break;
        default:
            break;
        }
        return true;
    }

    if (layered_ && HandleLayeredMessage(message, wParam, result)) return true;

    switch (message) {
    case kNotifyMessage:
        DeliverQueuedNotifications();
        result = 0;
        return true;
    case WM_CLOSE: {
        SendEvent(hover_, kEventMouseLeave);
        SendEvent(click_, kEventButtonUp);
        hover_ = nullptr;
        click_ = nullptr;
        FocusControl(nullptr, false);
        if (GetActiveWindow() == window_) {
            HWND owner = (GetWindowLongW(window_, GWL_STYLE) & WS_CHILD) != 0 ? GetParent(window_)
                                                                              : GetWindow(window_, GW_OWNER);
            if (owner != nullptr) SetFocus(owner);
        }
        if (toolTip_ != nullptr) {
            DestroyWindow(toolTip_);
            toolTip_ = nullptr;
            toolTipControl_ = nullptr;
        }
        return false;
    }
    case WM_ERASEBKGND:
        result = 1;
        return true;
    case WM_GETOBJECT:
        return AnswerGetObject(wParam, lParam, result);
    case WM_DESTROY:
        DisconnectAccessibility();
        return false;
    case kAccessibleActionMessage:
        RunNextAccessibleAction();
        result = 0;
        return true;
    case kDpiChangedMessage: {
        // Moved to a display of another density: the skin at the new scale, in the
        // rectangle the system suggests.
        SetDpi(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        if (suggested != nullptr) {
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                         suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        result = 0;
        return true;
    }
    case WM_PAINT:
        Paint();
        result = 0;
        return true;
    case WM_PRINTCLIENT:
        if (root_ == nullptr) return false;
        PrintClient(reinterpret_cast<HDC>(wParam), lParam);
        result = 0;
        return true;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        if (minTrack_.cx > 0) info->ptMinTrackSize.x = minTrack_.cx;
        if (minTrack_.cy > 0) info->ptMinTrackSize.y = minTrack_.cy;
        if (maxTrack_.cx > 0) info->ptMaxTrackSize.x = maxTrack_.cx;
        if (maxTrack_.cy > 0) info->ptMaxTrackSize.y = maxTrack_.cy;
        return false;
    }
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
        if (RefreshHighContrast()) InvalidateRect(window_, nullptr, FALSE);
        return false;
    case WM_SIZE:
        SendEvent(focus_, kEventWindowSize);
        if (root_ != nullptr) root_->MarkLayoutDirty();
        updateNeeded_ = true;
        if (layered_) InvalidateRect(window_, nullptr, FALSE);
        result = 0;
        return true;
    case WM_TIMER:
        for (const TimerRecord& timer : timers_) {
            if (timer.window == window_ && timer.nativeId == wParam && !timer.killed) {
                SendEvent(timer.control, kEventTimer, timer.key, lParam);
                result = 0;
                return true;
            }
        }
        return false;
    case WM_MOUSEHOVER: {
        mouseTracking_ = false;
        POINT point = PointFrom(lParam);
        SendEvent(hover_, kEventMouseHover, wParam, lParam);
        ShowToolTip(point);
        result = 0;
        return true;
    }
    case WM_MOUSELEAVE: {
        HideToolTip();
        if (mouseTracking_) {
            POINT cursor;
            GetCursorPos(&cursor);
            POINT point = cursor;
            ScreenToClient(window_, &point);
            bool inside = GetActiveWindow() == window_ && !IsIconic(window_) &&
                          SendMessageW(window_, WM_NCHITTEST, 0, MAKELPARAM(cursor.x, cursor.y)) == HTCLIENT;
            SendMessageW(window_, WM_MOUSEMOVE, 0, inside ? MAKELPARAM(point.x, point.y) : MAKELPARAM(-1, -1));
        }
        mouseTracking_ = false;
        result = 0;
        return true;
    }
    case WM_MOUSEMOVE:
        if (root_ == nullptr) return false;
        HandleMouseMove(PointFrom(lParam));
        result = 0;
        return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
        if (!noActivate_) SetFocus(window_);
        POINT point = PointFrom(lParam);
        lastMousePos_ = point;
        CControlUI* control = ControlAt(point);
        if (control == nullptr || control->GetManager() != this) return false;
        click_ = control;
        if (message == WM_LBUTTONDOWN) {
            FocusControl(control);
            CaptureMouse();
            SendEvent(control, kEventButtonDown, wParam, lParam);
        } else if (message == WM_LBUTTONDBLCLK) {
            CaptureMouse();
            SendEvent(control, kEventDoubleClick, wParam, lParam);
        } else {
            FocusControl(control);
            SendEvent(control, kEventRightButtonDown, wParam, lParam);
        }
        result = 0;
        return true;
    }
    case WM_LBUTTONUP: {
        lastMousePos_ = PointFrom(lParam);
        if (click_ == nullptr) return false;
        ReleaseMouse();
        CControlUI* control = click_;
        click_ = nullptr;
        SendEvent(control, kEventButtonUp, wParam, lParam);
        result = 0;
        return true;
    }
    case WM_CAPTURECHANGED:
        // Capture taken away (another window, a menu, a message box): the pressed control
        // lets go as if the button went up away from every control, so it does not act.
        if (reinterpret_cast<HWND>(lParam) != window_ && mouseCaptured_) {
            mouseCaptured_ = false;
            CControlUI* control = click_;
            click_ = nullptr;
            const POINT nowhere = {LONG_MIN, LONG_MIN};
            SendEvent(control, kEventButtonUp, 0, 0, 0, nullptr, &nowhere);
        }
        return false;
    case WM_CONTEXTMENU: {
        if (mouseCaptured_) return false;
        POINT point = PointFrom(lParam);
        ScreenToClient(window_, &point);
        lastMousePos_ = point;
        if (click_ == nullptr) return false;
        CControlUI* control = click_;
        click_ = nullptr;
        SendEvent(control, kEventContextMenu, wParam, lParam);
        result = 0;
        return true;
    }
    case WM_MOUSEWHEEL: {
        POINT point = PointFrom(lParam);
        ScreenToClient(window_, &point);
        CControlUI* control = ControlAt(point);
        if (control == nullptr || control->GetManager() != this) return false;
        int delta = GET_WHEEL_DELTA_WPARAM(wParam);
        SendEvent(control, kEventScrollWheel, delta < 0 ? 1 : 0, lParam);
        SendMessageW(window_, WM_MOUSEMOVE, 0, MAKELPARAM(lastMousePos_.x, lastMousePos_.y));
        result = 0;
        return true;
    }
    case WM_KEYDOWN:
        if (focus_ == nullptr) return false;
        key_ = focus_;
        SendEvent(focus_, kEventKeyDown, wParam, lParam, static_cast<wchar_t>(wParam));
        result = 0;
        return true;
    case WM_KEYUP: {
        if (key_ == nullptr) return false;
        CControlUI* control = key_;
        key_ = nullptr;
        SendEvent(control, kEventKeyUp, wParam, lParam, static_cast<wchar_t>(wParam));
        result = 0;
        return true;
    }
    case WM_CHAR:
        if (focus_ == nullptr) return false;
        SendEvent(focus_, kEventChar, wParam, lParam, static_cast<wchar_t>(wParam));
        result = 0;
        return true;
    case WM_SETCURSOR: {
        if (LOWORD(lParam) != HTCLIENT || mouseCaptured_) return false;
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(window_, &point);
        CControlUI* control = ControlAt(point);
        if (control == nullptr || (control->GetInputFlags() & kInputSetCursor) == 0) return false;
        SendEvent(control, kEventSetCursor, wParam, lParam);
        result = TRUE;
        return true;
    }
    case WM_MOUSEACTIVATE:
        if (!noActivate_) return false;
        result = MA_NOACTIVATE;
        return true;
    case WM_KILLFOCUS: {
        HWND gaining = reinterpret_cast<HWND>(wParam);
        for (const ChildWindow& child : childWindows_) {
            if (child.window == gaining) {
                FocusControl(child.control, false);
                break;
            }
        }
        return false;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header == nullptr) return false;
        bool handled = false;
        result = ReflectToChild(message, wParam, lParam, header->hwndFrom, handled);
        return handled;
    }
    case WM_COMMAND:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
        bool handled = false;
        result = ReflectToChild(message, wParam, lParam, reinterpret_cast<HWND>(lParam), handled);
        return handled;
    }
    default:
        return false;
    }
}

bool CWindowManagerUI::PreDispatch(MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) return false;
    auto translate = [message](CWindowManagerUI* manager) {
        return WalkRegistered(manager->translators_, [message](ITranslateAccelerator* translator) {
            return translator->TranslateAccelerator(message) == 0;
        });
    };
    LRESULT result = 0;
    bool isChild = (GetWindowLongW(message->hwnd, GWL_STYLE) & WS_CHILD) != 0 && GetParent(message->hwnd) != nullptr;
    // A copy: a handler may create or destroy windows (and managers) meanwhile.
    std::vector<CWindowManagerUI*> managers = Shared().managers;
    if (isChild) {
        for (auto it = managers.rbegin(); it != managers.rend(); ++it) {
            CWindowManagerUI* manager = *it;
            auto& live = Shared().managers;
            if (std::find(live.begin(), live.end(), manager) == live.end()) continue;
            if (manager->window_ != message->hwnd && !IsChild(manager->window_, message->hwnd)) continue;
            if (translate(manager)) return true;
            manager->HandleBeforeDispatch(message->message, message->wParam, message->lParam, result);
        }
        return false;
    }
    CWindowManagerUI* manager = ManagerOf(message->hwnd);
    if (manager == nullptr) return false;
    if (translate(manager)) return true;
    return manager->HandleBeforeDispatch(message->message, message->wParam, message->lParam, result);
}

}  // namespace Veneer
