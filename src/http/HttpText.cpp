#include "http/HttpText.h"

#include <windows.h>

namespace HttpText {

std::wstring Widen(const std::string& text, unsigned codePage)
{
    if (text.empty()) return {};
    int count = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(count), L'\0');
    if (count > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], count);
    return wide;
}

std::string Narrow(const std::wstring& text, unsigned codePage)
{
    if (text.empty()) return {};
    int count = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                    nullptr);
    std::string narrow(static_cast<size_t>(count), '\0');
    if (count > 0) {
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &narrow[0], count, nullptr,
                            nullptr);
    }
    return narrow;
}

std::wstring AnsiToWide(const std::string& ansi) { return Widen(ansi, CP_ACP); }
std::string WideToAnsi(const std::wstring& wide) { return Narrow(wide, CP_ACP); }
std::string WideToUtf8(const std::wstring& wide) { return Narrow(wide, CP_UTF8); }

}  // namespace HttpText
