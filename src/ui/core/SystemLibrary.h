#pragma once
// Loading a DLL of Windows itself: from the system folder only, never from the
// program's folder, the current folder or PATH, where anyone may have planted a
// DLL of that name next to a program that runs elevated.
//
// Thread contract: none needed; any thread.

#include <windows.h>

namespace Veneer {

// `name` is a bare file name such as L"msimg32.dll". Null, with the loader's error,
// when the system folder does not have it.
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace Veneer
