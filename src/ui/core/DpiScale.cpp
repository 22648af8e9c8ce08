#include "ui/core/DpiScale.h"

#include <climits>
#include <cwchar>

namespace Veneer {

namespace {

// Attributes of the control classes whose numbers are all lengths.
const wchar_t* const kLengthAttributes[] = {
    L"pos",        L"padding",     L"width",   L"height",       L"minwidth",  L"minheight",
    L"maxwidth",   L"maxheight",   L"bordersize", L"borderround", L"textpadding", L"inset",
    L"childpadding", L"sepheight", L"sepwidth", L"linesize",
};

const wchar_t* const kWindowLengthAttributes[] = {
    L"size", L"sizebox", L"caption", L"roundcorner", L"mininfo", L"maxinfo",
};

}  // namespace

int CDpiScale::Length(int skinPixels) const {
    if (dpi_ == kSkinDpi) return skinPixels;
    long long scaled = static_cast<long long>(skinPixels) * dpi_;
    scaled = scaled >= 0 ? (scaled + kSkinDpi / 2) / kSkinDpi : -((-scaled + kSkinDpi / 2) / kSkinDpi);
    if (scaled > INT_MAX) return INT_MAX;
    if (scaled < INT_MIN) return INT_MIN;
    return static_cast<int>(scaled);
}

RECT CDpiScale::Rect(const RECT& skin) const {
    return RECT{Length(skin.left), Length(skin.top), Length(skin.right), Length(skin.bottom)};
}

SIZE CDpiScale::Size(const SIZE& skin) const { return SIZE{Length(skin.cx), Length(skin.cy)}; }

bool CDpiScale::IsLengthAttribute(const wchar_t* name) {
    if (name == nullptr) return false;
    for (const wchar_t* known : kLengthAttributes) {
        if (wcscmp(name, known) == 0) return true;
    }
    return false;
}

bool CDpiScale::IsWindowLengthAttribute(const wchar_t* name) {
    if (name == nullptr) return false;
    for (const wchar_t* known : kWindowLengthAttributes) {
        if (_wcsicmp(name, known) == 0) return true;
    }
    return false;
}

std::wstring CDpiScale::Lengths(const wchar_t* value) const {
    if (value == nullptr) return std::wstring();
    if (dpi_ == kSkinDpi) return value;
    std::wstring scaled;
    const wchar_t* cursor = value;
    while (*cursor != L'\0') {
        wchar_t* end = nullptr;
        long number = wcstol(cursor, &end, 10);
        if (end == cursor) {
            // No number here: the readers take 0 and skip one character.
            scaled += *cursor++;
            continue;
        }
        // The blanks wcstol skipped stay; the number takes its scaled value.
        while (cursor < end && (*cursor == L' ' || (*cursor >= L'\t' && *cursor <= L'\r'))) scaled += *cursor++;
        long long clamped = number > INT_MAX ? INT_MAX : number < INT_MIN ? INT_MIN : number;
        scaled += std::to_wstring(Length(static_cast<int>(clamped)));
        cursor = end;
        if (*cursor != L'\0') scaled += *cursor++;
    }
    return scaled;
}

std::wstring CDpiScale::AttributeValue(const wchar_t* name, const wchar_t* value) const {
    if (value == nullptr) return std::wstring();
    if (dpi_ == kSkinDpi || !IsLengthAttribute(name)) return value;
    return Lengths(value);
}

DpiAwareness DeclareDpiAwareness() {
    using SetContextFunction = BOOL(WINAPI*)(HANDLE);
    using SetAwarenessFunction = HRESULT(WINAPI*)(int);
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 (Windows 10 1703) and
    // PROCESS_PER_MONITOR_DPI_AWARE (Windows 8.1), written out for older SDK headers.
    const HANDLE perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    const int perMonitor = 2;
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto setContext = reinterpret_cast<SetContextFunction>(
        reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
    if (setContext != nullptr && setContext(perMonitorV2)) return DpiAwareness::kPerMonitorV2;
    DWORD contextError = setContext != nullptr ? GetLastError() : 0;
    if (contextError == ERROR_ACCESS_DENIED) return DpiAwareness::kAlreadyDeclared;
    HMODULE shcore = LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto setAwareness = shcore != nullptr ? reinterpret_cast<SetAwarenessFunction>(reinterpret_cast<void*>(
                                                GetProcAddress(shcore, "SetProcessDpiAwareness")))
                                          : nullptr;
    HRESULT result = setAwareness != nullptr ? setAwareness(perMonitor) : E_NOTIMPL;
    if (SUCCEEDED(result)) return DpiAwareness::kPerMonitor;
    if (result == E_ACCESSDENIED) return DpiAwareness::kAlreadyDeclared;
    return SetProcessDPIAware() ? DpiAwareness::kSystem : DpiAwareness::kUnaware;
}

}  // namespace Veneer
