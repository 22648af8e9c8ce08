#include "base/TextEncoding.h"

#include <windows.h>

namespace {

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty()) return {};
    int count = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (count <= 0) return {};
    std::wstring wide(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

std::string Narrow(const std::wstring& text, UINT codePage)
{
    if (text.empty()) return {};
    int count = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    if (count <= 0) return {};
    std::string narrow(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], count, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace

namespace Text {

std::wstring Utf8ToWide(const std::string& utf8) { return Widen(utf8, CP_UTF8); }
std::string WideToUtf8(const std::wstring& wide) { return Narrow(wide, CP_UTF8); }

std::wstring AnsiToWide(const std::string& ansi) { return Widen(ansi, CP_ACP); }
std::string WideToAnsi(const std::wstring& wide) { return Narrow(wide, CP_ACP); }

unsigned UserAnsiCodePage()
{
    // Asked of the locale directly, so the process-wide C locale stays untouched.
    UINT codePage = 0;
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(wchar_t)) == 0) {
        return CP_ACP;
    }
    return codePage;
}

std::wstring UserAnsiToWide(const std::string& text) { return Widen(text, UserAnsiCodePage()); }
std::string WideToUserAnsi(const std::wstring& wide) { return Narrow(wide, UserAnsiCodePage()); }

std::string WideToOem(const std::wstring& wide) { return Narrow(wide, CP_OEMCP); }

}  // namespace Text
