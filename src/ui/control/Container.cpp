#include "ui/control/Container.h"

#include <cwchar>
#include <vector>

#include "ui/core/AttributeValue.h"
#include "ui/control/ScrollBar.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

int ClampWidth(const CControlUI* child, int width) {
    if (width < child->GetMinWidth()) width = child->GetMinWidth();
    if (width > child->GetMaxWidth()) width = child->GetMaxWidth();
    return width;
}

int ClampHeight(const CControlUI* child, int height) {
    if (height < child->GetMinHeight()) height = child->GetMinHeight();
    if (height > child->GetMaxHeight()) height = child->GetMaxHeight();
    return height;
}

namespace {
bool Meets(const RECT& a, const RECT& b) {
    RECT overlap;
    return IntersectRect(&overlap, &a, &b) != FALSE;
}
}  // namespace

CContainerUI::CContainerUI() = default;

CContainerUI::~CContainerUI() {
    // Children go now, not through the manager's queue: their parent is going away.
    defersChildDeletion_ = false;
    RemoveAll();
    if (verticalBar_ != nullptr) verticalBar_->Destroy();
    if (horizontalBar_ != nullptr) horizontalBar_->Destroy();
}

const wchar_t* CContainerUI::GetTypeName() const { return L"Container"; }

void* CContainerUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"IContainer") == 0) return static_cast<IContainerUI*>(this);
    if (name != nullptr && wcscmp(name, L"Container") == 0) return static_cast<CControlUI*>(this);
    return CControlUI::CastTo(name);
}

void CContainerUI::AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init) {
    for (int i = 0; i < items_.GetSize(); ++i) GetItemAt(i)->AttachToManager(manager, this, init);
    if (verticalBar_ != nullptr) verticalBar_->AttachToManager(manager, this, init);
    if (horizontalBar_ != nullptr) horizontalBar_->AttachToManager(manager, this, init);
    CControlUI::AttachToManager(manager, parent, init);
}

bool CContainerUI::IsVerticalBarVisible() const { return verticalBar_ != nullptr && verticalBar_->IsVisible(); }

bool CContainerUI::IsHorizontalBarVisible() const {
    return horizontalBar_ != nullptr && horizontalBar_->IsVisible();
}

RECT CContainerUI::InnerRect() const {
    RECT inner = {itemRect_.left + inset_.left, itemRect_.top + inset_.top, itemRect_.right - inset_.right,
                  itemRect_.bottom - inset_.bottom};
    if (IsVerticalBarVisible()) inner.right -= verticalBar_->GetFixedWidth();
    if (IsHorizontalBarVisible()) inner.bottom -= horizontalBar_->GetFixedHeight();
    return inner;
}

RECT CContainerUI::GetClientRect() const { return InnerRect(); }

// ---- child list ----------------------------------------------------------------

CControlUI* CContainerUI::GetItemAt(int index) const { return static_cast<CControlUI*>(items_.GetAt(index)); }

int CContainerUI::GetItemIndex(CControlUI* child) const { return items_.Find(child); }

int CContainerUI::GetCount() const { return items_.GetSize(); }

bool CContainerUI::SetItemIndex(CControlUI* child, int index) {
    int current = items_.Find(child);
    // An index outside the list would drop the child on the floor.
    if (current < 0 || index < 0 || index >= items_.GetSize()) return false;
    MarkLayoutDirty();
    items_.Remove(current);
    items_.InsertAt(index, child);
    return true;
}

bool CContainerUI::MoveItemRun(CControlUI* child, int count, int index) {
    if (child == nullptr || count < 0 || index < 0) return false;
    int start = items_.Find(child);
    int size = items_.GetSize();
    if (start < 0 || start + count > size || index + count > size) return false;
    if (start == index) return true;
    MarkLayoutDirty();
    std::vector<void*> run;
    for (int i = 0; i < count; ++i) run.push_back(items_.GetAt(start + i));
    for (int i = 0; i < count; ++i) items_.Remove(start);
    for (int i = 0; i < count; ++i) items_.InsertAt(index + i, run[i]);
    return true;
}

bool CContainerUI::Add(CControlUI* child) {
    if (child == nullptr) return false;
    BindChild(child);
    if (IsVisible()) {
        MarkLayoutDirty();
    } else {
        child->SetInheritedVisible(false);
    }
    items_.Add(child);
    return true;
}

