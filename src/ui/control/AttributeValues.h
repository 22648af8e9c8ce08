#pragma once
// Readers for the value forms of control attributes: integer lists, fractions,
// hexadecimal colours and the exact word "true".

#include <windows.h>

namespace Veneer {

// Only the exact, case-sensitive word counts.
bool IsTrueValue(const wchar_t* value);

// Decimal with optional sign and leading blanks; no digits give 0.
int ReadInteger(const wchar_t* value);

// Reads up to count numbers, each starting one character after the end of the
// previous one, so any single separator works. Reading stops at the end of the
// value; numbers that are missing are 0. Returns how many were read.
int ReadIntegers(const wchar_t* value, long* numbers, int count);
int ReadDoubles(const wchar_t* value, double* numbers, int count);

RECT ReadRect(const wchar_t* value);
SIZE ReadSize(const wchar_t* value);

// Unsigned hexadecimal ARGB after one optional "#": "#FF1A57A9" and "FF1A57A9"
// are the same colour; six digits give alpha 0; anything malformed gives 0.
DWORD ReadColor(const wchar_t* value);
// The background colours also skip leading characters with codes 1 to 32.
DWORD ReadBackgroundColor(const wchar_t* value);

}  // namespace Veneer
