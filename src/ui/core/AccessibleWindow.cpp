#include "ui/core/AccessibleWindow.h"

#include <algorithm>
#include <string>

#include "ui/control/Control.h"
#include "ui/control/ControlAccessibility.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

HRESULT Text(const std::wstring& text, BSTR* out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (text.empty()) return S_FALSE;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

void SetChild(VARIANT* out, long id) {
    VariantInit(out);
    out->vt = VT_I4;
    out->lVal = id;
}

}  // namespace

CAccessibleWindow::CAccessibleWindow(CWindowManagerUI* manager) : manager_(manager), thread_(GetCurrentThreadId()) {}

HRESULT CAccessibleWindow::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IAccessible) {
        *object = static_cast<IAccessible*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CAccessibleWindow::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }

ULONG CAccessibleWindow::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
}

HRESULT CAccessibleWindow::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
}
HRESULT CAccessibleWindow::GetTypeInfo(UINT, LCID, ITypeInfo**) { return E_NOTIMPL; }
HRESULT CAccessibleWindow::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }
HRESULT CAccessibleWindow::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
    return E_NOTIMPL;
}

HRESULT CAccessibleWindow::Connected() const {
    if (GetCurrentThreadId() != thread_) return RPC_E_WRONG_THREAD;
    if (manager_ == nullptr || !IsWindow(manager_->WindowHandle())) return RPC_E_DISCONNECTED;
    return S_OK;
}

HRESULT CAccessibleWindow::Resolve(const VARIANT& child, CControlUI** control) const {
    *control = nullptr;
    HRESULT result = Connected();
    if (FAILED(result)) return result;
    if (child.vt != VT_I4) return E_INVALIDARG;
    if (child.lVal == CHILDID_SELF) return S_OK;
    *control = manager_->AccessibleChild(child.lVal);
    return *control != nullptr ? S_OK : E_INVALIDARG;
}

HRESULT CAccessibleWindow::Begin(const VARIANT& child, BSTR* out, CControlUI** control) const {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    return Resolve(child, control);
}

HRESULT CAccessibleWindow::Begin(const VARIANT& child, VARIANT* out, CControlUI** control) const {
    if (out == nullptr) return E_POINTER;
    VariantInit(out);
    return Resolve(child, control);
}

bool CAccessibleWindow::HasKeyboardFocus() const {
    HWND focus = GetFocus();
    HWND window = manager_->WindowHandle();
    return focus != nullptr && (focus == window || IsChild(window, focus));
}

CControlUI* CAccessibleWindow::FocusedChild() const {
    CControlUI* focused = manager_->FocusedControl();
    return focused != nullptr && HasKeyboardFocus() && IsAccessible(focused) ? focused : nullptr;
}

HRESULT CAccessibleWindow::get_accParent(IDispatch** parent) {
    if (parent == nullptr) return E_POINTER;
    *parent = nullptr;
    HRESULT result = Connected();
    if (FAILED(result)) return result;
    // The system's object for the window frame holds the client area.
    return AccessibleObjectFromWindow(manager_->WindowHandle(), static_cast<DWORD>(OBJID_WINDOW), IID_IDispatch,
                                      reinterpret_cast<void**>(parent));
}

HRESULT CAccessibleWindow::get_accChildCount(long* count) {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    HRESULT result = Connected();
    if (FAILED(result)) return result;
    *count = static_cast<long>(manager_->AccessibleChildren().size());
    return S_OK;
}

HRESULT CAccessibleWindow::get_accChild(VARIANT child, IDispatch** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    CControlUI* control = nullptr;
    HRESULT result = Resolve(child, &control);
    if (FAILED(result)) return result;
    // Children are simple elements: the caller asks this object about them by id.
    return control != nullptr ? S_FALSE : E_INVALIDARG;
}

