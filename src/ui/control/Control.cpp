#include "ui/control/Control.h"

#include <cwchar>

#include "ui/core/AttributeValue.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {

// The rectangle clipped by every ancestor; false when an ancestor hides all of it
// (or, with checkVisibility, when an ancestor is hidden).
bool ClipByAncestors(const CControlUI* control, RECT& rect, bool checkVisibility) {
    for (const CControlUI* parent = control->GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (checkVisibility && !parent->IsVisible()) return false;
        RECT clipped;
        if (!IntersectRect(&clipped, &rect, &parent->GetRect())) return false;
        rect = clipped;
    }
    return true;
}
}  // namespace

CControlUI::CControlUI() = default;

void CControlUI::Destroy() {
    // This control's own handler, or the delivery of its notification, may be on the
    // stack: while the manager handles anything, the control only leaves its reach.
    if (manager_ != nullptr && manager_->DefersDestruction()) {
        manager_->DeferDestroy(this);
        return;
    }
    if (manager_ != nullptr) manager_->RemoveMouseLeaveTracking(this);
    delete this;
}

CControlUI::~CControlUI() {
    if (cover_ != nullptr) {
        cover_->Destroy();
        cover_ = nullptr;
    }
    for (int i = 0; i < customAttributes_.GetSize(); ++i) {
        delete static_cast<CUiString*>(customAttributes_.Find(customAttributes_.KeyAt(i)));
    }
    customAttributes_.RemoveAll();
    if (!destroyHooks.IsEmpty()) destroyHooks.Invoke(this);
    if (manager_ != nullptr) {
        manager_->ForgetControl(this);
    } else {
        // Built with a manager and never attached to it: its name or group may be registered.
        CWindowManagerUI::ForgetDetachedControl(this);
    }
}

const CUiString& CControlUI::GetName() const { return name_; }

void CControlUI::SetName(const wchar_t* name) {
    if (name_ == (name != nullptr ? name : L"")) return;
    name_ = name;
    if (manager_ != nullptr) manager_->RenameControl(this, name);
}

const wchar_t* CControlUI::GetTypeName() const { return L"Control"; }

void* CControlUI::CastTo(const wchar_t* name) {
    return name != nullptr && wcscmp(name, L"Control") == 0 ? this : nullptr;
}

UINT CControlUI::GetInputFlags() { return 0; }

HWND CControlUI::GetNativeHandle() { return nullptr; }

bool CControlUI::Activate() { return IsVisible() && IsEnabled(); }

CWindowManagerUI* CControlUI::GetManager() const { return manager_; }

void CControlUI::AttachToManager(CWindowManagerUI* manager, CControlUI* parent, bool init) {
    if (cover_ != nullptr) cover_->AttachToManager(manager, this, init);
    manager_ = manager;
    parent_ = parent;
    RescaleSkinLengths();
    if (init && parent_ != nullptr) Initialize();
}

CControlUI* CControlUI::GetParent() const { return parent_; }

CControlUI* CControlUI::GetCover() const { return cover_; }

void CControlUI::AssignCover(CControlUI* cover) {
    if (cover == cover_) return;
    if (cover_ != nullptr) cover_->Destroy();
    cover_ = cover;
    if (cover_ != nullptr && manager_ != nullptr) manager_->BindTree(cover_, this);
    if (IsVisible()) {
        MarkLayoutDirty();
    } else if (cover_ != nullptr) {
        cover_->SetInheritedVisible(false);
    }
}

CUiString CControlUI::GetText() const { return text_; }

void CControlUI::SetText(const wchar_t* text) {
    if (text_ == (text != nullptr ? text : L"")) return;
    text_ = text;
    Invalidate();
    if (manager_ != nullptr) manager_->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE, this);
}

void CControlUI::SetAccessibleName(const wchar_t* name) {
    if (accessibleName_ == (name != nullptr ? name : L"")) return;
    accessibleName_ = name;
    if (manager_ != nullptr) manager_->NotifyAccessibleEvent(EVENT_OBJECT_NAMECHANGE, this);
}

void CControlUI::SetAccessibleValue(const wchar_t* value) {
    if (accessibleValue_ == (value != nullptr ? value : L"")) return;
    accessibleValue_ = value;
    if (manager_ != nullptr) manager_->NotifyAccessibleValue(this);
}

const RECT& CControlUI::GetRect() const { return itemRect_; }

