#pragma once
// Conversions between the text forms the library meets: wide (UTF-16), the ANSI
// code page and UTF-8.

#include <string>

namespace HttpText {

std::wstring Widen(const std::string& text, unsigned codePage);
std::string Narrow(const std::wstring& text, unsigned codePage);
std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& wide);
std::string WideToUtf8(const std::wstring& wide);

}  // namespace HttpText
