#include "ui/control/TabLayout.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

CTabLayoutUI::CTabLayoutUI() = default;

const wchar_t* CTabLayoutUI::GetTypeName() const { return L"TabLayout"; }

void* CTabLayoutUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"TabLayout") == 0) return static_cast<CControlUI*>(this);
    return CContainerUI::CastTo(name);
}

bool CTabLayoutUI::Add(CControlUI* child) {
    if (!CContainerUI::Add(child)) return false;
    if (selected_ == -1 && child->IsVisible()) {
        selected_ = GetItemIndex(child);
    } else {
        child->SetVisible(false);
    }
    return true;
}

bool CTabLayoutUI::AddAt(CControlUI* child, int index) {
    if (!CContainerUI::AddAt(child, index)) return false;
    if (selected_ == -1 && child->IsVisible()) {
        selected_ = GetItemIndex(child);
    } else if (selected_ == -1 || selected_ < index) {
        child->SetVisible(false);
    } else {
        // Inserted at or before the selected page, which moves up by one.
        ++selected_;
    }
    return true;
}

bool CTabLayoutUI::Remove(CControlUI* child, bool keep) {
    int index = GetItemIndex(child);
    if (!CContainerUI::Remove(child, keep)) return false;
    if (index == selected_) {
        if (GetCount() > 0) {
            selected_ = 0;
            GetItemAt(0)->SetVisible(true);
        } else {
            selected_ = -1;
        }
        MarkParentLayoutDirty();
    } else if (index < selected_) {
        --selected_;
    }
    return true;
}

void CTabLayoutUI::RemoveAll() {
    selected_ = -1;
    CContainerUI::RemoveAll();
    MarkParentLayoutDirty();
}

bool CTabLayoutUI::SelectPage(int index, bool notify) {
    if (index < 0 || index >= GetCount()) return false;
    if (index == selected_) return true;
    int old = selected_;
    selected_ = index;
    for (int i = 0; i < GetCount(); ++i) {
        CControlUI* page = GetItemAt(i);
        if (i == index) {
            page->SetVisible(true);
            page->RequestFocus();
        } else {
            page->SetVisible(false);
        }
    }
    MarkParentLayoutDirty();
    if (manager_ != nullptr) {
        manager_->MoveFocusByTab(true);
        if (notify) Notify(L"tabselect", static_cast<WPARAM>(index), static_cast<LPARAM>(old));
    }
    return true;
}

void CTabLayoutUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"selectedid") == 0) SelectPage(ReadInteger(value), true);
    CContainerUI::ApplyAttribute(name, value);
}

void CTabLayoutUI::Place(RECT rect, bool invalidate) {
    CControlUI::Place(rect, invalidate);
    RECT inner = {itemRect_.left + inset_.left, itemRect_.top + inset_.top, itemRect_.right - inset_.right,
                  itemRect_.bottom - inset_.bottom};
    for (int i = 0; i < GetCount(); ++i) {
        CControlUI* child = FlowChild(i);
        if (child == nullptr) continue;
        if (i != selected_) continue;
        RECT p = child->GetPadding();
        RECT page = {inner.left + p.left, inner.top + p.top, inner.right - p.right, inner.bottom - p.bottom};
        int width = page.right - page.left;
        int height = page.bottom - page.top;
        SIZE size = child->MeasureSize(SIZE{width, height});
        if (size.cx == 0) size.cx = width > 0 ? width : 0;
        if (size.cy == 0) size.cy = height > 0 ? height : 0;
        size.cx = ClampWidth(child, size.cx);
        size.cy = ClampHeight(child, size.cy);
        child->Place(RECT{page.left, page.top, page.left + size.cx, page.top + size.cy}, false);
    }
}

}  // namespace Veneer
