#include "ui/control/Text.h"

#include <cwchar>

#include "ui/core/WindowManager.h"

namespace Veneer {

CTextUI::CTextUI() {
    textStyle_ = DT_WORDBREAK;
    textPadding_ = {2, 0, 2, 0};
    RememberSkinLength(L"textpadding", L"2,0,2,0");
}

const wchar_t* CTextUI::GetTypeName() const { return L"Text"; }

void* CTextUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Text") == 0) return static_cast<CControlUI*>(this);
    return CLabelUI::CastTo(name);
}

UINT CTextUI::GetInputFlags() { return IsEnabled() && linkCount_ > 0 ? UINT{kInputSetCursor} : 0u; }

int CTextUI::LinkAt(POINT point) const {
    for (int i = 0; i < linkCount_; ++i) {
        if (PtInRect(&linkRects_[i], point)) return i;
    }
    return -1;
}

void CTextUI::HandleEvent(UiEvent& event) {
    if (PassOnIgnoredMouse(event)) return;
    switch (event.kind) {
    case kEventSetCursor:
        if (LinkAt(event.mousePoint) >= 0) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            return;
        }
        break;
    case kEventButtonDown:
    case kEventDoubleClick:
        if ((event.kind == kEventButtonDown || IsEnabled()) && LinkAt(event.mousePoint) >= 0) {
            Invalidate();
            return;
        }
        break;
    case kEventButtonUp:
        if (IsEnabled()) {
            int link = LinkAt(event.mousePoint);
            if (link >= 0) Notify(L"link", static_cast<WPARAM>(link), 0);
            return;
        }
        break;
    case kEventContextMenu:
        return;
    case kEventMouseMove:
        if (linkCount_ > 0 && IsEnabled()) {
            int hovered = LinkAt(event.mousePoint);
            if (hovered != hoveredLink_) {
                hoveredLink_ = hovered;
                Invalidate();
                return;
            }
        }
        break;
    case kEventMouseLeave:
        if (linkCount_ > 0 && IsEnabled() && hoveredLink_ >= 0) {
            if (PtInRect(&linkRects_[hoveredLink_], event.mousePoint)) {
                if (manager_ != nullptr) manager_->AddMouseLeaveTracking(this);
                return;
            }
            hoveredLink_ = -1;
            Invalidate();
            if (manager_ != nullptr) manager_->RemoveMouseLeaveTracking(this);
        }
        break;
    default:
        break;
    }
    CLabelUI::HandleEvent(event);
}

void CTextUI::PaintCaption(HDC dc) {
    if (text_.IsEmpty()) {
        linkCount_ = 0;
        return;
    }
    ResolveDefaultColors();
    RECT rect = TextRect();
    DWORD color = CaptionColor(IsEnabled() ? textColor_ : disabledTextColor_);
    if (!showHtml_) {
        CDrawEngine::PaintPlainText(dc, manager_, rect, text_, color, font_, textStyle_);
        return;
    }
    linkCount_ = kMaxLinks;
    CDrawEngine::PaintMarkupText(dc, manager_, rect, text_, color, linkRects_, linkTexts_, linkCount_, font_,
                                 textStyle_);
}

}  // namespace Veneer
