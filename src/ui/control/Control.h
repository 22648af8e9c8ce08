#pragma once
// CControlUI: the root of every element of a skinned window, and the contract
// between the window manager, the skin builder and the controls. The virtual
// operations below are in slot order; every derived class keeps that order and
// appends its own.
//
// Thread contract: UI thread only (the thread that owns the window).

#include <windows.h>

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "ui/control/EventHooks.h"
#include "ui/control/UiEvent.h"
#include "ui/core/DpiScale.h"
#include "ui/core/DrawEngine.h"
#include "ui/core/UiCollections.h"
#include "ui/core/UiString.h"

namespace Veneer {

class CWindowManagerUI;
class CControlUI;
struct HighContrastPalette;

// Flags of FindInTree.
enum : UINT {
    kFindVisible = 0x1,
    kFindEnabled = 0x2,
    kFindHitTest = 0x4,  // data points at a POINT
    kFindUpdateTest = 0x8,
    kFindTopFirst = 0x10,  // containers search their children from last to first
    kFindMeFirst = 0x80000000,
};

// Flags of GetInputFlags.
enum : UINT {
    kInputTabStop = 0x1,
    kInputSetCursor = 0x2,
};

using FindControlProc = CControlUI* (*)(CControlUI* control, void* data);

struct FloatFractions {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

class CControlUI {
public:
    CControlUI();
    CControlUI(const CControlUI&) = delete;
    CControlUI& operator=(const CControlUI&) = delete;

    // ---- virtual operations, in slot order ----------------------------------
    // Deletes the control; the only way a control is destroyed.
    virtual void Destroy();
    virtual ~CControlUI();
    virtual const CUiString& GetName() const;
    virtual void SetName(const wchar_t* name);
    virtual const wchar_t* GetTypeName() const;
    virtual void* CastTo(const wchar_t* name);
    virtual UINT GetInputFlags();
    virtual HWND GetNativeHandle();
    virtual bool Activate();
    virtual CWindowManagerUI* GetManager() const;
    virtual void AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init = true);
    virtual CControlUI* GetParent() const;
    virtual CControlUI* GetCover() const;
    virtual void AssignCover(CControlUI* cover);
    virtual CUiString GetText() const;
    virtual void SetText(const wchar_t* text);
    virtual const RECT& GetRect() const;
    virtual RECT GetRectInParent() const;
    virtual RECT GetClientRect() const;
    virtual void Place(RECT rect, bool invalidate = true);
    virtual void Offset(int dx, int dy, bool invalidate = true);
    virtual int GetWidth() const;
    virtual int GetHeight() const;
    virtual int GetX() const;
    virtual int GetY() const;
    virtual RECT GetPadding() const;
    virtual void SetPadding(RECT padding);
    virtual SIZE GetFixedOrigin() const;
    virtual void SetFixedOrigin(SIZE origin);
    virtual FloatFractions GetFloatFractions() const;
    virtual void SetFloatFractions(const FloatFractions& fractions);
    virtual int GetFixedWidth() const;
    virtual void SetFixedWidth(int width);
    virtual int GetFixedHeight() const;
    virtual void SetFixedHeight(int height);
    virtual int GetMinWidth() const;
    virtual void SetMinWidth(int width);
    virtual int GetMaxWidth() const;
    virtual void SetMaxWidth(int width);
    virtual int GetMinHeight() const;
    virtual void SetMinHeight(int height);
    virtual int GetMaxHeight() const;
    virtual void SetMaxHeight(int height);
    virtual CUiString GetToolTip() const;
    virtual void SetToolTip(const wchar_t* text);
    virtual void SetToolTipWidth(int width);
    virtual int GetToolTipWidth() const;
    virtual wchar_t GetShortcut() const;
    virtual void SetShortcut(wchar_t ch);
    virtual bool UsesContextMenu() const;
    virtual void SetUsesContextMenu(bool uses);
    virtual const CUiString& GetUserData() const;
    virtual void SetUserData(const wchar_t* text);
    virtual UINT_PTR GetTag() const;
    virtual void SetTag(UINT_PTR tag);
    virtual bool IsVisible() const;
    virtual void SetVisible(bool visible = true);
    virtual void SetInheritedVisible(bool visible = true);
    virtual bool IsEnabled() const;
    virtual void SetEnabled(bool enabled = true);
    virtual bool IsMouseEnabled() const;
    virtual void SetMouseEnabled(bool enabled = true);
    virtual bool IsKeyboardEnabled() const;
    virtual void SetKeyboardEnabled(bool enabled = true);
    virtual bool IsFocused() const;
    virtual void RequestFocus();
    virtual bool IsFloat() const;
    virtual void SetFloat(bool floating = true);
    virtual CControlUI* FindInTree(FindControlProc visitor, void* data, UINT flags);
    virtual void Initialize();
    virtual void OnInitialize();
    virtual void DispatchEvent(UiEvent& event);
    virtual void HandleEvent(UiEvent& event);
    virtual CUiString GetAttributeValue(const wchar_t* name);
    virtual void ApplyAttribute(const wchar_t* name, const wchar_t* value);
    virtual CUiString GetAttributeString();
    virtual void ApplyAttributeString(const wchar_t* list);
    virtual SIZE MeasureSize(SIZE available);
    // False stops painting of the whole tree (stop was reached).
    virtual bool Paint(HDC dc, const RECT& paintRect, CControlUI* stop);
    virtual bool PaintSelf(HDC dc, const RECT& paintRect, CControlUI* stop);
    virtual void PaintBackgroundColor(HDC dc);
    virtual void PaintBackgroundImage(HDC dc);
    virtual void PaintStateImage(HDC dc);
    virtual void PaintCaption(HDC dc);
    virtual void PaintBorder(HDC dc);
    virtual void PaintOverlay(HDC dc, const RECT& paintRect);