bool CContainerUI::AddAt(CControlUI* child, int index) {
    if (child == nullptr || index < 0 || index > items_.GetSize()) return false;
    BindChild(child);
    if (IsVisible()) {
        MarkLayoutDirty();
    } else {
        child->SetInheritedVisible(false);
    }
    return items_.InsertAt(index, child);
}

void CContainerUI::BindChild(CControlUI* child) {
    if (manager_ != nullptr) {
        manager_->BindTree(child, this);
    } else {
        // A tree built in code without a window still knows its parents.
        child->AttachToManager(nullptr, this, false);
    }
}

void CContainerUI::ReleaseChild(CControlUI* child) {
    if (!ownsChildren_) return;
    if (defersChildDeletion_ && manager_ != nullptr) {
        manager_->DeferDestroy(child);
    } else {
        child->Destroy();
    }
}

bool CContainerUI::Remove(CControlUI* child, bool keep) {
    int index = items_.Find(child);
    if (index < 0) return false;
    MarkLayoutDirty();
    items_.Remove(index);
    if (!keep) ReleaseChild(child);
    return true;
}

bool CContainerUI::RemoveAt(int index, bool keep) {
    CControlUI* child = GetItemAt(index);
    return child != nullptr && Remove(child, keep);
}

void CContainerUI::RemoveAll() {
    // Taken out first: a destroyed child must not be reachable through the list.
    CPtrArray children = items_;
    items_.Empty();
    for (int i = 0; i < children.GetSize(); ++i) ReleaseChild(static_cast<CControlUI*>(children.GetAt(i)));
    MarkLayoutDirty();
}

// ---- settings ------------------------------------------------------------------

RECT CContainerUI::GetInset() const { return inset_; }

void CContainerUI::SetInset(RECT inset) { SetAndRelayout(inset_, inset); }

int CContainerUI::GetChildPadding() const { return childPadding_; }

void CContainerUI::SetChildPadding(int padding) { SetAndRelayout(childPadding_, padding < 0 ? 0 : padding); }

UINT CContainerUI::GetChildAlign() const { return childAlign_; }

void CContainerUI::SetChildAlign(UINT align) { SetAndRelayout(childAlign_, align); }

UINT CContainerUI::GetChildVAlign() const { return childVAlign_; }

void CContainerUI::SetChildVAlign(UINT align) { SetAndRelayout(childVAlign_, align); }

bool CContainerUI::OwnsChildren() const { return ownsChildren_; }
void CContainerUI::SetOwnsChildren(bool owns) { ownsChildren_ = owns; }
bool CContainerUI::DefersChildDeletion() const { return defersChildDeletion_; }
void CContainerUI::SetDefersChildDeletion(bool defers) { defersChildDeletion_ = defers; }
bool CContainerUI::IsMouseChildEnabled() const { return mouseChildEnabled_; }
void CContainerUI::SetMouseChildEnabled(bool enabled) { mouseChildEnabled_ = enabled; }

int CContainerUI::FindSelectableItem(int start, bool forward) const {
    int count = items_.GetSize();
    if (count == 0) return -1;
    if (start < 0) start = 0;
    if (start > count - 1) start = count - 1;
    auto selectable = [this](int i) {
        CControlUI* child = GetItemAt(i);
        return child->CastTo(L"IListItem") != nullptr && child->IsVisible() && child->IsEnabled();
    };
    if (forward) {
        for (int i = start; i < count; ++i) {
            if (selectable(i)) return i;
        }
        return -1;
    }
    for (int i = start; i >= 0; --i) {
        if (selectable(i)) return i;
    }
    return FindSelectableItem(0, true);
}

// ---- visibility, attachment, events ---------------------------------------------

void CContainerUI::SetVisible(bool visible) {
    if (visible_ == visible) return;
    CControlUI::SetVisible(visible);
    for (int i = 0; i < items_.GetSize(); ++i) GetItemAt(i)->SetInheritedVisible(IsVisible());
}

void CContainerUI::SetInheritedVisible(bool visible) {
    CControlUI::SetInheritedVisible(visible);
    for (int i = 0; i < items_.GetSize(); ++i) GetItemAt(i)->SetInheritedVisible(IsVisible());
}

void CContainerUI::SetMouseEnabled(bool enabled) {
    if (verticalBar_ != nullptr) verticalBar_->SetMouseEnabled(enabled);
    if (horizontalBar_ != nullptr) horizontalBar_->SetMouseEnabled(enabled);
    CControlUI::SetMouseEnabled(enabled);
}

