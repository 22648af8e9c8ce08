#pragma once
// Windows facilities the installer needs outside the UI framework and the HTTP
// code: system facts, files, processes, program start.
//
// Thread contract: the free functions hold no shared state and may run on any
// thread; RunSilentInstall blocks until the installer ends, so it belongs on a
// worker thread. Every failure is reported through the result, never shown.

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "base/UniqueResource.h"

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
// Every process of the caller's session whose image is exePath, compared as a full
// path without regard to case. The caller itself is never among them.
std::vector<DWORD> FindProcessesByPath(const std::wstring& exePath);
// Asks every process that FindProcessesByPath finds to end (WM_CLOSE to its
// top-level windows) and waits up to askMs for them; ends the rest by force and
// waits up to killMs more. True when none of them is left.
bool StopProcessesByPath(const std::wstring& exePath, DWORD askMs, DWORD killMs);
// Opens an http or https page as the logged-on user, through the desktop shell;
// where that shell cannot (no Explorer desktop), from this process. A log line
// says which.
// Any other address is refused with a log line. Implemented in OpenInBrowser.cpp.
bool OpenInBrowser(HWND owner, const std::wstring& address);

// The job object that the product installer runs in: the installer and every
// process it starts belong to it, so that they can be ended together and no other
// process with them.
//
// Thread contract: one thread runs RunSilentInstall with it; Terminate and
// WaitUntilEmpty may be called from any other thread at any time: before the
// installer started (it then never runs), while it runs, or after it ended.
// Lifetime: shared by the thread that runs the installer and the one that may end
// it; the last owner closes the job, which leaves processes still in it running
// (a product the installer started at its end is not the installer's to end).
class CInstallerJob {
public:
    CInstallerJob();
    ~CInstallerJob();
    CInstallerJob(const CInstallerJob&) = delete;
    CInstallerJob& operator=(const CInstallerJob&) = delete;

    // Ends the installer and every process in the job; the installer, when it was
    // not started yet, never starts.
    void Terminate();
    // True once no process of the job is left, waiting up to waitMs.
    bool WaitUntilEmpty(DWORD waitMs);
    // True when the system refused the job (an enclosing job that allows no other):
    // the installer then ran on its own, and only its first process can be ended.
    bool RanOutsideJob() const;

    // For RunSilentInstall: takes the suspended installer into the job; false when
    // Terminate came first.
    bool Adopt(HANDLE process);

private:
    mutable std::mutex lock_;
    UniqueKernelHandle job_;
    UniqueKernelHandle process_;  // the installer's first process, our own handle
    bool terminated_ = false;
    bool outsideJob_ = false;
};

// Runs the product installer silently in `job` and waits until it ends, which
// quitting brings about by terminating the job. True when it ran: *code is its
// exit code. False when it could not be started: *code is the system's error, or
// ERROR_CANCELLED when the job was terminated first. `started` runs once the
// installer's process exists and is in the job, before its first instruction: the
// system maps its image from the file then and keeps that file from being written
// or deleted while the process runs, so the caller's hold on the checked file can go.
bool RunSilentInstall(const std::wstring& installerPath, const std::wstring& installPath,
                      const std::wstring& progressFilePath, CInstallerJob& job, DWORD* code,
                      const std::function<void()>& started = {});
// The command line the installer receives (without the program name).
std::wstring BuildSilentInstallCommandLine(const std::wstring& installPath, const std::wstring& progressFilePath);
// Starts the installed product and returns at once. Not elevated: as the interactive
// user through wdc.dll; where that library or its entry is missing (before
// Windows 8, and under Wine) it falls back to the elevated start.
bool RunProgram(const std::wstring& programPath, bool elevated);

// Test seam for Is64BitWindows: the architecture value GetNativeSystemInfo reports.
bool IsArchitecture64Bit(WORD processorArchitecture);
