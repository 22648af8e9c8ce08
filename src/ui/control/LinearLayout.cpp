#include "ui/control/LinearLayout.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"

namespace Veneer {

CLinearLayoutUI::CLinearLayoutUI(bool vertical, const wchar_t* sizeAttribute)
    : separator_(vertical), sizeAttribute_(sizeAttribute) {}

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

bool CLinearLayoutUI::BeginPlace(RECT rect, bool invalidate, PlaceStart& start) {
    CControlUI::Place(rect, invalidate);
    start.inner = InnerRect();
    if (items_.GetSize() == 0) {
        UpdateScrollBars(start.inner, 0, 0);
        return false;
    }
    start.available = {start.inner.right - start.inner.left, start.inner.bottom - start.inner.top};
    start.offset = GetScrollOffset();
    start.extent = GetScrollExtent();
    if (IsHorizontalBarVisible()) start.available.cx += start.extent.cx;
    if (IsVerticalBarVisible()) start.available.cy += start.extent.cy;
    return true;
}

}  // namespace Veneer
