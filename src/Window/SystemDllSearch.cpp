// The installer's DLL search: restricted at start-up, and the delay-load hook that
// takes every delay-loaded DLL from System32 (cmake/DelayLoad.cmake says which).
// Part of the installer program itself, not of a library, so the hook is always
// the one the delay-load helper finds.

#include "Window/SystemDllSearch.h"

#include <windows.h>
#include <delayimp.h>

#include <string>

#include "ui/core/SystemLibrary.h"

namespace {

FARPROC WINAPI LoadDelayedFromSystem32(unsigned notification, PDelayLoadInfo info)
{
    if (notification != dliNotePreLoadLibrary || !info || !info->szDll) return nullptr;
    // DLL names of an import table are ASCII.
    std::wstring name(info->szDll, info->szDll + strlen(info->szDll));
    return reinterpret_cast<FARPROC>(Veneer::LoadSystemLibrary(name.c_str()));
}

}  // namespace

// Asked by the delay-load helper (libmingwex) before it loads a DLL itself.
PfnDliHook __pfnDliNotifyHook2 = LoadDelayedFromSystem32;  // extern "C" by delayimp.h

void RestrictDllSearchToSystem32()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    // Without the update above this still takes the current folder out of the search.
    SetDllDirectoryW(L"");
    for (const wchar_t* name : {VANTELO_DELAY_LOADED_DLLS}) Veneer::LoadSystemLibrary(name);
}