RECT CControlUI::GetRectInParent() const {
    if (parent_ == nullptr) return RECT{0, 0, 0, 0};
    RECT rect = itemRect_;
    OffsetRect(&rect, -parent_->GetRect().left, -parent_->GetRect().top);
    return rect;
}

RECT CControlUI::GetClientRect() const { return itemRect_; }

void CControlUI::Place(RECT rect, bool invalidate) {
    if (rect.right < rect.left) rect.right = rect.left;
    if (rect.bottom < rect.top) rect.bottom = rect.top;
    RECT old = IsRectEmpty(&itemRect_) ? rect : itemRect_;
    if (float_ && parent_ != nullptr) {
        const RECT& parentRect = parent_->GetRect();
        int width = parentRect.right - parentRect.left;
        int height = parentRect.bottom - parentRect.top;
        itemRect_ = rect;
        OffsetRect(&itemRect_, parentRect.left, parentRect.top);
        fixedOrigin_.cx = rect.left - static_cast<int>(width * floatFractions_.left);
        fixedOrigin_.cy = rect.top - static_cast<int>(height * floatFractions_.top);
        fixedSize_.cx = rect.right - fixedOrigin_.cx - static_cast<int>(width * floatFractions_.right);
        fixedSize_.cy = rect.bottom - fixedOrigin_.cy - static_cast<int>(height * floatFractions_.bottom);
    } else {
        itemRect_ = rect;
    }
    if (manager_ == nullptr) return;
    if (!inSizeHook_) {
        inSizeHook_ = true;
        if (!sizeHooks.IsEmpty()) sizeHooks.Invoke(this);
        inSizeHook_ = false;
    }
    layoutDirty_ = false;
    if (invalidate && IsVisible()) {
        RECT area;
        UnionRect(&area, &old, &itemRect_);
        if (ClipByAncestors(this, area, true)) manager_->InvalidateArea(area);
    }
    if (cover_ != nullptr && cover_->IsVisible()) {
        RECT coverRect;
        if (cover_->IsFloat()) {
            int width = itemRect_.right - itemRect_.left;
            int height = itemRect_.bottom - itemRect_.top;
            FloatFractions c = cover_->GetFloatFractions();
            SIZE o = cover_->GetFixedOrigin();
            coverRect = {static_cast<int>(width * c.left) + o.cx, static_cast<int>(height * c.top) + o.cy,
                         static_cast<int>(width * c.right) + o.cx + cover_->GetFixedWidth(),
                         static_cast<int>(height * c.bottom) + o.cy + cover_->GetFixedHeight()};
        } else {
            int width = rect.right - rect.left;
            int height = rect.bottom - rect.top;
            if (width < cover_->GetMinWidth()) width = cover_->GetMinWidth();
            if (width > cover_->GetMaxWidth()) width = cover_->GetMaxWidth();
            if (height < cover_->GetMinHeight()) height = cover_->GetMinHeight();
            if (height > cover_->GetMaxHeight()) height = cover_->GetMaxHeight();
            coverRect = {rect.left, rect.top, rect.left + width, rect.top + height};
        }
        cover_->Place(coverRect, false);
    }
}

void CControlUI::Offset(int dx, int dy, bool invalidate) {
    RECT old = itemRect_;
    OffsetRect(&itemRect_, dx, dy);
    if (invalidate && manager_ != nullptr && IsVisible()) {
        RECT area;
        UnionRect(&area, &old, &itemRect_);
        if (ClipByAncestors(this, area, true)) manager_->InvalidateArea(area);
    }
    if (cover_ != nullptr && cover_->IsVisible()) cover_->Offset(dx, dy, false);
}

int CControlUI::GetWidth() const { return itemRect_.right - itemRect_.left; }
int CControlUI::GetHeight() const { return itemRect_.bottom - itemRect_.top; }
int CControlUI::GetX() const { return itemRect_.left; }
int CControlUI::GetY() const { return itemRect_.top; }

RECT CControlUI::GetPadding() const { return padding_; }

void CControlUI::SetPadding(RECT padding) { SetAndRelayoutParent(padding_, padding); }

SIZE CControlUI::GetFixedOrigin() const { return fixedOrigin_; }

void CControlUI::SetFixedOrigin(SIZE origin) { SetAndRelayoutParent(fixedOrigin_, origin); }

FloatFractions CControlUI::GetFloatFractions() const { return floatFractions_; }

