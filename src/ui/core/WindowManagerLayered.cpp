// The window manager's per-pixel layered mode and window opacity: the tree drawn over
// the layered background with per-pixel alpha and presented with UpdateLayeredWindow,
// repainted from the dirty area by a 10 ms timer.

#include "ui/core/WindowManager.h"

#include "log/Log.h"
#include "ui/control/Control.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

bool CWindowManagerUI::HandleLayeredMessage(UINT message, WPARAM wParam, LRESULT& result) {
    switch (message) {
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
        if (IsIconic(window_)) return false;
        result = 0;
        return true;
    case WM_NCACTIVATE:
        if (IsIconic(window_)) return false;
        result = wParam == 0 ? TRUE : FALSE;
        return true;
    case WM_TIMER:
        if (wParam != kLayeredTimerId) return false;
        if (!IsRectEmpty(&dirtyRect_) && !IsIconic(window_)) Paint();
        result = 0;
        return true;
    default:
        return false;
    }
}

bool CWindowManagerUI::TakeLayeredArea(RECT& area) {
    RECT client;
    GetClientRect(window_, &client);
    IntersectRect(&area, &dirtyRect_, &client);
    SetRectEmpty(&dirtyRect_);
    ValidateRect(window_, nullptr);
    return !IsRectEmpty(&area);
}

void CWindowManagerUI::PresentLayered(RECT area, const RECT& client) {
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    UnionRect(&area, &area, &dirtyRect_);  // what the layout just invalidated
    SetRectEmpty(&dirtyRect_);
    IntersectRect(&area, &area, &client);
    BitBlt(offscreen_.DC(), area.left, area.top, area.right - area.left, area.bottom - area.top, nullptr, 0, 0,
           BLACKNESS);
    if (!layeredImage_.Empty()) CDrawEngine::PaintImage(offscreen_.DC(), this, client, area, layeredImage_);
    PaintTree(offscreen_.DC(), area);
    for (const ChildWindow& child : childWindows_) {
        if (!IsWindowVisible(child.window)) continue;
        RECT rect = PrintChildWindow(offscreen_.DC(), child.window,
                                     PRF_CHECKVISIBLE | PRF_CHILDREN | PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
        // Native windows draw without alpha: their pixels are opaque.
        IntersectRect(&rect, &rect, &client);
        DWORD* pixels = offscreen_.Bits();
        for (LONG y = rect.top; y < rect.bottom; ++y) {
            for (LONG x = rect.left; x < rect.right; ++x) pixels[y * width + x] |= 0xFF000000;
        }
    }
    // Whatever GDI drew without alpha (text, opaque fills) becomes opaque.
    DWORD* pixels = offscreen_.Bits();
    for (LONG y = area.top; y < area.bottom; ++y) {
        for (LONG x = area.left; x < area.right; ++x) {
            DWORD& pixel = pixels[y * width + x];
            if ((pixel & 0xFF000000) == 0 && (pixel & 0x00FFFFFF) != 0) pixel |= 0xFF000000;
        }
    }
    RECT window;
    GetWindowRect(window_, &window);
    POINT source = {0, 0};
    POINT position = {window.left, window.top};
    SIZE size = {width, height};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, opacity_, AC_SRC_ALPHA};
    UpdateLayeredWindow(window_, PaintDC(), &position, &size, offscreen_.DC(), &source, 0, &blend, ULW_ALPHA);
}

void CWindowManagerUI::SetWindowAlpha(BYTE alpha) {
    SetPerPixelLayered(false);
    opacity_ = alpha;
    if (window_ == nullptr) return;
    LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
    SetWindowLongW(window_, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    if (!SetLayeredWindowAttributes(window_, 0, alpha, LWA_ALPHA)) {
        LOG_A("SetLayeredWindowAttributes failed: %lu", GetLastError());
    }
}

void CWindowManagerUI::SetLayeredAlpha(BYTE alpha) {
    opacity_ = alpha;
    if (layered_ && root_ != nullptr) InvalidateArea(root_->GetRect());
}

void CWindowManagerUI::SetPerPixelLayered(bool layered) {
    if (layered == layered_ || window_ == nullptr) return;
    LONG style = GetWindowLongW(window_, GWL_STYLE);
    if (layered && (style & WS_CHILD) != 0) return;
    LONG exStyle = GetWindowLongW(window_, GWL_EXSTYLE);
    if (layered) {
        SetTimer(window_, kLayeredTimerId, 10, nullptr);
        SetWindowLongW(window_, GWL_EXSTYLE, exStyle | WS_EX_LAYERED);
    } else {
        KillTimer(window_, kLayeredTimerId);
        SetWindowLongW(window_, GWL_EXSTYLE, exStyle & ~WS_EX_LAYERED);
    }
    layered_ = layered;
    offscreen_.Reset();
    if (root_ != nullptr) root_->MarkLayoutDirty();
    updateNeeded_ = true;
    RECT client;
    GetClientRect(window_, &client);
    if (layered_) {
        UnionRect(&dirtyRect_, &dirtyRect_, &client);
    } else {
        InvalidateRect(window_, nullptr, FALSE);
    }
}

void CWindowManagerUI::SetLayeredBackground(const wchar_t* image) {
    layeredImage_.Assign(image != nullptr ? image : L"");
}

}  // namespace Veneer
