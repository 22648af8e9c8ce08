#include "ui/control/ScrollBar.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/control/Container.h"

namespace Veneer {

namespace {
// The thumb never gets shorter than this, however long the range.
constexpr int kMinThumbLength = 16;
}  // namespace

CScrollBarUI::CScrollBarUI() { fixedSize_.cx = kDefaultThickness; }

const wchar_t* CScrollBarUI::GetTypeName() const { return L"ScrollBar"; }

void* CScrollBarUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"ScrollBar") == 0) return this;
    return CControlUI::CastTo(name);
}

void CScrollBarUI::SetHorizontal(bool horizontal) {
    if (horizontal_ == horizontal) return;
    horizontal_ = horizontal;
    if (horizontal_) {
        if (fixedSize_.cy == 0) fixedSize_ = {0, fixedSize_.cx};
    } else if (fixedSize_.cx == 0) {
        fixedSize_ = {fixedSize_.cy, 0};
    }
    MarkParentLayoutDirty();
}

void CScrollBarUI::SetScrollRange(int range) {
    range_ = range < 0 ? 0 : range;
    if (position_ > range_) position_ = range_;
    Invalidate();
}

void CScrollBarUI::SetScrollPos(int position) {
    if (position < 0) position = 0;
    if (position > range_) position = range_;
    if (position_ == position) return;
    position_ = position;
    Invalidate();
}

RECT CScrollBarUI::ThumbRect() const {
    RECT thumb = itemRect_;
    int length = horizontal_ ? GetWidth() : GetHeight();
    // The thumb shows the visible part of page + range.
    int thumbLength = range_ + length > 0 ? length * length / (range_ + length) : length;
    if (thumbLength < kMinThumbLength) thumbLength = kMinThumbLength < length ? kMinThumbLength : length;
    int travel = length - thumbLength;
    int start = range_ > 0 ? travel * position_ / range_ : 0;
    if (horizontal_) {
        thumb.left += start;
        thumb.right = thumb.left + thumbLength;
    } else {
        thumb.top += start;
        thumb.bottom = thumb.top + thumbLength;
    }
    return thumb;
}

void CScrollBarUI::HandleEvent(UiEvent& event) {
    if (event.kind == kEventButtonDown || event.kind == kEventDoubleClick) {
        if (!IsEnabled() || owner_ == nullptr) return;
        RECT thumb = ThumbRect();
        bool before = horizontal_ ? event.mousePoint.x < thumb.left : event.mousePoint.y < thumb.top;
        bool after = horizontal_ ? event.mousePoint.x >= thumb.right : event.mousePoint.y >= thumb.bottom;
        if (before) {
            horizontal_ ? owner_->ScrollPageLeft() : owner_->ScrollPageUp();
        } else if (after) {
            horizontal_ ? owner_->ScrollPageRight() : owner_->ScrollPageDown();
        }
        return;
    }
    if (event.kind == kEventScrollWheel && owner_ != nullptr) {
        owner_->HandleEvent(event);
        return;
    }
    CControlUI::HandleEvent(event);
}

void CScrollBarUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"hor") == 0) {
        SetHorizontal(IsTrueValue(value));
    } else if (wcscmp(name, L"range") == 0) {
        SetScrollRange(ReadInteger(value));
    } else if (wcscmp(name, L"value") == 0) {
        SetScrollPos(ReadInteger(value));
    } else if (wcscmp(name, L"linesize") == 0) {
        SetLineSize(ReadInteger(value));
    } else if (wcscmp(name, L"thumbcolor") == 0) {
        SetThumbColor(ReadColor(value));
    } else {
        CControlUI::ApplyAttribute(name, value);
    }
}

void CScrollBarUI::PaintStateImage(HDC dc) {
    RECT thumb = ThumbRect();
    RECT visible;
    if (IntersectRect(&visible, &thumb, &paintRect_)) CDrawEngine::FillColor(dc, visible, AdjustColor(thumbColor_));
}

}  // namespace Veneer
