#include "ui/control/LinearLayout.h"

#include <algorithm>
#include <cwchar>

#include "ui/core/AttributeValue.h"

namespace Veneer {

CLinearLayoutUI::CLinearLayoutUI(bool vertical, const wchar_t* sizeAttribute, bool stretchUnlessFixed)
    : separator_(vertical), sizeAttribute_(sizeAttribute), vertical_(vertical), stretchUnlessFixed_(stretchUnlessFixed) {}

UINT CLinearLayoutUI::GetInputFlags() {
    if (IsEnabled() && separator_.GetThickness() != 0) return kInputSetCursor;
    return CContainerUI::GetInputFlags();
}

void CLinearLayoutUI::HandleEvent(UiEvent& event) {
    if (separator_.HandleEvent(*this, event)) return;
    CContainerUI::HandleEvent(event);
}

void CLinearLayoutUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, sizeAttribute_) == 0) {
        SetSeparatorSize(ReadInteger(value));
    } else if (wcscmp(name, L"sepimm") == 0) {
        SetSeparatorImmediate(IsTrueValue(value));
    } else {
        CContainerUI::ApplyAttribute(name, value);
    }
}

void CLinearLayoutUI::PaintOverlay(HDC dc, const RECT& paintRect) {
    separator_.PaintDrag(dc);
    CContainerUI::PaintOverlay(dc, paintRect);
}

namespace {

// The layout seen along its line: "main" is the direction the children follow each
// other in, "cross" the other one.
struct Axis {
    bool vertical;

    LONG& Main(SIZE& size) const { return vertical ? size.cy : size.cx; }
    LONG& Cross(SIZE& size) const { return vertical ? size.cx : size.cy; }
    SIZE Size(LONG main, LONG cross) const { return vertical ? SIZE{cross, main} : SIZE{main, cross}; }
    RECT Rect(int mainStart, int crossStart, int mainEnd, int crossEnd) const {
        return vertical ? RECT{crossStart, mainStart, crossEnd, mainEnd} : RECT{mainStart, crossStart, mainEnd, crossEnd};
    }
    int Start(const RECT& rect, bool main) const { return main == vertical ? rect.top : rect.left; }
    int End(const RECT& rect, bool main) const { return main == vertical ? rect.bottom : rect.right; }

    int FixedMain(const CControlUI* c) const { return vertical ? c->GetFixedHeight() : c->GetFixedWidth(); }
    int FixedCross(const CControlUI* c) const { return vertical ? c->GetFixedWidth() : c->GetFixedHeight(); }
    int MaxMain(const CControlUI* c) const { return vertical ? c->GetMaxHeight() : c->GetMaxWidth(); }
    int MaxCross(const CControlUI* c) const { return vertical ? c->GetMaxWidth() : c->GetMaxHeight(); }
    int MinCross(const CControlUI* c) const { return vertical ? c->GetMinWidth() : c->GetMinHeight(); }
    int ClampMain(const CControlUI* c, int length) const {
        return vertical ? ClampHeight(c, length) : ClampWidth(c, length);
    }
    int ClampCross(const CControlUI* c, int length) const {
        return vertical ? ClampWidth(c, length) : ClampHeight(c, length);
    }
    // The fixed length where there is one, else the maximum.
    int CapMain(const CControlUI* c) const { return FixedMain(c) > 0 ? FixedMain(c) : MaxMain(c); }
    int CapCross(const CControlUI* c) const { return FixedCross(c) > 0 ? FixedCross(c) : MaxCross(c); }
};

}  // namespace

