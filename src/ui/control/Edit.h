#pragma once
// CEditUI: a single-line text field. Closed, it is drawn like a label (state
// image, text masked in password mode, border). On focus it opens CEditWnd, a
// real child window of the platform's edit class placed over its text area, which
// owns caret, selection and typing; every change of its text is copied back and
// reported as "textchanged", Return as "return". The native window closes itself
// when it loses the keyboard focus and the text stays with the control.
//
// Thread contract: UI thread only; the native window runs in the same thread.
// Lifetime: the CEditUI owns its CEditWnd object for the whole of its own life and
// reuses it for every opening; the native window comes and goes. The window asks to
// be closed with a posted message, so it is never destroyed inside its own handling
// (a receiver of "textchanged" that moves the focus would otherwise pull the window
// from under the platform's edit code); only the CEditUI's end destroys it at once,
// and that end is deferred past any handling by the window manager.

#include <memory>

#include "ui/control/Button.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/WindowWnd.h"

namespace Veneer {

class CEditUI;

class CEditWnd final : public CWindowWnd {
public:
    // The caret blink timer of layered windows.
    static constexpr UINT kCaretTimer = 20;

    CEditWnd();
    // Destroys a window still open.
    ~CEditWnd();

    const wchar_t* WindowClassName() const override;
    const wchar_t* BaseClassName() const override;
    UINT ClassStyle() const override;
    LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void AfterDestroy(HWND window) override;

    // Creates the native window over the owner's text area; false when it could not.
    bool OpenEditor(CEditUI* owner);
    // The native window exists and no close is pending.
    bool IsOpen() const { return window_ != nullptr && !closing_; }
    // Posts the close; the window goes when the request arrives.
    void RequestClose();
    // Takes back a close that was asked for and has not happened yet.
    void CancelClose();
    // Destroys the window now, for a new one; never from inside its own handling.
    void CloseForReopening();
    // A message of the window is being handled (its frames are on the stack).
    bool IsHandling() const { return handling_ > 0; }
    // The owner's text area, its height cut to the font's, clipped by the visible
    // ancestors; empty when an ancestor is hidden or clips it away.
    RECT ComputeRect() const;
    void OnTextChanged();

private:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, CWindowManagerUI* manager);
    bool IsLayered() const;
    LRESULT ColorRequest(HDC dc);

    CEditUI* owner_ = nullptr;
    UniqueGdiObject<HBRUSH> brush_;
    bool opened_ = false;
    bool caretShown_ = false;
    bool closing_ = false;  // a close is posted: losing the focus again changes nothing
    int handling_ = 0;
    bool reopening_ = false;
};

class CEditUI : public CLabelUI {
public:
    CEditUI();
    ~CEditUI() override;

    const wchar_t* GetTypeName() const override;
    void* CastTo(const wchar_t* name) override;
    UINT GetInputFlags() override;
    HWND GetNativeHandle() override;
    void SetText(const wchar_t* text) override;
    void Place(RECT rect, bool invalidate = true) override;
    void Offset(int dx, int dy, bool invalidate = true) override;
    void SetVisible(bool visible = true) override;
    void SetInheritedVisible(bool visible = true) override;
    void SetEnabled(bool enabled = true) override;
    void HandleEvent(UiEvent& event) override;
    void ApplyAttribute(const wchar_t* name, const wchar_t* value) override;
    SIZE MeasureSize(SIZE available) override;
    void PaintStateImage(HDC dc) override;
    void PaintCaption(HDC dc) override;

    int GetMaxChars() const { return maxChars_; }
    void SetMaxChars(int count);
    bool IsReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly);
    bool IsPasswordMode() const { return password_; }
    // An open window keeps its style until it is opened again.
    void SetPasswordMode(bool password) { SetAndRepaintIfChanged(password_, password); }
    wchar_t GetPasswordChar() const { return passwordChar_; }
    void SetPasswordChar(wchar_t ch) { passwordChar_ = ch; }
    bool IsNumberOnly() const { return (extraStyle_ & ES_NUMBER) != 0; }
    // Takes effect at the next opening.
    void SetNumberOnly(bool numberOnly);
    bool IsAutoSelectAll() const { return autoSelectAll_; }
    void SetAutoSelectAll(bool selectAll) { autoSelectAll_ = selectAll; }
    DWORD GetNativeBkColor() const { return nativeBackColor_; }
    // 0xFFFFFFFF leaves the platform's own colours.
    void SetNativeBkColor(DWORD color) { nativeBackColor_ = color; }
    DWORD GetExtraStyle() const { return extraStyle_; }
    UINT GetState() const { return state_; }

    void SetNormalImage(const wchar_t* image) { AssignImage(normalImage_, image); }
    void SetHotImage(const wchar_t* image) { AssignImage(hotImage_, image); }
    void SetFocusedImage(const wchar_t* image) { AssignImage(focusedImage_, image); }
    void SetDisabledImage(const wchar_t* image) { AssignImage(disabledImage_, image); }

private:
    friend class CEditWnd;
    bool IsEditorOpen() const;
    // Opens the native window, or keeps one whose close is still pending.
    void OpenNativeWindow();
    // Moves an open native window over the text area, or hides it when there is none.
    void UpdateNativeWindow();

    std::unique_ptr<CEditWnd> editWindow_;  // made at the first opening; see the lifetime above
    int maxChars_ = 255;
    bool readOnly_ = false;
    bool password_ = false;
    bool autoSelectAll_ = false;
    wchar_t passwordChar_ = L'*';
    UINT state_ = 0;
    DWORD nativeBackColor_ = 0xFFFFFFFF;
    DWORD extraStyle_ = 0;
    DrawInfo normalImage_;
    DrawInfo hotImage_;
    DrawInfo focusedImage_;
    DrawInfo disabledImage_;
};

}  // namespace Veneer
