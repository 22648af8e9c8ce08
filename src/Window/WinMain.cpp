// The installer's entry: one instance per executable name, the frame window
// centred and run to its end.

#include <windows.h>

#include <string>

#include "Window/InstallerFrameWnd.h"
#include "Window/SystemDllSearch.h"
#include "Window/UserDialogs.h"
#include "common/LanguageManager.h"
#include "common/WorkFolder.h"
#include "ui/core/WindowManager.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    // Before anything can load a DLL by name.
    RestrictDllSearchToSystem32();

    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring module = path;
    size_t slash = module.rfind(L'\\');
    std::wstring fileName = slash == std::wstring::npos ? module : module.substr(slash + 1);
    size_t dot = fileName.rfind(L'.');
    std::wstring mutexName = dot == std::wstring::npos ? fileName : fileName.substr(0, dot);

    // Held for the life of the process; the system releases it at exit.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    if (!mutex || GetLastError() == ERROR_ALREADY_EXISTS) return -1;

    // Sharp at any display scale: the skin scales itself (the manifest says so too).
    Veneer::DeclareDpiAwareness();

    if (!CInstallerFrameWnd::CanStartIn(GetWorkFolder(), SystemDialogs())) return 1;

    Veneer::CWindowManagerUI::SetModuleHandle(instance);
    std::wstring folder = slash == std::wstring::npos ? std::wstring() : module.substr(0, slash + 1);
    Veneer::CWindowManagerUI::SetResourceFolder(folder);

    CInstallerFrameWnd frame;
    // WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU;
    // the window base drops the caption bits and the skin gives the size.
    frame.Open(nullptr, L"", 0x96C80000, 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT);
    frame.CenterOnOwner();
    frame.RunModal();
    // A worker still running after the frame's bounded wait (an analytics request
    // on a slow network) must not meet the program's statics being torn down: the
    // process ends here instead, which stops it. The log has nothing buffered.
    if (!frame.EndWorkers()) ExitProcess(0);
    return 0;
}
