#include "ui/control/LayoutSeparator.h"

#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {
// The colour of the bar that shows the new edge while dragging.
constexpr DWORD kDragBarColor = 0xAA000000;
}  // namespace

RECT CLayoutSeparator::Band(const CControlUI& layout) const {
    RECT band = layout.GetRect();
    if (thickness_ == 0) return RECT{0, 0, 0, 0};
    if (vertical_) {
        if (thickness_ > 0) {
            band.top = band.bottom - thickness_;
        } else {
            band.bottom = band.top - thickness_;
        }
    } else if (thickness_ > 0) {
        band.left = band.right - thickness_;
    } else {
        band.right = band.left - thickness_;
    }
    return band;
}

void CLayoutSeparator::ApplySize(CControlUI& layout, const RECT& rect) const {
    if (vertical_) {
        layout.SetFixedHeight(rect.bottom - rect.top);
    } else {
        layout.SetFixedWidth(rect.right - rect.left);
    }
}

bool CLayoutSeparator::HandleEvent(CControlUI& layout, const UiEvent& event) {
    if (thickness_ == 0 || !layout.IsEnabled()) return false;
    CWindowManagerUI* manager = layout.GetManager();
    switch (event.kind) {
    case kEventSetCursor: {
        RECT band = Band(layout);
        if (!captured_ && !PtInRect(&band, event.mousePoint)) return false;
        ::SetCursor(::LoadCursorW(nullptr, vertical_ ? IDC_SIZENS : IDC_SIZEWE));
        return true;
    }
    case kEventButtonDown: {
        RECT band = Band(layout);
        if (!PtInRect(&band, event.mousePoint)) return false;
        captured_ = true;
        lastMouse_ = event.mousePoint;
        dragRect_ = layout.GetRect();
        if (!immediate_ && manager != nullptr) manager->AddOverlayPainter(&layout);
        return true;
    }
    case kEventMouseMove: {
        if (!captured_) return false;
        int delta = vertical_ ? event.mousePoint.y - lastMouse_.y : event.mousePoint.x - lastMouse_.x;
        RECT rect = dragRect_;
        LONG& edge = vertical_ ? (thickness_ > 0 ? rect.bottom : rect.top) : (thickness_ > 0 ? rect.right : rect.left);
        edge += delta;
        int size = vertical_ ? rect.bottom - rect.top : rect.right - rect.left;
        int low = vertical_ ? layout.GetMinHeight() : layout.GetMinWidth();
        int high = vertical_ ? layout.GetMaxHeight() : layout.GetMaxWidth();
        if (size < low || size > high) return true;
        lastMouse_ = event.mousePoint;
        RECT old = dragRect_;
        dragRect_ = rect;
        if (immediate_) {
            ApplySize(layout, dragRect_);
        } else if (manager != nullptr) {
            RECT both;
            UnionRect(&both, &old, &dragRect_);
            manager->InvalidateArea(both);
        }
        return true;
    }
    case kEventButtonUp:
        if (!captured_) return false;
        captured_ = false;
        if (!immediate_) {
            if (manager != nullptr) manager->RemoveOverlayPainter(&layout);
            ApplySize(layout, dragRect_);
        }
        layout.Invalidate();
        return true;
    default:
        return false;
    }
}

void CLayoutSeparator::PaintDrag(HDC dc) const {
    if (!captured_ || immediate_) return;
    RECT bar = dragRect_;
    int thickness = thickness_ > 0 ? thickness_ : -thickness_;
    if (vertical_) {
        if (thickness_ > 0) {
            bar.top = bar.bottom - thickness;
        } else {
            bar.bottom = bar.top + thickness;
        }
    } else if (thickness_ > 0) {
        bar.left = bar.right - thickness;
    } else {
        bar.right = bar.left + thickness;
    }
    CDrawEngine::FillColor(dc, bar, kDragBarColor);
}

}  // namespace Veneer
