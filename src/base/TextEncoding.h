#pragma once
// Conversions between wide text (UTF-16) and the byte forms this program meets.
// Each function names its code page, because "ANSI" means two different things on
// Windows:
//   - the ANSI code page (CP_ACP, GetACP): the system's, set for non-Unicode
//     programs; what the "A" functions, WinINet's "A" calls and log sources use;
//   - the user's ANSI code page: the default of the user's own locale, which may
//     differ from the system's; what the product's domain text is written in.
// The OEM code page (CP_OEMCP) is the console's, which the log file has always used.
// Characters a code page lacks become its replacement character. An empty or
// undecodable input gives an empty result.
//
// Thread contract: stateless; any thread.

#include <string>

namespace Text {

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

std::wstring AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::wstring& wide);

unsigned UserAnsiCodePage();
std::wstring UserAnsiToWide(const std::string& text);
std::string WideToUserAnsi(const std::wstring& wide);

std::string WideToOem(const std::wstring& wide);

}  // namespace Text
