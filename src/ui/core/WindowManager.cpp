// The per-window part of CWindowManagerUI: attachment, routing of the window's
// messages to controls, hover, capture, focus, timers, tooltips, painting,
// notifications and the resource tables. The process-wide resource settings live
// with the resource loader.

#include "ui/core/WindowManager.h"
#include "ui/core/WindowManagerShared.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <map>
#include <memory>

#include "log/Log.h"
#include "ui/control/Control.h"
#include "ui/control/ControlAccessibility.h"
#include "ui/core/AccessibleWindow.h"
#include "ui/control/Label.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/FontFaceChoice.h"
#include "ui/core/SystemLibrary.h"

namespace Veneer {

namespace {

constexpr UINT kReflectOffset = 0x2000;  // the reflected-message base (OCM_BASE)
constexpr UINT kDpiChangedMessage = 0x02E0;  // WM_DPICHANGED, Windows 8.1 and later
// The key-state bit for Alt, beside the MK_ mouse-message bits.
constexpr WORD kKeyStateAlt = 0x20;

template <typename T>
void DeleteValues(CStringPtrMap& map) {
    for (int i = 0; i < map.GetSize(); ++i) delete static_cast<T*>(map.Find(map.KeyAt(i)));
    map.RemoveAll();
}

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

CControlUI* ControlAtPoint(CControlUI* control, void* data) {
    return PtInRect(&control->GetRect(), *static_cast<POINT*>(data)) ? control : nullptr;
}

CControlUI* ForgetInManager(CControlUI* control, void* manager) {
    static_cast<CWindowManagerUI*>(manager)->ForgetControl(control);
    return nullptr;
}

CControlUI* IndexName(CControlUI* control, void* data) {
    auto* names = static_cast<CStringPtrMap*>(data);
    if (!control->GetName().IsEmpty()) names->Insert(control->GetName(), control);
    return nullptr;
}

}  // namespace

namespace manager {

SharedState& Shared() {
    static SharedState state;
    return state;
}

}  // namespace manager

using namespace manager;

// ---- lifetime and tree --------------------------------------------------------

CWindowManagerUI::CWindowManagerUI() {
    SharedState& shared = Shared();
    if (!shared.initialized) {
        shared.initialized = true;
        LOGFONTW font = {};
        GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
        font.lfCharSet = DEFAULT_CHARSET;
        StoreFont(shared.standardFont, CreateFontIndirectW(&font), font.lfFaceName, -font.lfHeight,
                  font.lfWeight >= FW_BOLD, font.lfUnderline != 0, font.lfItalic != 0);
        shared.dirtyPen = CreatePen(PS_SOLID, 1, RGB(220, 0, 0));
        InitCommonControls();
        LoadSystemLibrary(L"msimg32.dll");
    }
    defaultDisabledColor_ = shared.disabledColor;
    defaultFontColor_ = shared.fontColor;
    defaultLinkColor_ = shared.linkColor;
    defaultLinkHoverColor_ = shared.linkHoverColor;
    defaultSelectedBackColor_ = shared.selectedBackColor;
    // Listed from the start, so that a control built for it and destroyed detached is
    // forgotten here too.
    shared.managers.push_back(this);
}

CWindowManagerUI::~CWindowManagerUI() {
    destroying_ = true;
    DisconnectAccessibility();
    auto& managers = Shared().managers;
    managers.erase(std::remove(managers.begin(), managers.end(), this), managers.end());
    StopAllTimers();
    for (UiNotify* notification : asyncNotifications_) delete notification;
    asyncNotifications_.clear();
    if (root_ != nullptr) {
        CControlUI* root = root_;
        root_ = nullptr;
        root->Destroy();
    }
    DestroyDelayedCleanup();
    ClearWindowTables();
    for (HFONT font : retiredFonts_) DeleteObject(font);
    if (toolTip_ != nullptr) DestroyWindow(toolTip_);
    if (paintDC_ != nullptr) ReleaseDC(window_, paintDC_);
}

void CWindowManagerUI::ClearWindowTables() {
    nameMap_.RemoveAll();
    DeleteValues<FontRecord>(fonts_);
    images_.clear();
    DeleteValues<CUiString>(classDefaults_);
    DeleteValues<CPtrArray>(optionGroups_);
    DeleteValues<CUiString>(customAttributes_);
}

void CWindowManagerUI::AttachWindow(HWND window, const wchar_t* name) {
    ClearWindowTables();
    StopAllTimers();
    name_ = name;
    if (window != window_) {
        if (paintDC_ != nullptr) ReleaseDC(window_, paintDC_);
        window_ = window;
        paintDC_ = GetDC(window);
        scale_ = CDpiScale(WindowDpi(window, paintDC_));
        RefreshHighContrast();
    }
}

bool CWindowManagerUI::AttachRoot(CControlUI* root) {
    FocusControl(nullptr, false);
    key_ = hover_ = click_ = toolTipControl_ = nullptr;
    if (root_ != nullptr) {
        if (!DefersDestruction()) DestroyDelayedCleanup();
        for (UiNotify* notification : asyncNotifications_) delete notification;
        asyncNotifications_.clear();
        nameMap_.RemoveAll();
        overlayPainters_.Empty();
        childWindows_.clear();
        delayedCleanup_.Add(root_);
    }
    root_ = root;
    if (root == nullptr) return false;
    firstLayout_ = true;
    updateNeeded_ = true;
    focusNeeded_ = true;
    return BindTree(root, nullptr);
}

bool CWindowManagerUI::BindTree(CControlUI* control, CControlUI* parent) {
    if (control == nullptr) return false;
    control->AttachToManager(this, parent != nullptr ? parent : control->GetParent(), true);
    control->FindInTree(IndexName, &nameMap_, kFindMeFirst);
    return true;
}

void CWindowManagerUI::ForgetControl(CControlUI* control) {
    if (control == nullptr) return;
    if (key_ == control) key_ = nullptr;
    if (hover_ == control) hover_ = nullptr;
    if (click_ == control) click_ = nullptr;
    if (focus_ == control) focus_ = nullptr;
    if (toolTipControl_ == control) toolTipControl_ = nullptr;
    StopTimers(control);
    if (!control->GetName().IsEmpty() && nameMap_.Find(control->GetName()) == control) {
        nameMap_.Remove(control->GetName());
    }
    for (UiNotify* notification : asyncNotifications_) {
        if (notification->sender == control) notification->sender = nullptr;
    }
    valueEvents_.erase(std::remove_if(valueEvents_.begin(), valueEvents_.end(),
                                      [control](const ValueEvent& event) { return event.control == control; }),
                       valueEvents_.end());
    pendingActions_.erase(std::remove_if(pendingActions_.begin(), pendingActions_.end(),
                                         [control](const PendingAction& action) { return action.control == control; }),
                          pendingActions_.end());
    // Lists that would otherwise call a destroyed control.
    overlayPainters_.RemoveItem(control);
    mouseLeaveTracking_.RemoveItem(control);
    childWindows_.erase(std::remove_if(childWindows_.begin(), childWindows_.end(),
                                       [control](const ChildWindow& child) { return child.control == control; }),
                        childWindows_.end());
    for (int i = 0; i < optionGroups_.GetSize(); ++i) {
        static_cast<CPtrArray*>(optionGroups_.Find(optionGroups_.KeyAt(i)))->RemoveItem(control);
    }
}

void CWindowManagerUI::DeferDestroy(CControlUI* control) {
    if (control == nullptr) return;
    control->AttachToManager(this, nullptr, false);
    // Out of the tree: no more events, and its names are free for others.
    control->FindInTree(ForgetInManager, this, 0);
    if (delayedCleanup_.Find(control) < 0) delayedCleanup_.Add(control);
    if (!notifyPosted_ && window_ != nullptr) {
        notifyPosted_ = PostMessageW(window_, kNotifyMessage, 0, 0) != FALSE;
    }
}

void CWindowManagerUI::DestroyDelayedCleanup() {
    // Destroying a control may handle messages (a native window closing) that defer
    // more controls: this loop takes those too.
    cleaningUp_ = true;
    while (!delayedCleanup_.IsEmpty()) {
        auto* control = static_cast<CControlUI*>(delayedCleanup_.GetAt(0));
        delayedCleanup_.Remove(0);
        control->Destroy();
    }
    cleaningUp_ = false;
}

CWindowManagerUI::CDispatchScope::CDispatchScope(CWindowManagerUI* manager) : manager_(manager) {
    if (manager_ != nullptr) ++manager_->dispatchDepth_;
}

CWindowManagerUI::CDispatchScope::~CDispatchScope() {
    if (manager_ != nullptr) manager_->LeaveDispatch();
}

void CWindowManagerUI::LeaveDispatch() {
    if (--dispatchDepth_ > 0 || cleaningUp_ || destroying_) return;
    DestroyDelayedCleanup();
}

void CWindowManagerUI::ForgetDetachedControl(CControlUI* control) {
    for (CWindowManagerUI* manager : Shared().managers) manager->ForgetControl(control);
}

CControlUI* CWindowManagerUI::ControlAt(POINT point) const {
    if (root_ == nullptr) return nullptr;
    return root_->FindInTree(ControlAtPoint, &point, kFindVisible | kFindHitTest | kFindTopFirst);
}

CControlUI* CWindowManagerUI::ControlNamed(const wchar_t* name) const {
    return static_cast<CControlUI*>(nameMap_.Find(name));
}

bool CWindowManagerUI::RenameControl(CControlUI* control, const wchar_t* name) {
    if (control == nullptr || control->GetManager() != this) return false;
    void* holder = name != nullptr && *name != L'\0' ? nameMap_.Find(name) : nullptr;
    if (holder != nullptr && holder != control) return false;
    for (int i = 0; i < nameMap_.GetSize(); ++i) {
        if (nameMap_.Find(nameMap_.KeyAt(i)) == control) {
            nameMap_.Remove(nameMap_.KeyAt(i));
            break;
        }
    }
    if (name != nullptr && *name != L'\0') nameMap_.Insert(name, control);
    return true;
}

bool CWindowManagerUI::AddMouseLeaveTracking(CControlUI* control) {
    if (control == nullptr || mouseLeaveTracking_.Find(control) >= 0) return false;
    mouseLeaveTracking_.Add(control);
    return true;
}

bool CWindowManagerUI::RemoveMouseLeaveTracking(CControlUI* control) { return mouseLeaveTracking_.RemoveItem(control); }

// ---- filters and translators --------------------------------------------------

namespace {
bool AddUnique(CPtrArray& list, void* item) {
    if (item == nullptr || list.Find(item) >= 0) return false;
    list.Add(item);
    return true;
}
}  // namespace

bool CWindowManagerUI::AddEarlyFilter(IMessageFilterUI* filter) { return AddUnique(earlyFilters_, filter); }
bool CWindowManagerUI::RemoveEarlyFilter(IMessageFilterUI* filter) { return earlyFilters_.RemoveItem(filter); }
bool CWindowManagerUI::AddFilter(IMessageFilterUI* filter) { return AddUnique(filters_, filter); }
bool CWindowManagerUI::RemoveFilter(IMessageFilterUI* filter) { return filters_.RemoveItem(filter); }
bool CWindowManagerUI::AddAcceleratorTranslator(ITranslateAccelerator* translator) {
    return AddUnique(translators_, translator);
}
bool CWindowManagerUI::RemoveAcceleratorTranslator(ITranslateAccelerator* translator) {
    return translators_.RemoveItem(translator);
}
bool CWindowManagerUI::AddOverlayPainter(CControlUI* control) { return AddUnique(overlayPainters_, control); }
bool CWindowManagerUI::RemoveOverlayPainter(CControlUI* control) { return overlayPainters_.RemoveItem(control); }

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

// ---- capture --------------------------------------------------------------------

void CWindowManagerUI::CaptureMouse() {
    if (window_ == nullptr) return;
    SetCapture(window_);
    mouseCaptured_ = true;
}

void CWindowManagerUI::ReleaseMouse() {
    mouseCaptured_ = false;
    ReleaseCapture();
}


// ---- option groups, custom attributes ---------------------------------------------

bool CWindowManagerUI::JoinOptionGroup(const wchar_t* group, CControlUI* control) {
    if (group == nullptr || control == nullptr) return false;
    auto* members = static_cast<CPtrArray*>(optionGroups_.Find(group));
    if (members == nullptr) {
        members = new CPtrArray;
        optionGroups_.Insert(group, members);
    }
    if (members->Find(control) < 0) members->Add(control);
    return true;
}

const CPtrArray* CWindowManagerUI::OptionGroup(const wchar_t* group) const {
    return static_cast<CPtrArray*>(optionGroups_.Find(group));
}

void CWindowManagerUI::LeaveOptionGroup(const wchar_t* group, CControlUI* control) {
    auto* members = static_cast<CPtrArray*>(optionGroups_.Find(group));
    if (members == nullptr) return;
    members->RemoveItem(control);
    if (members->IsEmpty()) {
        optionGroups_.Remove(group);
        delete members;
    }
}


// ---- events -------------------------------------------------------------------------

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
            for (int i = 0; i < mouseLeaveTracking_.GetSize(); ++i) {
                auto* tracked = static_cast<CControlUI*>(mouseLeaveTracking_.GetAt(i));
                if (tracked != old) SendEvent(tracked, kEventMouseLeave);
            }
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
    for (int i = 0; i < filters_.GetSize(); ++i) {
        bool handled = false;
        LRESULT answer = static_cast<IMessageFilterUI*>(filters_.GetAt(i))->FilterMessage(message, wParam, lParam, handled);
        if (!handled) continue;
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
        result = answer;
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
    case WM_PRINTCLIENT: {
        if (root_ == nullptr) return false;
        RECT client;
        GetClientRect(window_, &client);
        HDC dc = reinterpret_cast<HDC>(wParam);
        int saved = SaveDC(dc);
        root_->Paint(dc, client, nullptr);
        RestoreDC(dc, saved);
        if ((lParam & PRF_CHILDREN) != 0) {
            for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
                RECT rect;
                GetWindowRect(child, &rect);
                MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&rect), 2);
                saved = SaveDC(dc);
                SetWindowOrgEx(dc, -rect.left, -rect.top, nullptr);
                SendMessageW(child, WM_PRINT, wParam, lParam | PRF_NONCLIENT);
                RestoreDC(dc, saved);
            }
        }
        result = 0;
        return true;
    }
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


// ---- message-loop hook -------------------------------------------------------------

CWindowManagerUI* CWindowManagerUI::ManagerOf(HWND window) {
    for (CWindowManagerUI* manager : Shared().managers) {
        if (manager->window_ == window) return manager;
    }
    return nullptr;
}

bool CWindowManagerUI::PreDispatch(MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) return false;
    auto translate = [message](CWindowManagerUI* manager) {
        for (int i = 0; i < manager->translators_.GetSize(); ++i) {
            if (static_cast<ITranslateAccelerator*>(manager->translators_.GetAt(i))->TranslateAccelerator(message) == 0) {
                return true;
            }
        }
        return false;
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