HRESULT CAccessibleWindow::get_accName(VARIANT child, BSTR* name) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, name, &control);
    if (FAILED(result)) return result;
    if (control == nullptr) {
        HWND window = manager_->WindowHandle();
        std::wstring title(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
        title.resize(static_cast<size_t>(GetWindowTextW(window, &title[0], static_cast<int>(title.size()))));
        return Text(title, name);
    }
    return Text(DescribeControl(control, false).name, name);
}

HRESULT CAccessibleWindow::get_accValue(VARIANT child, BSTR* value) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, value, &control);
    if (FAILED(result)) return result;
    if (control == nullptr) return DISP_E_MEMBERNOTFOUND;
    AccessibleFacts facts = DescribeControl(control, false);
    if (facts.role != ROLE_SYSTEM_TEXT && facts.role != ROLE_SYSTEM_PROGRESSBAR && facts.value.empty()) {
        return DISP_E_MEMBERNOTFOUND;
    }
    return Text(facts.value, value);
}

// No descriptions and no help: the names and roles say it.
HRESULT CAccessibleWindow::get_accDescription(VARIANT child, BSTR* description) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, description, &control);
    return FAILED(result) ? result : DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleWindow::get_accHelp(VARIANT child, BSTR* help) { return get_accDescription(child, help); }

HRESULT CAccessibleWindow::get_accHelpTopic(BSTR* file, VARIANT child, long* topic) {
    if (topic != nullptr) *topic = 0;
    return get_accDescription(child, file);
}

HRESULT CAccessibleWindow::get_accRole(VARIANT child, VARIANT* role) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, role, &control);
    if (FAILED(result)) return result;
    SetChild(role, control == nullptr ? ROLE_SYSTEM_CLIENT : DescribeControl(control, false).role);
    return S_OK;
}

HRESULT CAccessibleWindow::get_accState(VARIANT child, VARIANT* state) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, state, &control);
    if (FAILED(result)) return result;
    long flags = 0;
    if (control == nullptr) {
        flags = STATE_SYSTEM_FOCUSABLE;
        if (HasKeyboardFocus() && FocusedChild() == nullptr) flags |= STATE_SYSTEM_FOCUSED;
    } else {
        flags = DescribeControl(control, control == FocusedChild()).state;
    }
    // A minimised window shows nothing.
    if (IsIconic(manager_->WindowHandle())) flags |= STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN;
    SetChild(state, flags);
    return S_OK;
}

HRESULT CAccessibleWindow::get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, shortcut, &control);
    if (FAILED(result)) return result;
    if (control == nullptr || control->GetShortcut() == 0) return DISP_E_MEMBERNOTFOUND;
    return Text(std::wstring(L"Alt+") + control->GetShortcut(), shortcut);
}

HRESULT CAccessibleWindow::get_accFocus(VARIANT* child) {
    if (child == nullptr) return E_POINTER;
    VariantInit(child);
    HRESULT result = Connected();
    if (FAILED(result)) return result;
    if (CControlUI* focused = FocusedChild()) {
        SetChild(child, manager_->AccessibleIdOf(focused));
    } else if (HasKeyboardFocus()) {
        SetChild(child, CHILDID_SELF);
    }
    return S_OK;
}

HRESULT CAccessibleWindow::get_accSelection(VARIANT* children) {
    if (children == nullptr) return E_POINTER;
    VariantInit(children);
    HRESULT result = Connected();
    return FAILED(result) ? result : DISP_E_MEMBERNOTFOUND;
}

HRESULT CAccessibleWindow::get_accDefaultAction(VARIANT child, BSTR* action) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(child, action, &control);
    if (FAILED(result)) return result;
    if (control == nullptr) return DISP_E_MEMBERNOTFOUND;
    std::wstring verb = DescribeControl(control, false).defaultAction;
    return verb.empty() ? DISP_E_MEMBERNOTFOUND : Text(verb, action);
}

