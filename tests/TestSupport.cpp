#include "TestSupport.h"

#include "base/TextEncoding.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

TempFolder::TempFolder()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    path_ = std::wstring(base) + L"vantelo-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(counter++);
    RemoveTree(path_);
    CreateDirectoryW(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::string ReadFileBytes(const std::wstring& path)
{
    std::string bytes;
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr));
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    UniqueFileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return ok && written == bytes.size();
}

bool FileExistsW(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::wstring& path)
{
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((path + L"\\*").c_str(), &data));
    if (find) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(find.Get(), &data));
    }
    RemoveDirectoryW(path.c_str());
}

std::wstring ToWide(const std::string& utf8) { return Text::Utf8ToWide(utf8); }

std::string ToUtf8(const std::wstring& wide) { return Text::WideToUtf8(wide); }

std::wstring HostPathToWindows(const std::string& unixPath)
{
    std::wstring path = L"Z:" + ToWide(unixPath);
    for (auto& c : path) {
        if (c == L'/') c = L'\\';
    }
    return path;
}

std::wstring TestDataPath(const std::wstring& relative)
{
    return HostPathToWindows(VANTELO_TEST_DATA) + (relative.empty() ? L"" : L"\\" + relative);
}

std::wstring BuildPath(const std::wstring& relative)
{
    return HostPathToWindows(VANTELO_BUILD_DIR) + (relative.empty() ? L"" : L"\\" + relative);
}

std::wstring SelfPath()
{
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::wstring(path.data(), n);
}

int RunAndWait(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs, const wchar_t* environment)
{
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    DWORD flags = environment ? CREATE_UNICODE_ENVIRONMENT : 0;
    if (!CreateProcessW(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, flags,
                        const_cast<wchar_t*>(environment), nullptr, &startup, &process)) {
        return -1000;
    }
    UniqueProcessInformation owned(process);
    DWORD code = static_cast<DWORD>(-1001);
    if (WaitForSingleObject(owned.process.Get(), timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(owned.process.Get(), &code);
    } else {
        TerminateProcess(owned.process.Get(), static_cast<UINT>(-1002));
    }
    return static_cast<int>(code);
}

PrefixDpi::PrefixDpi(int dpi) { Set(dpi); }

PrefixDpi::~PrefixDpi() { Set(96); }

void PrefixDpi::Set(int dpi)
{
    UniqueRegKey key;
    LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  key.Receive(), nullptr);
    if (status == ERROR_SUCCESS) {
        DWORD value = static_cast<DWORD>(dpi);
        status = RegSetValueExW(key.Get(), L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                sizeof value);
    }
    if (status != ERROR_SUCCESS) fprintf(stderr, "PrefixDpi: LogPixels %d not set, error %ld\n", dpi, status);
}

std::vector<std::string> ReadFolderFiles(const std::wstring& folder, const std::wstring& pattern)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(FindFirstFileW((folder + L"\\" + pattern).c_str(), &data));
    if (find) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
        } while (FindNextFileW(find.Get(), &data));
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> files;
    for (const auto& name : names) files.push_back(ReadFileBytes(folder + L"\\" + name));
    return files;
}

GuardedBlock::GuardedBlock(const std::string& bytes, bool guardAfter)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t dataPages = (bytes.size() + page - 1) / page + 1;
    const size_t total = (dataPages + 2) * page;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, total, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old = 0;
    VirtualProtect(base_, page, PAGE_NOACCESS, &old);
    VirtualProtect(base_ + total - page, page, PAGE_NOACCESS, &old);
    data_ = guardAfter ? base_ + total - page - bytes.size() : base_ + page;
    if (!bytes.empty()) memcpy(data_, bytes.data(), bytes.size());
    size_ = bytes.size();
}

GuardedBlock::GuardedBlock(const std::wstring& text)
    : GuardedBlock(std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t)), true)
{
}

GuardedBlock::~GuardedBlock() { VirtualFree(base_, 0, MEM_RELEASE); }

wchar_t* AllocateGuardedText(size_t characters)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize;
    const size_t bytes = characters * sizeof(wchar_t);
    const size_t dataPages = bytes == 0 ? 1 : (bytes + page - 1) / page;
    auto* base = static_cast<char*>(VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    if (base == nullptr) return nullptr;
    DWORD previous = 0;
    VirtualProtect(base + dataPages * page, page, PAGE_NOACCESS, &previous);
    return reinterpret_cast<wchar_t*>(base + dataPages * page - bytes);
}

void ReleaseGuardedText(wchar_t* text)
{
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(text, &region, sizeof region)) VirtualFree(region.AllocationBase, 0, MEM_RELEASE);
}

namespace {
MutationInputWatch* g_inputWatch = nullptr;
}  // namespace

MutationInputWatch::MutationInputWatch(DWORD limitMs, std::wstring inputFile)
    : limitMs_(limitMs), inputFile_(std::move(inputFile)), stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
    started_ = GetTickCount();
    g_inputWatch = this;
    SetUnhandledExceptionFilter(SaveOnCrash);
    thread_.Reset(CreateThread(nullptr, 0, Watch, this, 0, nullptr));
}

MutationInputWatch::~MutationInputWatch()
{
    SetEvent(stop_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    g_inputWatch = nullptr;
}

void MutationInputWatch::Begin(const std::string& input)
{
    std::lock_guard<std::mutex> hold(lock_);
    input_ = input;
    started_ = GetTickCount();
}

void MutationInputWatch::Save(const char* why)
{
    WriteFileBytes(inputFile_, input_);
    fprintf(stderr, "%s with the input saved as %s\n", why, ToUtf8(inputFile_).c_str());
    fflush(stderr);
}

LONG WINAPI MutationInputWatch::SaveOnCrash(EXCEPTION_POINTERS* exception)
{
    char why[64];
    snprintf(why, sizeof why, "crash 0x%08lx", exception->ExceptionRecord->ExceptionCode);
    if (g_inputWatch != nullptr) g_inputWatch->Save(why);
    return EXCEPTION_EXECUTE_HANDLER;
}

DWORD WINAPI MutationInputWatch::Watch(void* self)
{
    auto* watch = static_cast<MutationInputWatch*>(self);
    while (WaitForSingleObject(watch->stop_.Get(), 500) == WAIT_TIMEOUT) {
        std::lock_guard<std::mutex> hold(watch->lock_);
        if (GetTickCount() - watch->started_ > watch->limitMs_) {
            watch->Save("one input took too long");
            ExitProcess(5);
        }
    }
    return 0;
}
