#pragma once
// Colour helpers shared by the draw engine's files. Colours are 0xAARRGGBB.

#include <windows.h>

#include <cwchar>

namespace Veneer {

// Red and blue swapped, alpha dropped, for GDI.
inline COLORREF ToColorRef(DWORD argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

// Hexadecimal with an optional leading "#", read as unsigned: six digits give alpha 0.
inline DWORD ParseColor(const wchar_t* text) {
    while (*text == L' ') ++text;
    if (*text == L'#') ++text;
    return static_cast<DWORD>(wcstoul(text, nullptr, 16));
}

}  // namespace Veneer
