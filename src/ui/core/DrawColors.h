#pragma once
// Colour helpers shared by the draw engine's files. Colours are 0xAARRGGBB.

#include <windows.h>

namespace Veneer {

// Red and blue swapped, alpha dropped, for GDI.
inline COLORREF ToColorRef(DWORD argb) { return RGB((argb >> 16) & 0xFF, (argb >> 8) & 0xFF, argb & 0xFF); }

}  // namespace Veneer
