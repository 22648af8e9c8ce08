#include "ui/control/Edit.h"

#include <cwchar>
#include <memory>
#include <string>

#include "log/Log.h"
#include "ui/core/AttributeValue.h"
#include "ui/core/DrawColors.h"
#include "ui/core/WindowManager.h"

namespace Veneer {

namespace {
// The window manager reflects the edit's notifications back to it with this added.
constexpr UINT kReflected = 0x2000;
}  // namespace

// ---- CEditWnd ----------------------------------------------------------------------

CEditWnd::CEditWnd() = default;

CEditWnd::~CEditWnd() {
    // The owner is going: nothing is reported back to it.
    owner_ = nullptr;
    if (window_ != nullptr) DestroyWindow(window_);
}

const wchar_t* CEditWnd::WindowClassName() const { return L"EditWnd"; }
const wchar_t* CEditWnd::BaseClassName() const { return L"Edit"; }
UINT CEditWnd::ClassStyle() const { return 0; }

bool CEditWnd::IsLayered() const {
    return owner_ != nullptr && owner_->GetManager() != nullptr && owner_->GetManager()->IsPerPixelLayered();
}

RECT CEditWnd::ComputeRect() const {
    RECT rect = owner_->GetRect();
    const RECT& padding = owner_->GetTextPadding();
    rect.left += padding.left;
    rect.top += padding.top;
    rect.right -= padding.right;
    rect.bottom -= padding.bottom;
    int fontHeight = owner_->FontHeight();
    int height = rect.bottom - rect.top;
    if (fontHeight < height) {
        rect.top += (height - fontHeight) / 2;
        rect.bottom = rect.top + fontHeight;
    }
    for (const CControlUI* parent = owner_->GetParent(); parent != nullptr; parent = parent->GetParent()) {
        if (!parent->IsVisible()) return RECT{0, 0, 0, 0};
        RECT client = parent->GetClientRect();
        if (!IntersectRect(&rect, &rect, &client)) return RECT{0, 0, 0, 0};
    }
    return rect;
}

bool CEditWnd::OpenEditor(CEditUI* owner) {
    owner_ = owner;
    opened_ = false;
    closing_ = false;
    CWindowManagerUI* manager = owner_->GetManager();
    RECT rect = ComputeRect();
    DWORD style = owner_->extraStyle_ | WS_CHILD | ES_AUTOHSCROLL;
    UINT textStyle = owner_->GetTextStyle();
    if ((textStyle & DT_CENTER) != 0) {
        style |= ES_CENTER;
    } else if ((textStyle & DT_RIGHT) != 0) {
        style |= ES_RIGHT;
    }
    if (owner_->IsPasswordMode()) style |= ES_PASSWORD;
    if (Open(manager->WindowHandle(), nullptr, style, 0, rect) == nullptr) return false;

    HFONT font = manager->FontById(owner_->GetFont());
    if (font == nullptr) font = manager->StandardFont();
    Send(WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    Send(EM_LIMITTEXT, static_cast<WPARAM>(owner_->GetMaxChars()));
    if (owner_->IsPasswordMode()) Send(EM_SETPASSWORDCHAR, owner_->GetPasswordChar());
    SetWindowTextW(window_, owner_->text_);
    Send(EM_SETMODIFY, FALSE);
    Send(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, 0);
    EnableWindow(window_, owner_->IsEnabled());
    Send(EM_SETREADONLY, owner_->IsReadOnly());
    ShowWindow(window_, SW_SHOWNOACTIVATE);
    SetFocus(window_);
    int length = GetWindowTextLengthW(window_);
    if (owner_->IsAutoSelectAll()) {
        Send(EM_SETSEL, 0, length > 0 ? length : 1);
    } else {
        Send(EM_SETSEL, length, length);
    }
    // Only from here on: the text set above is no change of the user's.
    opened_ = true;
    return true;
}

void CEditWnd::RequestClose() {
    if (window_ == nullptr || closing_) return;
    closing_ = true;
    PostMessageW(window_, WM_CLOSE, 0, 0);
}

void CEditWnd::CancelClose() {
    if (window_ == nullptr || !closing_) return;
    closing_ = false;
    SetFocus(window_);
}

void CEditWnd::CloseForReopening() {
    if (window_ == nullptr) return;
    reopening_ = true;
    DestroyWindow(window_);
    reopening_ = false;
}

void CEditWnd::OnTextChanged() {
    if (!opened_ || owner_ == nullptr) return;
    int length = GetWindowTextLengthW(window_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(window_, &text[0], length + 1);
    // Straight into the control, not through SetText, which would write it back.
    owner_->text_ = text.c_str();
    if (CWindowManagerUI* manager = owner_->GetManager()) {
        manager->NotifyAccessibleEvent(EVENT_OBJECT_VALUECHANGE, owner_);
        manager->SendNotification(owner_, L"textchanged");
    }
    if (IsLayered()) owner_->Invalidate();
}

LRESULT CEditWnd::ColorRequest(HDC dc) {
    if (IsLayered()) owner_->GetManager()->AddChildWindow(owner_, window_);
    DWORD background = owner_->GetNativeBkColor();
    if (background == 0xFFFFFFFF) return 0;
    SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ToColorRef(owner_->GetTextColor()));
    if (background < 0xFF000000) {
        // Translucent: the window's own picture behind the edit, tinted.
        CWindowManagerUI* manager = owner_->GetManager();
        RECT area;
        GetWindowRect(window_, &area);
        MapWindowPoints(nullptr, manager->WindowHandle(), reinterpret_cast<POINT*>(&area), 2);
        UniqueGdiObject<HBITMAP> picture(CDrawEngine::RenderToBitmap(manager, area, owner_, background));
        if (picture) brush_.Reset(CreatePatternBrush(picture.Get()));
    } else if (!brush_) {
        brush_.Reset(CreateSolidBrush(ToColorRef(background)));
    }
    return reinterpret_cast<LRESULT>(brush_.Get());
}

LRESULT CEditWnd::ProcessMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    CWindowManagerUI* manager = owner_ != nullptr ? owner_->GetManager() : nullptr;
    // Reports from here reach receivers; nothing they destroy goes while this runs.
    CWindowManagerUI::CDispatchScope scope(manager);
    ++handling_;
    LRESULT result = HandleMessage(message, wParam, lParam, manager);
    --handling_;
    return result;
}

LRESULT CEditWnd::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, CWindowManagerUI* manager) {
    switch (message) {
    case WM_CREATE:
        if (manager != nullptr) manager->AddChildWindow(owner_, window_);
        if (IsLayered()) SetTimer(window_, kCaretTimer, GetCaretBlinkTime(), nullptr);
        break;
    case WM_KILLFOCUS: {
        LRESULT result = CWindowWnd::ProcessMessage(message, wParam, lParam);
        HWND gaining = reinterpret_cast<HWND>(wParam);
        if (!closing_ && manager != nullptr && gaining != manager->WindowHandle()) {
            // Focus left for another window: the skinned window lost it as well.
            SendMessageW(manager->WindowHandle(), WM_KILLFOCUS, wParam, 0);
        }
        RequestClose();
        return result;
    }
    case WM_CLOSE:
        // Only the close this window asked for, and only while it still stands.
        if (closing_) DestroyWindow(window_);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            if (manager != nullptr) manager->SendNotification(owner_, L"return");
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kCaretTimer && IsLayered()) {
            caretShown_ = !caretShown_;
            InvalidateRect(window_, nullptr, FALSE);
            return 0;
        }
        break;
    case WM_PRINT:
        if (IsLayered()) {
            LRESULT result = CWindowWnd::ProcessMessage(message, wParam, lParam);
            if (owner_->IsEnabled() && caretShown_) {
                RECT client;
                ::GetClientRect(window_, &client);
                POINT caret = {0, 0};
                GetCaretPos(&caret);
                CDrawEngine::StrokeLine(reinterpret_cast<HDC>(wParam),
                                        RECT{caret.x, client.top, caret.x, client.bottom}, 1, 0xFF000000);
            }
            return result;
        }
        break;
    case WM_PAINT:
        if (IsLayered()) manager->AddChildWindow(owner_, window_);
        break;
    case WM_COMMAND + kReflected:
        if (HIWORD(wParam) == EN_CHANGE) {
            OnTextChanged();
        } else if (HIWORD(wParam) == EN_UPDATE) {
            InvalidateRect(window_, nullptr, FALSE);
        }
        return 0;
    case WM_CTLCOLOREDIT + kReflected:
    case WM_CTLCOLORSTATIC + kReflected:
        return ColorRequest(reinterpret_cast<HDC>(wParam));
    default:
        break;
    }
    return CWindowWnd::ProcessMessage(message, wParam, lParam);
}

