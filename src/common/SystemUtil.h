#pragma once
// Windows facilities the installer needs outside the UI framework and the HTTP
// code: system facts, files, processes, program start.
//
// Thread contract: the free functions hold no shared state and may run on any
// thread; RunSilentInstall blocks until the installer ends, so it belongs on a
// worker thread. Every failure is reported through the result, never shown.

#include <windows.h>

#include <functional>
#include <string>

std::wstring GetProgramFilesFolder();
std::wstring GetWindowsProductName();
bool Is64BitWindows();
std::wstring GetUserUiLanguageId();
std::wstring GetFileVersionString(const std::wstring& filePath);
// Free bytes of the volume (not the caller's quota) in MiB.
bool GetFreeDiskSpaceMB(const std::wstring& rootPath, int* freeMB);
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key);
bool FileExists(const std::wstring& path);
// Exact, case-sensitive match of the executable file name.
bool FindProcessByName(const std::wstring& exeName, DWORD* processId);
bool KillProcess(DWORD processId);
void OpenInBrowser(HWND owner, const std::wstring& address);
// Runs the product installer silently and waits for it to end. False when the
// installer could not be started. `started` runs as soon as its process exists
// (the caller's hold on the checked file can go then).
bool RunSilentInstall(const std::wstring& installerPath, const std::wstring& installPath,
                      const std::wstring& progressFilePath, const std::function<void()>& started = {});
// The command line the installer receives (without the program name).
std::wstring BuildSilentInstallCommandLine(const std::wstring& installPath, const std::wstring& progressFilePath);
// Starts the installed product and returns at once. Not elevated: as the interactive
// user through wdc.dll; where that library or its entry is missing (before
// Windows 8, and under Wine) it falls back to the elevated start.
bool RunProgram(const std::wstring& programPath, bool elevated);

// Test seam for Is64BitWindows: the architecture value GetNativeSystemInfo reports.
bool IsArchitecture64Bit(WORD processorArchitecture);
