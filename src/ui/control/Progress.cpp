#include "ui/control/Progress.h"

#include <climits>
#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {
// The bar's default thickness; markup "height" overrides it.
constexpr int kDefaultHeight = 12;
}  // namespace

CProgressUI::CProgressUI() {
    textStyle_ = DT_SINGLELINE | DT_CENTER;
    fixedSize_.cy = kDefaultHeight;
    RememberSkinLength(L"height", std::to_wstring(kDefaultHeight).c_str());
}

CProgressUI::~CProgressUI() = default;

const wchar_t* CProgressUI::GetTypeName() const { return L"Progress"; }

void* CProgressUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Progress") == 0) return static_cast<CControlUI*>(this);
    return CLabelUI::CastTo(name);
}

void CProgressUI::SetValue(int value) {
    if (value > maximum_) value = maximum_;
    if (value < minimum_) value = minimum_;
    bool changed = value_ != value;
    value_ = value;
    Invalidate();
    if (changed && manager_ != nullptr) manager_->NotifyAccessibleValue(this);
}

void CProgressUI::SetForeImage(const wchar_t* image) {
    ReplaceImage(progressImage_, image);
    Invalidate();
}

void CProgressUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"foreimage") == 0) {
        SetForeImage(value);
    } else if (wcscmp(name, L"hor") == 0) {
        SetHorizontal(IsTrueValue(value));
    } else if (wcscmp(name, L"min") == 0) {
        SetMinValue(ReadInteger(value));
    } else if (wcscmp(name, L"max") == 0) {
        SetMaxValue(ReadInteger(value));
    } else if (wcscmp(name, L"value") == 0) {
        SetValue(ReadInteger(value));
    } else {
        CLabelUI::ApplyAttribute(name, value);
    }
}

RECT CProgressUI::BarRect() {
    // An empty range would divide by zero.
    if (minimum_ >= maximum_) maximum_ = minimum_ == INT_MAX ? INT_MAX : minimum_ + 1;
    if (minimum_ >= maximum_) minimum_ = maximum_ - 1;
    if (value_ > maximum_) value_ = maximum_;
    if (value_ < minimum_) value_ = minimum_;
    // 64-bit products: a range of millions times a few hundred pixels overflows 32 bits.
    long long width = GetWidth();
    long long height = GetHeight();
    long long span = static_cast<long long>(maximum_) - minimum_;
    if (horizontal_) {
        return RECT{0, 0, static_cast<LONG>((static_cast<long long>(value_) - minimum_) * width / span),
                    static_cast<LONG>(height)};
    }
    return RECT{0, static_cast<LONG>(height * (static_cast<long long>(maximum_) - value_) / span),
                static_cast<LONG>(width), static_cast<LONG>(height)};
}

void CProgressUI::PaintStateImage(HDC dc) {
    if (const HighContrastPalette* palette = HighContrast()) {
        // The bar in the highlight colour on a framed track. A right-to-left skin shows
        // the value as the part still to go (its fore image) with the done part on the
        // right: high contrast highlights that right part.
        RECT bar = BarRect();
        if (manager_->ReadsRightToLeft() && horizontal_) bar = RECT{bar.right, 0, GetWidth(), GetHeight()};
        OffsetRect(&bar, itemRect_.left, itemRect_.top);
        RECT shown;
        if (IntersectRect(&shown, &bar, &paintRect_)) CDrawEngine::FillColor(dc, shown, palette->highlight);
        CDrawEngine::StrokeRect(dc, itemRect_, DeviceLength(1), palette->windowText);
        return;
    }
    progressImage_.dest = BarRect();
    DrawImage(dc, progressImage_);
}

}  // namespace Veneer
