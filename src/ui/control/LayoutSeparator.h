#pragma once
// CLayoutSeparator: the draggable band at one edge of a vertical or horizontal
// layout that changes the layout's fixed height (or width). A positive thickness
// puts the band at the end edge, a negative one at the start edge. In immediate
// mode the size follows the mouse; otherwise a translucent bar shows the new edge
// and the size is applied on release.
//
// Thread contract: UI thread only.

#include "ui/control/Control.h"

namespace Veneer {

class CLayoutSeparator {
public:
    // vertical: the band changes the height (a vertical layout's "sepheight").
    explicit CLayoutSeparator(bool vertical) : vertical_(vertical) {}

    int GetThickness() const { return thickness_; }
    void SetThickness(int thickness) { thickness_ = thickness; }
    bool IsImmediate() const { return immediate_; }
    void SetImmediate(bool immediate) { immediate_ = immediate; }
    bool IsDragging() const { return captured_; }

    // The band inside the layout's rectangle; empty without a separator.
    RECT Band(const CControlUI& layout) const;
    // True when the event belonged to the separator and is consumed.
    bool HandleEvent(CControlUI& layout, const UiEvent& event);
    // The translucent bar of a drag that is not immediate.
    void PaintDrag(HDC dc) const;

private:
    void ApplySize(CControlUI& layout, const RECT& rect) const;

    bool vertical_;
    int thickness_ = 0;
    bool immediate_ = false;
    bool captured_ = false;
    POINT lastMouse_ = {0, 0};
    RECT dragRect_ = {0, 0, 0, 0};
};

}  // namespace Veneer