void CEditWnd::AfterDestroy(HWND window) {
    opened_ = false;
    closing_ = false;
    caretShown_ = false;
    brush_.Reset();
    if (owner_ == nullptr) return;
    owner_->Invalidate();
    CWindowManagerUI* manager = owner_->GetManager();
    if (manager == nullptr) return;
    manager->RemoveChildWindow(window);
    // Closed with the focus still on the edit (it went to another window): the edit
    // no longer looks or acts focused.
    if (!reopening_ && manager->FocusedControl() == owner_) manager->FocusControl(nullptr, false);
}

// ---- CEditUI -------------------------------------------------------------------------

CEditUI::CEditUI() {
    textPadding_ = {4, 3, 4, 3};
    RememberSkinLength(L"textpadding", L"4,3,4,3");
    backColor1_ = 0xFFFFFFFF;
}

CEditUI::~CEditUI() = default;

const wchar_t* CEditUI::GetTypeName() const { return L"Edit"; }

void* CEditUI::CastTo(const wchar_t* name) {
    if (name != nullptr && wcscmp(name, L"Edit") == 0) return static_cast<CControlUI*>(this);
    return CLabelUI::CastTo(name);
}

UINT CEditUI::GetInputFlags() { return IsEnabled() ? UINT{kInputSetCursor | kInputTabStop} : 0u; }

