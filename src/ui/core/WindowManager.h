#pragma once
// CWindowManagerUI: the per-window manager of the Veneer UI framework, and the
// process-wide resource settings every window shares.
//
// Thread contract: UI thread only. The static resource settings are set during
// start-up and window creation, before any markup or image is loaded.

#include <windows.h>

#include <string>

namespace Veneer {

class CZipArchive;

class CWindowManagerUI {
public:
    // ---- process-wide resource settings -------------------------------------
    static void SetModuleHandle(HINSTANCE instance);
    static HINSTANCE ModuleHandle();
    // The module's full file name up to and including its last backslash.
    static std::wstring ModuleFolder();
    static void SetResourceFolder(const std::wstring& path);
    static const std::wstring& ResourceFolder();
    static void SetResourceArchive(const std::wstring& name, bool keepOpen = true);
    // The caller keeps the block alive for the life of the process.
    static void SetResourceArchiveMemory(const void* bytes, size_t size);
    static const std::wstring& ResourceArchiveName();
    static bool KeepsResourceArchiveOpen();
    static CZipArchive* KeptResourceArchive();
    // The block last given to SetResourceArchiveMemory (null when none), so that a
    // load can open it when no archive is kept.
    static const void* ResourceArchiveMemory(size_t& size);
    // The archive name that stands for the memory block.
    static constexpr const wchar_t* kMemoryArchiveName = L"membuffer";

    // ---- per-window manager ---------------------------------------------------
};

}  // namespace Veneer
