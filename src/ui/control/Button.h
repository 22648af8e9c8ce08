#pragma once
// CButtonUI: a label that reacts to the mouse and keyboard, paints an image and a
// text colour per state (normal, hot, pushed, focused, disabled), cross-fades
// between the normal and hot images when "fadedelta" is set, and reports "click".
//
// Thread contract: UI thread only; the fade timer arrives as kEventTimer.

#include "ui/control/Label.h"

namespace Veneer {

enum ButtonState : UINT {
    kStateFocused = 0x01,
    kStateSelected = 0x02,
    kStateDisabled = 0x04,
    kStateHot = 0x08,
    kStatePushed = 0x10,
    kStateCaptured = 0x40,
};

// The hot bit of a button-like state on kEventMouseEnter and kEventMouseLeave,
// with the manager's leave tracking; false when a leave is to be ignored because
// the mouse is still inside.
bool FollowHover(CControlUI& control, UINT& state, const UiEvent& event);
// kStateFocused and kStateDisabled of a button-like state follow the control's own flags.
void FollowFocusAndEnabled(const CControlUI& control, UINT& state);

class CButtonUI : public CLabelUI {
public:
    // The cross-fade's timer key and period.
    static constexpr UINT kFadeTimer = 11;
    static constexpr UINT kFadeElapse = 30;

    CButtonUI();

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    UINT GetInputFlags() override;
    bool Activate() override;
    void SetEnabled(bool enabled = true) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    SIZE MeasureSize(SIZE available) override;
    void PaintStateImage(HDC dc) override;
    void PaintCaption(HDC dc) override;

    UINT GetState() const { return state_; }
    BYTE GetFadeLevel() const { return fadeLevel_; }
    BYTE GetFadeStep() const { return fadeStep_; }
    void SetFadeStep(BYTE step) { fadeStep_ = step; }

    void SetNormalImage(const wchar_t* image) { AssignImage(normalImage_, image); }
    void SetHotImage(const wchar_t* image) { AssignImage(hotImage_, image); }
    void SetHotForeImage(const wchar_t* image) { AssignImage(hotForeImage_, image); }
    void SetPushedImage(const wchar_t* image) { AssignImage(pushedImage_, image); }
    void SetPushedForeImage(const wchar_t* image) { AssignImage(pushedForeImage_, image); }
    void SetFocusedImage(const wchar_t* image) { AssignImage(focusedImage_, image); }
    void SetDisabledImage(const wchar_t* image) { AssignImage(disabledImage_, image); }
    // One picture with five equal columns: normal, pushed, hot, focused, disabled.
    void SetFiveStatusImage(const wchar_t* image);
    const DrawInfo& NormalImage() const { return normalImage_; }
    const DrawInfo& PushedImage() const { return pushedImage_; }
    const DrawInfo& HotImage() const { return hotImage_; }
    const DrawInfo& FocusedImage() const { return focusedImage_; }
    const DrawInfo& DisabledImage() const { return disabledImage_; }

    void SetHotBackColor(DWORD color) { SetAndRepaint(hotBackColor_, color); }
    void SetHotTextColor(DWORD color) { SetAndRepaint(hotTextColor_, color); }
    void SetPushedTextColor(DWORD color) { SetAndRepaint(pushedTextColor_, color); }
    void SetFocusedTextColor(DWORD color) { SetAndRepaint(focusedTextColor_, color); }

protected:
    // At each paint.
    void UpdatePaintState() { FollowFocusAndEnabled(*this, state_); }
    // Whether the skin draws the button with pictures (a face) rather than its words alone.
    bool HasFace() const;
    // High contrast: the system's button in place of the skin's pictures.
    void PaintHighContrastFace(HDC dc, const HighContrastPalette& palette);
    // Case 4 of the state images: the normal image, cross-faded with the hot one.
    void PaintNormalImage(HDC dc);
    void StartFadeTimer();

    UINT state_ = 0;
    DWORD hotBackColor_ = 0;
    DWORD hotTextColor_ = 0;
    DWORD pushedTextColor_ = 0;
    DWORD focusedTextColor_ = 0;
    BYTE fadeLevel_ = 255;
    BYTE fadeStep_ = 0;
    DrawInfo normalImage_;
    DrawInfo hotImage_;
    DrawInfo hotForeImage_;
    DrawInfo pushedImage_;
    DrawInfo pushedForeImage_;
    DrawInfo focusedImage_;
    DrawInfo disabledImage_;
};

}  // namespace Veneer
