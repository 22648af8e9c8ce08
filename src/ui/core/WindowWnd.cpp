#include "ui/core/WindowWnd.h"

#include "log/Log.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {
// Where a window of a cloned class keeps its object (the class's own user data
// belongs to the cloned procedure).
const wchar_t kObjectProperty[] = L"WndX";

// Icon sizes rounded up to a multiple of 16.
int IconSize(int metric) { return (GetSystemMetrics(metric) + 15) & ~15; }
}  // namespace

const wchar_t* CWindowWnd::BaseClassName() const { return nullptr; }

UINT CWindowWnd::ClassStyle() const { return 0; }

LRESULT CWindowWnd::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(previousProc_, window_, message, wParam, lParam);
}

void CWindowWnd::AfterDestroy(HWND /*window*/) {}

HWND CWindowWnd::Open(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, int x, int y, int width,
                      int height, HMENU menu) {
    bool registered = BaseClassName() != nullptr ? RegisterClonedClass() : RegisterOwnClass();
    if (!registered) return nullptr;
    HWND window = CreateWindowExW(exStyle, WindowClassName(), name, style, x, y, width, height, parent, menu,
                                  CWindowManagerUI::ModuleHandle(), this);
    if (window == nullptr) LOG_W(L"CreateWindowExW of class %s failed: %lu", WindowClassName(), GetLastError());
    return window;
}

HWND CWindowWnd::Open(HWND parent, const wchar_t* name, DWORD style, DWORD exStyle, const RECT& rect, HMENU menu) {
    return Open(parent, name, style, exStyle, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                menu);
}

bool CWindowWnd::RegisterOwnClass() {
    WNDCLASSW windowClass = {};
    windowClass.style = ClassStyle();
    windowClass.lpfnWndProc = OwnClassProc;
    windowClass.hInstance = CWindowManagerUI::ModuleHandle();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = WindowClassName();
    if (RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    LOG_W(L"RegisterClassW %s failed: %lu", WindowClassName(), GetLastError());
    return false;
}

bool CWindowWnd::RegisterClonedClass() {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExW(nullptr, BaseClassName(), &windowClass) &&
        !GetClassInfoExW(CWindowManagerUI::ModuleHandle(), BaseClassName(), &windowClass)) {
        LOG_W(L"the window class %s to clone does not exist: %lu", BaseClassName(), GetLastError());
        return false;
    }
    previousProc_ = windowClass.lpfnWndProc;
    windowClass.lpfnWndProc = ClonedClassProc;
    windowClass.hInstance = CWindowManagerUI::ModuleHandle();
    windowClass.lpszClassName = WindowClassName();
    if (RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) return true;
    LOG_W(L"RegisterClassExW %s failed: %lu", WindowClassName(), GetLastError());
    return false;
}

LRESULT CALLBACK CWindowWnd::OwnClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<CWindowWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_NCDESTROY) {
            LRESULT result = CallWindowProcW(self->previousProc_, window, message, wParam, lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            return FinishDestroy(self, window, result);
        }
    }
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->ProcessMessage(message, wParam, lParam);
}

LRESULT CALLBACK CWindowWnd::ClonedClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindowWnd* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<CWindowWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetPropW(window, kObjectProperty, self);
    } else {
        self = static_cast<CWindowWnd*>(GetPropW(window, kObjectProperty));
        if (self != nullptr && message == WM_NCDESTROY) {
            LRESULT result = CallWindowProcW(self->previousProc_, window, message, wParam, lParam);
            RemovePropW(window, kObjectProperty);
            return FinishDestroy(self, window, result);
        }
    }
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    return self->ProcessMessage(message, wParam, lParam);
}

LRESULT CWindowWnd::FinishDestroy(CWindowWnd* self, HWND window, LRESULT result) {
    self->window_ = nullptr;
    if (self->bigIcon_ != nullptr) DestroyIcon(self->bigIcon_);
    if (self->smallIcon_ != nullptr) DestroyIcon(self->smallIcon_);
    self->bigIcon_ = self->smallIcon_ = nullptr;
    self->AfterDestroy(window);
    return result;
}

