#include "common/SystemUtil.h"

#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/UniqueResource.h"
#include "log/Log.h"
#include "ui/core/SystemLibrary.h"

namespace {

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
    UniqueRegKey key;
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
    return UniqueCrtFile(_wfopen(path.c_str(), L"r")).Valid();
}

bool FindProcessByName(const std::wstring& exeName, DWORD* processId)
{
    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
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
    UniqueKernelHandle process(OpenProcess(kAccess, FALSE, processId));
    if (!process.Valid()) return false;
    return TerminateProcess(process.Get(), 0) != FALSE;
}

namespace {

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
           CSTR_EQUAL;
}

std::wstring FullPath(const std::wstring& path)
{
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(size);
    return full;
}

std::wstring ProcessImagePath(HANDLE process)
{
    std::vector<wchar_t> path(32768);
    DWORD size = static_cast<DWORD>(path.size());
    if (!QueryFullProcessImageNameW(process, 0, path.data(), &size)) return std::wstring();
    return std::wstring(path.data(), size);
}

struct CloseRequest {
    const std::vector<DWORD>* processes;
    int windows;
};

BOOL CALLBACK AskWindowToClose(HWND window, LPARAM parameter)
{
    auto* request = reinterpret_cast<CloseRequest*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    for (DWORD process : *request->processes) {
        if (process == owner) {
            // Posted: a product that hangs must not hang the installer.
            if (PostMessageW(window, WM_CLOSE, 0, 0)) ++request->windows;
            break;
        }
    }
    return TRUE;
}

// Waits for every handle up to the deadline; answers how many are still running.
size_t WaitForEnd(const std::vector<HANDLE>& processes, DWORD waitMs)
{
    DWORD start = GetTickCount();
    size_t running = 0;
    for (HANDLE process : processes) {
        DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(process, spent < waitMs ? waitMs - spent : 0) != WAIT_OBJECT_0) ++running;
    }
    return running;
}

}  // namespace

std::vector<DWORD> FindProcessesByPath(const std::wstring& exePath)
{
    std::vector<DWORD> found;
    std::wstring wanted = FullPath(exePath);
    size_t slash = wanted.find_last_of(L"\\/");
    std::wstring fileName = slash == std::wstring::npos ? wanted : wanted.substr(slash + 1);
    DWORD self = GetCurrentProcessId();
    DWORD session = 0;
    if (!ProcessIdToSessionId(self, &session)) return found;

    UniqueFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.Valid()) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        DWORD id = entry.th32ProcessID;
        DWORD processSession = 0;
        if (id == self || !SamePath(entry.szExeFile, fileName)) continue;
        if (!ProcessIdToSessionId(id, &processSession) || processSession != session) continue;
        UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id));
        if (!process.Valid()) {
            LOG_A("process %lu has the product's name but cannot be examined, error %lu", id, GetLastError());
            continue;
        }
        if (SamePath(FullPath(ProcessImagePath(process.Get())), wanted)) found.push_back(id);
    }
    return found;
}

bool StopProcessesByPath(const std::wstring& exePath, DWORD askMs, DWORD killMs)
{
    std::vector<DWORD> ids = FindProcessesByPath(exePath);
    if (ids.empty()) return true;
    std::vector<UniqueKernelHandle> owned;
    std::vector<HANDLE> processes;
    std::vector<DWORD> opened;
    for (DWORD id : ids) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        if (!process) {
            // Gone already, or not ours to end: the search at the end tells which.
            LOG_A("process %lu cannot be opened to be stopped, error %lu", id, GetLastError());
            continue;
        }
        owned.emplace_back(process);
        processes.push_back(process);
        opened.push_back(id);
    }
    CloseRequest request{&ids, 0};
    EnumWindows(AskWindowToClose, reinterpret_cast<LPARAM>(&request));
    LOG_W(L"asked %d windows of %u processes of %s to close", request.windows, static_cast<unsigned>(ids.size()),
          exePath.c_str());
    if (WaitForEnd(processes, askMs) > 0) {
        for (HANDLE process : processes) {
            if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0 && !TerminateProcess(process, 1)) {
                LOG_A("TerminateProcess failed, error %lu", GetLastError());
            }
        }
        size_t running = WaitForEnd(processes, killMs);
        if (running > 0) LOG_A("%u processes of the product are still running", static_cast<unsigned>(running));
    }
    size_t left = WaitForEnd(processes, 0);
    if (opened.size() < ids.size()) {
        for (DWORD id : FindProcessesByPath(exePath)) {
            if (std::find(opened.begin(), opened.end(), id) == opened.end()) ++left;
        }
    }
    return left == 0;
}


