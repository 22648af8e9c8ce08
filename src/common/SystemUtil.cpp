#include "common/SystemUtil.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

#include "log/Log.h"
#include "ui/core/SystemLibrary.h"

namespace {

// Closes a kernel handle and keeps the caller's last error intact.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~ScopedHandle() { Reset(); }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    void Reset()
    {
        if (Valid()) {
            DWORD error = GetLastError();
            CloseHandle(handle_);
            SetLastError(error);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_;
};

class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ~ScopedRegKey()
    {
        if (key_) RegCloseKey(key_);
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

class ScopedModule {
public:
    explicit ScopedModule(HMODULE module) : module_(module) {}
    ~ScopedModule()
    {
        if (module_) FreeLibrary(module_);
    }
    ScopedModule(const ScopedModule&) = delete;
    ScopedModule& operator=(const ScopedModule&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

std::wstring FormatDecimal(int value)
{
    wchar_t text[16];
    swprintf(text, 16, L"%d", value);
    return text;
}

bool StartElevated(const std::wstring& programPath)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = 0;
    info.hwnd = nullptr;
    info.lpVerb = L"open";
    info.lpFile = programPath.c_str();
    info.lpParameters = L"";
    info.lpDirectory = nullptr;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

}  // namespace

std::wstring GetProgramFilesFolder()
{
    wchar_t path[MAX_PATH] = {};
    LPITEMIDLIST list = nullptr;
    if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_PROGRAM_FILES, &list)) && list) {
        SHGetPathFromIDListW(list, path);
        CoTaskMemFree(list);
    }
    return std::wstring(path) + L"\\";
}

std::wstring GetWindowsProductName()
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_READ | KEY_WOW64_64KEY, key.Receive()) != ERROR_SUCCESS) {
        return std::wstring();
    }
    BYTE buffer[2048] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);  // keep room for a terminator the value may lack
    DWORD type = 0;
    if (RegQueryValueExW(key.Get(), L"ProductName", nullptr, &type, buffer, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::wstring();
    }
    return std::wstring(reinterpret_cast<const wchar_t*>(buffer));
}

bool IsArchitecture64Bit(WORD processorArchitecture)
{
    return processorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 || processorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool Is64BitWindows()
{
    using GetNativeSystemInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto getNative = kernel ? reinterpret_cast<GetNativeSystemInfoFn>(
                                  reinterpret_cast<void*>(GetProcAddress(kernel, "GetNativeSystemInfo")))
                            : nullptr;
    if (!getNative) return false;
    SYSTEM_INFO info{};
    getNative(&info);
    return IsArchitecture64Bit(info.wProcessorArchitecture);
}

std::wstring GetUserUiLanguageId() { return FormatDecimal(GetUserDefaultUILanguage()); }

std::wstring GetFileVersionString(const std::wstring& filePath)
{
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(filePath.c_str(), &ignored);
    if (size == 0) return std::wstring();
    std::vector<BYTE> data(size);
    if (!GetFileVersionInfoW(filePath.c_str(), 0, size, data.data())) return std::wstring();
    void* translation = nullptr;
    UINT translationSize = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &translation, &translationSize) ||
        translationSize == 0) {
        return std::wstring();
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize) || !fixed ||
        fixedSize < sizeof(VS_FIXEDFILEINFO)) {
        return std::wstring();
    }
    wchar_t text[64];
    swprintf(text, 64, L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
             HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    return text;
}

bool GetFreeDiskSpaceMB(const std::wstring& rootPath, int* freeMB)
{
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(rootPath.c_str(), &available, &total, &totalFree)) return false;
    // Shift before narrowing, so volumes of several terabytes keep their size.
    if (freeMB) *freeMB = static_cast<int>(totalFree.QuadPart >> 20);
    return true;
}

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key)
{
    wchar_t value[256] = {};
    GetPrivateProfileStringW(section.c_str(), key.c_str(), L"", value, 256, file.c_str());
    return value;
}

bool FileExists(const std::wstring& path)
{
    FILE* file = _wfopen(path.c_str(), L"r");
    if (!file) return false;
    fclose(file);
    return true;
}

bool FindProcessByName(const std::wstring& exeName, DWORD* processId)
{
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpW(entry.szExeFile, exeName.c_str()) == 0) {
            if (processId) *processId = entry.th32ProcessID;
            return true;
        }
    }
    return false;
}

bool KillProcess(DWORD processId)
{
    // Terminate, create thread, virtual-memory operation and write, query information.
    constexpr DWORD kAccess = 0x42B;
    ScopedHandle process(OpenProcess(kAccess, FALSE, processId));
    if (!process.Valid()) return false;
    return TerminateProcess(process.Get(), 0) != FALSE;
}

void OpenInBrowser(HWND owner, const std::wstring& address)
{
    ShellExecuteW(owner, L"Open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::wstring BuildSilentInstallCommandLine(const std::wstring& installPath, const std::wstring& progressFilePath)
{
    return L" /verysilent /vantelo_down /wait_run /path=\"" + installPath + L"\" /progress=\"" + progressFilePath +
           L"\"";
}

bool RunSilentInstall(const std::wstring& installerPath, const std::wstring& installPath,
                      const std::wstring& progressFilePath, const std::function<void()>& started)
{
    std::wstring commandLine = BuildSilentInstallCommandLine(installPath, progressFilePath);
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(installerPath.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info)) {
        LOG_W(L"CreateProcess failed for %s, error %lu", installerPath.c_str(), GetLastError());
        return false;
    }
    ScopedHandle process(info.hProcess);
    ScopedHandle thread(info.hThread);
    if (started) started();
    ResumeThread(thread.Get());
    WaitForSingleObject(process.Get(), INFINITE);
    return true;
}

bool RunProgram(const std::wstring& programPath, bool elevated)
{
    if (elevated) return StartElevated(programPath);

    using WdcRunTaskAsInteractiveUserFn = HRESULT(WINAPI*)(LPCWSTR commandLine, LPCWSTR currentDirectory, DWORD flags);
    ScopedModule wdc(Veneer::LoadSystemLibrary(L"wdc.dll"));
    auto run = wdc.Get() ? reinterpret_cast<WdcRunTaskAsInteractiveUserFn>(
                               reinterpret_cast<void*>(GetProcAddress(wdc.Get(), "WdcRunTaskAsInteractiveUser")))
                         : nullptr;
    if (!run) {
        LOG_W(L"WdcRunTaskAsInteractiveUser is not available, starting %s elevated", programPath.c_str());
        return StartElevated(programPath);
    }
    // 57: the flags the product has always been started with as the interactive user.
    return SUCCEEDED(run(programPath.c_str(), nullptr, 57));
}