void CWindowWnd::Show(bool show, bool takeFocus) {
    if (window_ == nullptr) return;
    ShowWindow(window_, show ? (takeFocus ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE) : SW_HIDE);
}

UINT CWindowWnd::RunModal() {
    HWND self = window_;
    HWND owner = GetWindow(self, GW_OWNER);
    ShowWindow(self, SW_SHOWNORMAL);
    if (owner != nullptr) EnableWindow(owner, FALSE);
    UINT result = 0;
    bool quit = false;
    WPARAM quitCode = 0;
    MSG message;
    while (IsWindow(self)) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            quit = true;
            quitCode = message.wParam;
            break;
        }
        if (got == -1) break;
        if (message.message == WM_CLOSE && message.hwnd == self) {
            result = static_cast<UINT>(message.wParam);
            if (owner != nullptr) {
                EnableWindow(owner, TRUE);
                SetFocus(owner);
            }
        }
        if (!CWindowManagerUI::PreDispatch(&message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (owner != nullptr) {
        EnableWindow(owner, TRUE);
        SetFocus(owner);
    }
    if (quit) PostQuitMessage(static_cast<int>(quitCode));
    return result;
}

void CWindowWnd::PostClose(UINT code) {
    if (window_ != nullptr) PostMessageW(window_, WM_CLOSE, code, 0);
}

void CWindowWnd::CenterOnOwner() {
    if (window_ == nullptr) return;
    RECT rect;
    GetWindowRect(window_, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HWND owner = GetWindow(window_, GW_OWNER);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner != nullptr ? owner : window_, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    RECT reference = work;
    if (owner != nullptr && !IsIconic(owner)) GetWindowRect(owner, &reference);
    int x = (reference.left + reference.right) / 2 - width / 2;
    int y = (reference.top + reference.bottom) / 2 - height / 2;
    if (x < work.left) {
        x = work.left;
    } else if (x + width > work.right) {
        x = work.right - width;
    }
    if (y < work.top) {
        y = work.top;
    } else if (y + height > work.bottom) {
        y = work.bottom - height;
    }
    SetWindowPos(window_, nullptr, x, y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWindowWnd::ResizeClientArea(int width, int height) {
    if (window_ == nullptr) return;
    RECT rect;
    if (!GetClientRect(window_, &rect)) return;
    if (width != -1) rect.right = width;
    if (height != -1) rect.bottom = height;
    DWORD style = static_cast<DWORD>(GetWindowLongW(window_, GWL_STYLE));
    BOOL hasMenu = (style & WS_CHILD) == 0 && GetMenu(window_) != nullptr;
    AdjustWindowRectEx(&rect, style, hasMenu, static_cast<DWORD>(GetWindowLongW(window_, GWL_EXSTYLE)));
    SetWindowPos(window_, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

void CWindowWnd::SetIconResource(UINT id) {
    if (window_ == nullptr) return;
    HINSTANCE module = CWindowManagerUI::ModuleHandle();
    auto load = [module, id](int xMetric, int yMetric) {
        return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, IconSize(xMetric),
                                             IconSize(yMetric), LR_DEFAULTCOLOR));
    };
    HICON big = load(SM_CXICON, SM_CYICON);
    HICON small = load(SM_CXSMICON, SM_CYSMICON);
    if (big == nullptr || small == nullptr) LOG_A("icon resource %u could not be loaded: %lu", id, GetLastError());
    SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    // The window shows the new icons now; the ones set before are ours to free.
    if (bigIcon_ != nullptr) DestroyIcon(bigIcon_);
    if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
    bigIcon_ = big;
    smallIcon_ = small;
}

LRESULT CWindowWnd::Send(UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageW(window_, message, wParam, lParam);
}

LRESULT CWindowWnd::Post(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(window_, message, wParam, lParam);
}

}  // namespace Veneer
