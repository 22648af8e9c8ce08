#pragma once
// CWindowWnd wraps one native window: it registers the window class (its own, or a
// clone of an existing class), creates the window with a pointer back to the
// object and forwards every message to ProcessMessage. RunModal is the
// application's message loop.
//
// Thread contract: UI thread only; other threads post messages to the window.

#include <windows.h>

namespace Veneer {

class CWindowWnd {
public:
    CWindowWnd() = default;
    CWindowWnd(const CWindowWnd&) = delete;
    CWindowWnd& operator=(const CWindowWnd&) = delete;

    // ---- virtual operations, in slot order ----------------------------------
    virtual const wchar_t* WindowClassName() const = 0;
    // nullptr registers an own class; a name clones that class.
    virtual const wchar_t* BaseClassName() const;
    virtual UINT ClassStyle() const;
    virtual LRESULT ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The window is gone (after WM_NCDESTROY); the object is unbound from it.
    virtual void AfterDestroy(HWND window);

    HWND GetHWND() const { return window_; }
    operator HWND() const { return window_; }

    // Registers the class and creates the window in the framework's module; nullptr on failure.
    HWND Open(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT, int width = CW_USEDEFAULT, int height = CW_USEDEFAULT,
              HMENU menu = nullptr);
    HWND Open(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, const RECT& rect,
              HMENU menu = nullptr);
    void Show(bool show = true, bool takeFocus = true);
    // The modal loop; returns the code given to PostClose.
    UINT RunModal();
    void PostClose(UINT code = IDOK);
    void CenterOnOwner();
    // -1 keeps that dimension.
    void ResizeClientArea(int width, int height);
    void SetIconResource(UINT id);
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT Post(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

protected:
    // Not virtual: the derived window's destructor takes the next slot; a window
    // is never deleted through this base.
    ~CWindowWnd() = default;

    HWND window_ = nullptr;
    WNDPROC previousProc_ = ::DefWindowProcW;

private:
    HICON bigIcon_ = nullptr;  // owned: set by SetIconResource
    HICON smallIcon_ = nullptr;

    bool RegisterOwnClass();
    bool RegisterClonedClass();
    static LRESULT CALLBACK OwnClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ClonedClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT FinishDestroy(CWindowWnd* self, HWND window, LRESULT result);
};

}  // namespace Veneer
