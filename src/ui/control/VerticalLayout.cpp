#include "ui/control/VerticalLayout.h"

#include <algorithm>
#include <cwchar>

#include "ui/control/ScrollBar.h"

namespace Veneer {

CVerticalLayoutUI::CVerticalLayoutUI() : CLinearLayoutUI(true, L"sepheight") {}

const wchar_t* CVerticalLayoutUI::GetTypeName() const { return L"VerticalLayout"; }

void* CVerticalLayoutUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"VerticalLayout") == 0) return static_cast<CControlUI*>(this);
    return CLinearLayoutUI::CastTo(name);
}

void CVerticalLayoutUI::Place(RECT rect, bool invalidate) {
    PlaceStart start;
    if (!BeginPlace(rect, invalidate, start)) return;
    const RECT& inner = start.inner;
    SIZE& available = start.available;
    const SIZE& offset = start.offset;
    const SIZE& extent = start.extent;

    // Measuring pass: what the fixed children take, and how many share the rest.
    int stretchCount = 0;
    int fixedTotal = 0;
    int laidOut = 0;
    int widest = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (!child->IsVisible() || child->IsFloat()) continue;
        RECT p = child->GetPadding();
        int widthCap = child->GetFixedWidth() > 0 ? child->GetFixedWidth() : child->GetMaxWidth();
        int heightCap = child->GetFixedHeight() > 0 ? child->GetFixedHeight() : child->GetMaxHeight();
        SIZE size = child->MeasureSize(
            SIZE{std::min<LONG>(widthCap, available.cx - p.left - p.right), std::min<LONG>(heightCap, available.cy)});
        if (size.cy == 0) {
            ++stretchCount;
        } else {
            size.cy = ClampHeight(child, size.cy);
        }
        fixedTotal += p.top + size.cy + p.bottom;
        ++laidOut;
        int need = ClampWidth(child, std::max<LONG>(size.cx, 0)) + p.left + p.right;
        widest = std::max(widest, need);
    }
    int gaps = childPadding_ * std::max(laidOut - 1, 0);
    fixedTotal += gaps;
    int share = stretchCount > 0 ? std::max<int>(0, (available.cy - fixedTotal) / stretchCount) : 0;

    // Placing pass.
    int y = inner.top - (IsVerticalBarVisible() ? offset.cy : 0);
    int remainingHeight = available.cy;
    int remainingFixed = fixedTotal;
    int stretchSeen = 0;
    int placed = 0;
    int neededHeight = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (!child->IsVisible()) continue;
        if (child->IsFloat()) {
            PlaceFloatChild(i);
            continue;
        }
        RECT p = child->GetPadding();
        remainingHeight -= p.top;
        int widthCap = child->GetFixedWidth() > 0 ? child->GetFixedWidth() : child->GetMaxWidth();
        int heightCap = child->GetFixedHeight() > 0 ? child->GetFixedHeight() : child->GetMaxHeight();
        int widthRoom = std::min<int>(widthCap, available.cx - p.left - p.right);
        int heightRoom = std::min(heightCap, remainingHeight);
        remainingFixed -= p.top + p.bottom;
        if (placed > 0) remainingFixed -= childPadding_;
        SIZE size = child->MeasureSize(SIZE{widthRoom, heightRoom});
        if (size.cy != 0) {
            size.cy = ClampHeight(child, size.cy);
            remainingFixed -= size.cy;
        } else {
            ++stretchSeen;
            // The last stretchable child takes the rounding remainder.
            size.cy = stretchSeen == stretchCount ? std::max<int>(0, remainingHeight - p.bottom - remainingFixed) : share;
            size.cy = ClampHeight(child, size.cy);
        }
        int limit = child->GetMaxWidth();
        if (limit == 0) limit = available.cx - p.left - p.right;
        int width = std::min(widthRoom, std::max<int>(0, limit));
        if (width < child->GetMinWidth()) width = child->GetMinWidth();

        int top = y + p.top;
        RECT placedRect;
        if (childAlign_ == DT_CENTER) {
            int x = (inner.left + inner.right) / 2;
            if (IsHorizontalBarVisible()) x += extent.cx / 2 - offset.cx;
            placedRect = {x - width / 2, top, x - width / 2 + width, top + size.cy};
        } else if (childAlign_ == DT_RIGHT) {
            int x = inner.right;
            if (IsHorizontalBarVisible()) x += extent.cx - offset.cx;
            placedRect = {x - width - p.right, top, x - p.right, top + size.cy};
        } else {
            int x = inner.left;
            if (IsHorizontalBarVisible()) x -= offset.cx;
            placedRect = {x + p.left, top, x + p.left + width, top + size.cy};
        }
        child->Place(placedRect, false);

        y += size.cy + p.top + p.bottom + childPadding_;
        neededHeight += size.cy + p.top + p.bottom;
        remainingHeight -= size.cy + p.bottom + childPadding_;
        ++placed;
    }
    UpdateScrollBars(inner, widest, neededHeight + gaps);
}

}  // namespace Veneer
