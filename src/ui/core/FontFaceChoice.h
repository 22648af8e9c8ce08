#pragma once
// The font face for a language whose script the skin's face may lack: its product
// data names faces, best first, so that every Windows version finds one it has (a
// face of Windows 10, then the one Windows 7 had, then the one of Windows XP).
//
// Thread contract: any thread; GDI's font list is read on every call.

#include "ui/core/UiString.h"

namespace Veneer {

// True when GDI enumerates a font family of exactly this name.
bool IsFontFaceInstalled(const wchar_t* face);

// The first installed face of a comma-separated list (blanks around each name do
// not count), or an empty string when the list names none that is installed.
CUiString FirstInstalledFace(const wchar_t* faceList);

}  // namespace Veneer