void CControlUI::SetFloatFractions(const FloatFractions& fractions) {
    SetAndRelayoutParent(floatFractions_, fractions);
}

int CControlUI::GetFixedWidth() const { return fixedSize_.cx; }

void CControlUI::SetFixedWidth(int width) {
    if (width >= 0) SetAndRelayoutParent(fixedSize_.cx, width);
}

int CControlUI::GetFixedHeight() const { return fixedSize_.cy; }

void CControlUI::SetFixedHeight(int height) {
    if (height >= 0) SetAndRelayoutParent(fixedSize_.cy, height);
}

namespace {
// The min/max setters share one rule: negative or unchanged values are ignored.
bool StoreLimit(LONG& field, int value) {
    if (value < 0 || field == value) return false;
    field = value;
    return true;
}
}  // namespace

int CControlUI::GetMinWidth() const { return minSize_.cx; }
void CControlUI::SetMinWidth(int width) {
    if (StoreLimit(minSize_.cx, width)) MarkParentLayoutDirty();
}
int CControlUI::GetMaxWidth() const { return maxSize_.cx > minSize_.cx ? maxSize_.cx : minSize_.cx; }
void CControlUI::SetMaxWidth(int width) {
    if (StoreLimit(maxSize_.cx, width)) MarkParentLayoutDirty();
}
int CControlUI::GetMinHeight() const { return minSize_.cy; }
void CControlUI::SetMinHeight(int height) {
    if (StoreLimit(minSize_.cy, height)) MarkParentLayoutDirty();
}
int CControlUI::GetMaxHeight() const { return maxSize_.cy > minSize_.cy ? maxSize_.cy : minSize_.cy; }
void CControlUI::SetMaxHeight(int height) {
    if (StoreLimit(maxSize_.cy, height)) MarkParentLayoutDirty();
}

CUiString CControlUI::GetToolTip() const { return toolTip_; }

void CControlUI::SetToolTip(const wchar_t* text) {
    toolTip_ = text;
    toolTip_.Replace(L"<n>", L"\r\n");
}

void CControlUI::SetToolTipWidth(int width) { toolTipWidth_ = width; }
int CControlUI::GetToolTipWidth() const { return toolTipWidth_; }
wchar_t CControlUI::GetShortcut() const { return shortcut_; }
void CControlUI::SetShortcut(wchar_t ch) { shortcut_ = ch; }
bool CControlUI::UsesContextMenu() const { return usesContextMenu_; }
void CControlUI::SetUsesContextMenu(bool uses) { usesContextMenu_ = uses; }
const CUiString& CControlUI::GetUserData() const { return userData_; }
void CControlUI::SetUserData(const wchar_t* text) { userData_ = text; }
UINT_PTR CControlUI::GetTag() const { return tag_; }
void CControlUI::SetTag(UINT_PTR tag) { tag_ = tag; }

bool CControlUI::IsVisible() const { return visible_ && inheritedVisible_; }

void CControlUI::SetVisible(bool visible) {
    if (visible_ == visible) return;
    bool wasVisible = IsVisible();
    visible_ = visible;
    focused_ = false;
    if (!visible && manager_ != nullptr && manager_->FocusedControl() == this) manager_->FocusControl(nullptr, true);
    if (IsVisible() != wasVisible) {
        MarkParentLayoutDirty();
        // The accessible tree holds what is on screen: it changed.
        if (manager_ != nullptr) manager_->NotifyAccessibleEvent(EVENT_OBJECT_REORDER, nullptr);
    }
    if (cover_ != nullptr) cover_->SetInheritedVisible(IsVisible());
}

void CControlUI::SetInheritedVisible(bool visible) {
    inheritedVisible_ = visible;
    if (!visible && manager_ != nullptr && manager_->FocusedControl() == this) manager_->FocusControl(nullptr, true);
    if (cover_ != nullptr) cover_->SetInheritedVisible(IsVisible());
}

bool CControlUI::IsEnabled() const { return enabled_; }

void CControlUI::SetEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    Invalidate();
    if (manager_ != nullptr) manager_->NotifyAccessibleEvent(EVENT_OBJECT_STATECHANGE, this);
}

bool CControlUI::IsMouseEnabled() const { return mouseEnabled_; }
void CControlUI::SetMouseEnabled(bool enabled) { mouseEnabled_ = enabled; }
bool CControlUI::IsKeyboardEnabled() const { return keyboardEnabled_; }
void CControlUI::SetKeyboardEnabled(bool enabled) { keyboardEnabled_ = enabled; }
bool CControlUI::IsFocused() const { return focused_; }

