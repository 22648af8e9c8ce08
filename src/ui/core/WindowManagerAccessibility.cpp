// The window manager's side of accessibility: the accessible object a screen reader
// reaches through WM_GETOBJECT, its children and events, the actions it asks for, and
// the system's high-contrast mode.

#include "ui/core/WindowManager.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "log/Log.h"
#include "ui/control/Control.h"
#include "ui/control/ControlAccessibility.h"
#include "ui/core/AccessibleWindow.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

constexpr UINT_PTR kValueEventTimerId = 0x2001;
constexpr DWORD kValueEventInterval = 1000;

DWORD SystemColor(int index) {
    COLORREF color = GetSysColor(index);
    return 0xFF000000 | (static_cast<DWORD>(GetRValue(color)) << 16) | (static_cast<DWORD>(GetGValue(color)) << 8) |
           GetBValue(color);
}

CControlUI* CollectAccessible(CControlUI* control, void* data) {
    if (IsAccessible(control)) static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

}  // namespace

HighContrastPalette HighContrastPalette::FromSystem() {
    return HighContrastPalette{SystemColor(COLOR_WINDOW),     SystemColor(COLOR_WINDOWTEXT), SystemColor(COLOR_HIGHLIGHT),
                               SystemColor(COLOR_HIGHLIGHTTEXT), SystemColor(COLOR_HOTLIGHT), SystemColor(COLOR_BTNFACE),
                               SystemColor(COLOR_BTNTEXT),    SystemColor(COLOR_GRAYTEXT)};
}

const HighContrastPalette HighContrastPalette::kBlack = {0xFF000000, 0xFFFFFFFF, 0xFF1AEBFF, 0xFF000000,
                                                         0xFFFFFF00, 0xFF000000, 0xFFFFFFFF, 0xFF3FF23F};

const HighContrastPalette HighContrastPalette::kWhite = {0xFFFFFFFF, 0xFF000000, 0xFF37006E, 0xFFFFFFFF,
                                                         0xFF00009F, 0xFFFFFFFF, 0xFF000000, 0xFF600000};

void CWindowManagerUI::OverrideHighContrast(const HighContrastPalette* palette) {
    SharedState& shared = Shared();
    shared.highContrastOverridden = palette != nullptr;
    if (palette != nullptr) shared.highContrastOverride = *palette;
    for (CWindowManagerUI* manager : shared.managers) {
        if (manager->RefreshHighContrast() && manager->window_ != nullptr) InvalidateRect(manager->window_, nullptr, FALSE);
    }
}

bool CWindowManagerUI::RefreshHighContrast() {
    const SharedState& shared = Shared();
    bool on = shared.highContrastOverridden;
    HighContrastPalette palette = shared.highContrastOverride;
    if (!on) {
        HIGHCONTRASTW setting = {};
        setting.cbSize = sizeof setting;
        on = SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof setting, &setting, 0) &&
             (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
        if (on) palette = HighContrastPalette::FromSystem();
    }
    bool changed = on != highContrast_ || (on && memcmp(&palette, &palette_, sizeof palette) != 0);
    highContrast_ = on;
    palette_ = on ? palette : HighContrastPalette{};
    return changed;
}

std::vector<CControlUI*> CWindowManagerUI::AccessibleChildren() const {
    std::vector<CControlUI*> children;
    if (root_ != nullptr) root_->FindInTree(CollectAccessible, &children, kFindVisible | kFindMeFirst);
    return InReadingOrder(children);
}

long CWindowManagerUI::AccessibleIdOf(CControlUI* control) const {
    std::vector<CControlUI*> children = AccessibleChildren();
    auto found = std::find(children.begin(), children.end(), control);
    return found != children.end() ? static_cast<long>(found - children.begin()) + 1 : 0;
}

CControlUI* CWindowManagerUI::AccessibleChild(long id) const {
    std::vector<CControlUI*> children = AccessibleChildren();
    return id >= 1 && id <= static_cast<long>(children.size()) ? children[id - 1] : nullptr;
}

void CWindowManagerUI::PostAccessibleAction(CControlUI* control, AccessibleAction action) {
    if (window_ == nullptr || control == nullptr) return;
    // The control, not its child id: the tree may change before the message arrives.
    pendingActions_.push_back(PendingAction{control, action});
    PostMessageW(window_, kAccessibleActionMessage, 0, 0);
}