HRESULT CAccessibleWindow::accSelect(long flags, VARIANT child) {
    CControlUI* control = nullptr;
    HRESULT result = Resolve(child, &control);
    if (FAILED(result)) return result;
    if (control == nullptr || flags != SELFLAG_TAKEFOCUS) return DISP_E_MEMBERNOTFOUND;
    if ((DescribeControl(control, false).state & STATE_SYSTEM_FOCUSABLE) == 0) return S_FALSE;
    manager_->PostAccessibleAction(control, CWindowManagerUI::kAccessibleTakeFocus);
    return S_OK;
}

HRESULT CAccessibleWindow::accLocation(long* left, long* top, long* width, long* height, VARIANT child) {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) return E_POINTER;
    *left = *top = *width = *height = 0;
    CControlUI* control = nullptr;
    HRESULT result = Resolve(child, &control);
    if (FAILED(result)) return result;
    RECT rect;
    if (control != nullptr) {
        rect = control->GetRect();
    } else {
        GetClientRect(manager_->WindowHandle(), &rect);
    }
    MapWindowPoints(manager_->WindowHandle(), HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
}

HRESULT CAccessibleWindow::accNavigate(long direction, VARIANT start, VARIANT* end) {
    CControlUI* control = nullptr;
    HRESULT result = Begin(start, end, &control);
    if (FAILED(result)) return result;
    std::vector<CControlUI*> children = manager_->AccessibleChildren();
    CControlUI* found = nullptr;
    if (control == nullptr) {
        if (direction == NAVDIR_FIRSTCHILD && !children.empty()) found = children.front();
        if (direction == NAVDIR_LASTCHILD && !children.empty()) found = children.back();
        if (direction != NAVDIR_FIRSTCHILD && direction != NAVDIR_LASTCHILD) return DISP_E_MEMBERNOTFOUND;
    } else {
        auto at = std::find(children.begin(), children.end(), control);
        if (direction == NAVDIR_NEXT && at != children.end() && at + 1 != children.end()) found = *(at + 1);
        if (direction == NAVDIR_PREVIOUS && at != children.begin() && at != children.end()) found = *(at - 1);
        if (direction != NAVDIR_NEXT && direction != NAVDIR_PREVIOUS) return DISP_E_MEMBERNOTFOUND;
    }
    if (found == nullptr) return S_FALSE;
    SetChild(end, manager_->AccessibleIdOf(found));
    return S_OK;
}

HRESULT CAccessibleWindow::accHitTest(long x, long y, VARIANT* child) {
    if (child == nullptr) return E_POINTER;
    VariantInit(child);
    HRESULT result = Connected();
    if (FAILED(result)) return result;
    POINT point = {x, y};
    HWND window = manager_->WindowHandle();
    ScreenToClient(window, &point);
    RECT client;
    GetClientRect(window, &client);
    if (!PtInRect(&client, point)) return S_FALSE;
    // The control under the point, or the nearest ancestor that is in the tree.
    CControlUI* hit = manager_->ControlAt(point);
    while (hit != nullptr && !IsAccessible(hit)) hit = hit->GetParent();
    SetChild(child, hit != nullptr ? manager_->AccessibleIdOf(hit) : CHILDID_SELF);
    return S_OK;
}

HRESULT CAccessibleWindow::accDoDefaultAction(VARIANT child) {
    CControlUI* control = nullptr;
    HRESULT result = Resolve(child, &control);
    if (FAILED(result)) return result;
    if (control == nullptr || DescribeControl(control, false).defaultAction.empty()) return DISP_E_MEMBERNOTFOUND;
    manager_->PostAccessibleAction(control, CWindowManagerUI::kAccessibleDefaultAction);
    return S_OK;
}

HRESULT CAccessibleWindow::put_accName(VARIANT, BSTR) { return E_NOTIMPL; }
HRESULT CAccessibleWindow::put_accValue(VARIANT, BSTR) { return E_NOTIMPL; }

}  // namespace Veneer
