#pragma once
// CLinearLayoutUI: the vertical and the horizontal layout are one line of children
// along a main axis (down or across), with the child alignment on the cross axis,
// and a draggable separator band at one edge ("sepheight" or "sepwidth", and "sepimm").
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
    void Place(RECT rect, bool invalidate = true) override;

    // The band's thickness; 0 means none.
    int GetSeparatorSize() const { return separator_.GetThickness(); }
    void SetSeparatorSize(int size) { separator_.SetThickness(size); }
    bool IsSeparatorImmediate() const { return separator_.IsImmediate(); }
    void SetSeparatorImmediate(bool immediate) { separator_.SetImmediate(immediate); }

protected:
    // vertical: the children follow each other downwards and the band changes the
    // height; sizeAttribute names its thickness. stretchUnlessFixed: a child without a
    // fixed length along the line shares the rest whatever it would measure (else only
    // one that measures 0 does).
    CLinearLayoutUI(bool vertical, const wchar_t* sizeAttribute, bool stretchUnlessFixed);

private:
    CLayoutSeparator separator_;
    const wchar_t* sizeAttribute_;
    bool vertical_;
    bool stretchUnlessFixed_;
};

}  // namespace Veneer