void CControlUI::RequestFocus() {
    if (manager_ != nullptr) manager_->FocusControl(this, false);
}

bool CControlUI::IsFloat() const { return float_; }

void CControlUI::SetFloat(bool floating) {
    if (float_ == floating) return;
    float_ = floating;
    MarkParentLayoutDirty();
}

CControlUI* CControlUI::FindInTree(FindControlProc visitor, void* data, UINT flags) {
    if ((flags & kFindVisible) != 0 && !IsVisible()) return nullptr;
    if ((flags & kFindEnabled) != 0 && !IsEnabled()) return nullptr;
    if ((flags & kFindHitTest) != 0 && !PtInRect(&itemRect_, *static_cast<POINT*>(data))) return nullptr;
    if ((flags & kFindUpdateTest) != 0 && visitor(this, data) != nullptr) return nullptr;
    bool visit = (flags & kFindHitTest) == 0 || mouseEnabled_;
    if ((flags & kFindMeFirst) != 0 && visit) {
        if (CControlUI* found = visitor(this, data)) return found;
    }
    if (cover_ != nullptr) {
        if (CControlUI* found = cover_->FindInTree(visitor, data, flags)) return found;
    }
    if ((flags & kFindMeFirst) == 0 && visit) return visitor(this, data);
    return nullptr;
}

void CControlUI::Initialize() {
    OnInitialize();
    if (!initHooks.IsEmpty()) initHooks.Invoke(this);
}

void CControlUI::OnInitialize() {}

void CControlUI::DispatchEvent(UiEvent& event) {
    if (eventHooks.IsEmpty() || eventHooks.Invoke(&event)) HandleEvent(event);
}

void CControlUI::HandleEvent(UiEvent& event) {
    switch (event.kind) {
    case kEventSetCursor:
        ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
        return;
    case kEventSetFocus:
        focused_ = true;
        Invalidate();
        return;
    case kEventKillFocus:
        focused_ = false;
        Invalidate();
        return;
    case kEventTimer:
        Notify(L"timer", event.wParam, event.lParam);
        return;
    case kEventContextMenu:
        if (UsesContextMenu()) {
            Notify(L"menu", event.wParam, event.lParam);
            return;
        }
        break;
    default:
        break;
    }
    if (parent_ != nullptr) parent_->HandleEvent(event);
}

CUiString CControlUI::GetAttributeValue(const wchar_t* /*name*/) { return CUiString(); }

void CControlUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"pos") == 0) {
        RECT pos = ReadRect(value);
        SetFixedOrigin(SIZE{pos.left, pos.top});
        SetFixedWidth(pos.right - pos.left);
        SetFixedHeight(pos.bottom - pos.top);
    } else if (wcscmp(name, L"padding") == 0) {
        SetPadding(ReadRect(value));
    } else if (wcscmp(name, L"bkcolor") == 0 || wcscmp(name, L"bkcolor1") == 0) {
        SetBackColor(ReadBackgroundColor(value));
    } else if (wcscmp(name, L"bkcolor2") == 0) {
        SetBackColor2(ReadBackgroundColor(value));
    } else if (wcscmp(name, L"bkcolor3") == 0) {
        SetBackColor3(ReadBackgroundColor(value));
    } else if (wcscmp(name, L"bordercolor") == 0) {
        SetBorderColor(ReadColor(value));
    } else if (wcscmp(name, L"focusbordercolor") == 0) {
        SetFocusBorderColor(ReadColor(value));
    } else if (wcscmp(name, L"colorhsl") == 0) {
        SetColorHsl(IsTrueValue(value));
    } else if (wcscmp(name, L"bordersize") == 0) {
        if (wcschr(value, L',') != nullptr) {
            SetBorderSize(ReadRect(value));
        } else {
            SetBorderSize(ReadInteger(value));
        }
    } else if (wcscmp(name, L"borderstyle") == 0) {
        SetBorderStyle(ReadInteger(value));
    } else if (wcscmp(name, L"borderround") == 0) {
        SetBorderRound(ReadSize(value));
    } else if (wcscmp(name, L"bkimage") == 0) {
        SetBackImage(value);
    } else if (wcscmp(name, L"width") == 0) {
        SetFixedWidth(ReadInteger(value));
    } else if (wcscmp(name, L"height") == 0) {
        SetFixedHeight(ReadInteger(value));
    } else if (wcscmp(name, L"minwidth") == 0) {
        SetMinWidth(ReadInteger(value));
    } else if (wcscmp(name, L"minheight") == 0) {
        SetMinHeight(ReadInteger(value));
    } else if (wcscmp(name, L"maxwidth") == 0) {
        SetMaxWidth(ReadInteger(value));
    } else if (wcscmp(name, L"maxheight") == 0) {
        SetMaxHeight(ReadInteger(value));
    } else if (wcscmp(name, L"name") == 0) {
        SetName(value);
    } else if (wcscmp(name, L"text") == 0) {
        SetText(value);
    } else if (wcscmp(name, L"tooltip") == 0) {
        SetToolTip(value);
    } else if (wcscmp(name, L"userdata") == 0) {
        SetUserData(value);
    } else if (wcscmp(name, L"tag") == 0) {
        SetTag(static_cast<UINT_PTR>(ReadInteger(value)));
    } else if (wcscmp(name, L"enabled") == 0) {
        SetEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"mouse") == 0) {
        SetMouseEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"keyboard") == 0) {
        SetKeyboardEnabled(IsTrueValue(value));
    } else if (wcscmp(name, L"visible") == 0) {
        SetVisible(IsTrueValue(value));
    } else if (wcscmp(name, L"float") == 0) {
        if (wcschr(value, L',') != nullptr) {
            double f[4];
            ReadDoubles(value, f, 4);
            SetFloatFractions(FloatFractions{f[0], f[1], f[2], f[3]});
            SetFloat(true);
        } else {
            SetFloat(IsTrueValue(value));
        }
    } else if (wcscmp(name, L"shortcut") == 0) {
        SetShortcut(value[0]);
    } else if (wcscmp(name, L"menu") == 0) {
        SetUsesContextMenu(IsTrueValue(value));
    } else if (wcscmp(name, L"virtualwnd") == 0) {
        SetVirtualWindowName(value);
    } else if (wcscmp(name, L"accname") == 0) {
        SetAccessibleName(value);
    } else {
        StoreCustomAttribute(name, value);
    }
}

CUiString CControlUI::GetAttributeString() { return CUiString(); }

void CControlUI::ApplyAttributeString(const wchar_t* list) {
    const wchar_t* p = list;
    while (p != nullptr && *p != L'\0') {
        const wchar_t* nameStart = p;
        while (*p != L'\0' && *p != L'=') ++p;
        CUiString name(nameStart, static_cast<int>(p - nameStart));
        if (p[0] != L'=' || p[1] != L'"') return;
        p += 2;
        const wchar_t* valueStart = p;
        while (*p != L'\0' && *p != L'"') ++p;
        if (*p == L'\0') return;
        CUiString value(valueStart, static_cast<int>(p - valueStart));
        ApplySkinAttribute(name, value);
        ++p;
        if (*p != L' ') return;
        ++p;
    }
}

SIZE CControlUI::MeasureSize(SIZE /*available*/) { return fixedSize_; }

bool CControlUI::Paint(HDC dc, const RECT& paintRect, CControlUI* stop) {
    if (stop == this) return false;
    if (!IntersectRect(&paintRect_, &paintRect, &itemRect_)) return true;
    if (!paintHooks.IsEmpty() && !paintHooks.Invoke(this)) return true;
    if (!PaintSelf(dc, paintRect, stop)) return false;
    if (cover_ != nullptr) return cover_->Paint(dc, paintRect, nullptr);
    return true;
}

bool CControlUI::PaintSelf(HDC dc, const RECT& /*paintRect*/, CControlUI* /*stop*/) {
    CRenderClip roundClip;
    if (borderRound_.cx > 0 || borderRound_.cy > 0) {
        CDrawEngine::ClipToRoundRect(dc, paintRect_, itemRect_, borderRound_.cx, borderRound_.cy, roundClip);
    }
    PaintBackgroundColor(dc);
    PaintBackgroundImage(dc);
    PaintStateImage(dc);
    PaintCaption(dc);
    PaintBorder(dc);
    return true;
}

const HighContrastPalette* CControlUI::HighContrast() const {
    return manager_ != nullptr ? manager_->HighContrast() : nullptr;
}