void CLinearLayoutUI::Place(RECT rect, bool invalidate) {
    CControlUI::Place(rect, invalidate);
    const RECT inner = InnerRect();
    if (items_.GetSize() == 0) {
        UpdateScrollBars(inner, 0, 0);
        return;
    }
    const Axis axis{vertical_};
    SIZE offset = GetScrollOffset();
    SIZE extent = GetScrollExtent();
    const bool mainBar = vertical_ ? IsVerticalBarVisible() : IsHorizontalBarVisible();
    const bool crossBar = vertical_ ? IsHorizontalBarVisible() : IsVerticalBarVisible();
    // The room the children may take gives back the scroll range.
    const int available = axis.End(inner, true) - axis.Start(inner, true) + (mainBar ? axis.Main(extent) : 0);
    const int availableCross = axis.End(inner, false) - axis.Start(inner, false) + (crossBar ? axis.Cross(extent) : 0);
    const UINT align = vertical_ ? childAlign_ : childVAlign_;
    const UINT alignCentre = vertical_ ? DT_CENTER : DT_VCENTER;
    const UINT alignEnd = vertical_ ? DT_RIGHT : DT_BOTTOM;

    // Measuring pass: what the fixed children take, and how many share the rest.
    int stretchCount = 0;
    int fixedTotal = 0;
    int laidOut = 0;
    int crossNeeded = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (!child->IsVisible() || child->IsFloat()) continue;
        SIZE before = {child->GetPadding().left, child->GetPadding().top};
        SIZE after = {child->GetPadding().right, child->GetPadding().bottom};
        const int mainPadding = axis.Main(before) + axis.Main(after);
        const int crossPadding = axis.Cross(before) + axis.Cross(after);
        ++laidOut;
        if (stretchUnlessFixed_ && axis.FixedMain(child) == 0) {
            ++stretchCount;
            fixedTotal += mainPadding;
            crossNeeded = std::max<int>(crossNeeded, axis.FixedCross(child) + crossPadding);
            continue;
        }
        SIZE size = child->MeasureSize(axis.Size(std::min<LONG>(axis.CapMain(child), available),
                                                 std::min<LONG>(axis.CapCross(child), availableCross - crossPadding)));
        LONG& length = axis.Main(size);
        if (length == 0) {
            ++stretchCount;
        } else {
            length = axis.ClampMain(child, length);
        }
        fixedTotal += mainPadding + length;
        int need = axis.ClampCross(child, std::max<LONG>(axis.Cross(size), 0)) + crossPadding;
        crossNeeded = std::max(crossNeeded, need);
    }
    int gaps = childPadding_ * std::max(laidOut - 1, 0);
    fixedTotal += gaps;
    int share = stretchCount > 0 ? std::max<int>(0, (available - fixedTotal) / stretchCount) : 0;

    // Placing pass.
    int position = axis.Start(inner, true) - (mainBar ? axis.Main(offset) : 0);
    int remaining = available;
    int remainingFixed = fixedTotal;
    int stretchSeen = 0;
    int placed = 0;
    int needed = 0;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = FlowChild(i);
        if (child == nullptr) continue;
        SIZE before = {child->GetPadding().left, child->GetPadding().top};
        SIZE after = {child->GetPadding().right, child->GetPadding().bottom};
        const int crossPadding = axis.Cross(before) + axis.Cross(after);
        remaining -= axis.Main(before);
        int mainRoom = std::min(axis.CapMain(child), remaining);
        int crossRoom = std::min<int>(axis.CapCross(child), availableCross - crossPadding);
        remainingFixed -= axis.Main(before) + axis.Main(after);
        if (placed > 0) remainingFixed -= childPadding_;
        SIZE size = child->MeasureSize(axis.Size(mainRoom, crossRoom));
        LONG& length = axis.Main(size);
        if (length != 0 && !(stretchUnlessFixed_ && axis.FixedMain(child) == 0)) {
            length = axis.ClampMain(child, length);
            remainingFixed -= length;
        } else {
            ++stretchSeen;
            // The last stretchable child takes the rounding remainder.
            length = stretchSeen == stretchCount ? std::max<int>(0, remaining - axis.Main(after) - remainingFixed)
                                                 : share;
            length = axis.ClampMain(child, length);
        }
        int limit = axis.MaxCross(child);
        if (limit == 0) limit = availableCross - crossPadding;
        int thickness = std::min(crossRoom, std::max<int>(0, limit));
        if (thickness < axis.MinCross(child)) thickness = axis.MinCross(child);

        int start = position + axis.Main(before);
        int crossStart;
        if (align == alignCentre) {
            int middle = (axis.Start(inner, false) + axis.End(inner, false)) / 2;
            if (crossBar) middle += axis.Cross(extent) / 2 - axis.Cross(offset);
            crossStart = middle - thickness / 2;
        } else if (align == alignEnd) {
            int end = axis.End(inner, false);
            if (crossBar) end += axis.Cross(extent) - axis.Cross(offset);
            crossStart = end - thickness - axis.Cross(after);
        } else {
            int edge = axis.Start(inner, false);
            if (crossBar) edge -= axis.Cross(offset);
            crossStart = edge + axis.Cross(before);
        }
        child->Place(axis.Rect(start, crossStart, start + length, crossStart + thickness), false);

        position += length + axis.Main(before) + axis.Main(after) + childPadding_;
        needed += length + axis.Main(before) + axis.Main(after);
        remaining -= length + axis.Main(after) + childPadding_;
        ++placed;
    }
    SIZE extentNeeded = axis.Size(needed + gaps, crossNeeded);
    UpdateScrollBars(inner, extentNeeded.cx, extentNeeded.cy);
}

}  // namespace Veneer