void CContainerUI::Offset(int dx, int dy, bool invalidate) {
    CControlUI::Offset(dx, dy, invalidate);
    if (IsVerticalBarVisible()) verticalBar_->Offset(dx, dy, false);
    if (IsHorizontalBarVisible()) horizontalBar_->Offset(dx, dy, false);
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (child->IsVisible()) child->Offset(dx, dy, false);
    }
}

CControlUI* CContainerUI::FindInTree(FindControlProc visitor, void* data, UINT flags) {
    if ((flags & kFindVisible) != 0 && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) != 0 && !IsEnabled()) return nullptr;
    bool hitTest = (flags & kFindHitTest) != 0;
    if (hitTest && !PtInRect(&itemRect_, *static_cast<POINT*>(data))) return nullptr;
    if ((flags & kFindUpdateTest) != 0 && visitor(this, data) != nullptr) return nullptr;
    if ((flags & kFindMeFirst) != 0 && (!hitTest || mouseEnabled_)) {
        if (CControlUI* found = visitor(this, data)) return found;
    }
    if (cover_ != nullptr && (!hitTest || mouseChildEnabled_)) {
        if (CControlUI* found = cover_->FindInTree(visitor, data, flags)) return found;
    }
    for (CScrollBarUI* bar : {verticalBar_, horizontalBar_}) {
        if (bar != nullptr && (!hitTest || mouseEnabled_)) {
            if (CControlUI* found = bar->FindInTree(visitor, data, flags)) return found;
        }
    }
    if (!hitTest || mouseChildEnabled_) {
        RECT inner = InnerRect();
        int count = items_.GetSize();
        bool topFirst = (flags & kFindTopFirst) != 0;
        for (int n = 0; n < count; ++n) {
            CControlUI* child = GetItemAt(topFirst ? count - 1 - n : n);
            CControlUI* found = child->FindInTree(visitor, data, flags);
            if (found == nullptr) continue;
            // Children scrolled out of the inner rectangle are not hit.
            if (!hitTest || found->IsFloat() || PtInRect(&inner, *static_cast<POINT*>(data))) return found;
        }
    }
    if ((flags & kFindMeFirst) != 0 || (hitTest && !mouseEnabled_)) return nullptr;
    return visitor(this, data);
}

void CContainerUI::HandleEvent(UiEvent& event) {
    if (!mouseEnabled_ && IsMouseEventKind(event.kind)) {
        if (parent_ != nullptr) {
            parent_->HandleEvent(event);
        } else {
            CControlUI::HandleEvent(event);
        }
        return;
    }
    switch (event.kind) {
    case kEventSetFocus:
        focused_ = true;
        return;
    case kEventKillFocus:
        focused_ = false;
        return;
    case kEventKeyDown:
        if (IsKeyboardEnabled() && IsEnabled()) {
            bool vertical = IsVerticalBarVisible() && verticalBar_->IsEnabled();
            bool horizontal = IsHorizontalBarVisible() && horizontalBar_->IsEnabled();
            if (vertical || horizontal) {
                switch (event.key) {
                case VK_PRIOR: vertical ? ScrollPageUp() : ScrollPageLeft(); return;
                case VK_NEXT: vertical ? ScrollPageDown() : ScrollPageRight(); return;
                case VK_END: vertical ? ScrollEnd() : ScrollEndRight(); return;
                case VK_HOME: vertical ? ScrollHome() : ScrollHomeLeft(); return;
                case VK_UP: vertical ? ScrollLineUp() : ScrollLineLeft(); return;
                case VK_DOWN: vertical ? ScrollLineDown() : ScrollLineRight(); return;
                default: break;
                }
            }
        }
        break;
    case kEventScrollWheel: {
        bool down = LOWORD(event.wParam) == 1;
        bool horizontal = IsHorizontalBarVisible() && horizontalBar_->IsEnabled();
        bool vertical = IsVerticalBarVisible() && verticalBar_->IsEnabled();
        if (horizontal && PtInRect(&horizontalBar_->GetRect(), event.mousePoint)) {
            down ? ScrollLineRight() : ScrollLineLeft();
            return;
        }
        if (vertical) {
            down ? ScrollLineDown() : ScrollLineUp();
            return;
        }
        if (horizontal) {
            down ? ScrollLineRight() : ScrollLineLeft();
            return;
        }
        break;
    }
    default:
        break;
    }
    CControlUI::HandleEvent(event);
}

void CContainerUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"inset") == 0) {
        SetInset(ReadRect(value));
    } else if (wcscmp(name, L"mousechild") == 0) {
        SetMouseChildEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"vscrollbar") == 0) {
        EnableScrollBars(IsTrueValue(value), horizontalBar_ != nullptr);
    } else if (wcscmp(name, L"vscrollbarstyle") == 0) {
        EnableScrollBars(true, horizontalBar_ != nullptr);
        verticalBar_->ApplyAttributeString(value);
    } else if (wcscmp(name, L"hscrollbar") == 0) {
        EnableScrollBars(verticalBar_ != nullptr, IsTrueValue(value));
    } else if (wcscmp(name, L"hscrollbarstyle") == 0) {
        EnableScrollBars(verticalBar_ != nullptr, true);
        horizontalBar_->ApplyAttributeString(value);
    } else if (wcscmp(name, L"childpadding") == 0) {
        SetChildPadding(ReadInteger(value));
    } else if (wcscmp(name, L"childalign") == 0) {
        if (wcscmp(value, L"left") == 0) {
            childAlign_ = DT_LEFT;
        } else if (wcscmp(value, L"center") == 0) {
            childAlign_ = DT_CENTER;
        } else if (wcscmp(value, L"right") == 0) {
            childAlign_ = DT_RIGHT;
        }
    } else if (wcscmp(name, L"childvalign") == 0) {
        if (wcscmp(value, L"top") == 0) {
            childVAlign_ = DT_TOP;
        } else if (wcscmp(value, L"vcenter") == 0) {
            childVAlign_ = DT_VCENTER;
        } else if (wcscmp(value, L"bottom") == 0) {
            childVAlign_ = DT_BOTTOM;
        }
    } else {
        CControlUI::ApplyAttribute(name, value);
    }
}

// ---- painting --------------------------------------------------------------------

bool CContainerUI::PaintSelf(HDC dc, const RECT& paintRect, CControlUI* stop) {
    RECT area;
    if (!IntersectRect(&area, &paintRect, &itemRect_)) return true;
    CRenderClip outerClip;
    CDrawEngine::ClipToRect(dc, area, outerClip);
    CControlUI::PaintSelf(dc, paintRect, stop);

    if (items_.GetSize() > 0) {
        RECT inner = InnerRect();
        RECT innerArea;
        if (!IntersectRect(&innerArea, &paintRect, &inner)) {
            for (int i = 0; i < items_.GetSize(); ++i) {
                CControlUI* child = GetItemAt(i);
                if (child == stop) return false;
                if (!child->IsVisible() || !Meets(paintRect, child->GetRect()) || !child->IsFloat()) continue;
                if (Meets(itemRect_, child->GetRect()) && !child->Paint(dc, paintRect, stop)) return false;
            }
        } else {
            CRenderClip innerClip;
            CDrawEngine::ClipToRect(dc, innerArea, innerClip);
            for (int i = 0; i < items_.GetSize(); ++i) {
                CControlUI* child = GetItemAt(i);
                if (child == stop) return false;
                if (!child->IsVisible() || !Meets(paintRect, child->GetRect())) continue;
                if (child->IsFloat()) {
                    if (!Meets(itemRect_, child->GetRect())) continue;
                    // A floating child may lie over the inset: the inner clip gives way to
                    // the outer one while it paints (a clip chosen now would only narrow it).
                    CDrawEngine::ClipToRect(dc, area, innerClip);
                    bool painted = child->Paint(dc, paintRect, stop);
                    CDrawEngine::ClipToRect(dc, innerArea, innerClip);
                    if (!painted) return false;
                } else if (Meets(inner, child->GetRect()) && !child->Paint(dc, paintRect, stop)) {
                    return false;
                }
            }
        }
    }

    for (CScrollBarUI* bar : {verticalBar_, horizontalBar_}) {
        if (bar == nullptr) continue;
        if (bar == stop) return false;
        if (bar->IsVisible() && Meets(paintRect, bar->GetRect()) && !bar->Paint(dc, paintRect, stop)) return false;
    }
    return true;
}

// ---- layout ------------------------------------------------------------------------

void CContainerUI::PlaceFloatChild(int index) {
    CControlUI* child = GetItemAt(index);
    if (child == nullptr || !child->IsVisible() || !child->IsFloat()) return;
    int width = GetWidth();
    int height = GetHeight();
    SIZE origin = child->GetFixedOrigin();
    FloatFractions f = child->GetFloatFractions();
    RECT rect = {static_cast<int>(width * f.left) + origin.cx, static_cast<int>(height * f.top) + origin.cy,
                 static_cast<int>(width * f.right) + origin.cx + child->GetFixedWidth(),
                 static_cast<int>(height * f.bottom) + origin.cy + child->GetFixedHeight()};
    child->Place(rect, false);
}