std::wstring BuildSilentInstallCommandLine(const std::wstring& installPath, const std::wstring& progressFilePath)
{
    return L" /verysilent /vantelo_down /wait_run /path=\"" + installPath + L"\" /progress=\"" + progressFilePath +
           L"\"";
}

CInstallerJob::CInstallerJob()
{
    job_.Reset(CreateJobObjectW(nullptr, nullptr));
    if (!job_) {
        LOG_A("CreateJobObject failed, error %lu", GetLastError());
        return;
    }
    // A process that asks to leave the job may: a product an installer starts for
    // the user at its end is not part of the installation.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(job_.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        LOG_A("SetInformationJobObject failed, error %lu", GetLastError());
    }
}

CInstallerJob::~CInstallerJob() = default;

bool CInstallerJob::Adopt(HANDLE process)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (terminated_) return false;
    if (!job_ || !AssignProcessToJobObject(job_.Get(), process)) {
        LOG_A("the installer runs outside a job: AssignProcessToJobObject failed, error %lu",
              job_ ? GetLastError() : static_cast<DWORD>(ERROR_INVALID_HANDLE));
        outsideJob_ = true;
    }
    DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), process_.Receive(),
                    SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
    return true;
}

void CInstallerJob::Terminate()
{
    std::lock_guard<std::mutex> hold(lock_);
    if (terminated_) return;
    terminated_ = true;
    if (!process_) return;  // never started, and now never will
    if (!outsideJob_ && TerminateJobObject(job_.Get(), ERROR_CANCELLED)) return;
    if (!outsideJob_) LOG_A("TerminateJobObject failed, error %lu", GetLastError());
    if (!TerminateProcess(process_.Get(), ERROR_CANCELLED) && GetLastError() != ERROR_ACCESS_DENIED) {
        LOG_A("TerminateProcess of the installer failed, error %lu", GetLastError());
    }
}

bool CInstallerJob::WaitUntilEmpty(DWORD waitMs)
{
    HANDLE process = nullptr;
    bool outside = false;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!process_) return true;
        process = process_.Get();
        outside = outsideJob_;
    }
    // The handles live as long as this object, which the caller holds.
    if (outside) return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
    DWORD start = GetTickCount();
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
        if (!QueryInformationJobObject(job_.Get(), JobObjectBasicAccountingInformation, &accounting, sizeof accounting,
                                       nullptr)) {
            return WaitForSingleObject(process, waitMs) == WAIT_OBJECT_0;
        }
        if (accounting.ActiveProcesses == 0) return true;
        if (GetTickCount() - start >= waitMs) {
            LOG_A("%lu processes of the installer are still running after %lu ms", accounting.ActiveProcesses, waitMs);
            return false;
        }
        Sleep(20);
    }
}

bool CInstallerJob::RanOutsideJob() const
{
    std::lock_guard<std::mutex> hold(lock_);
    return outsideJob_;
}

bool RunSilentInstall(const std::wstring& installerPath, const std::wstring& installPath,
                      const std::wstring& progressFilePath, CInstallerJob& job, DWORD* code,
                      const std::function<void()>& started)
{
    std::wstring commandLine = BuildSilentInstallCommandLine(installPath, progressFilePath);
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so that nothing it starts escapes it.
    if (!CreateProcessW(installerPath.c_str(), writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &info)) {
        DWORD error = GetLastError();
        LOG_W(L"CreateProcess failed for %s, error %lu", installerPath.c_str(), error);
        if (code) *code = error;
        return false;
    }
    UniqueProcessInformation installer(info);
    if (!job.Adopt(installer.process.Get())) {
        TerminateProcess(installer.process.Get(), ERROR_CANCELLED);
        LOG_A("the installer was not resumed: the installation is being ended");
        if (code) *code = ERROR_CANCELLED;
        return false;
    }
    // Its image is mapped and it runs nothing yet: the file is the system's to guard now.
    if (started) started();
    ResumeThread(installer.thread.Get());
    // An installation takes as long as it takes; quitting ends the wait by
    // terminating the job, which ends this process.
    WaitForSingleObject(installer.process.Get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(installer.process.Get(), &exitCode)) exitCode = GetLastError();
    if (code) *code = exitCode;
    return true;
}

bool RunProgram(const std::wstring& programPath, bool elevated)
{
    if (elevated) return StartElevated(programPath);

    using WdcRunTaskAsInteractiveUserFn = HRESULT(WINAPI*)(LPCWSTR commandLine, LPCWSTR currentDirectory, DWORD flags);
    UniqueModule wdc(Veneer::LoadSystemLibrary(L"wdc.dll"));
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
