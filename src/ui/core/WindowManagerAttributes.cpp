// The window attributes of the skin's root element: lengths converted at the window's
// scale, the ones the manager knows applied, the others kept as custom attributes.

#include "ui/core/WindowManager.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "ui/core/AttributeValue.h"
#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

void CWindowManagerUI::SetCustomWindowAttribute(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || *name == L'\0' || value == nullptr) return;
    customAttributes_.emplace(name, value);
}

const wchar_t* CWindowManagerUI::CustomWindowAttribute(const wchar_t* name) const {
    return FindText(customAttributes_, name);
}

void CWindowManagerUI::ApplyWindowAttribute(const wchar_t* name, const wchar_t* value) {
    if (name == nullptr || value == nullptr) return;
    std::wstring device;
    if (CDpiScale::IsWindowLengthAttribute(name)) {
        auto known = std::find_if(windowSkinLengths_.begin(), windowSkinLengths_.end(),
                                  [name](const auto& length) { return _wcsicmp(length.first.c_str(), name) == 0; });
        if (known == windowSkinLengths_.end()) {
            windowSkinLengths_.emplace_back(name, value);
        } else if (known->second != value) {
            known->second = value;
        }
        device = scale_.Lengths(value);
        value = device.c_str();
    }
    auto is = [name](const wchar_t* known) { return _wcsicmp(name, known) == 0; };
    if (is(L"size")) {
        SIZE size = ReadSize(value);
        SetStartSize(size.cx, size.cy);
    } else if (is(L"sizebox")) {
        SetResizeBorders(ReadRect(value));
    } else if (is(L"caption")) {
        SetCaptionArea(ReadRect(value));
    } else if (is(L"roundcorner")) {
        SIZE size = ReadSize(value);
        SetCornerRounding(size.cx, size.cy);
    } else if (is(L"mininfo")) {
        SIZE size = ReadSize(value);
        SetMinTrackSize(size.cx, size.cy);
    } else if (is(L"maxinfo")) {
        SIZE size = ReadSize(value);
        SetMaxTrackSize(size.cx, size.cy);
    } else if (is(L"showdirty")) {
        SetOutlineRepaints(IsTrueValue(value));
    } else if (wcscmp(name, L"noactivate") == 0) {
        SetClickWithoutActivation(IsTrueValue(value));
    } else if (is(L"opacity")) {
        SetWindowAlpha(ReadAlpha(value));
    } else if (wcscmp(name, L"layeredopacity") == 0) {
        SetLayeredAlpha(ReadAlpha(value));
    } else if (wcscmp(name, L"layeredimage") == 0) {
        SetLayeredBackground(value);
        SetPerPixelLayered(true);
    } else if (is(L"disabledfontcolor")) {
        SetDefaultDisabledColor(ReadColor(value));
    } else if (is(L"defaultfontcolor")) {
        SetDefaultFontColor(ReadColor(value));
    } else if (is(L"linkfontcolor")) {
        SetDefaultLinkFontColor(ReadColor(value));
    } else if (is(L"linkhoverfontcolor")) {
        SetDefaultLinkHoverFontColor(ReadColor(value));
    } else if (is(L"selectedcolor")) {
        SetDefaultSelectedBackColor(ReadColor(value));
    } else {
        SetCustomWindowAttribute(name, value);
    }
}

void CWindowManagerUI::SetStartSize(int width, int height) {
    startSize_ = SIZE{width, height};
    if (root_ == nullptr && window_ != nullptr) {
        SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    }
}

}  // namespace Veneer