void CWindowManagerUI::RunNextAccessibleAction() {
    // One message per action; ForgetControl drops the actions of a destroyed control.
    if (pendingActions_.empty()) return;
    PendingAction next = pendingActions_.front();
    pendingActions_.erase(pendingActions_.begin());
    if (next.action == kAccessibleTakeFocus) {
        FocusControl(next.control, true);
    } else {
        DoDefaultAction(next.control);
    }
}

bool CWindowManagerUI::AnswerGetObject(WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT) || root_ == nullptr) return false;
    if (accessible_ == nullptr) {
        // Clients in other processes reach the object through COM, which must deliver
        // their calls on this thread: the thread joins a single-threaded apartment for
        // the life of the process. A thread in the multi-threaded one would take calls
        // on other threads, so it answers nothing.
        HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (joined == RPC_E_CHANGED_MODE) {
            LOG_A("the UI thread is in the multi-threaded apartment: no accessible object");
            return false;
        }
        accessible_ = new CAccessibleWindow(this);
    }
    result = LresultFromObject(IID_IAccessible, wParam, accessible_);
    return true;
}

void CWindowManagerUI::DisconnectAccessibility() {
    if (valueTimerRunning_ && window_ != nullptr) KillTimer(window_, kValueEventTimerId);
    valueTimerRunning_ = false;
    valueEvents_.clear();
    if (accessible_ == nullptr) return;
    accessible_->Disconnect();
    CoDisconnectObject(accessible_, 0);
    accessible_->Release();
    accessible_ = nullptr;
}

void CWindowManagerUI::NotifyAccessibleEvent(DWORD event, CControlUI* control) {
    // Nothing to tell before the tree is the window's, nor about controls outside it.
    if (window_ == nullptr || root_ == nullptr || !IsWindow(window_)) return;
    if (control != nullptr && (control->GetManager() != this || !IsAccessible(control))) return;
    NotifyWinEvent(event, window_, OBJID_CLIENT, control != nullptr ? AccessibleIdOf(control) : CHILDID_SELF);
}

void CWindowManagerUI::NotifyAccessibleValue(CControlUI* control) {
    if (window_ == nullptr || root_ == nullptr || control == nullptr || !IsAccessible(control)) return;
    DWORD now = GetTickCount();
    auto known = std::find_if(valueEvents_.begin(), valueEvents_.end(),
                              [control](const ValueEvent& event) { return event.control == control; });
    if (known == valueEvents_.end()) {
        valueEvents_.push_back(ValueEvent{control, now - kValueEventInterval, false});
        known = valueEvents_.end() - 1;
    }
    DWORD since = now - known->lastSent;
    if (since >= kValueEventInterval) {
        known->lastSent = now;
        known->pending = false;
        NotifyAccessibleEvent(EVENT_OBJECT_VALUECHANGE, control);
        return;
    }
    known->pending = true;
    // A timer procedure: the message goes to it, never to the window's own WM_TIMER.
    if (!valueTimerRunning_) {
        valueTimerRunning_ = SetTimer(window_, kValueEventTimerId, kValueEventInterval - since, ValueEventTimer) != 0;
    }
}

void CALLBACK CWindowManagerUI::ValueEventTimer(HWND window, UINT, UINT_PTR, DWORD) {
    if (CWindowManagerUI* manager = ManagerOf(window)) manager->SendDueValueEvents();
}

void CWindowManagerUI::SendDueValueEvents() {
    KillTimer(window_, kValueEventTimerId);
    valueTimerRunning_ = false;
    DWORD now = GetTickCount();
    DWORD wait = kValueEventInterval;
    std::vector<CControlUI*> due;
    for (ValueEvent& event : valueEvents_) {
        if (!event.pending) continue;
        DWORD since = now - event.lastSent;
        // Timers may fire a few milliseconds early.
        if (since + 10 >= kValueEventInterval) {
            event.pending = false;
            event.lastSent = now;
            due.push_back(event.control);
        } else {
            wait = std::min(wait, kValueEventInterval - since);
        }
    }
    if (std::any_of(valueEvents_.begin(), valueEvents_.end(), [](const ValueEvent& event) { return event.pending; })) {
        valueTimerRunning_ = SetTimer(window_, kValueEventTimerId, wait, ValueEventTimer) != 0;
    }
    for (CControlUI* control : due) NotifyAccessibleEvent(EVENT_OBJECT_VALUECHANGE, control);
}

}  // namespace Veneer
