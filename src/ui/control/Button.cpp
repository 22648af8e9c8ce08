#include "ui/control/Button.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

bool FollowHover(CControlUI& control, UINT& state, const UiEvent& event) {
    bool inside = PtInRect(&control.GetRect(), event.mousePoint) != FALSE;
    CWindowManagerUI* manager = control.GetManager();
    if (event.kind == kEventMouseEnter) {
        if (inside && control.IsEnabled() && (state & kStateHot) == 0) {
            state |= kStateHot;
            control.Invalidate();
        }
        return true;
    }
    if (inside) {
        if (manager != nullptr) manager->AddMouseLeaveTracking(&control);
        return false;
    }
    if (control.IsEnabled() && (state & kStateHot) != 0) {
        state &= ~kStateHot;
        control.Invalidate();
    }
    if (manager != nullptr) manager->RemoveMouseLeaveTracking(&control);
    return true;
}

void FollowFocusAndEnabled(const CControlUI& control, UINT& state) {
    if (control.IsFocused()) {
        state |= kStateFocused;
    } else {
        state &= ~kStateFocused;
    }
    if (!control.IsEnabled()) {
        state |= kStateDisabled;
    } else {
        state &= ~kStateDisabled;
    }
}

CButtonUI::CButtonUI() { textStyle_ = DT_VCENTER | DT_SINGLELINE | DT_CENTER; }

const wchar_t* CButtonUI::GetTypeName() const { return L"Button"; }

void* CButtonUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Button") == 0) return static_cast<CControlUI*>(this);
    return CLabelUI::CastTo(name);
}

UINT CButtonUI::GetInputFlags() {
    if (!IsEnabled()) return 0;
    return kInputSetCursor | (IsKeyboardEnabled() ? UINT{kInputTabStop} : 0u);
}

bool CButtonUI::Activate() {
    if (!CLabelUI::Activate()) return false;
    Notify(L"click");
    return true;
}

void CButtonUI::SetEnabled(bool enabled) {
    CLabelUI::SetEnabled(enabled);
    if (!IsEnabled()) state_ = 0;
}

void CButtonUI::StartFadeTimer() {
    if (manager_ != nullptr) manager_->StartTimer(this, kFadeTimer, kFadeElapse);
}

void CButtonUI::HandleEvent(UiEvent& event) {
    if (PassOnIgnoredMouse(event)) return;
    bool inside = PtInRect(&itemRect_, event.mousePoint) != FALSE;
    switch (event.kind) {
    case kEventSetFocus:
    case kEventKillFocus:
        Invalidate();
        break;
    case kEventKeyDown:
        if (IsKeyboardEnabled() && IsEnabled() && (event.key == L' ' || event.key == VK_RETURN)) {
            Activate();
            return;
        }
        break;
    case kEventButtonDown:
    case kEventDoubleClick:
        if (inside && IsEnabled()) {
            state_ |= kStatePushed | kStateCaptured;
            Invalidate();
        }
        return;
    case kEventMouseMove:
        if ((state_ & kStateCaptured) != 0) {
            if (inside) {
                state_ |= kStatePushed;
            } else {
                state_ &= ~kStatePushed;
            }
            Invalidate();
            return;
        }
        break;
    case kEventButtonUp:
        if ((state_ & kStateCaptured) != 0) {
            // A release outside, or after the press left and never came back, is no click.
            if (inside && IsEnabled()) Activate();
            state_ &= ~(kStatePushed | kStateCaptured);
            Invalidate();
            return;
        }
        break;
    case kEventContextMenu:
        if (UsesContextMenu() && IsEnabled()) Notify(L"menu", event.wParam, event.lParam);
        return;
    case kEventMouseEnter:
    case kEventMouseLeave:
        if (!FollowHover(*this, state_, event)) return;
        if (fadeStep_ != 0) StartFadeTimer();
        break;
    case kEventSetCursor:
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return;
    case kEventTimer:
        if (event.wParam == kFadeTimer) {
            if ((state_ & kStateHot) != 0) {
                if (fadeLevel_ > fadeStep_) {
                    fadeLevel_ -= fadeStep_;
                } else {
                    fadeLevel_ = 0;
                    if (manager_ != nullptr) manager_->StopTimer(this, kFadeTimer);
                }
            } else if (fadeLevel_ < 255 - fadeStep_) {
                fadeLevel_ += fadeStep_;
            } else {
                fadeLevel_ = 255;
                if (manager_ != nullptr) manager_->StopTimer(this, kFadeTimer);
            }
            Invalidate();
            return;
        }
        break;
    default:
        break;
    }
    CLabelUI::HandleEvent(event);
}

void CButtonUI::SetFiveStatusImage(const wchar_t* image) {
    DrawInfo* columns[] = {&normalImage_, &pushedImage_, &hotImage_, &focusedImage_, &disabledImage_};
    SIZE part = {0, 0};
    for (int i = 0; i < 5; ++i) {
        DrawInfo& info = *columns[i];
        ReplaceImage(info, image);
        if (manager_ == nullptr || !CDrawEngine::PaintImage(nullptr, manager_, itemRect_, itemRect_, info) ||
            info.image == nullptr) {
            continue;
        }
        part = {info.image->width / 5, info.image->height};
        info.source = {i * part.cx, 0, (i + 1) * part.cx, part.cy};
    }
    if (float_ && fixedSize_.cx == 0 && fixedSize_.cy == 0 && part.cx > 0) {
        SetFixedWidth(part.cx);
        SetFixedHeight(part.cy);
    }
    Invalidate();
}

void CButtonUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"normalimage") == 0) {
        SetNormalImage(value);
    } else if (wcscmp(name, L"hotimage") == 0) {
        SetHotImage(value);
    } else if (wcscmp(name, L"pushedimage") == 0) {
        SetPushedImage(value);
    } else if (wcscmp(name, L"focusedimage") == 0) {
        SetFocusedImage(value);
    } else if (wcscmp(name, L"disabledimage") == 0) {
        SetDisabledImage(value);
    } else if (wcscmp(name, L"foreimage") == 0) {
        SetForeImage(value);
    } else if (wcscmp(name, L"hotforeimage") == 0) {
        SetHotForeImage(value);
    } else if (wcscmp(name, L"fivestatusimage") == 0) {
        SetFiveStatusImage(value);
    } else if (wcscmp(name, L"fadedelta") == 0) {
        SetFadeStep(static_cast<BYTE>(ReadInteger(value)));
    } else if (wcscmp(name, L"hotbkcolor") == 0) {
        SetHotBackColor(ReadColor(value));
    } else if (wcscmp(name, L"hottextcolor") == 0) {
        SetHotTextColor(ReadColor(value));
    } else if (wcscmp(name, L"pushedtextcolor") == 0) {
        SetPushedTextColor(ReadColor(value));
    } else if (wcscmp(name, L"focusedtextcolor") == 0) {
        SetFocusedTextColor(ReadColor(value));
    } else {
        CLabelUI::ApplyAttribute(name, value);
    }
}

SIZE CButtonUI::MeasureSize(SIZE /*available*/) { return FixedOrFontSize(); }

void CButtonUI::PaintNormalImage(HDC dc) {
    bool fading = fadeStep_ != 0;
    if (fading && fadeLevel_ < 255) {
        hotImage_.fade = static_cast<BYTE>(255 - fadeLevel_);
        DrawImage(dc, hotImage_);
    }
    if (fading) normalImage_.fade = fadeLevel_;
    DrawImage(dc, normalImage_);
}

bool CButtonUI::HasFace() const {
    return !normalImage_.Empty() || !hotImage_.Empty() || !pushedImage_.Empty() || !focusedImage_.Empty() ||
           !disabledImage_.Empty();
}

void CButtonUI::PaintHighContrastFace(HDC dc, const HighContrastPalette& palette) {
    if (!HasFace()) return;
    bool active = IsEnabled() && (state_ & (kStateHot | kStatePushed)) != 0;
    CDrawEngine::FillColor(dc, paintRect_, active ? palette.highlight : palette.buttonFace);
    CDrawEngine::StrokeRect(dc, itemRect_, DeviceLength(1), IsEnabled() ? palette.buttonText : palette.grayText);
    // A button without words shows its picture's shape in the button's text colour.
    if (text_.IsEmpty()) {
        CDrawEngine::PaintImageShape(dc, manager_, itemRect_, paintRect_, normalImage_,
                                     active ? palette.highlightText : palette.buttonText);
    }
}

void CButtonUI::PaintStateImage(HDC dc) {
    UpdatePaintState();
    if (const HighContrastPalette* palette = HighContrast()) {
        PaintHighContrastFace(dc, *palette);
        return;
    }
    bool fading = fadeStep_ != 0;
    if ((state_ & kStateDisabled) != 0) {
        if (!DrawImage(dc, disabledImage_)) PaintNormalImage(dc);
    } else if ((state_ & kStatePushed) != 0) {
        if (!DrawImage(dc, pushedImage_)) DrawImage(dc, normalImage_);
        if (DrawImage(dc, pushedForeImage_)) return;
    } else if ((state_ & kStateHot) != 0) {
        if (fading && fadeLevel_ > 0) {
            normalImage_.fade = fadeLevel_;
            DrawImage(dc, normalImage_);
            hotImage_.fade = static_cast<BYTE>(255 - fadeLevel_);
            DrawImage(dc, hotImage_);
        } else if (fading) {
            hotImage_.fade = 255;
            DrawImage(dc, hotImage_);
        } else if (!DrawImage(dc, hotImage_)) {
            DrawImage(dc, normalImage_);
        }
        if (DrawImage(dc, hotForeImage_)) return;
        if (hotBackColor_ != 0) {
            CDrawEngine::FillColor(dc, paintRect_, AdjustColor(hotBackColor_));
            return;
        }
    } else if ((state_ & kStateFocused) == 0 || !DrawImage(dc, focusedImage_)) {
        PaintNormalImage(dc);
    }
    DrawImage(dc, foreImage_);
}

void CButtonUI::PaintCaption(HDC dc) {
    UpdatePaintState();
    ResolveDefaultColors();
    if (text_.IsEmpty()) return;
    DWORD color = IsEnabled() ? textColor_ : disabledTextColor_;
    if ((state_ & kStatePushed) != 0 && pushedTextColor_ != 0) {
        color = pushedTextColor_;
    } else if ((state_ & kStateHot) != 0 && hotTextColor_ != 0) {
        color = hotTextColor_;
    } else if ((state_ & kStateFocused) != 0 && focusedTextColor_ != 0) {
        color = focusedTextColor_;
    }
    const HighContrastPalette* palette = HighContrast();
    if (palette != nullptr && HasFace()) {
        bool active = IsEnabled() && (state_ & (kStateHot | kStatePushed)) != 0;
        color = !IsEnabled() ? palette->grayText : active ? palette->highlightText : palette->buttonText;
    } else {
        color = CaptionColor(color);
    }
    RECT rect = TextRect();
    PaintText(dc, rect, color, textStyle_);
}

}  // namespace Veneer
