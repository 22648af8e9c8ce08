// The window manager's keyboard side: the focused control, tab order in reading
// order, shortcuts, the focus rectangle, and the keys handled before dispatch.

#include "ui/core/WindowManager.h"

#include <algorithm>
#include <climits>
#include <vector>

#include "ui/control/Control.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

bool IsTabStop(CControlUI* control) { return (control->GetInputFlags() & kInputTabStop) != 0; }

CControlUI* CollectControls(CControlUI* control, void* data) {
    static_cast<std::vector<CControlUI*>*>(data)->push_back(control);
    return nullptr;
}

// The visible, enabled controls in tab order (each before its children).
std::vector<CControlUI*> TabOrder(CControlUI* root) {
    std::vector<CControlUI*> controls;
    if (root != nullptr) root->FindInTree(CollectControls, &controls, kFindVisible | kFindEnabled | kFindMeFirst);
    return controls;
}

std::vector<CControlUI*> TabStops(CControlUI* root) {
    std::vector<CControlUI*> stops = TabOrder(root);
    stops.erase(std::remove_if(stops.begin(), stops.end(), [](CControlUI* c) { return !IsTabStop(c); }), stops.end());
    return stops;
}

struct ShortcutSearch {
    wchar_t ch;
    bool pickNext;
};

wchar_t UpperChar(wchar_t ch) {
    return static_cast<wchar_t>(reinterpret_cast<UINT_PTR>(CharUpperW(reinterpret_cast<LPWSTR>(static_cast<UINT_PTR>(ch)))));
}

CControlUI* MatchShortcut(CControlUI* control, void* data) {
    auto* search = static_cast<ShortcutSearch*>(data);
    if (!control->IsVisible()) return nullptr;
    if (search->pickNext) return control;
    if (control->GetShortcut() == 0 || UpperChar(control->GetShortcut()) != search->ch) return nullptr;
    // A label names the control that follows it.
    if (control->CastTo(L"Label") != nullptr) {
        search->pickNext = true;
        return nullptr;
    }
    return control;
}

}  // namespace

void CWindowManagerUI::DropFocus(CControlUI* next) {
    if (focus_ == nullptr) return;
    CControlUI* old = focus_;
    SendEvent(old, kEventKillFocus, 0, 0, 0, next);
    // The event or a receiver may have destroyed it (ForgetControl then cleared focus_).
    if (focus_ == old) SendNotification(old, L"killfocus");
    focus_ = nullptr;
}

void CWindowManagerUI::FocusControl(CControlUI* control, bool takeNativeFocus) {
    if (takeNativeFocus && window_ != nullptr && GetFocus() != window_ && control != focus_ && !noActivate_) {
        SetFocus(window_);
    }
    if (control == focus_) return;
    InvalidateFocusCue(focus_);
    DropFocus(control);
    if (control == nullptr) return;
    if (control->GetManager() != this || !control->IsVisible() || !control->IsEnabled()) return;
    focus_ = control;
    InvalidateFocusCue(control);
    SendEvent(control, kEventSetFocus);
    // Before "setfocus": its receiver may open a modal window.
    if (focus_ == control) NotifyAccessibleEvent(EVENT_OBJECT_FOCUS, control);
    if (focus_ == control) SendNotification(control, L"setfocus");
}

void CWindowManagerUI::FocusFirstTabStop(CControlUI* control) {
    if (!noActivate_ && window_ != nullptr) SetFocus(window_);
    if (control == nullptr) return;
    DropFocus(control);
    // The next paint moves forward from the tab stop before the control, onto it.
    CControlUI* previous = nullptr;
    std::vector<CControlUI*> stops = InReadingOrder(TabStops(root_));
    auto at = std::find(stops.begin(), stops.end(), control);
    if (at != stops.end()) {
        if (at != stops.begin()) previous = *(at - 1);
    } else {
        for (CControlUI* candidate : TabOrder(root_)) {
            if (candidate == control) break;
            if (IsTabStop(candidate)) previous = candidate;
        }
    }
    focus_ = previous;
    focusNeeded_ = true;
    if (root_ != nullptr) root_->MarkLayoutDirty();
}

