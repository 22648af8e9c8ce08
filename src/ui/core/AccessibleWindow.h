#pragma once
// CAccessibleWindow: the Active Accessibility object of a skinned window's client
// area. The controls have no windows of their own, so this object stands for all of
// them: its children are the controls in the accessible tree (ControlAccessibility.h),
// as simple elements whose child ids the window manager hands out once per control.
//
// Thread contract: the window's UI thread only. Screen readers in other processes
// reach the object through COM, which delivers their calls on the UI thread (a
// single-threaded apartment) while its message loop runs; a call from another thread
// is refused. Default actions and focus requests are posted to the window and run
// after the call returns, so that a message box they open never holds the caller.
//
// Lifetime: reference counted. The window manager holds one reference from the first
// WM_GETOBJECT until its window is destroyed; then it disconnects the object, and
// clients that still hold it get RPC_E_DISCONNECTED.

#include <windows.h>
#include <oleacc.h>

#include <vector>

namespace Veneer {

class CControlUI;
class CWindowManagerUI;

class CAccessibleWindow final : public IAccessible {
public:
    explicit CAccessibleWindow(CWindowManagerUI* manager);
    CAccessibleWindow(const CAccessibleWindow&) = delete;
    CAccessibleWindow& operator=(const CAccessibleWindow&) = delete;

    // The window is going: every later call fails.
    void Disconnect() { manager_ = nullptr; }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch: no type information; clients use the IAccessible methods.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override;
    // IAccessible
    HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override;
    HRESULT STDMETHODCALLTYPE get_accChildCount(long* count) override;
    HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** object) override;
    HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* description) override;
    HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override;
    HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override;
    HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override;
    HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, long* topic) override;
    HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override;
    HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override;
    HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override;
    HRESULT STDMETHODCALLTYPE accSelect(long flags, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accLocation(long* left, long* top, long* width, long* height, VARIANT child) override;
    HRESULT STDMETHODCALLTYPE accNavigate(long direction, VARIANT start, VARIANT* end) override;
    HRESULT STDMETHODCALLTYPE accHitTest(long x, long y, VARIANT* child) override;
    HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override;
    HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override;
    HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override;

private:
    ~CAccessibleWindow() = default;
    // S_OK when the object may answer: on its thread, with its window still there.
    HRESULT Connected() const;
    // S_OK with *control set (null for the client area itself), or the error for the
    // caller: a disconnected object, a wrong thread, an unknown child.
    HRESULT Resolve(const VARIANT& child, CControlUI** control) const;
    // Resolve, after checking and clearing the caller's out parameter.
    HRESULT Begin(const VARIANT& child, BSTR* out, CControlUI** control) const;
    HRESULT Begin(const VARIANT& child, VARIANT* out, CControlUI** control) const;
    bool HasKeyboardFocus() const;
    CControlUI* FocusedChild() const;

    LONG references_ = 1;
    CWindowManagerUI* manager_;
    DWORD thread_;
};

}  // namespace Veneer
