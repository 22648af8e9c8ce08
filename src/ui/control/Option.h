#pragma once
// COptionUI: a button with a selected state. Options that share a group name form
// a radio group through the window manager; an option without a group toggles.
// Activation reports "click" first, then "selectchanged" when the state changed.
// CCheckBoxUI is an option under another type word.
//
// Thread contract: UI thread only.

#include "ui/control/Button.h"

namespace Veneer {

class COptionUI : public CButtonUI {
public:
    COptionUI();
    ~COptionUI() override;

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    bool Activate() override;
    void AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init = true) override;
    void SetEnabled(bool enabled = true) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    void PaintStateImage(HDC dc) override;
    void PaintCaption(HDC dc) override;

    // ---- appended virtual operation -------------------------------------------
    // notify false changes the state silently.
    virtual void SetSelected(bool selected, bool notify = true);

    bool IsSelected() const { return selected_; }
    const CUiString& GetGroup() const { return group_; }
    void SetGroup(const wchar_t* group);
    void SetSelectedBackColor(DWORD color) { SetAndRepaint(selectedBackColor_, color); }
    void SetSelectedTextColor(DWORD color) { SetAndRepaint(selectedTextColor_, color); }
    void SetSelectedImage(const wchar_t* image) { AssignImage(selectedImage_, image); }
    void SetSelectedHotImage(const wchar_t* image) { AssignImage(selectedHotImage_, image); }
    void SetOptionForeImage(const wchar_t* image) { AssignImage(optionForeImage_, image); }

private:
    // High contrast: a box (or, in a group, a round button) drawn with the system's
    // colours where the skin's pictures would be.
    void PaintHighContrastBox(HDC dc, const HighContrastPalette& palette);

    bool selected_ = false;
    CUiString group_;
    DWORD selectedBackColor_ = 0;
    DWORD selectedTextColor_ = 0;
    DrawInfo selectedImage_;
    DrawInfo selectedHotImage_;
    DrawInfo optionForeImage_;
};

class CCheckBoxUI : public COptionUI {
public:
    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
};

}  // namespace Veneer
