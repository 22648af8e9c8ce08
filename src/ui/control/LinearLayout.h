#pragma once
// CLinearLayoutUI: what the vertical and the horizontal layout share besides
// their arithmetic: the draggable separator band at one edge ("sepheight" or
// "sepwidth", and "sepimm").
//
// Thread contract: UI thread only.

#include "ui/control/Container.h"
#include "ui/control/LayoutSeparator.h"

namespace Veneer {

class CLinearLayoutUI : public CContainerUI {
public:
    UINT GetInputFlags() override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void PaintOverlay(HDC dc, const RECT& paintRect) override;

    // The band's thickness; 0 means none.
    int GetSeparatorSize() const { return separator_.GetThickness(); }
    void SetSeparatorSize(int size) { separator_.SetThickness(size); }
    bool IsSeparatorImmediate() const { return separator_.IsImmediate(); }
    void SetSeparatorImmediate(bool immediate) { separator_.SetImmediate(immediate); }

protected:
    // Where a Place of either layout starts from: the inner rectangle, the room the
    // children may take (the scroll range given back), the scroll offset and range.
    struct PlaceStart {
        RECT inner{};
        SIZE available{};
        SIZE offset{};
        SIZE extent{};
    };
    // Places the layout itself and fills start; false when it has no children
    // (its scroll bars are then reset and there is nothing more to place).
    bool BeginPlace(RECT rect, bool invalidate, PlaceStart& start);

    // vertical: the band changes the height; sizeAttribute names its thickness.
    CLinearLayoutUI(bool vertical, const wchar_t* sizeAttribute);

private:
    CLayoutSeparator separator_;
    const wchar_t* sizeAttribute_;
};

}  // namespace Veneer
