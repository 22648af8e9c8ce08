#pragma once
// The one reader of attribute values, for controls, windows, resource elements and
// image attribute strings alike: integers, integer and fraction lists (rectangles,
// sizes), hexadecimal colours, alphas and Booleans. Every reader takes null as an
// empty value and never reads past the value's terminator.

#include <windows.h>

namespace Veneer {

// Only the exact, case-sensitive word counts.
bool IsTrueValue(const wchar_t* value);
// Resource elements (fonts, images) take "true" in any letter case.
bool IsTrueValueAnyCase(const wchar_t* value);

// Decimal with optional sign and leading blanks; no digits give 0; out of range
// gives the nearest int.
int ReadInteger(const wchar_t* value);
double ReadDouble(const wchar_t* value);

// Reads up to count numbers, each starting one character after the end of the
// previous one, so any single separator works. Reading stops at the end of the
// value; numbers that are missing are 0. Returns how many were read.
int ReadIntegers(const wchar_t* value, long* numbers, int count);
int ReadDoubles(const wchar_t* value, double* numbers, int count);

// Four numbers left, top, right, bottom; two numbers cx, cy.
RECT ReadRect(const wchar_t* value);
SIZE ReadSize(const wchar_t* value);

// Unsigned hexadecimal ARGB after one optional "#": "#FF1A57A9" and "FF1A57A9"
// are the same colour; six digits give alpha 0; anything malformed gives 0.
DWORD ReadColor(const wchar_t* value);
// The background colours also skip leading characters with codes 1 to 32.
DWORD ReadBackgroundColor(const wchar_t* value);

// An integer held to 0 to 255, so 300 is opaque rather than wrapping to 44.
BYTE ReadAlpha(const wchar_t* value);

}  // namespace Veneer
