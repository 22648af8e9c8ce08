// The window attributes of the skin's root element: lengths converted at the window's
// scale, the ones the manager knows applied, the others kept as custom attributes.

#include "ui/core/WindowManager.h"

#include <algorithm>
#include <cwchar>
#include <string>

#include "ui/core/WindowManagerShared.h"

namespace Veneer {

using namespace manager;

namespace {

// Numbers in window attributes: decimal, each followed by one separator that is
// skipped; reading never runs past the end of the value.
void ReadNumbers(const wchar_t* text, LONG* values, int count) {
    for (int i = 0; i < count; ++i) {
        wchar_t* end = nullptr;
        values[i] = wcstol(text, &end, 10);
        text = end;
        if (*text != L'\0') ++text;
    }
}

SIZE ReadPair(const wchar_t* text) {
    LONG values[2];
    ReadNumbers(text, values, 2);
    return SIZE{values[0], values[1]};
}

RECT ReadRect(const wchar_t* text) {
    LONG values[4];
    ReadNumbers(text, values, 4);
    return RECT{values[0], values[1], values[2], values[3]};
}

DWORD ReadColor(const wchar_t* text) {
    if (*text == L'#') ++text;
    return static_cast<DWORD>(wcstoul(text, nullptr, 16));
}

bool ReadBool(const wchar_t* text) { return wcscmp(text, L"true") == 0; }

}  // namespace

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
        SIZE size = ReadPair(value);
        SetStartSize(size.cx, size.cy);
    } else if (is(L"sizebox")) {
        SetResizeBorders(ReadRect(value));
    } else if (is(L"caption")) {
        SetCaptionArea(ReadRect(value));
    } else if (is(L"roundcorner")) {
        SIZE size = ReadPair(value);
        SetCornerRounding(size.cx, size.cy);
    } else if (is(L"mininfo")) {
        SIZE size = ReadPair(value);
        SetMinTrackSize(size.cx, size.cy);
    } else if (is(L"maxinfo")) {
        SIZE size = ReadPair(value);
        SetMaxTrackSize(size.cx, size.cy);
    } else if (is(L"showdirty")) {
        SetOutlineRepaints(ReadBool(value));
    } else if (wcscmp(name, L"noactivate") == 0) {
        SetClickWithoutActivation(ReadBool(value));
    } else if (is(L"opacity")) {
        SetWindowAlpha(static_cast<BYTE>(_wtoi(value)));
    } else if (wcscmp(name, L"layeredopacity") == 0) {
        SetLayeredAlpha(static_cast<BYTE>(_wtoi(value)));
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