    // ---- non-virtual operations the window manager calls ------------------------
    // An attribute as the skin writes it: lengths are skin pixels, converted at the
    // manager's scale and remembered, so that a change of scale converts them again.
    // The skin builder and attribute lists apply every attribute through here.
    void ApplySkinAttribute(const wchar_t* name, const wchar_t* value);
    // The remembered skin lengths applied again when the manager's scale differs from
    // the one they were converted at.
    void RescaleSkinLengths();
    // A skin length in device pixels at the manager's scale (unchanged without one).
    int DeviceLength(int skinPixels) const;

    // What screen readers are told (ControlAccessibility.h): a name that replaces the
    // one the text gives ("accname"), and a value that replaces the one the control's
    // state gives (a progress bar whose drawing is mirrored tells the real percentage).
    // Each change is reported to accessibility clients.
    const CUiString& GetAccessibleName() const { return accessibleName_; }
    void SetAccessibleName(const wchar_t* name);
    const CUiString& GetAccessibleValue() const { return accessibleValue_; }
    void SetAccessibleValue(const wchar_t* value);
    void Invalidate();
    void MarkLayoutDirty();
    void MarkParentLayoutDirty();
    bool IsLayoutDirty() const { return layoutDirty_; }
    CUiString GetVirtualWindowName() const;
    void SetVirtualWindowName(const wchar_t* name);
    // Fails for an empty name or value; a name already present keeps its first value.
    bool StoreCustomAttribute(const wchar_t* name, const wchar_t* value);
    const wchar_t* CustomAttribute(const wchar_t* name) const;
    // The colour through the window's hue, saturation and lightness when "colorhsl" is on;
    // the window's setting is always neutral, so the colour comes back unchanged.
    DWORD AdjustColor(DWORD color) const;

    // Appearance setters: each repaints the control; colours, the HSL switch and
    // images do nothing when unchanged.
    DWORD GetBackColor() const { return backColor1_; }
    void SetBackColor(DWORD color) { SetAndRepaintIfChanged(backColor1_, color); }
    DWORD GetBackColor2() const { return backColor2_; }
    void SetBackColor2(DWORD color) { SetAndRepaintIfChanged(backColor2_, color); }
    DWORD GetBackColor3() const { return backColor3_; }
    void SetBackColor3(DWORD color) { SetAndRepaintIfChanged(backColor3_, color); }
    const wchar_t* GetBackImage() const { return backImage_.attributes.c_str(); }
    void SetBackImage(const wchar_t* image);
    const wchar_t* GetForeImage() const { return foreImage_.attributes.c_str(); }
    void SetForeImage(const wchar_t* image) { AssignImage(foreImage_, image); }
    DWORD GetBorderColor() const { return borderColor_; }
    void SetBorderColor(DWORD color) { SetAndRepaintIfChanged(borderColor_, color); }
    DWORD GetFocusBorderColor() const { return focusBorderColor_; }
    void SetFocusBorderColor(DWORD color) { SetAndRepaintIfChanged(focusBorderColor_, color); }
    bool IsColorHsl() const { return colorHsl_; }
    void SetColorHsl(bool hsl) { SetAndRepaintIfChanged(colorHsl_, hsl); }
    RECT GetBorderSize() const { return borderSize_; }
    void SetBorderSize(int size);
    void SetBorderSize(RECT sizes) { SetAndRepaint(borderSize_, sizes); }
    SIZE GetBorderRound() const { return borderRound_; }
    void SetBorderRound(SIZE round) { SetAndRepaint(borderRound_, round); }
    int GetBorderStyle() const { return borderStyle_; }
    void SetBorderStyle(int style) { SetAndRepaint(borderStyle_, style); }

