#pragma once
// CVerticalLayoutUI stacks its children top to bottom: fixed heights are kept, children that
// report no height share what is left, and the last of them takes the remainder.
//
// Thread contract: UI thread only.

#include "ui/control/Container.h"
#include "ui/control/LayoutSeparator.h"

namespace Veneer {

class CVerticalLayoutUI : public CContainerUI {
public:
    CVerticalLayoutUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    UINT GetInputFlags() override;
    void Place(RECT rect, bool invalidate = true) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void PaintOverlay(HDC dc, const RECT& paintRect) override;

    // "sepheight": the draggable band's thickness; 0 means none.
    int GetSeparatorSize() const { return separator_.GetThickness(); }
    void SetSeparatorSize(int size) { separator_.SetThickness(size); }
    bool IsSeparatorImmediate() const { return separator_.IsImmediate(); }
    void SetSeparatorImmediate(bool immediate) { separator_.SetImmediate(immediate); }

private:
    CLayoutSeparator separator_;
};

}  // namespace Veneer
