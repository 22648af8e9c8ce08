// The window manager's painting: the layout a paint needs first, the tree drawn into
// the offscreen surface and copied to the window, and invalidation.

#include "ui/core/WindowManager.h"

#include <algorithm>
#include <vector>

#include "log/Log.h"
#include "ui/control/Control.h"
#include "ui/core/GdiObjects.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

struct LayoutSearch {
    std::vector<CControlUI*> dirty;
};

CControlUI* CollectLayoutDirty(CControlUI* control, void* data) {
    if (!control->IsLayoutDirty()) return nullptr;
    auto& dirty = static_cast<LayoutSearch*>(data)->dirty;
    if (std::find(dirty.begin(), dirty.end(), control) == dirty.end()) dirty.push_back(control);
    return control;
}

}  // namespace

void CWindowManagerUI::InvalidateArea(RECT rect) {
    if (rect.left < 0) rect.left = 0;
    if (rect.top < 0) rect.top = 0;
    if (rect.right < rect.left) rect.right = rect.left;
    if (rect.bottom < rect.top) rect.bottom = rect.top;
    if (layered_) {
        UnionRect(&dirtyRect_, &dirtyRect_, &rect);
    } else if (window_ != nullptr) {
        InvalidateRect(window_, &rect, FALSE);
    }
}

bool CWindowManagerUI::COffscreen::Create(HDC compatible, int width, int height, bool argb) {
    Reset();
    dc_.Reset(CreateCompatibleDC(compatible));
    if (argb) {
        BYTE* bits = nullptr;
        bitmap_.Reset(CDrawEngine::MakeArgbSection(compatible, width, height, &bits));
        bits_ = reinterpret_cast<DWORD*>(bits);
    } else {
        bitmap_.Reset(CreateCompatibleBitmap(compatible, width, height));
    }
    if (!dc_ || !bitmap_) {
        LOG_A("offscreen surface %dx%d could not be made: %lu", width, height, GetLastError());
        Reset();
        return false;
    }
    previous_ = SelectObject(dc_.Get(), bitmap_.Get());
    size_ = SIZE{width, height};
    return true;
}

void CWindowManagerUI::COffscreen::Reset() {
    // The bitmap leaves the device context before either goes.
    if (dc_ && previous_ != nullptr) SelectObject(dc_.Get(), previous_);
    dc_.Reset();
    bitmap_.Reset();
    previous_ = nullptr;
    bits_ = nullptr;
    size_ = SIZE{0, 0};
}

void CWindowManagerUI::LayoutIfNeeded() {
    if (!updateNeeded_ || root_ == nullptr) return;
    updateNeeded_ = false;
    RECT client;
    GetClientRect(window_, &client);
    if (root_->IsLayoutDirty()) {
        offscreen_.Reset();
        root_->Place(client, true);
    } else {
        LayoutSearch search;
        root_->FindInTree(CollectLayoutDirty, &search, kFindVisible | kFindMeFirst | kFindUpdateTest);
        for (CControlUI* control : search.dirty) {
            control->Place(control->IsFloat() ? control->GetRectInParent() : control->GetRect(), true);
        }
    }
    if (firstLayout_) {
        firstLayout_ = false;
        SendNotification(root_, L"windowinit");
    }
}

void CWindowManagerUI::PaintTree(HDC dc, const RECT& area) {
    UniqueGdiObject<HRGN> clip(CreateRectRgnIndirect(&area));
    SelectClipRgn(dc, clip.Get());
    root_->Paint(dc, area, nullptr);
    WalkRegistered(overlayPainters_, [dc, &area](CControlUI* painter) {
        painter->PaintOverlay(dc, area);
        return false;
    });
    PaintFocusCue(dc);
    SelectClipRgn(dc, nullptr);
}

void CWindowManagerUI::PrintClient(HDC dc, LPARAM flags) {
    RECT client;
    GetClientRect(window_, &client);
    int saved = SaveDC(dc);
    root_->Paint(dc, client, nullptr);
    RestoreDC(dc, saved);
    if ((flags & PRF_CHILDREN) == 0) return;
    for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        PrintChildWindow(dc, child, flags | PRF_NONCLIENT);
    }
}

RECT CWindowManagerUI::PrintChildWindow(HDC dc, HWND child, LPARAM flags) const {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(HWND_DESKTOP, window_, reinterpret_cast<POINT*>(&rect), 2);
    int saved = SaveDC(dc);
    SetWindowOrgEx(dc, -rect.left, -rect.top, nullptr);
    SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(dc), flags);
    RestoreDC(dc, saved);
    return rect;
}

void CWindowManagerUI::Paint() {
    if (root_ == nullptr) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(window_, &ps);
        FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        EndPaint(window_, &ps);
        return;
    }
    RECT area;
    if (layered_) {
        if (!TakeLayeredArea(area)) return;
    } else if (!GetUpdateRect(window_, &area, FALSE)) {
        return;
    }
    // Laid out before the paint begins, so that what the layout moves is painted now.
    LayoutIfNeeded();
    if (focusNeeded_) MoveFocusByTab(true);

    RECT client;
    GetClientRect(window_, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    SIZE surface = offscreen_.Size();
    if (offscreen_.DC() != nullptr && (surface.cx != width || surface.cy != height)) offscreen_.Reset();
    if (offscreen_.DC() == nullptr && width > 0 && height > 0) offscreen_.Create(PaintDC(), width, height, layered_);

    if (layered_) {
        if (offscreen_.DC() != nullptr) PresentLayered(area, client);
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window_, &ps);
    RECT paintArea = ps.rcPaint;
    if (IsRectEmpty(&paintArea)) paintArea = area;
    if (offscreen_.DC() != nullptr) {
        PaintTree(offscreen_.DC(), paintArea);
        BitBlt(dc, paintArea.left, paintArea.top, paintArea.right - paintArea.left,
               paintArea.bottom - paintArea.top, offscreen_.DC(), paintArea.left, paintArea.top, SRCCOPY);
    } else {
        PaintTree(dc, paintArea);
    }
    if (showDirty_) {
        CSelectObject pen(dc, Shared().dirtyPen.Get());
        CSelectObject brush(dc, GetStockObject(HOLLOW_BRUSH));
        Rectangle(dc, paintArea.left, paintArea.top, paintArea.right, paintArea.bottom);
    }
    EndPaint(window_, &ps);
}

}  // namespace Veneer
