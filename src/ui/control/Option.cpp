#include "ui/control/Option.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/core/DrawColors.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

COptionUI::COptionUI() = default;

COptionUI::~COptionUI() {
    if (!group_.IsEmpty() && manager_ != nullptr) manager_->LeaveOptionGroup(group_, this);
}

const wchar_t* COptionUI::GetTypeName() const { return L"Option"; }

void* COptionUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Option") == 0) return static_cast<CControlUI*>(this);
    return CButtonUI::CastTo(name);
}

bool COptionUI::Activate() {
    if (!CButtonUI::Activate()) return false;
    SetSelected(group_.IsEmpty() ? !selected_ : true, true);
    return true;
}

void COptionUI::AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init) {
    CButtonUI::AttachToManager(manager, parent, init);
    if (init && !group_.IsEmpty() && manager_ != nullptr) manager_->JoinOptionGroup(group_, this);
}

void COptionUI::SetEnabled(bool enabled) {
    CButtonUI::SetEnabled(enabled);
    if (!IsEnabled()) state_ = selected_ ? UINT{kStateSelected} : 0u;
}

void COptionUI::SetSelected(bool selected, bool notify) {
    if (selected_ == selected) return;
    selected_ = selected;
    if (selected_) {
        state_ |= kStateSelected;
    } else {
        state_ &= ~kStateSelected;
    }
    if (manager_ != nullptr) {
        manager_->NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, this);
        if (!group_.IsEmpty()) {
            if (!selected_) {
                // In a group only the option that becomes selected reports.
                Invalidate();
                return;
            }
            if (const CPtrArray* members = manager_->OptionGroup(group_)) {
                // A copy: deselecting may run receivers that change the group.
                CPtrArray others = *members;
                for (int i = 0; i < others.GetSize(); ++i) {
                    auto* other = static_cast<COptionUI*>(others.GetAt(i));
                    if (other != this) other->SetSelected(false, notify);
                }
            }
        }
        if (notify) Notify(L"selectchanged");
    }
    Invalidate();
}

void COptionUI::SetGroup(const wchar_t* group) {
    if (group == nullptr) {
        if (group_.IsEmpty()) return;
        group_.Empty();
    } else {
        if (group_ == group) return;
        if (!group_.IsEmpty() && manager_ != nullptr) manager_->LeaveOptionGroup(group_, this);
        group_ = group;
    }
    if (manager_ != nullptr) {
        if (group_.IsEmpty()) {
            manager_->LeaveOptionGroup(group_, this);
        } else {
            manager_->JoinOptionGroup(group_, this);
        }
    }
    SetSelected(selected_, true);
}

void COptionUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"group") == 0) {
        SetGroup(value);
    } else if (wcscmp(name, L"selected") == 0) {
        SetSelected(IsTrueValue(value), true);
    } else if (wcscmp(name, L"selectedimage") == 0) {
        SetSelectedImage(value);
    } else if (wcscmp(name, L"selectedhotimage") == 0) {
        SetSelectedHotImage(value);
    } else if (wcscmp(name, L"foreimage") == 0) {
        SetOptionForeImage(value);
    } else if (wcscmp(name, L"selectedbkcolor") == 0) {
        SetSelectedBackColor(ReadColor(value));
    } else if (wcscmp(name, L"selectedtextcolor") == 0) {
        SetSelectedTextColor(ReadColor(value));
    } else {
        CButtonUI::ApplyAttribute(name, value);
    }
}

void COptionUI::PaintHighContrastBox(HDC dc, const HighContrastPalette& palette) {
    // The box stands where the skin's picture of the box stands.
    RECT box;
    if (!CDrawEngine::PaintImage(nullptr, manager_, itemRect_, paintRect_, normalImage_) ||
        !CDrawEngine::TargetOf(itemRect_, paintRect_, normalImage_, box)) {
        return;
    }
    int line = DeviceLength(1);
    bool hot = IsEnabled() && (state_ & kStateHot) != 0;
    DWORD ink = !IsEnabled() ? palette.grayText : palette.windowText;
    CDrawEngine::FillColor(dc, box, palette.window);
    CDrawEngine::StrokeRect(dc, box, line, hot ? palette.highlight : ink);
    if (!selected_) return;
    int width = box.right - box.left, height = box.bottom - box.top;
    if (!group_.IsEmpty()) {
        RECT dot = box;
        InflateRect(&dot, -width / 4, -height / 4);
        CDrawEngine::FillColor(dc, dot, ink);
        return;
    }
    // A tick: down from the left, then up to the right.
    const POINT tick[] = {{box.left + width * 22 / 100, box.top + height * 52 / 100},
                          {box.left + width * 42 / 100, box.top + height * 72 / 100},
                          {box.left + width * 78 / 100, box.top + height * 30 / 100}};
    UniqueGdiObject<HPEN> pen(CreatePen(PS_SOLID, DeviceLength(2), ToColorRef(ink)));
    CSelectObject selected(dc, pen.Get());
    Polyline(dc, tick, 3);
}

void COptionUI::PaintStateImage(HDC dc) {
    if (const HighContrastPalette* palette = HighContrast()) {
        UpdatePaintState();
        PaintHighContrastBox(dc, *palette);
        return;
    }
    bool done = false;
    if (selected_) {
        bool drawn = (state_ & kStateHot) != 0 && DrawImage(dc, selectedHotImage_);
        if (!drawn) drawn = DrawImage(dc, selectedImage_);
        if (drawn) {
            done = true;
        } else if (selectedBackColor_ != 0) {
            CDrawEngine::FillColor(dc, paintRect_, AdjustColor(selectedBackColor_));
            done = true;
        }
    }
    if (!done) {
        // An option never shows the pushed look.
        UINT saved = state_;
        state_ &= ~kStatePushed;
        CButtonUI::PaintStateImage(dc);
        state_ = (state_ & ~kStatePushed) | (saved & kStatePushed);
    }
    DrawImage(dc, optionForeImage_);
}

void COptionUI::PaintCaption(HDC dc) {
    if (HighContrast() != nullptr) {
        // The caption stands on the window, not on a button face.
        ResolveDefaultColors();
        if (text_.IsEmpty()) return;
        RECT rect = TextRect();
        PaintText(dc, rect, CaptionColor(textColor_), textStyle_);
        return;
    }
    if (!selected_) {
        UINT saved = state_;
        state_ &= ~kStatePushed;
        CButtonUI::PaintCaption(dc);
        state_ = (state_ & ~kStatePushed) | (saved & kStatePushed);
        return;
    }
    DWORD savedColor = textColor_;
    if (selectedTextColor_ != 0) textColor_ = selectedTextColor_;
    ResolveDefaultColors();
    if (!text_.IsEmpty()) {
        RECT rect = TextRect();
        PaintText(dc, rect, IsEnabled() ? textColor_ : disabledTextColor_, textStyle_);
    }
    textColor_ = savedColor;
}

const wchar_t* CCheckBoxUI::GetTypeName() const { return L"CheckBox"; }

void* CCheckBoxUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"CheckBox") == 0) return static_cast<CControlUI*>(this);
    return COptionUI::CastTo(name);
}

}  // namespace Veneer