CControlUI* CContainerUI::FlowChild(int index) {
    CControlUI* child = GetItemAt(index);
    if (child == nullptr || !child->IsVisible()) return nullptr;
    if (!child->IsFloat()) return child;
    PlaceFloatChild(index);
    return nullptr;
}

void CContainerUI::Place(RECT rect, bool invalidate) {
    CControlUI::Place(rect, invalidate);
    if (items_.GetSize() == 0) return;
    RECT inner = InnerRect();
    SIZE offset = GetScrollOffset();
    SIZE extent = GetScrollExtent();
    if (IsVerticalBarVisible()) {
        inner.top -= offset.cy;
        inner.bottom += extent.cy - offset.cy;
    }
    if (IsHorizontalBarVisible()) {
        inner.left -= offset.cx;
        inner.right += extent.cx - offset.cx;
    }
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = FlowChild(i);
        if (child == nullptr) continue;
        int width = ClampWidth(child, inner.right - inner.left);
        int height = ClampHeight(child, inner.bottom - inner.top);
        child->Place(RECT{inner.left, inner.top, inner.left + width, inner.top + height}, false);
    }
}

// ---- scrolling ---------------------------------------------------------------------

SIZE CContainerUI::GetScrollOffset() const {
    return SIZE{IsHorizontalBarVisible() ? horizontalBar_->GetScrollPos() : 0,
                IsVerticalBarVisible() ? verticalBar_->GetScrollPos() : 0};
}

SIZE CContainerUI::GetScrollExtent() const {
    return SIZE{IsHorizontalBarVisible() ? horizontalBar_->GetScrollRange() : 0,
                IsVerticalBarVisible() ? verticalBar_->GetScrollRange() : 0};
}

void CContainerUI::SetScrollOffset(SIZE offset) {
    SIZE old = GetScrollOffset();
    if (IsHorizontalBarVisible()) horizontalBar_->SetScrollPos(offset.cx);
    if (IsVerticalBarVisible()) verticalBar_->SetScrollPos(offset.cy);
    SIZE now = GetScrollOffset();
    int dx = now.cx - old.cx;
    int dy = now.cy - old.cy;
    if (dx == 0 && dy == 0) return;
    for (int i = 0; i < items_.GetSize(); ++i) {
        CControlUI* child = GetItemAt(i);
        if (child->IsVisible() && !child->IsFloat()) child->Offset(-dx, -dy, false);
    }
    Invalidate();
}

int CContainerUI::LineStepVertical() const {
    if (verticalBar_ != nullptr && verticalBar_->GetLineSize() > 1) return verticalBar_->GetLineSize();
    const FontRecord* font = manager_ != nullptr ? manager_->StandardFontRecord() : nullptr;
    return (font != nullptr ? font->metrics.tmHeight : 0) + DeviceLength(8);
}

int CContainerUI::LineStepHorizontal() const {
    if (horizontalBar_ != nullptr && horizontalBar_->GetLineSize() > 1) return horizontalBar_->GetLineSize();
    return DeviceLength(8);
}

namespace {
int PageHeight(const RECT& item, const RECT& inset, const CScrollBarUI* horizontalBar) {
    int height = item.bottom - item.top - inset.top - inset.bottom;
    if (horizontalBar != nullptr && horizontalBar->IsVisible()) height -= horizontalBar->GetFixedHeight();
    return height;
}
int PageWidth(const RECT& item, const RECT& inset, const CScrollBarUI* verticalBar) {
    int width = item.right - item.left - inset.left - inset.right;
    if (verticalBar != nullptr && verticalBar->IsVisible()) width -= verticalBar->GetFixedWidth();
    return width;
}
}  // namespace

