#include "ui/control/HorizontalLayout.h"

#include <algorithm>
#include <cwchar>

#include "ui/control/ScrollBar.h"

namespace Veneer {

CHorizontalLayoutUI::CHorizontalLayoutUI() : CLinearLayoutUI(false, L"sepwidth") {}

const wchar_t* CHorizontalLayoutUI::GetTypeName() const { return L"HorizontalLayout"; }

void* CHorizontalLayoutUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"HorizontalLayout") == 0) return static_cast<CControlUI*>(this);
    return CLinearLayoutUI::CastTo(name);
}

void CHorizontalLayoutUI::Place(RECT rect, bool invalidate) {
    PlaceStart start;
    if (!BeginPlace(rect, invalidate, start)) return;
    const RECT& inner = start.inner;
    SIZE& available = start.available;
    const SIZE& offset = start.offset;
    const SIZE& extent = start.extent;

    // Measuring pass. Only a child with a fixed width can be fixed: one without a
    // width always stretches, whatever it would measure.
    int stretchCount = 0;
    int fixedTotal = 0;
    int laidOut = 0;
    int tallest = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (!child->IsVisible() || child->IsFloat()) continue;
        RECT p = child->GetPadding();
        ++laidOut;
        if (child->GetFixedWidth() == 0) {
            ++stretchCount;
            fixedTotal += p.left + p.right;
            tallest = std::max<int>(tallest, child->GetFixedHeight() + p.top + p.bottom);
            continue;
        }
        int widthCap = child->GetFixedWidth();
        int heightCap = child->GetFixedHeight() > 0 ? child->GetFixedHeight() : child->GetMaxHeight();
        SIZE size = child->MeasureSize(
            SIZE{std::min<LONG>(widthCap, available.cx), std::min<LONG>(heightCap, available.cy - p.top - p.bottom)});
        if (size.cx == 0) {
            ++stretchCount;
        } else {
            size.cx = ClampWidth(child, size.cx);
        }
        fixedTotal += p.left + size.cx + p.right;
        int need = ClampHeight(child, std::max<LONG>(size.cy, 0)) + p.top + p.bottom;
        tallest = std::max(tallest, need);
    }
    int gaps = childPadding_ * std::max(laidOut - 1, 0);
    fixedTotal += gaps;
    int share = stretchCount > 0 ? std::max<int>(0, (available.cx - fixedTotal) / stretchCount) : 0;

    // Placing pass.
    int x = inner.left - (IsHorizontalBarVisible() ? offset.cx : 0);
    int remainingWidth = available.cx;
    int remainingFixed = fixedTotal;
    int stretchSeen = 0;
    int placed = 0;
    int neededWidth = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (!child->IsVisible()) continue;
        if (child->IsFloat()) {
            PlaceFloatChild(i);
            continue;
        }
        RECT p = child->GetPadding();
        remainingWidth -= p.left;
        int widthCap = child->GetFixedWidth() > 0 ? child->GetFixedWidth() : child->GetMaxWidth();
        int heightCap = child->GetFixedHeight() > 0 ? child->GetFixedHeight() : child->GetMaxHeight();
        int widthRoom = std::min(widthCap, remainingWidth);
        int heightRoom = std::min<int>(heightCap, available.cy - p.top - p.bottom);
        remainingFixed -= p.left + p.right;
        if (placed > 0) remainingFixed -= childPadding_;
        SIZE size = child->MeasureSize(SIZE{widthRoom, heightRoom});
        if (child->GetFixedWidth() != 0 && size.cx != 0) {
            size.cx = ClampWidth(child, size.cx);
            remainingFixed -= size.cx;
        } else {
            ++stretchSeen;
            // The last stretchable child takes the rounding remainder.
            size.cx = stretchSeen == stretchCount ? std::max<int>(0, remainingWidth - p.right - remainingFixed) : share;
            size.cx = ClampWidth(child, size.cx);
        }
        int limit = child->GetMaxHeight();
        if (limit == 0) limit = available.cy - p.top - p.bottom;
        int height = std::min(heightRoom, std::max<int>(0, limit));
        if (height < child->GetMinHeight()) height = child->GetMinHeight();

        int left = x + p.left;
        RECT placedRect;
        if (childVAlign_ == DT_VCENTER) {
            int y = (inner.top + inner.bottom) / 2;
            if (IsVerticalBarVisible()) y += extent.cy / 2 - offset.cy;
            placedRect = {left, y - height / 2, left + size.cx, y - height / 2 + height};
        } else if (childVAlign_ == DT_BOTTOM) {
            int y = inner.bottom;
            if (IsVerticalBarVisible()) y += extent.cy - offset.cy;
            placedRect = {left, y - height - p.bottom, left + size.cx, y - p.bottom};
        } else {
            int y = inner.top;
            if (IsVerticalBarVisible()) y -= offset.cy;
            placedRect = {left, y + p.top, left + size.cx, y + p.top + height};
        }
        child->Place(placedRect, false);

        x += size.cx + p.left + p.right + childPadding_;
        neededWidth += size.cx + p.left + p.right;
        remainingWidth -= size.cx + p.right + childPadding_;
        ++placed;
    }
    UpdateScrollBars(inner, neededWidth + gaps, tallest);
}

}  // namespace Veneer