void CControlUI::PaintBackgroundColor(HDC dc) {
    if (backColor1_ == 0) return;
    if (const HighContrastPalette* palette = HighContrast()) {
        CDrawEngine::FillColor(dc, paintRect_, palette->window);
        return;
    }
    DWORD color1 = AdjustColor(backColor1_);
    if (backColor2_ != 0) {
        DWORD color2 = AdjustColor(backColor2_);
        if (backColor3_ != 0) {
            RECT upper = itemRect_;
            upper.bottom = (itemRect_.top + itemRect_.bottom) / 2;
            CDrawEngine::FillGradient(dc, upper, color1, color2, true, 8);
            RECT lower = itemRect_;
            lower.top = upper.bottom;
            CDrawEngine::FillGradient(dc, lower, color2, AdjustColor(backColor3_), true, 8);
        } else {
            CDrawEngine::FillGradient(dc, itemRect_, color1, color2, true, 16);
        }
    } else if (backColor1_ >= 0xFF000000) {
        CDrawEngine::FillColor(dc, paintRect_, color1);
    } else {
        CDrawEngine::FillColor(dc, itemRect_, color1);
    }
}

void CControlUI::PaintBackgroundImage(HDC dc) {
    if (backImage_.Empty()) return;
    if (const HighContrastPalette* palette = HighContrast()) {
        // A picture behind other controls is decoration that would hide their text; a
        // picture with transparency (a logo drawn for a coloured background) keeps its
        // shape, in the text colour; an opaque one (a photograph) stays as it is.
        if (CastTo(L"IContainer") != nullptr) return;
        if (!CDrawEngine::PaintImage(nullptr, manager_, itemRect_, paintRect_, backImage_)) return;
        if (backImage_.image->hasAlpha) {
            CDrawEngine::PaintImageShape(dc, manager_, itemRect_, paintRect_, backImage_, palette->windowText);
            return;
        }
    }
    DrawImage(dc, backImage_);
}

void CControlUI::PaintStateImage(HDC /*dc*/) {}
void CControlUI::PaintCaption(HDC /*dc*/) {}

void CControlUI::PaintBorder(HDC dc) {
    if (borderSize_.left <= 0 || (borderColor_ == 0 && focusBorderColor_ == 0)) return;
    DWORD color = AdjustColor(IsFocused() && focusBorderColor_ != 0 ? focusBorderColor_ : borderColor_);
    if (const HighContrastPalette* palette = HighContrast()) color = IsFocused() ? palette->highlight : palette->windowText;
    const RECT& r = itemRect_;
    if (borderRound_.cx > 0 || borderRound_.cy > 0) {
        CDrawEngine::StrokeRoundRect(dc, r, borderSize_.left, borderRound_.cx, borderRound_.cy, color, borderStyle_);
    } else if (borderSize_.left == borderSize_.top && borderSize_.left == borderSize_.right &&
               borderSize_.left == borderSize_.bottom) {
        CDrawEngine::StrokeRect(dc, r, borderSize_.left, color, borderStyle_);
    } else {
        const RECT& b = borderSize_;
        CDrawEngine::StrokeLine(dc, RECT{r.left + b.left / 2, r.top, r.left + b.left / 2, r.bottom}, b.left, color,
                                borderStyle_);
        if (b.top > 0) {
            CDrawEngine::StrokeLine(dc, RECT{r.left + b.left, r.top + b.top / 2, r.right - b.right, r.top + b.top / 2},
                                    b.top, color, borderStyle_);
        }
        if (b.right > 0) {
            CDrawEngine::StrokeLine(dc, RECT{r.right - b.right / 2, r.top, r.right - b.right / 2, r.bottom}, b.right,
                                    color, borderStyle_);
        }
        if (b.bottom > 0) {
            CDrawEngine::StrokeLine(
                dc, RECT{r.left + b.left, r.bottom - b.bottom / 2, r.right - b.right, r.bottom - b.bottom / 2},
                b.bottom, color, borderStyle_);
        }
    }
}

void CControlUI::PaintOverlay(HDC /*dc*/, const RECT& /*paintRect*/) {
    if (!postPaintHooks.IsEmpty()) postPaintHooks.Invoke(this);
}

void CControlUI::ApplySkinAttribute(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || value == nullptr) return;
    if (!CDpiScale::IsLengthAttribute(name)) {
        ApplyAttribute(name, value);
        return;
    }
    RememberSkinLength(name, value);
    int dpi = manager_ != nullptr ? manager_->Scale().Dpi() : CDpiScale::kSkinDpi;
    // Converted at another scale so far: the other lengths follow along first.
    if (dpi != skinLengthsDpi_) RescaleSkinLengths();
    ApplyAttribute(name, CDpiScale(dpi).AttributeValue(name, value).c_str());
}

