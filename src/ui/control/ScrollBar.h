#pragma once
// CScrollBarUI: a plain scroll bar for containers whose children overflow. It
// keeps a range and a position, draws its track (the control's own background)
// and a thumb, and pages its container when the track is clicked.
//
// Thread contract: UI thread only.

#include "ui/control/Control.h"

namespace Veneer {

class CContainerUI;

class CScrollBarUI : public CControlUI {
public:
    // Thickness of a bar whose skin does not set one.
    static constexpr int kDefaultThickness = 16;

    CScrollBarUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void PaintStateImage(HDC dc) override;

    CContainerUI* GetOwner() const { return owner_; }
    void SetOwner(CContainerUI* owner) { owner_ = owner; }
    bool IsHorizontal() const { return horizontal_; }
    void SetHorizontal(bool horizontal);
    int GetScrollRange() const { return range_; }
    // Keeps the position inside the new range.
    void SetScrollRange(int range);
    int GetScrollPos() const { return position_; }
    void SetScrollPos(int position);
    int GetLineSize() const { return lineSize_; }
    void SetLineSize(int size) { lineSize_ = size; }
    DWORD GetThumbColor() const { return thumbColor_; }
    void SetThumbColor(DWORD color) { SetAndRepaint(thumbColor_, color); }

    // The thumb's rectangle inside the bar for the current range and position.
    RECT ThumbRect() const;

private:
    CContainerUI* owner_ = nullptr;
    bool horizontal_ = false;
    int range_ = 100;
    int position_ = 0;
    int lineSize_ = 0;  // "linesize"; 1 or less leaves the container's own step
    DWORD thumbColor_ = 0xFFC2C3C9;
};

}  // namespace Veneer