// A window with its close posted counts as gone already.
HWND CEditUI::GetNativeHandle() { return IsEditorOpen() ? editWindow_->GetHWND() : nullptr; }

bool CEditUI::IsEditorOpen() const { return editWindow_ != nullptr && editWindow_->IsOpen(); }

void CEditUI::SetText(const wchar_t* text) {
    text_ = text;
    needsMeasure_ = true;
    // The native window reports the change as "textchanged".
    if (HWND window = GetNativeHandle()) SetWindowTextW(window, text_);
    Invalidate();
    if (manager_ != nullptr) manager_->NotifyAccessibleEvent(EVENT_OBJECT_VALUECHANGE, this);
}

void CEditUI::UpdateNativeWindow() {
    if (editWindow_ == nullptr || editWindow_->GetHWND() == nullptr) return;
    RECT rect = editWindow_->ComputeRect();
    HWND window = editWindow_->GetHWND();
    if (IsRectEmpty(&rect)) {
        ShowWindow(window, SW_HIDE);
        return;
    }
    SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void CEditUI::Place(RECT rect, bool invalidate) {
    CLabelUI::Place(rect, invalidate);
    UpdateNativeWindow();
}

void CEditUI::Offset(int dx, int dy, bool invalidate) {
    CLabelUI::Offset(dx, dy, invalidate);
    UpdateNativeWindow();
}

void CEditUI::SetVisible(bool visible) {
    CLabelUI::SetVisible(visible);
    if (!IsVisible() && IsEditorOpen() && manager_ != nullptr) manager_->FocusControl(nullptr, true);
}

void CEditUI::SetInheritedVisible(bool visible) {
    // Recorded, so that an edit in a hidden container is no focus target; an ancestor
    // that hides the edit closes its native window too.
    CLabelUI::SetInheritedVisible(visible);
    if (!IsVisible() && IsEditorOpen() && manager_ != nullptr) manager_->FocusControl(nullptr, true);
}

void CEditUI::SetEnabled(bool enabled) {
    CLabelUI::SetEnabled(enabled);
    if (!IsEnabled()) state_ = 0;
}

void CEditUI::SetMaxChars(int count) {
    maxChars_ = count;
    if (GetNativeHandle() != nullptr) editWindow_->Send(EM_LIMITTEXT, static_cast<WPARAM>(maxChars_));
}

void CEditUI::SetReadOnly(bool readOnly) {
    if (readOnly_ == readOnly) return;
    readOnly_ = readOnly;
    if (GetNativeHandle() != nullptr) editWindow_->Send(EM_SETREADONLY, readOnly_);
    Invalidate();
}

void CEditUI::SetNumberOnly(bool numberOnly) {
    if (numberOnly) {
        extraStyle_ |= ES_NUMBER;
    } else {
        extraStyle_ &= ~static_cast<DWORD>(ES_NUMBER);
    }
}

void CEditUI::OpenNativeWindow() {
    if (editWindow_ == nullptr) editWindow_ = std::make_unique<CEditWnd>();
    if (editWindow_->GetHWND() != nullptr) {
        // Still there with its close posted. Inside its own handling it stays open;
        // otherwise it makes way for a window with the edit's present settings.
        if (editWindow_->IsHandling()) {
            editWindow_->CancelClose();
            UpdateNativeWindow();
            Invalidate();
            return;
        }
        editWindow_->CloseForReopening();
    }
    if (!editWindow_->OpenEditor(this)) LOG_A("the native editor could not be opened: %lu", GetLastError());
    Invalidate();
}

void CEditUI::HandleEvent(UiEvent& event) {
    if (PassOnIgnoredMouse(event)) return;
    switch (event.kind) {
    case kEventSetCursor:
        if (IsEnabled()) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_IBEAM));
            return;
        }
        break;
    case kEventWindowSize:
        if (IsEditorOpen() && manager_ != nullptr) manager_->FocusFirstTabStop(this);
        break;
    case kEventScrollWheel:
        if (IsEditorOpen()) return;
        break;
    case kEventSetFocus:
        if (IsEnabled()) {
            if (IsEditorOpen()) return;
            OpenNativeWindow();
        }
        break;
    case kEventKillFocus:
        if (IsEnabled()) Invalidate();
        break;
    case kEventButtonDown:
    case kEventDoubleClick:
    case kEventRightButtonDown:
        if (!IsEnabled()) return;
        if (manager_ != nullptr) manager_->ReleaseMouse();
        if (IsFocused() && !IsEditorOpen()) {
            OpenNativeWindow();
            return;
        }
        if (IsEditorOpen() && !autoSelectAll_) {
            // The caret lands where the click was.
            editWindow_->Send(EM_SETSEL, 0, 0);
            int x = event.mousePoint.x - itemRect_.left - textPadding_.left;
            int y = event.mousePoint.y - itemRect_.top - textPadding_.top;
            editWindow_->Send(WM_LBUTTONDOWN, event.wParam, MAKELPARAM(x, y));
        }
        return;
    case kEventMouseMove:
    case kEventButtonUp:
    case kEventContextMenu:
        return;
    case kEventMouseEnter:
    case kEventMouseLeave:
        if (!FollowHover(*this, state_, event)) return;
        break;
    default:
        break;
    }
    CLabelUI::HandleEvent(event);
}