void CControlUI::RememberSkinLength(const wchar_t* name, const wchar_t* value) {
    for (auto& length : skinLengths_) {
        if (length.first == name) {
            length.second = value;
            return;
        }
    }
    skinLengths_.emplace_back(name, value);
}

void CControlUI::RescaleSkinLengths() {
    if (manager_ == nullptr || manager_->Scale().Dpi() == skinLengthsDpi_) return;
    const CDpiScale& scale = manager_->Scale();
    skinLengthsDpi_ = scale.Dpi();
    // A copy: a setter may apply further attributes.
    std::vector<std::pair<std::wstring, std::wstring>> lengths = skinLengths_;
    for (const auto& length : lengths) {
        ApplyAttribute(length.first.c_str(), scale.AttributeValue(length.first.c_str(), length.second.c_str()).c_str());
    }
}

int CControlUI::DeviceLength(int skinPixels) const {
    return manager_ != nullptr ? manager_->Scale().Length(skinPixels) : skinPixels;
}

void CControlUI::Invalidate() {
    if (!IsVisible()) return;
    RECT rect = itemRect_;
    if (!ClipByAncestors(this, rect, false)) return;
    if (manager_ != nullptr) manager_->InvalidateArea(rect);
}

void CControlUI::MarkLayoutDirty() {
    if (!IsVisible()) return;
    layoutDirty_ = true;
    Invalidate();
    if (manager_ != nullptr) manager_->RequestRelayout();
}

void CControlUI::MarkParentLayoutDirty() {
    if (parent_ != nullptr) {
        parent_->MarkLayoutDirty();
        parent_->Invalidate();
    } else {
        MarkLayoutDirty();
    }
    if (manager_ != nullptr) manager_->RequestRelayout();
}

CUiString CControlUI::GetVirtualWindowName() const {
    if (!virtualWindowName_.IsEmpty()) return virtualWindowName_;
    return parent_ != nullptr ? parent_->GetVirtualWindowName() : CUiString();
}

void CControlUI::SetVirtualWindowName(const wchar_t* name) {
    virtualWindowName_ = name;
    if (manager_ != nullptr) manager_->SetUsesVirtualWindows(true);
}

bool CControlUI::StoreCustomAttribute(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || *name == L'\0' || value == nullptr || *value == L'\0') return false;
    if (customAttributes_.Contains(name)) return true;
    customAttributes_.Insert(name, new CUiString(value));
    return true;
}

const wchar_t* CControlUI::CustomAttribute(const wchar_t* name) const {
    auto* value = static_cast<CUiString*>(customAttributes_.Find(name));
    return value != nullptr ? value->GetData() : nullptr;
}

// The window manager's hue, saturation and lightness are always the neutral 180, 100,
// 100 (nothing sets them), and the neutral setting keeps every colour as it is.
DWORD CControlUI::AdjustColor(DWORD color) const { return color; }

void CControlUI::Notify(const wchar_t* type, WPARAM wParam, LPARAM lParam) {
    if (manager_ != nullptr) manager_->SendNotification(this, type, wParam, lParam, false, true);
}

bool CControlUI::ReplaceImage(DrawInfo& info, const wchar_t* image) {
    std::wstring text = image != nullptr ? image : L"";
    if (info.attributes == text && info.image != nullptr) return false;
    info.Assign(text);
    return true;
}

bool CControlUI::DrawImage(HDC dc, DrawInfo& info) {
    if (info.Empty()) return false;
    return CDrawEngine::PaintImage(dc, manager_, itemRect_, paintRect_, info);
}


void CControlUI::SetBackImage(const wchar_t* image) {
    if (!ReplaceImage(backImage_, image)) return;
    // A floating control without a size takes the size of its picture.
    if (float_ && fixedSize_.cx == 0 && fixedSize_.cy == 0 && manager_ != nullptr &&
        CDrawEngine::PaintImage(nullptr, manager_, itemRect_, itemRect_, backImage_) && backImage_.image != nullptr) {
        SetFixedWidth(backImage_.image->width);
        SetFixedHeight(backImage_.image->height);
    }
    Invalidate();
}

void CControlUI::SetBorderSize(int size) { SetBorderSize(RECT{size, size, size, size}); }

}  // namespace Veneer