void CContainerUI::ScrollLineUp() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx, o.cy - LineStepVertical()});
}
void CContainerUI::ScrollLineDown() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx, o.cy + LineStepVertical()});
}
void CContainerUI::ScrollPageUp() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx, o.cy - PageHeight(itemRect_, inset_, horizontalBar_)});
}
void CContainerUI::ScrollPageDown() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx, o.cy + PageHeight(itemRect_, inset_, horizontalBar_)});
}
void CContainerUI::ScrollHome() { SetScrollOffset(SIZE{GetScrollOffset().cx, 0}); }
void CContainerUI::ScrollEnd() { SetScrollOffset(SIZE{GetScrollOffset().cx, GetScrollExtent().cy}); }
void CContainerUI::ScrollLineLeft() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx - LineStepHorizontal(), o.cy});
}
void CContainerUI::ScrollLineRight() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx + LineStepHorizontal(), o.cy});
}
void CContainerUI::ScrollPageLeft() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx - PageWidth(itemRect_, inset_, verticalBar_), o.cy});
}
void CContainerUI::ScrollPageRight() {
    SIZE o = GetScrollOffset();
    SetScrollOffset(SIZE{o.cx + PageWidth(itemRect_, inset_, verticalBar_), o.cy});
}
void CContainerUI::ScrollHomeLeft() { SetScrollOffset(SIZE{0, GetScrollOffset().cy}); }
void CContainerUI::ScrollEndRight() { SetScrollOffset(SIZE{GetScrollExtent().cx, GetScrollOffset().cy}); }

void CContainerUI::EnableScrollBars(bool vertical, bool horizontal) {
    struct Wanted {
        CScrollBarUI*& bar;
        bool wanted;
        bool horizontal;
        const wchar_t* defaults;
    };
    for (Wanted w : {Wanted{verticalBar_, vertical, false, L"VScrollBar"},
                     Wanted{horizontalBar_, horizontal, true, L"HScrollBar"}}) {
        if (w.wanted && w.bar == nullptr) {
            w.bar = new CScrollBarUI();
            w.bar->SetOwner(this);
            w.bar->SetHorizontal(w.horizontal);
            w.bar->AttachToManager(manager_, this, false);
            const wchar_t* defaults = manager_ != nullptr ? manager_->ClassDefaults(w.defaults) : nullptr;
            if (defaults != nullptr) w.bar->ApplyAttributeString(defaults);
        } else if (!w.wanted && w.bar != nullptr) {
            w.bar->Destroy();
            w.bar = nullptr;
        }
    }
    MarkLayoutDirty();
}

CScrollBarUI* CContainerUI::GetVerticalScrollBar() const { return verticalBar_; }
CScrollBarUI* CContainerUI::GetHorizontalScrollBar() const { return horizontalBar_; }

void CContainerUI::UpdateScrollBars(const RECT& inner, int neededWidth, int neededHeight) {
    if (verticalBar_ == nullptr && horizontalBar_ == nullptr) return;
    bool verticalWasVisible = IsVerticalBarVisible();
    bool horizontalWasVisible = IsHorizontalBarVisible();
    // The bars' extents are measured against the area without them.
    int innerWidth = inner.right - inner.left + (verticalWasVisible ? verticalBar_->GetFixedWidth() : 0);
    int innerHeight = inner.bottom - inner.top + (horizontalWasVisible ? horizontalBar_->GetFixedHeight() : 0);
    if (verticalBar_ != nullptr) {
        int extent = neededHeight - innerHeight;
        bool show = extent > 0 || scrollProcessing_;
        verticalBar_->SetScrollRange(extent > 0 ? extent : 0);
        verticalBar_->SetVisible(show);
    }
    if (horizontalBar_ != nullptr) {
        int extent = neededWidth - innerWidth;
        bool show = extent > 0 || scrollProcessing_;
        horizontalBar_->SetScrollRange(extent > 0 ? extent : 0);
        horizontalBar_->SetVisible(show);
    }
    RECT area = {itemRect_.left + inset_.left, itemRect_.top + inset_.top, itemRect_.right - inset_.right,
                 itemRect_.bottom - inset_.bottom};
    int verticalWidth = IsVerticalBarVisible() ? verticalBar_->GetFixedWidth() : 0;
    int horizontalHeight = IsHorizontalBarVisible() ? horizontalBar_->GetFixedHeight() : 0;
    if (IsVerticalBarVisible()) {
        verticalBar_->Place(RECT{area.right - verticalWidth, area.top, area.right, area.bottom - horizontalHeight},
                            false);
    }
    if (IsHorizontalBarVisible()) {
        horizontalBar_->Place(
            RECT{area.left, area.bottom - horizontalHeight, area.right - verticalWidth, area.bottom}, false);
    }
    // A bar that came or went changes the inner rectangle: lay the children out once more.
    bool changed = verticalWasVisible != IsVerticalBarVisible() || horizontalWasVisible != IsHorizontalBarVisible();
    if (changed && !updatingScrollBars_) {
        updatingScrollBars_ = true;
        Place(float_ && parent_ != nullptr ? GetRectInParent() : itemRect_, false);
        updatingScrollBars_ = false;
    }
}

}  // namespace Veneer