bool CWindowManagerUI::MoveFocusByTab(bool forward) {
    if (updateNeeded_ && forward) {
        focusNeeded_ = true;
        if (window_ != nullptr) InvalidateRect(window_, nullptr, FALSE);
        return true;
    }
    std::vector<CControlUI*> stops = InReadingOrder(TabStops(root_));
    focusNeeded_ = false;
    if (stops.empty()) return false;
    auto current = std::find(stops.begin(), stops.end(), focus_);
    CControlUI* next = nullptr;
    if (forward) {
        next = current == stops.end() || current + 1 == stops.end() ? stops.front() : *(current + 1);
    } else {
        next = current == stops.end() || current == stops.begin() ? stops.back() : *(current - 1);
    }
    FocusControl(next, true);
    return true;
}

bool CWindowManagerUI::ReadsRightToLeft() const {
    const wchar_t* direction = CustomWindowAttribute(L"direction");
    return direction != nullptr && _wcsicmp(direction, L"rtl") == 0;
}

std::vector<CControlUI*> CWindowManagerUI::InReadingOrder(std::vector<CControlUI*> controls) const {
    if (!ReadsRightToLeft()) return controls;
    std::stable_sort(controls.begin(), controls.end(),
                     [](CControlUI* a, CControlUI* b) { return a->GetRect().top < b->GetRect().top; });
    // Rows: controls whose heights overlap the row's band, taken from the top.
    std::vector<CControlUI*> ordered;
    size_t rowStart = 0;
    LONG rowBottom = LONG_MIN;
    auto closeRow = [&ordered, &controls](size_t from, size_t to) {
        std::vector<CControlUI*> row(controls.begin() + from, controls.begin() + to);
        std::stable_sort(row.begin(), row.end(),
                         [](CControlUI* a, CControlUI* b) { return a->GetRect().right > b->GetRect().right; });
        ordered.insert(ordered.end(), row.begin(), row.end());
    };
    for (size_t i = 0; i < controls.size(); ++i) {
        const RECT& rect = controls[i]->GetRect();
        if (i > rowStart && rect.top >= rowBottom) {
            closeRow(rowStart, i);
            rowStart = i;
            rowBottom = LONG_MIN;
        }
        rowBottom = std::max(rowBottom, rect.bottom);
    }
    closeRow(rowStart, controls.size());
    return ordered;
}

bool CWindowManagerUI::ShowsFocusCues() const { return focusCues_ || highContrast_; }

void CWindowManagerUI::ShowFocusCues() {
    if (focusCues_) return;
    focusCues_ = true;
    InvalidateFocusCue(focus_);
}

void CWindowManagerUI::InvalidateFocusCue(CControlUI* control) {
    if (control != nullptr && ShowsFocusCues() && control->GetManager() == this) control->Invalidate();
}

void CWindowManagerUI::PaintFocusCue(HDC dc) {
    if (!ShowsFocusCues() || focus_ == nullptr || !focus_->IsVisible() || !IsTabStop(focus_)) return;
    RECT rect = focus_->GetRect();
    // Dotted and drawn by inverting, so that it shows on any colour; as thick as a
    // skin pixel at the window's scale.
    int thickness = std::max(1, scale_.Length(1));
    for (int i = 0; i < thickness; ++i) {
        InflateRect(&rect, -1, -1);
        if (rect.right <= rect.left || rect.bottom <= rect.top) break;
        DrawFocusRect(dc, &rect);
    }
}

CControlUI* CWindowManagerUI::FindShortcut(wchar_t ch) const {
    if (root_ == nullptr) return nullptr;
    ShortcutSearch search = {ch, false};
    return root_->FindInTree(MatchShortcut, &search, kFindEnabled | kFindMeFirst | kFindTopFirst);
}

bool CWindowManagerUI::HandleBeforeDispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    CDispatchScope scope(this);
    if (OfferToFilters(earlyFilters_, message, wParam, lParam, result)) return true;
    switch (message) {
    case WM_KEYDOWN:
        if (wParam != VK_TAB) return false;
        // A rich edit takes Tab as text.
        if (focus_ != nullptr && focus_->IsVisible() && focus_->IsEnabled() && focus_->CastTo(L"RichEdit") != nullptr) {
            return false;
        }
        ShowFocusCues();
        MoveFocusByTab(GetKeyState(VK_SHIFT) >= 0);
        return true;
    case WM_SYSKEYDOWN:
        ShowFocusCues();
        if (focus_ != nullptr) SendEvent(focus_, kEventSysKey, wParam, lParam, static_cast<wchar_t>(wParam));
        return false;
    case WM_SYSCHAR: {
        CControlUI* control = FindShortcut(UpperChar(static_cast<wchar_t>(wParam)));
        if (control == nullptr) return false;
        FocusControl(control, true);
        control->Activate();
        return true;
    }
    default:
        return false;
    }
}

}  // namespace Veneer