void CEditUI::ApplyAttribute(const wchar_t* name, const wchar_t* value) {
    if (wcscmp(name, L"readonly") == 0) {
        SetReadOnly(IsTrueValue(value));
    } else if (wcscmp(name, L"numberonly") == 0) {
        SetNumberOnly(IsTrueValue(value));
    } else if (wcscmp(name, L"password") == 0) {
        SetPasswordMode(IsTrueValue(value));
    } else if (wcscmp(name, L"autoselall") == 0) {
        SetAutoSelectAll(IsTrueValue(value));
    } else if (wcscmp(name, L"maxchar") == 0) {
        SetMaxChars(ReadInteger(value));
    } else if (wcscmp(name, L"normalimage") == 0) {
        SetNormalImage(value);
    } else if (wcscmp(name, L"hotimage") == 0) {
        SetHotImage(value);
    } else if (wcscmp(name, L"focusedimage") == 0) {
        SetFocusedImage(value);
    } else if (wcscmp(name, L"disabledimage") == 0) {
        SetDisabledImage(value);
    } else if (wcscmp(name, L"nativebkcolor") == 0) {
        SetNativeBkColor(ReadColor(value));
    } else {
        CLabelUI::ApplyAttribute(name, value);
    }
}

SIZE CEditUI::MeasureSize(SIZE /*available*/) { return FixedOrFontSize(); }

void CEditUI::PaintStateImage(HDC dc) {
    FollowFocusAndEnabled(*this, state_);
    DrawInfo* chosen = nullptr;
    if ((state_ & kStateDisabled) != 0) {
        chosen = &disabledImage_;
    } else if ((state_ & kStateFocused) != 0) {
        chosen = &focusedImage_;
    } else if ((state_ & kStateHot) != 0) {
        chosen = &hotImage_;
    }
    if (chosen != nullptr && DrawImage(dc, *chosen)) return;
    DrawImage(dc, normalImage_);
}

void CEditUI::PaintCaption(HDC dc) {
    ResolveDefaultColors();
    if (text_.IsEmpty()) return;
    CUiString shown = text_;
    if (password_) {
        for (int i = 0; i < shown.GetLength(); ++i) shown.SetAt(i, passwordChar_);
    }
    RECT rect = TextRect();
    CDrawEngine::PaintPlainText(dc, manager_, rect, shown, CaptionColor(IsEnabled() ? textColor_ : disabledTextColor_),
                                font_, textStyle_ | DT_SINGLELINE);
}

}  // namespace Veneer