    CEventHooks initHooks;
    CEventHooks destroyHooks;
    CEventHooks sizeHooks;
    CEventHooks eventHooks;
    CEventHooks notifyHooks;  // invoked by the window manager with each UiNotify this control sends
    CEventHooks paintHooks;
    CEventHooks postPaintHooks;

protected:
    // The system colours to draw with while high contrast is on; nullptr otherwise.
    const HighContrastPalette* HighContrast() const;
    // A length default that a constructor set in skin pixels; converted like the skin's
    // own lengths once the control meets a manager at another scale.
    void RememberSkinLength(const wchar_t* name, const wchar_t* value);
    // Sends a notification synchronously from this control; nothing without a manager.
    void Notify(const wchar_t* type, WPARAM wParam = 0, LPARAM lParam = 0);
    // Replaces the attribute string of an image record; false when nothing changed.
    bool ReplaceImage(DrawInfo& info, const wchar_t* image);
    void AssignImage(DrawInfo& info, const wchar_t* image) {
        if (ReplaceImage(info, image)) Invalidate();
    }
    // The rules of the plain setters: store, then repaint (the "IfChanged" form only
    // when the value changed), or store and have this control or its parent laid out
    // again. The value's type follows the field's.
    template <typename T>
    void SetAndRepaint(T& field, typename std::decay<T>::type value) {
        field = value;
        Invalidate();
    }
    template <typename T>
    void SetAndRepaintIfChanged(T& field, typename std::decay<T>::type value) {
        if (field == value) return;
        field = value;
        Invalidate();
    }
    template <typename T>
    void SetAndRelayout(T& field, const typename std::decay<T>::type& value) {
        field = value;
        MarkLayoutDirty();
    }
    template <typename T>
    void SetAndRelayoutParent(T& field, const typename std::decay<T>::type& value) {
        field = value;
        MarkParentLayoutDirty();
    }
    // Draws an image record into the item rectangle, clipped to the paint rectangle;
    // false when it has no image.
    bool DrawImage(HDC dc, DrawInfo& info);

    CWindowManagerUI* manager_ = nullptr;
    CControlUI* parent_ = nullptr;
    CControlUI* cover_ = nullptr;  // owned
    CUiString virtualWindowName_;
    CUiString name_;
    bool layoutDirty_ = true;
    bool usesContextMenu_ = false;
    RECT itemRect_ = {0, 0, 0, 0};
    RECT padding_ = {0, 0, 0, 0};
    SIZE fixedOrigin_ = {0, 0};
    SIZE fixedSize_ = {0, 0};
    SIZE minSize_ = {0, 0};
    SIZE maxSize_ = {9999, 9999};
    bool visible_ = true;
    bool inheritedVisible_ = true;
    bool enabled_ = true;
    bool mouseEnabled_ = true;
    bool keyboardEnabled_ = true;
    bool focused_ = false;
    bool float_ = false;
    FloatFractions floatFractions_;
    bool inSizeHook_ = false;
    CUiString text_;
    CUiString toolTip_;
    wchar_t shortcut_ = 0;
    CUiString userData_;
    UINT_PTR tag_ = 0;
    DWORD backColor1_ = 0;
    DWORD backColor2_ = 0;
    DWORD backColor3_ = 0;
    DrawInfo backImage_;
    DrawInfo foreImage_;  // drawn by buttons over their state images
    DWORD borderColor_ = 0;
    DWORD focusBorderColor_ = 0;
    bool colorHsl_ = false;
    int borderStyle_ = 0;
    int toolTipWidth_ = 300;
    SIZE borderRound_ = {0, 0};
    RECT paintRect_ = {0, 0, 0, 0};
    RECT borderSize_ = {0, 0, 0, 0};
    CStringPtrMap customAttributes_;  // values are owned CUiString objects
    CUiString accessibleName_;
    CUiString accessibleValue_;
    // Length attributes as the skin wrote them, and the DPI they are applied at.
    std::vector<std::pair<std::wstring, std::wstring>> skinLengths_;
    int skinLengthsDpi_ = CDpiScale::kSkinDpi;
};

}  // namespace Veneer
